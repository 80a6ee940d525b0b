// Fresco turns oblique-photogrammetry tile sets into georeferenced orthoimages.
// A host configures an object through the setters and callbacks, then calls
// start(); the object owns nothing between calls but its settings.
#pragma once

#include "fresco_export.h"

#include <QString>
#include <QStringList>

#include <osg/BoundingBox>
#include <osg/Image>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <functional>
#include <map>

class FRESCO_EXPORT Fresco
{
public:
    Fresco();
    Fresco(const Fresco &other);
    Fresco(Fresco &&other) noexcept;
    Fresco &operator=(const Fresco &other);
    Fresco &operator=(Fresco &&other) noexcept;
    ~Fresco();

    void setBackground(int background);
    void setResolution(double resolution);
    void setSplitLen(double splitLen);
    // Only ".tif" and ".img" (exactly, case-sensitive) are kept; anything
    // else falls back to ".tif".
    void setImageFmt(QString fmt);
    void setPercentCallback(std::function<void(float)> callback);
    void setFinishCallback(std::function<void()> callback);
    void setErrorLog(std::function<void(QString)> callback);

    // Renders every tile set named in `entries` (a file inside each set's root
    // folder) and writes its rasters into `outputFolder` (existing, no trailing
    // separator). Runs synchronously; callbacks fire on the calling thread.
    void start(QStringList entries, QString outputFolder);

private:
    friend class FrescoTestAccess;

    // Each calls its callback only when one is set.
    void errorLog(QString text);
    void finish();
    void percent(float value);

    // Origin of the set's local coordinates from the first SRSOrigin element
    // of metadata.xml; (0, 0, 0) when it cannot be read (reported).
    osg::Vec3d getOffsetFromXML(const QString &xmlPath);

    // Places the tile pictures by their boxes and writes one raster named
    // `name` + format, or square pieces named `name`_row_col + format when
    // `splitLen` >= 0.00001. Pictures have row 0 at the northern edge and 3
    // bytes per pixel. Failures go to the error callback and the guard.
    void combiImages(osg::BoundingBoxd &overallBox,
                     std::map<int, osg::ref_ptr<osg::Image>> &pictures,
                     std::map<int, osg::BoundingBoxd> &boxes,
                     QString name, osg::Vec3d offset, double splitLen);

    // Key under which the renderer files each captured picture; process-wide,
    // starts at 1 and only ever grows.
    static int renderIndex;

    QString m_outputFolder;
    QString m_imageFmt;
    int m_background;
    double m_resolution;
    double m_splitLen;
    std::function<void(float)> m_percentCallback;
    std::function<void()> m_finishCallback;
    std::function<void(QString)> m_errorCallback;
};
