#pragma once
// A first look at the header of a PCD or PLY file before PCL reads it. PCL
// crashes on a PCD file without a POINTS entry (an empty file, a text file)
// and allocates whatever point count a header claims, so such files are
// turned away here with a clear reason.

#include <QString>

#include <cstdint>

namespace nimbus {

struct CloudHeaderCheck {
    bool usable = false;       // PCL may read the file
    std::uint64_t points = 0;  // points the header announces
    QString reason;            // why the file is not usable
};

CloudHeaderCheck checkPcdHeader(const QString& path);
CloudHeaderCheck checkPlyHeader(const QString& path);

} // namespace nimbus
