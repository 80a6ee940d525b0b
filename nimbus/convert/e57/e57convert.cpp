// The E57 reader of the converter: the scans of a scanner's E57 file, in
// file order, moved into the file's coordinate system by their poses and
// stored relative to the first point.

#include "e57file.h"
#include "qtnativepath.h"
#include "fastconvertor.h"
#include "readers.h"
#include "crsresolver.h"
#include "readersession.h"
#include "reasontext.h"
#include "scanrecords.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace nimbus {

namespace {

// Records decoded per step; also how often a stop is checked.
constexpr std::size_t kBatchRecords = 1u << 16;

// How one colour channel of a scan becomes a byte.
struct ChannelScale {
    double lo = 0.0, hi = 255.0;
    bool single = false; // lo == hi
};

inline std::uint8_t channelByte(double v, const ChannelScale& c)
{
    if (!(v >= c.lo)) // NaN as well
        v = c.lo;
    if (v > c.hi)
        v = c.hi;
    if (c.single) {
        // A range of one value says nothing about the scale; the value is
        // taken as an 8-bit one.
        const double rounded = std::floor(v + 0.5);
        return static_cast<std::uint8_t>(std::clamp(rounded, 0.0, 255.0));
    }
    // Integer-valued inputs give an exact numerator and one rounding in the
    // division, so exact halves round up as they should.
    return static_cast<std::uint8_t>(std::floor((v - c.lo) * 255.0 / (c.hi - c.lo) + 0.5));
}

struct ScanPlan {
    bool empty = true;
    e57::ScanLayout layout;
    bool hasPose = false;
    double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double t[3] = {0, 0, 0};
    bool colour = false;
    ChannelScale channel[3];
};

// R(q) of the scan's pose, normalised first when q is not of unit length.
bool planPose(const e57::ScanInfo& scan, std::size_t index, ScanPlan& plan, QString& error, QStringList& notes)
{
    if (!scan.hasPose)
        return true;
    const e57::Pose& p = scan.pose;
    const double norm = std::sqrt(p.w * p.w + p.x * p.x + p.y * p.y + p.z * p.z);
    if (!std::isfinite(norm) || norm == 0.0 || !std::isfinite(p.tx) || !std::isfinite(p.ty) || !std::isfinite(p.tz)) {
        error = QCoreApplication::translate("Nimbus", "scan %1: its pose is unusable (a zero or non-finite rotation or translation)")
                    .arg(index + 1);
        return false;
    }
    // Every rotation is normalised; only a clearly non-unit one is worth a
    // note (files write the components to a few digits).
    if (std::fabs(norm - 1.0) > 1e-6)
        notes << QCoreApplication::translate(
                     "Nimbus", "scan %1: its pose rotation was not a unit quaternion (length %2) and was normalised")
                     .arg(index + 1)
                     .arg(norm, 0, 'g', 12);
    const double w = p.w / norm, x = p.x / norm, y = p.y / norm, z = p.z / norm;
    const double m[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - w * z),     2 * (x * z + w * y),
                         2 * (x * y + w * z),     1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                         2 * (x * z - w * y),     2 * (y * z + w * x),     1 - 2 * (x * x + y * y)};
    std::copy(m, m + 9, plan.m);
    plan.t[0] = p.tx;
    plan.t[1] = p.ty;
    plan.t[2] = p.tz;
    plan.hasPose = true;
    return true;
}

// Per channel: the scan's colorLimits where it gives a bound, else the
// field's own range (Float colour fields without one are taken as 0..1).
void planColour(const e57::ScanInfo& scan, ScanPlan& plan)
{
    plan.colour = plan.layout.hasColour();
    if (!plan.colour)
        return;
    const int fields[3] = {plan.layout.red, plan.layout.green, plan.layout.blue};
    for (std::size_t c = 0; c < 3; ++c) {
        double lo = 0.0, hi = 1.0;
        if (!scan.fields[static_cast<std::size_t>(fields[c])].valueRange(lo, hi)) {
            lo = 0.0;
            hi = 1.0;
        }
        if (scan.hasColourLimits && scan.colourLimits.hasMinimum[c])
            lo = scan.colourLimits.minimum[c];
        if (scan.hasColourLimits && scan.colourLimits.hasMaximum[c])
            hi = scan.colourLimits.maximum[c];
        if (hi < lo)
            std::swap(lo, hi);
        plan.channel[c].lo = lo;
        plan.channel[c].hi = hi;
        plan.channel[c].single = hi == lo;
    }
}

void toWorld(const ScanPlan& plan, e57::RecordBatch& b)
{
    if (!plan.hasPose)
        return;
    const double* m = plan.m;
    const double* t = plan.t;
    for (std::size_t k = 0; k < b.count; ++k) {
        const double x = b.x[k], y = b.y[k], z = b.z[k];
        b.x[k] = m[0] * x + m[1] * y + m[2] * z + t[0];
        b.y[k] = m[3] * x + m[4] * y + m[5] * z + t[1];
        b.z[k] = m[6] * x + m[7] * y + m[8] * z + t[2];
    }
}

inline bool finitePoint(const e57::RecordBatch& b, std::size_t k)
{
    return std::isfinite(b.x[k]) && std::isfinite(b.y[k]) && std::isfinite(b.z[k]);
}

} // namespace

bool isE57Scan(const QString& path)
{
    return e57::E57File::hasSignature(quillfen::libraryPath(path));
}

bool convertE57File(FastConvertor* convertor, QString path)
{
    ReaderSession session(convertor, path);
    e57::E57File file;
    if (!file.open(quillfen::libraryPath(path)))
        return session.fail(reasonText(file.reason()));
    Reason crsNote;
    session.setCoordinateSystem(
        crs::wktFromDeclaration(file.coordinateMetadata(), crs::systemCrsResolver(), crsNote));
    if (!crsNote.empty())
        session.addNote(reasonText(crsNote));

    // Every scan is checked before the output exists, so that a file whose
    // later scan cannot be read leaves nothing behind.
    const std::vector<e57::ScanInfo>& scans = file.scans();
    std::vector<ScanPlan> plans(scans.size());
    std::uint64_t expected = 0;
    bool hasColor = false;
    QStringList notes;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        const e57::ScanInfo& scan = scans[i];
        ScanPlan& plan = plans[i];
        if (!scan.hasPoints || scan.recordCount == 0)
            continue;
        e57::ScanRecordReader reader(file.pages(), scan, static_cast<int>(i + 1));
        if (!reader.open())
            return session.fail(reasonText(reader.reason()));
        plan.empty = false;
        plan.layout = reader.layout();
        QString error;
        if (!planPose(scan, i, plan, error, notes))
            return session.fail(error);
        planColour(scan, plan);
        hasColor = hasColor || plan.colour;
        expected = scan.recordCount > ~expected ? ~std::uint64_t(0) - 1 : expected + scan.recordCount;
    }
    if (expected == 0) {
        // A file without records is a valid empty file.
        if (!session.begin(0.0, 0.0, 0.0, 0, false))
            return false;
        session.addNote(scans.empty() ? QCoreApplication::translate("Nimbus", "the file holds no scan")
                                      : QCoreApplication::translate("Nimbus", "every scan is empty"));
        return session.finish();
    }

    const QLocale english(QLocale::English);
    std::uint64_t invalid = 0;
    bool begun = false;
    const auto finishNotes = [&]() {
        for (const QString& note : notes)
            session.addNote(note);
        if (invalid > 0)
            session.addNote(QCoreApplication::translate("Nimbus", "%1 records marked invalid by the scanner were skipped")
                                .arg(english.toString(static_cast<qulonglong>(invalid))));
    };
    e57::RecordBatch batch;
    std::uint64_t recordsRead = 0;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        const ScanPlan& plan = plans[i];
        if (plan.empty)
            continue;
        e57::ScanRecordReader reader(file.pages(), scans[i], static_cast<int>(i + 1));
        bool opened = reader.open();
        while (opened) {
            const std::size_t n = reader.read(batch, kBatchRecords);
            if (n == 0)
                break;
            toWorld(plan, batch);
            std::size_t k = 0;
            if (!begun) {
                // The first stored point is the origin.
                while (k < n && (batch.invalid[k] || !finitePoint(batch, k))) {
                    if (batch.invalid[k])
                        ++invalid;
                    else
                        session.countSkipped();
                    ++k;
                }
                if (k < n) {
                    if (!session.begin(batch.x[k], batch.y[k], batch.z[k], expected, hasColor))
                        return false;
                    begun = true;
                }
            }
            const PointPlacement place = session.placement();
            while (begun && k < n) {
                std::int32_t room = 0;
                PointRecord* out = session.reservePoints(static_cast<std::int32_t>(n - k), room);
                if (!out)
                    break;
                std::int32_t filled = 0;
                for (; k < n && filled < room; ++k) {
                    if (batch.invalid[k]) {
                        ++invalid;
                        continue;
                    }
                    if (!finitePoint(batch, k)) {
                        session.countSkipped();
                        continue;
                    }
                    // Without colours of its own, a point of a file whose
                    // other scans have them is white.
                    if (plan.colour)
                        out[filled++] = place(batch.x[k], batch.y[k], batch.z[k], channelByte(batch.red[k], plan.channel[0]),
                                              channelByte(batch.green[k], plan.channel[1]),
                                              channelByte(batch.blue[k], plan.channel[2]));
                    else if (hasColor)
                        out[filled++] = place(batch.x[k], batch.y[k], batch.z[k], 255, 255, 255);
                    else
                        out[filled++] = place(batch.x[k], batch.y[k], batch.z[k]);
                }
                session.commitPoints(filled);
            }
            recordsRead += n;
            session.reportPointsRead(recordsRead);
            if (!session.carryOn())
                return false;
        }
        if (!opened || reader.failed()) {
            const QString reason = reasonText(reader.reason());
            if (!begun)
                return session.fail(reason);
            // The points read so far are kept apart; the file still fails.
            finishNotes();
            return session.finishIncomplete(reason);
        }
    }
    if (!begun && !session.begin(0.0, 0.0, 0.0, expected, hasColor))
        return false;
    finishNotes();
    return session.finish();
}

} // namespace nimbus
