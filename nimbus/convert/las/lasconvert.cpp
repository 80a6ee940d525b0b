// The LAS/LAZ reader of the converter: streams the points of a LAS or LAZ
// file into an ilas file, relative to the file's own coordinate offsets, or
// to its first point where the offsets lie too far from the points.

#include "lasprojection.h"
#include "lasreader.h"
#include "qtnativepath.h"
#include "fastconvertor.h"
#include "readers.h"
#include "readersession.h"
#include "reasontext.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdlib>
#include <vector>

namespace nimbus {

namespace {

// Points taken from the reader per call; also how often a stop is checked.
constexpr std::size_t kBatchPoints = 1u << 16;
// Fewer points than this are converted by one thread.
constexpr std::int32_t kParallelPoints = 1u << 15;

// Stored integers from this magnitude on are beyond what a float holds to
// the unit: relative to the header offsets such a file would lose its own
// resolution.
constexpr std::int64_t kFarFromOffset = std::int64_t(1) << 24;

bool farFromOffset(const las::LasPoint& p)
{
    return std::llabs(p.x) >= kFarFromOffset || std::llabs(p.y) >= kFarFromOffset
        || std::llabs(p.z) >= kFarFromOffset;
}

inline std::uint8_t colourByte(std::uint16_t v)
{
    return static_cast<std::uint8_t>(v <= 255 ? v : v >> 8);
}

// Each point placed by the session's placement, written in place into the
// session's buffer; without colours a LAS point is yellow. Plain records are converted by all cores at once;
// LAZ decoding keeps the other cores busy already.
void addPoints(ReaderSession& session, const las::LasPoint* p, std::size_t n, const las::LasHeader& header,
               bool hasColor)
{
    const double sx = header.scale[0], sy = header.scale[1], sz = header.scale[2];
    const double ox = header.offset[0], oy = header.offset[1], oz = header.offset[2];
    const PointPlacement place = session.placement();
    std::size_t done = 0;
    while (done < n) {
        std::int32_t room = 0;
        PointRecord* out = session.reservePoints(static_cast<std::int32_t>(n - done), room);
        if (!out)
            return;
        const las::LasPoint* in = p + done;
#pragma omp parallel for schedule(static) if (!header.compressed && room >= kParallelPoints)
        for (std::int32_t i = 0; i < room; ++i) {
            const double x = in[i].x * sx + ox;
            const double y = in[i].y * sy + oy;
            const double z = in[i].z * sz + oz;
            out[i] = hasColor ? place(x, y, z, colourByte(in[i].red), colourByte(in[i].green), colourByte(in[i].blue))
                              : place(x, y, z, 255, 255, 0);
        }
        session.commitPoints(room);
        done += static_cast<std::size_t>(room);
    }
}

} // namespace

bool convertLasFile(FastConvertor* convertor, QString path)
{
    ReaderSession session(convertor, path, QCoreApplication::translate("Nimbus", "reading:"));
    las::LasReader reader;
    if (!reader.open(quillfen::libraryPath(path)))
        return session.fail(reasonText(reader.reason()));

    const las::LasHeader& header = reader.header();
    Reason crsNote;
    session.setCoordinateSystem(las::lasCoordinateSystem(
        las::readLasProjection(QFile::encodeName(path).toStdString(), header), crs::systemCrsResolver(), crsNote));
    if (!crsNote.empty())
        session.addNote(reasonText(crsNote));
    const bool hasColor = header.hasRgb();
    const double sx = header.scale[0], sy = header.scale[1], sz = header.scale[2];
    const double ox = header.offset[0], oy = header.offset[1], oz = header.offset[2];
    // The first points are read before the output exists: an input that
    // gives none leaves no file behind, and the first point may decide the
    // origin.
    std::vector<las::LasPoint> batch(kBatchPoints);
    std::size_t n = reader.readPoints(batch.data(), batch.size());
    if (n == 0 && reader.failed())
        return session.fail(reasonText(reader.reason()));
    double origin[3] = {ox, oy, oz};
    if (n > 0 && farFromOffset(batch[0])) {
        origin[0] = batch[0].x * sx + ox;
        origin[1] = batch[0].y * sy + oy;
        origin[2] = batch[0].z * sz + oz;
    }
    if (!session.begin(origin[0], origin[1], origin[2], header.pointCount(), hasColor))
        return false;

    std::uint64_t read = 0;
    for (;;) {
        addPoints(session, batch.data(), n, header, hasColor);
        read += n;
        session.reportPointsRead(read);
        if (!session.carryOn())
            return false;
        if (n < batch.size())
            break;
        n = reader.readPoints(batch.data(), batch.size());
    }
    if (reader.failed())
        // A file that breaks off keeps the points read so far, but the file
        // still counts as failed, with the reader's reason.
        return session.finishIncomplete(reasonText(reader.reason()));
    return session.finish();
}

} // namespace nimbus
