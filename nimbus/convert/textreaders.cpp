// XYZ, DAT and PTS: line-oriented text point files. Every line gives one
// point from three numbers; the first point (in PTS, the first line after an
// optional point count) is also the origin. Lines that cannot give their
// three numbers, a header line among them, are skipped and counted.

#include "classicnumber.h"
#include "fastconvertor.h"
#include "linereader.h"
#include "readers.h"
#include "readersession.h"
#include "splitline.h"

#include <QCoreApplication>

#include <omp.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

namespace nimbus {

namespace {

// Runs of lines shorter than this are parsed by one thread.
constexpr std::size_t kParallelBytes = 256u << 10;

// The points of one piece of a run of lines, in file order.
struct ParsedPiece {
    std::vector<PointRecord> points;
    std::uint64_t skipped = 0;
};

// Parses the lines of `text` (each ends in "\n", except perhaps the last)
// into points placed as `place` places them. `readLine(p, end, xyz,
// &lineEnd)` reads the line at p and says where it ends.
template <typename LineToPoint>
void parsePiece(std::string_view text, const PointPlacement& place, LineToPoint& readLine, ParsedPiece& piece)
{
    piece.points.clear();
    piece.skipped = 0;
    const char* p = text.data();
    const char* const end = p + text.size();
    double xyz[3];
    while (p < end) {
        const char* lineEnd = end;
        if (readLine(p, end, xyz, &lineEnd))
            piece.points.push_back(place(xyz[0], xyz[1], xyz[2]));
        else
            ++piece.skipped;
        p = lineEnd < end ? lineEnd + 1 : end;
    }
}

// Adapts a reader of one delimited line to the form parsePiece calls.
template <typename ReadOneLine>
auto lineByLine(ReadOneLine readOneLine)
{
    return [readOneLine](const char* p, const char* end, double* xyz, const char** lineEnd) {
        const void* hit = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        *lineEnd = hit ? static_cast<const char*>(hit) : end;
        return readOneLine(std::string_view(p, static_cast<std::size_t>(*lineEnd - p)), xyz);
    };
}

// Appends the points of `pieces` in order when they all fit in the room left
// in the session's buffer, each piece copied by its own thread: the copy is
// the buffer's first touch, and faulting its pages in on one core left the
// other idle. False (nothing appended) when they do not fit.
bool copyInParallel(ReaderSession& session, const std::vector<ParsedPiece>& pieces, std::size_t count)
{
    std::size_t total = 0;
    for (std::size_t t = 0; t < count; ++t)
        total += pieces[t].points.size();
    if (total == 0 || total > static_cast<std::size_t>(INT32_MAX))
        return false;
    std::int32_t room = 0;
    PointRecord* out = session.reservePoints(static_cast<std::int32_t>(total), room);
    if (!out || static_cast<std::size_t>(room) < total)
        return false;
    std::vector<std::size_t> offsets(count, 0);
    for (std::size_t t = 1; t < count; ++t)
        offsets[t] = offsets[t - 1] + pieces[t - 1].points.size();
#pragma omp parallel for schedule(static, 1) num_threads(static_cast<int>(count))
    for (std::size_t t = 0; t < count; ++t)
        std::memcpy(out + offsets[t], pieces[t].points.data(), sizeof(PointRecord) * pieces[t].points.size());
    for (std::size_t t = 0; t < count; ++t)
        session.countSkipped(pieces[t].skipped);
    session.commitPoints(static_cast<std::int32_t>(total));
    return true;
}

// Reads every line after the origin's line and turns it into a point with
// `readLine` (as parsePiece calls it). Runs of lines are cut at line ends
// into one piece per core, the pieces are parsed at once, and their points
// are appended in file order. False when the session has failed; the caller
// then finishes the session.
template <typename LineToPoint>
bool readPoints(ReaderSession& session, LineReader& reader, LineToPoint readLine)
{
    const PointPlacement place = session.placement();
    std::vector<ParsedPiece> pieces(static_cast<std::size_t>(std::max(1, omp_get_max_threads())));
    std::vector<std::string_view> parts(pieces.size());
    std::string_view text;
    while (reader.nextLines(text)) {
        const std::size_t count = text.size() < kParallelBytes ? 1 : pieces.size();
        const char* cut = text.data();
        const char* const end = text.data() + text.size();
        for (std::size_t t = 0; t < count; ++t) {
            const char* next = t + 1 == count ? end : text.data() + text.size() * (t + 1) / count;
            if (next < cut)
                next = cut;
            // Each piece ends just after a line end.
            const void* hit = next < end ? std::memchr(next, '\n', static_cast<std::size_t>(end - next)) : nullptr;
            next = t + 1 == count || !hit ? end : static_cast<const char*>(hit) + 1;
            parts[t] = std::string_view(cut, static_cast<std::size_t>(next - cut));
            cut = next;
        }
#pragma omp parallel for schedule(static, 1) num_threads(static_cast<int>(count)) if (count > 1)
        for (std::size_t t = 0; t < count; ++t)
            parsePiece(parts[t], place, readLine, pieces[t]);
        const bool copied = count > 1 && copyInParallel(session, pieces, count);
        for (std::size_t t = 0; t < count && !copied; ++t) {
            const ParsedPiece& piece = pieces[t];
            session.countSkipped(piece.skipped);
            std::size_t done = 0;
            while (done < piece.points.size()) {
                std::int32_t room = 0;
                PointRecord* out = session.reservePoints(
                    static_cast<std::int32_t>(std::min<std::size_t>(piece.points.size() - done, INT32_MAX)), room);
                if (!out)
                    break;
                std::memcpy(out, piece.points.data() + done, sizeof(PointRecord) * static_cast<std::size_t>(room));
                session.commitPoints(room);
                done += static_cast<std::size_t>(room);
            }
        }
        session.reportBytesConsumed(reader.consumed(), reader.fileSize());
        if (!session.carryOn())
            return false;
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
    return session.fail(QCoreApplication::translate("Nimbus", "the file is empty"));
}

// Delimited files: XYZ (first field 0, separator "," or " ") and DAT (first
// field 2, separator ","). The first line that gives three numbers is the
// origin and the first point; lines before it (a header such as "X,Y,Z")
// are skipped like any other unusable line.
bool convertDelimited(FastConvertor* convertor, const QString& path, bool dat)
{
    ReaderSession session(convertor, path);
    LineReader reader;
    std::string_view line;
    if (!openText(session, reader, path) || !readFirstLine(session, reader, line))
        return false;

    const int firstField = dat ? 2 : 0;
    char separator = ',';
    double origin[3];
    std::uint64_t linesBefore = 0;
    for (;;) {
        // An XYZ file is blank-separated unless its first point line has a comma.
        separator = !dat && splitLine(line, ',').size() <= 1 ? ' ' : ',';
        if (readThreeFields(line, separator, firstField, origin))
            break;
        ++linesBefore;
        if (!reader.next(line)) {
            if (reader.readFailed())
                return session.fail(reader.errorText());
            return session.fail(dat ? QCoreApplication::translate("Nimbus", "no line holds three numbers in its fields 3 to 5")
                                    : QCoreApplication::translate("Nimbus", "no line holds three numbers"));
        }
        if ((linesBefore & 0xfff) == 0 && !session.carryOn())
            return false;
    }
    if (!session.begin(origin[0], origin[1], origin[2], ReaderSession::kUnknownCount, false))
        return false;
    session.countSkipped(linesBefore);
    session.addPoint(origin[0], origin[1], origin[2]);
    if (firstField == 0) {
        return readPoints(session, reader,
                          [separator](const char* p, const char* end, double* xyz, const char** lineEnd) {
                              return readFirstThreeFieldsOfLine(p, end, separator, xyz, lineEnd);
                          })
            && session.finish();
    }
    return readPoints(session, reader, lineByLine([separator, firstField](std::string_view l, double* xyz) {
                          return readThreeFields(l, separator, firstField, xyz);
                      }))
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
    session.addNote(QCoreApplication::translate("Nimbus", "the count line says %1, the file holds %2 points")
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
            return session.fail(
                QCoreApplication::translate("Nimbus", "the line after the point count does not hold three numbers"));
        storeOrigin = true;
    } else if (!readThreeNumbers(line, origin)) {
        return session.fail(
            QCoreApplication::translate("Nimbus", "the first line holds neither a point count nor three numbers"));
    }
    if (!session.begin(origin[0], origin[1], origin[2], expected, false))
        return false;
    if (storeOrigin)
        session.addPoint(origin[0], origin[1], origin[2]);
    if (!readPoints(session, reader,
                    lineByLine([](std::string_view l, double* xyz) { return readThreeNumbers(l, xyz); })))
        return false;
    noteCountMismatch(session, expected);
    return session.finish();
}

} // namespace nimbus
