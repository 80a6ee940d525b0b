// The coordinate system a tile set names in its metadata.xml (the SRS
// element: an EPSG code, WKT or PROJ text), for the set's rasters.
#pragma once

#include <QByteArray>
#include <QString>

namespace fresco {

struct SetReference
{
    bool srsFound = false;   // an SRS element with text exists
    QString srsText;         // its text, trimmed
    bool originRead = false; // the SRSOrigin could be read as well
};

// Reads metadata.xml quietly: its failures are reported where the origin is
// read.
SetReference readSetReference(const QString &xmlPath);

// The coordinate system as WKT, or empty when GDAL does not understand the
// text. Texts that would make GDAL fetch a URL are not understood.
QByteArray projectionWkt(const QString &srsText);

} // namespace fresco
