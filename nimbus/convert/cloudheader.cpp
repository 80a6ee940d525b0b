#include "cloudheader.h"

#include "classicnumber.h"
#include "linereader.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>
#include <string_view>

namespace nimbus {

namespace {

// Headers are short; anything that has not ended after this many bytes is
// not a header.
constexpr qint64 kHeaderLimit = 1 << 20;

bool readHead(const QString& path, QByteArray& head, qint64& size, CloudHeaderCheck& check)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        check.reason = QStringLiteral("cannot open: %1").arg(file.errorString());
        return false;
    }
    size = file.size();
    head = file.read(kHeaderLimit);
    return true;
}

bool parseCount(const QByteArray& text, std::uint64_t& value)
{
    bool ok = false;
    value = text.toULongLong(&ok);
    return ok;
}

// A compressed body starts with its compressed and its uncompressed size
// (32-bit little-endian). PCL allocates the announced sizes before it
// decompresses, so a few bytes claiming gigabytes would exhaust the memory:
// the sizes must match the header and what the file can hold. An LZF block
// never expands more than 88-fold.
bool compressedSizesFit(const QByteArray& head, int dataStart, std::uint64_t fileBytes,
                        std::uint64_t pointBytes, CloudHeaderCheck& check)
{
    if (head.size() < dataStart + 8) {
        check.reason = QStringLiteral("the file ends before its compressed data");
        return false;
    }
    const auto word = [&](int at) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(head[dataStart + at + i]);
        return std::uint64_t(value);
    };
    const std::uint64_t compressed = word(0);
    const std::uint64_t uncompressed = word(4);
    const bool countFits = pointBytes > 0 && check.points <= 0xFFFFFFFFu / pointBytes;
    if (!countFits || compressed > fileBytes - std::uint64_t(dataStart) - 8
        || uncompressed > compressed * 88) {
        check.reason = QStringLiteral("the header announces more points than the file holds");
        return false;
    }
    if (uncompressed != check.points * pointBytes) {
        check.reason = QStringLiteral("the compressed data does not match the header");
        return false;
    }
    return true;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (static_cast<char>(text[i] | 0x20) != lower[i])
            return false;
    return true;
}

// A value as a text cloud may hold it: a whole number in classic notation,
// or "nan" or "inf" with an optional sign.
bool isNumberToken(std::string_view token)
{
    double value = 0.0;
    const char* stop = nullptr;
    if (parseClassicDouble(token.data(), token.data() + token.size(), value, &stop))
        return stop == token.data() + token.size();
    if (!token.empty() && (token.front() == '-' || token.front() == '+'))
        token.remove_prefix(1);
    return equalsIgnoringCase(token, "nan") || equalsIgnoringCase(token, "inf")
        || equalsIgnoringCase(token, "infinity");
}

// PCL reads a text PCD body without failing on a line that holds too few or
// too many values, or words: it fills in zeros, so a comma-separated file
// would become points at the origin. Every data line (PCL skips empty ones)
// must hold exactly the header's number of values, all of them numbers.
bool asciiPcdBodyFits(const QString& path, int headerLines, std::uint64_t points,
                      std::uint64_t values, CloudHeaderCheck& check)
{
    LineReader reader;
    if (!reader.open(path)) {
        check.reason = QStringLiteral("cannot open: %1").arg(reader.errorText());
        return false;
    }
    std::string_view line;
    std::uint64_t lineNumber = 0;
    for (; lineNumber < std::uint64_t(headerLines); ++lineNumber)
        if (!reader.next(line))
            break;
    std::uint64_t seen = 0;
    while (seen < points) {
        if (!reader.next(line)) {
            check.reason = reader.readFailed()
                ? QStringLiteral("cannot read: %1").arg(reader.errorText())
                : QStringLiteral("the file ends after %1 of the %2 points its header announces")
                      .arg(seen)
                      .arg(points);
            return false;
        }
        ++lineNumber;
        if (reader.overlongLines() > 0) {
            check.reason = QStringLiteral("line %1 is too long").arg(lineNumber);
            return false;
        }
        if (line.empty())
            continue;
        std::uint64_t tokens = 0;
        bool numbers = true;
        std::size_t at = 0;
        while (at < line.size()) {
            while (at < line.size() && isClassicSpace(line[at]))
                ++at;
            const std::size_t begin = at;
            while (at < line.size() && !isClassicSpace(line[at]))
                ++at;
            if (at > begin) {
                ++tokens;
                numbers = numbers && isNumberToken(line.substr(begin, at - begin));
            }
        }
        if (tokens != values) {
            check.reason = QStringLiteral("line %1 holds %2 values separated by white space, "
                                          "but the header gives %3 per point")
                               .arg(lineNumber)
                               .arg(tokens)
                               .arg(values);
            return false;
        }
        if (!numbers) {
            check.reason = QStringLiteral("line %1 holds a value that is not a number").arg(lineNumber);
            return false;
        }
        ++seen;
    }
    return true;
}

std::uint64_t plyTypeSize(const QByteArray& type)
{
    if (type == "short" || type == "ushort" || type == "int16" || type == "uint16")
        return 2;
    if (type == "int" || type == "uint" || type == "float" || type == "int32" || type == "uint32"
        || type == "float32")
        return 4;
    if (type == "double" || type == "float64")
        return 8;
    return 1; // char, uchar, int8, uint8
}

} // namespace

CloudHeaderCheck checkPcdHeader(const QString& path)
{
    CloudHeaderCheck check;
    QByteArray head;
    qint64 size = 0;
    if (!readHead(path, head, size, check))
        return check;

    bool haveFields = false, havePoints = false;
    QByteArray data;
    std::uint64_t pointBytes = 0, values = 0, fieldCount = 0;
    QList<QByteArray> sizes, counts;
    int start = 0;
    while (start < head.size() && data.isEmpty()) {
        int end = head.indexOf('\n', start);
        if (end < 0)
            break; // the header does not end within the bytes read
        const QByteArray line = head.mid(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> words = line.simplified().split(' ');
        const QByteArray& key = words.front();
        if (key == "FIELDS" || key == "COLUMNS") {
            haveFields = words.size() > 1;
            fieldCount = static_cast<std::uint64_t>(words.size() - 1);
        } else if (key == "SIZE") {
            sizes = words.mid(1);
        } else if (key == "COUNT") {
            counts = words.mid(1);
        } else if (key == "POINTS") {
            havePoints = words.size() == 2 && parseCount(words[1], check.points);
            if (!havePoints) {
                check.reason = QStringLiteral("not a PCD file: unusable POINTS entry");
                return check;
            }
        } else if (key == "DATA") {
            data = words.size() == 2 ? words[1] : QByteArray("?");
        } else if (key != "VERSION" && key != "TYPE" && key != "WIDTH" && key != "HEIGHT"
                   && key != "VIEWPOINT") {
            check.reason = QStringLiteral("not a PCD file: unexpected header line");
            return check;
        }
    }
    if (data.isEmpty() || !haveFields || !havePoints) {
        check.reason = QStringLiteral("not a PCD file: the header lacks FIELDS, POINTS or DATA");
        return check;
    }
    if (data != "ascii" && data != "binary" && data != "binary_compressed") {
        check.reason = QStringLiteral("not a PCD file: unknown DATA kind");
        return check;
    }
    for (int i = 0; i < sizes.size(); ++i) {
        std::uint64_t bytes = 0, count = 1;
        if (!parseCount(sizes[i], bytes) || (i < counts.size() && !parseCount(counts[i], count))) {
            check.reason = QStringLiteral("not a PCD file: unusable SIZE or COUNT entry");
            return check;
        }
        pointBytes += bytes * count;
        values += count;
    }
    if (values == 0)
        values = fieldCount; // no SIZE entry: one value per field
    const std::uint64_t fileBytes = static_cast<std::uint64_t>(size);
    // A text value takes at least a digit and a separator, a binary point its
    // full size; PCL allocates room for every announced point up front.
    const bool tooMany =
        (data == "ascii" && check.points > fileBytes / 2 / std::max<std::uint64_t>(values, 1))
        || (data == "binary" && pointBytes > 0 && check.points > fileBytes / pointBytes);
    if (tooMany) {
        check.reason = QStringLiteral("the header announces more points than the file holds");
        return check;
    }
    if (data == "binary_compressed" && check.points > 0
        && !compressedSizesFit(head, start, fileBytes, pointBytes, check)) {
        return check;
    }
    if (data == "ascii" && check.points > 0
        && !asciiPcdBodyFits(path, head.left(start).count('\n'), check.points, values, check)) {
        return check;
    }
    check.usable = true;
    return check;
}

CloudHeaderCheck checkPlyHeader(const QString& path)
{
    CloudHeaderCheck check;
    QByteArray head;
    qint64 size = 0;
    if (!readHead(path, head, size, check))
        return check;

    int start = 0;
    bool first = true, haveVertex = false, binary = false, inVertex = false;
    std::uint64_t vertexBytes = 0; // the least room one vertex takes in the file
    for (;;) {
        const int end = head.indexOf('\n', start);
        if (end < 0) {
            check.reason = QStringLiteral("not a PLY file: the header does not end");
            return check;
        }
        const QByteArray line = head.mid(start, end - start).trimmed();
        start = end + 1;
        if (first) {
            if (line != "ply") {
                check.reason = QStringLiteral("not a PLY file");
                return check;
            }
            first = false;
            continue;
        }
        if (line == "end_header")
            break;
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words[0] == "format") {
            binary = words.size() > 1 && words[1] != "ascii";
        } else if (words[0] == "element") {
            inVertex = words.size() == 3 && words[1] == "vertex";
            if (inVertex) {
                if (!parseCount(words[2], check.points)) {
                    check.reason = QStringLiteral("not a PLY file: unusable vertex count");
                    return check;
                }
                haveVertex = true;
            }
        } else if (words[0] == "property") {
            // A damaged property line would shift every value after it.
            if (words.size() < (words.size() > 1 && words[1] == "list" ? 5 : 3)) {
                check.reason = QStringLiteral("not a PLY file: a property line lacks its type or name");
                return check;
            }
            // A list may be empty, leaving only its length; a text value
            // takes at least a digit and a separator.
            if (inVertex)
                vertexBytes += binary ? plyTypeSize(words[1] == "list" ? words[2] : words[1]) : 2;
        } else if (!line.isEmpty() && words[0] != "comment" && words[0] != "obj_info") {
            // Anything else is a damaged header; read on, its lines would be
            // taken for data.
            check.reason = QStringLiteral("not a PLY file: unknown header keyword \"%1\"")
                               .arg(QString::fromLatin1(words[0].left(40)));
            return check;
        }
    }
    if (!haveVertex) {
        check.reason = QStringLiteral("the PLY file has no vertices");
        return check;
    }
    // PCL allocates room for every announced vertex before reading one.
    if (check.points > static_cast<std::uint64_t>(size) / std::max<std::uint64_t>(vertexBytes, 1)) {
        check.reason = QStringLiteral("the header announces more points than the file holds");
        return check;
    }
    check.usable = true;
    return check;
}

} // namespace nimbus
