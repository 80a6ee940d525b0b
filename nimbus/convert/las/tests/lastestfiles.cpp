#include "lastestfiles.h"

#include <QCryptographicHash>
#include <QFile>

namespace lastest {

std::string sample(const char* relative)
{
    return std::string(QUILLFEN_SOURCE_DIR "/../shared/") + relative;
}

QByteArray readBytes(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void writeBytes(const std::string& path, const QByteArray& bytes)
{
    QFile f(QString::fromStdString(path));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

std::string sha256Hex(const std::uint8_t* data, std::size_t size)
{
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size)),
        QCryptographicHash::Sha256);
    return digest.toHex().toStdString();
}

Decoded decodeRecords(const std::string& path)
{
    Decoded d;
    nimbus::las::LasReader reader;
    d.opened = reader.open(path);
    if (!d.opened) {
        d.error = reader.error();
        return d;
    }
    const std::size_t rl = reader.header().recordLength;
    const std::size_t batch = 1000;
    std::vector<std::uint8_t> buf(batch * rl);
    for (;;) {
        const std::size_t n = reader.readRecords(buf.data(), batch);
        d.records.insert(d.records.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n * rl));
        d.count += n;
        if (n < batch)
            break;
    }
    d.failed = reader.failed();
    d.error = reader.error();
    return d;
}

Decoded decodePoints(const std::string& path, unsigned threads)
{
    Decoded d;
    nimbus::las::LasReader reader;
    reader.setDecodeThreads(threads);
    d.opened = reader.open(path);
    if (!d.opened) {
        d.error = reader.error();
        return d;
    }
    // An odd batch size so batches and chunks never line up.
    const std::size_t batch = 7777;
    std::vector<nimbus::las::LasPoint> buf(batch);
    for (;;) {
        const std::size_t n = reader.readPoints(buf.data(), batch);
        d.points.insert(d.points.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < batch)
            break;
    }
    d.count = d.points.size();
    d.failed = reader.failed();
    d.error = reader.error();
    return d;
}

bool samePoints(const std::vector<nimbus::las::LasPoint>& a, const std::vector<nimbus::las::LasPoint>& b,
                std::string& where)
{
    if (a.size() != b.size()) {
        where = "counts differ: " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto& p = a[i];
        const auto& q = b[i];
        if (p.x != q.x || p.y != q.y || p.z != q.z || p.red != q.red || p.green != q.green || p.blue != q.blue) {
            where = "point " + std::to_string(i) + " differs";
            return false;
        }
    }
    return true;
}

} // namespace lastest
