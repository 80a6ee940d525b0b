// The LAS/LAZ reader of the converter: streams the points of a LAS or LAZ
// file into an ilas file, relative to the file's own coordinate offsets.

#include "lasreader.h"
#include "readers.h"
#include "readersession.h"

#include <QFile>

#include <vector>

namespace nimbus {

namespace {

// Points taken from the reader per call; also how often a stop is checked.
constexpr std::size_t kBatchPoints = 1u << 16;

inline std::uint8_t colourByte(std::uint16_t v)
{
    return static_cast<std::uint8_t>(v <= 255 ? v : v >> 8);
}

} // namespace

bool convertLasFile(FastConvertor* convertor, QString path)
{
    ReaderSession session(convertor, path, QStringLiteral("准备中:"));
    las::LasReader reader;
    if (!reader.open(QFile::encodeName(path).toStdString()))
        return session.fail(QString::fromStdString(reader.error()));

    const las::LasHeader& header = reader.header();
    const bool hasColor = header.hasRgb();
    const double sx = header.scale[0], sy = header.scale[1], sz = header.scale[2];
    const double ox = header.offset[0], oy = header.offset[1], oz = header.offset[2];
    if (!session.begin(ox, oy, oz, header.pointCount(), hasColor))
        return false;

    std::vector<las::LasPoint> batch(kBatchPoints);
    for (;;) {
        const std::size_t n = reader.readPoints(batch.data(), batch.size());
        const las::LasPoint* p = batch.data();
        if (hasColor) {
            for (std::size_t i = 0; i < n; ++i)
                session.addPoint(p[i].x * sx + ox, p[i].y * sy + oy, p[i].z * sz + oz, colourByte(p[i].red),
                                 colourByte(p[i].green), colourByte(p[i].blue));
        } else {
            for (std::size_t i = 0; i < n; ++i)
                session.addPoint(p[i].x * sx + ox, p[i].y * sy + oy, p[i].z * sz + oz, 255, 255, 0);
        }
        if (session.stopRequested())
            return session.fail(QStringLiteral("stopped by the user"));
        if (!session.healthy())
            return false;
        if (n < batch.size())
            break;
    }
    if (reader.failed())
        // A file that breaks off keeps the points read so far, but the file
        // still counts as failed, with the reader's reason.
        return session.finishIncomplete(QString::fromStdString(reader.error()));
    return session.finish();
}

} // namespace nimbus
