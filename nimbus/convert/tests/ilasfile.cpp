#include "ilasfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

IlasContents readIlas(const QString& path)
{
    IlasContents c;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        c.problem = "cannot open " + path.toStdString();
        return c;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 216) {
        c.problem = "shorter than a header";
        return c;
    }
    std::memcpy(&c.header, bytes.constData(), sizeof c.header);
    if (std::memcmp(bytes.constData() + 96, "Quillfen-ilas-v2.1\0", 19) != 0) {
        c.problem = "magic is not complete";
        return c;
    }
    const auto& h = c.header;
    if (h.blockCount < 0 || h.directoryOffset < 216
        || h.directoryOffset + 40 * static_cast<qint64>(h.blockCount) != bytes.size()) {
        c.problem = "file size does not match the directory";
        return c;
    }
    const int pointBytes = h.hasColor ? 16 : 12;
    qint64 expectedOffset = 216;
    qint64 total = 0;
    for (int i = 0; i < h.blockCount; ++i) {
        nimbus::IlasBlockEntry e;
        std::memcpy(&e, bytes.constData() + h.directoryOffset + 40 * i, sizeof e);
        if (e.index != i || e.dataOffset != expectedOffset || e.pointCount <= 0
            || e.pointCount > 500000) {
            c.problem = "directory record " + std::to_string(i) + " is inconsistent";
            return c;
        }
        for (int k = 0; k < e.pointCount; ++k) {
            float xyz[3];
            std::memcpy(xyz, bytes.constData() + e.dataOffset + 12 * static_cast<qint64>(k), 12);
            c.points.push_back({h.originX + xyz[0], h.originY + xyz[1], h.originZ + xyz[2]});
            c.offsets.push_back({xyz[0], xyz[1], xyz[2]});
        }
        expectedOffset += static_cast<qint64>(pointBytes) * e.pointCount;
        total += e.pointCount;
        c.blocks.push_back(e);
    }
    if (expectedOffset != h.directoryOffset)
        c.problem = "point data does not end at the directory";
    else if (total != h.pointCount)
        c.problem = "header point count differs from the blocks";
    return c;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}
