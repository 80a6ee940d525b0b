// PCD and PLY: the points are read by PcdReader and streamed into the
// session. Only x, y and z are read, and the y and z axes are exchanged: the
// cloud's z becomes the ilas y.

#include "fastconvertor.h"
#include "qtnativepath.h"
#include "readers.h"
#include "readersession.h"
#include "reasontext.h"

#include "pcdreader.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace nimbus {

namespace {

constexpr std::uint64_t kStopCheckPoints = 1u << 20;
constexpr std::size_t kBatchPoints = 1u << 16;

enum class CloudFormat { Pcd, Ply };

bool openCloud(CloudFormat format, const QString& path, pcd::PcdReader& reader, QString& reason)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        reason = QCoreApplication::translate("Nimbus", "cannot open: no such file");
        return false;
    }
    if (!info.isFile()) {
        reason = QCoreApplication::translate("Nimbus", "cannot open: not a regular file");
        return false;
    }
    const std::string file = quillfen::libraryPath(path);
    if (format == CloudFormat::Pcd ? reader.open(file) : reader.openPly(file))
        return true;
    reason = reasonText(reader.reason());
    return false;
}

bool convertCloud(FastConvertor* convertor, const QString& path, CloudFormat format)
{
    ReaderSession session(convertor, path);
    pcd::PcdReader reader;
    QString reason;
    if (!openCloud(format, path, reader, reason)) {
        // The console gets the same line for every file that cannot be read.
        std::fputs("Couldn't read this file!\n", stderr);
        return session.fail(reason);
    }

    // The origin is the first point with finite coordinates, in the
    // exchanged axis order; the non-finite points before it are counted once
    // the session has begun. A cloud without one still gives a valid, empty
    // file.
    const std::uint64_t total = reader.header().points;
    std::vector<pcd::PcdPoint> points(kBatchPoints);
    std::uint64_t leadingSkipped = 0, walked = 0;
    bool begun = false;
    while (walked < total) {
        const std::size_t n = reader.readPoints(points.data(), points.size());
        if (reader.failed()) {
            // A body that breaks off keeps the points read so far apart.
            const QString reason = reasonText(reader.reason());
            return begun ? session.finishIncomplete(reason) : session.fail(reason);
        }
        if (n == 0)
            break;
        for (std::size_t i = 0; i < n; ++i) {
            const pcd::PcdPoint& p = points[i];
            const bool finite = std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
            if (finite && !begun) {
                if (!session.begin(p.x, p.z, p.y, ReaderSession::kUnknownCount, false))
                    return false;
                session.countSkipped(leadingSkipped);
                begun = true;
            }
            if (finite)
                session.addPoint(p.x, p.z, p.y); // the cloud's z is the ilas y
            else if (begun)
                session.countSkipped();
            else
                ++leadingSkipped;
            if (++walked % kStopCheckPoints == 0 && begun) {
                session.reportBytesConsumed(walked, total);
                if (!session.carryOn())
                    return false;
            }
        }
    }
    if (!begun) {
        if (!session.begin(0.0, 0.0, 0.0, ReaderSession::kUnknownCount, false))
            return false;
        session.countSkipped(leadingSkipped);
    }
    return session.finish();
}

} // namespace

bool convertPcdFile(FastConvertor* convertor, QString path)
{
    return convertCloud(convertor, path, CloudFormat::Pcd);
}

bool convertPlyFile(FastConvertor* convertor, QString path)
{
    return convertCloud(convertor, path, CloudFormat::Ply);
}

} // namespace nimbus
