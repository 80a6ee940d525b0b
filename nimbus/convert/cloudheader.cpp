#include "cloudheader.h"

#include <QByteArray>
#include <QFile>
#include <QList>

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
    std::uint64_t pointBytes = 0;
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
    }
    const std::uint64_t fileBytes = static_cast<std::uint64_t>(size);
    // A text point takes at least two characters, a binary one its full size.
    const bool tooMany = (data == "ascii" && check.points > fileBytes / 2)
        || (data == "binary" && pointBytes > 0 && check.points > fileBytes / pointBytes);
    if (tooMany) {
        check.reason = QStringLiteral("the header announces more points than the file holds");
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
    bool first = true, haveVertex = false;
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
        if (words.size() == 3 && words[0] == "element" && words[1] == "vertex") {
            if (!parseCount(words[2], check.points)) {
                check.reason = QStringLiteral("not a PLY file: unusable vertex count");
                return check;
            }
            haveVertex = true;
        }
    }
    if (!haveVertex) {
        check.reason = QStringLiteral("the PLY file has no vertices");
        return check;
    }
    // Every vertex takes at least one byte, in text or binary form.
    if (check.points > static_cast<std::uint64_t>(size)) {
        check.reason = QStringLiteral("the header announces more points than the file holds");
        return check;
    }
    check.usable = true;
    return check;
}

} // namespace nimbus
