#include "ilasfile.h"
#include "qtnativepath.h"

#include "ilascheck.h"
#include "ilasreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

IlasContents readIlas(const QString& path)
{
    IlasContents c;
    nimbus::ilas::IlasReader reader;
    reader.open(quillfen::libraryPath(path));
    if (reader.hasHeader())
        c.header = reader.header();
    // Every rule of the format, the kd order of every block included.
    const nimbus::ilas::Problem problem = nimbus::ilas::checkFile(reader);
    if (problem.found()) {
        c.problem = problem.text();
        return c;
    }
    c.blocks = reader.blocks();
    for (std::size_t i = 0; i < c.blocks.size(); ++i) {
        const nimbus::ilas::BlockView block = reader.block(i);
        for (std::int32_t k = 0; k < block.count(); ++k) {
            const nimbus::ilas::StoredXyz p = block.point(k);
            const nimbus::ilas::AbsoluteXyz a = reader.absolute(p);
            c.points.push_back({a.x, a.y, a.z});
            c.offsets.push_back({p.x, p.y, p.z});
            if (block.hasColour()) {
                const nimbus::ilas::StoredColour colour = block.colour(k);
                c.colours.push_back({colour.red, colour.green, colour.blue});
            }
        }
    }
    return c;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}
