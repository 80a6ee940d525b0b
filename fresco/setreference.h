// The coordinate system a tile set names in its metadata.xml (the SRS
// element: an EPSG code, WKT or PROJ text), for the set's rasters.
#pragma once

#include <QByteArray>
#include <QString>

#include <osg/Vec3d>

#include <functional>

namespace fresco {

struct SetReference
{
    bool srsFound = false;   // an SRS element with text exists
    QString srsText;         // its text, trimmed
    bool originRead = false; // the SRSOrigin could be read as well
    osg::Vec3d origin;       // (0, 0, 0) unless originRead
};

// Reads metadata.xml once. A file that cannot be opened or parsed is
// reported as "parse xml file failed:<path>".
SetReference readSetReference(const QString &xmlPath,
                              const std::function<void(const QString &)> &report);

// The coordinate system as WKT, or empty when GDAL does not understand the
// text. Texts that would make GDAL fetch a URL are not understood.
QByteArray projectionWkt(const QString &srsText);

} // namespace fresco
