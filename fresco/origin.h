// The spatial origin of a tile set, read from the first SRSOrigin element of
// its metadata.xml ("x,y,z"). Fresco::getOffsetFromXML wraps this with its
// error guard.
#pragma once

#include <QString>

class QDomDocument;

#include <osg/Vec3d>

#include <functional>

namespace fresco {

// Sets `origin` and returns true when the file holds an SRSOrigin with at
// least three comma-separated parts (parts that are not finite numbers count
// as 0, parts after the third are ignored). Otherwise `origin` is (0, 0, 0)
// and false is returned; a file that cannot be opened or parsed is also
// reported as "parse xml file failed:<path>".
bool readSrsOrigin(const QString &xmlPath, osg::Vec3d &origin,
                   const std::function<void(const QString &)> &report);

// The same from a parsed metadata document (nothing is reported).
bool srsOriginOf(const QDomDocument &document, osg::Vec3d &origin);

} // namespace fresco
