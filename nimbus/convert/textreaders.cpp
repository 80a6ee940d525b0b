// XYZ, DAT and PTS: line-oriented text point files. The first line (in PTS,
// the first after an optional point count) gives the origin; every further
// line gives one point from three numbers. Lines that cannot give their
// three numbers are skipped and counted.

#include "classicnumber.h"
#include "fastconvertor.h"
#include "linereader.h"
#include "readers.h"
#include "readersession.h"
#include "splitline.h"

#include <charconv>
#include <string_view>

namespace nimbus {

namespace {

// How often (in lines) the readers look for a stop request.
constexpr std::uint64_t kStopCheckLines = 1u << 16;

// Reads every line after the origin line and turns it into a point with
// `readLine(line, xyz)`. False when the session has failed; the caller then
// finishes the session.
template <typename LineToPoint>
bool readPoints(ReaderSession& session, LineReader& reader, LineToPoint readLine)
{
    std::string_view line;
    double xyz[3];
    std::uint64_t lines = 0;
    while (reader.next(line)) {
        if (readLine(line, xyz))
            session.addPoint(xyz[0], xyz[1], xyz[2]);
        else
            session.countSkipped();
        if (++lines % kStopCheckLines == 0) {
            if (session.stopRequested())
                return session.fail(QStringLiteral("stopped by the user"));
            if (!session.healthy())
                return false;
        }
    }
    if (reader.readFailed())
        return session.fail(reader.errorText());
    return session.healthy();
}

bool openText(ReaderSession& session, LineReader& reader, const QString& path)
{
    if (!reader.open(path))
        return session.fail(reader.errorText());
    return true;
}

// Reads the first line; an empty file has none.
bool readFirstLine(ReaderSession& session, LineReader& reader, std::string_view& line)
{
    if (reader.next(line))
        return true;
    if (reader.readFailed())
        return session.fail(reader.errorText());
    return session.fail(QStringLiteral("the file is empty"));
}

// Delimited files: XYZ (first field 0, separator "," or " ") and DAT (first
// field 2, separator ",").
bool convertDelimited(FastConvertor* convertor, const QString& path, bool dat)
{
    ReaderSession session(convertor, path);
    LineReader reader;
    std::string_view line;
    if (!openText(session, reader, path) || !readFirstLine(session, reader, line))
        return false;

    char separator = ',';
    if (!dat && splitLine(line, ',').size() <= 1)
        separator = ' ';
    const int firstField = dat ? 2 : 0;
    double origin[3];
    if (!readThreeFields(line, separator, firstField, origin)) {
        return session.fail(dat ? QStringLiteral("the first line does not hold three numbers "
                                                 "in its fields 3 to 5")
                                : QStringLiteral("the first line does not hold three numbers"));
    }
    if (!session.begin(origin[0], origin[1], origin[2], ReaderSession::kUnknownCount, false))
        return false;
    return readPoints(session, reader,
                      [separator, firstField](std::string_view l, double* xyz) {
                          return readThreeFields(l, separator, firstField, xyz);
                      })
        && session.finish();
}

// A PTS count line holds one non-negative integer and nothing else but
// white space.
bool readCountLine(std::string_view line, std::uint64_t& count)
{
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end && isClassicSpace(*p))
        ++p;
    const char* digits = p;
    while (p < end && isDecimalDigit(*p))
        ++p;
    if (p == digits)
        return false;
    const char* digitsEnd = p;
    while (p < end && isClassicSpace(*p))
        ++p;
    if (p != end)
        return false;
    const auto result = std::from_chars(digits, digitsEnd, count);
    if (result.ec != std::errc())
        count = ReaderSession::kUnknownCount; // too large to mean anything
    return true;
}

// A count line that disagrees with the points that follow is only noted:
// the points themselves are what the file holds.
void noteCountMismatch(ReaderSession& session, std::uint64_t expected)
{
    if (expected == ReaderSession::kUnknownCount || expected == session.pointsAdded())
        return;
    session.addNote(QStringLiteral("the count line says %1, the file holds %2 points")
                        .arg(expected)
                        .arg(session.pointsAdded()));
}

} // namespace

bool convertXyzFile(FastConvertor* convertor, QString path)
{
    return convertDelimited(convertor, path, false);
}

bool convertDatFile(FastConvertor* convertor, QString path)
{
    return convertDelimited(convertor, path, true);
}

bool convertPtsFile(FastConvertor* convertor, QString path)
{
    ReaderSession session(convertor, path);
    LineReader reader;
    std::string_view line;
    if (!openText(session, reader, path) || !readFirstLine(session, reader, line))
        return false;

    std::uint64_t expected = ReaderSession::kUnknownCount;
    double origin[3];
    bool storeOrigin = false;
    if (readCountLine(line, expected)) {
        // The point count comes first; the first point line gives the origin
        // and is a point itself.
        if (!reader.next(line)) {
            if (reader.readFailed())
                return session.fail(reader.errorText());
            // A count line alone: a valid file without points.
            if (!session.begin(0.0, 0.0, 0.0, expected, false))
                return false;
            noteCountMismatch(session, expected);
            return session.finish();
        }
        if (!readThreeNumbers(line, origin))
            return session.fail(QStringLiteral("the line after the point count does not hold "
                                               "three numbers"));
        storeOrigin = true;
    } else if (!readThreeNumbers(line, origin)) {
        return session.fail(QStringLiteral("the first line holds neither a point count nor "
                                           "three numbers"));
    }
    if (!session.begin(origin[0], origin[1], origin[2], expected, false))
        return false;
    if (storeOrigin)
        session.addPoint(origin[0], origin[1], origin[2]);
    if (!readPoints(session, reader,
                    [](std::string_view l, double* xyz) { return readThreeNumbers(l, xyz); }))
        return false;
    noteCountMismatch(session, expected);
    return session.finish();
}

} // namespace nimbus
