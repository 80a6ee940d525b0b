// Fresco turns oblique-photogrammetry tile sets into georeferenced orthoimages.
// A host configures an object through the setters and callbacks, then calls
// start(); the object owns nothing between calls but its settings.
#pragma once

#include "fresco_export.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <osg/BoundingBox>
#include <osg/Image>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <atomic>
#include <functional>
#include <map>

namespace fresco {
class OrthoViewer;
class PictureSpill;
class PixelGrid;
struct SetReference;
struct MosaicSettings;
enum class MosaicResult;
} // namespace fresco

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

    // Driver creation options, "NAME=VALUE" each (none by default); GeoTIFF
    // rasters that may pass 4 GB get BIGTIFF=IF_SAFER unless BIGTIFF is given.
    void setCreationOptions(QStringList options);
    // Internal overviews (averaged) built once a raster is complete.
    void setOverviews(bool build);
    // A per-dataset mask band: 255 where a tile placed a pixel, 0 elsewhere.
    void setMask(bool write);
    // Receiver of notes that do not fail the job (a coordinate system in
    // metadata.xml that cannot be understood, a level file that could not be
    // read, a set written as NAME.partial); called on the calling thread.
    void setWarningLog(std::function<void(QString)> callback);
    // Told the path of every raster once it is complete under its final
    // name; called on the calling thread.
    void setWrittenLog(std::function<void(QString)> callback);
    // Each output pixel averages n x n drawn sub-pixels (1, the default,
    // draws one per pixel; at most 16).
    void setSupersample(int n);
    // Rasters' pixel edges lie on whole multiples of the resolution in the
    // set's reference system (as GDAL's -tap), instead of starting at the
    // set's local origin.
    void setTargetAlignedPixels(bool aligned);

    // May be called from any thread (and from a signal handler) while start()
    // runs: start() stops after the tile being rendered, removes the files it
    // had not finished, reports "stopped" and returns without the finish
    // callback. Requests made while no job runs have no effect.
    void requestStop();

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
    // The same for the pictures of a running job, drawn on `grid` and
    // waiting in `spill`, with the set's coordinate system (WKT, empty for
    // none).
    fresco::MosaicResult writeRasters(const fresco::PixelGrid &grid,
                                      const osg::BoundingBoxd &overallBox,
                                      fresco::PictureSpill &spill, const QString &name,
                                      double splitLen, const QByteArray &projectionWkt);
    void fillMosaicSettings(fresco::MosaicSettings &settings) const;
    // The set's metadata.xml, read once: origin (reported and (0, 0, 0)
    // when it cannot be read) and coordinate system.
    fresco::SetReference readSetMetadata(const QString &xmlPath);
    // WKT of the set's SRS element for its rasters; empty, with a warning,
    // when it cannot be understood.
    QByteArray projectionOfSet(const fresco::SetReference &reference,
                               const QString &metadataFile);
    // A warning for each level file the viewer could not read, and each file
    // whose damaged geometry was left out, since the last call (the tile's
    // root `rootFile` excepted: its failure is an error of its own).
    void reportLevelReads(fresco::OrthoViewer &viewer, const QString &rootFile);
    void warningLog(const QString &text);

    QString m_outputFolder;
    QString m_imageFmt;
    int m_background;
    double m_resolution;
    double m_splitLen;
    std::function<void(float)> m_percentCallback;
    std::function<void()> m_finishCallback;
    std::function<void(QString)> m_errorCallback;
    QStringList m_creationOptions;
    bool m_overviews = false;
    bool m_mask = false;
    std::function<void(QString)> m_warningCallback;
    int m_supersample = 1;
    bool m_targetAligned = false;
    std::function<void(QString)> m_writtenCallback;

    // A copy never inherits a pending request.
    struct StopFlag
    {
        StopFlag() = default;
        StopFlag(const StopFlag &) {}
        StopFlag &operator=(const StopFlag &) { return *this; }
        std::atomic<bool> requested{false};
    };
    StopFlag m_stop;
};
