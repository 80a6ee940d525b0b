#include "tilesetgenerator.h"

#include <QDir>
#include <QFile>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/MatrixTransform>
#include <osg/PagedLOD>
#include <osg/Texture2D>
#include <osgDB/Options>
#include <osgDB/WriteFile>

#include <cstring>

namespace fresco::testing {

namespace {

std::string local(const QString &path)
{
    return path.toLocal8Bit().toStdString();
}

// One level: four squares over the tile, square k showing texel k of a 2 x 2
// texture (k = 0 south-west, 1 south-east, 2 north-west, 3 north-east).
osg::ref_ptr<osg::Geode> makeLevel(const GeneratedTile &tile, const std::array<Rgb, 4> &colours)
{
    osg::ref_ptr<osg::Image> texels = new osg::Image;
    texels->allocateImage(2, 2, 1, GL_RGB, GL_UNSIGNED_BYTE, 1);
    for (int k = 0; k < 4; ++k) {
        unsigned char *texel = texels->data(k % 2, k / 2);
        texel[0] = colours[k].r;
        texel[1] = colours[k].g;
        texel[2] = colours[k].b;
    }
    texels->setInternalTextureFormat(GL_RGB8);

    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(texels.get());
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::NEAREST);
    texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::NEAREST);
    texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
    texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);

    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec2Array> texCoords = new osg::Vec2Array;
    osg::ref_ptr<osg::DrawElementsUShort> triangles = new osg::DrawElementsUShort(GL_TRIANGLES);
    const double xm = (tile.xmin + tile.xmax) / 2;
    const double ym = (tile.ymin + tile.ymax) / 2;
    for (int k = 0; k < 4; ++k) {
        const double x0 = k % 2 == 0 ? tile.xmin : xm;
        const double x1 = k % 2 == 0 ? xm : tile.xmax;
        const double y0 = k / 2 == 0 ? tile.ymin : ym;
        const double y1 = k / 2 == 0 ? ym : tile.ymax;
        const double z = tile.zmin + (tile.zmax - tile.zmin) * k / 3.0;
        const auto first = static_cast<unsigned short>(vertices->size());
        vertices->push_back(osg::Vec3(x0, y0, z));
        vertices->push_back(osg::Vec3(x1, y0, z));
        vertices->push_back(osg::Vec3(x1, y1, z));
        vertices->push_back(osg::Vec3(x0, y1, z));
        const osg::Vec2 centre((k % 2 + 0.5f) / 2.0f, (k / 2 + 0.5f) / 2.0f);
        for (int v = 0; v < 4; ++v)
            texCoords->push_back(centre);
        for (unsigned short index : {0, 1, 2, 0, 2, 3})
            triangles->push_back(static_cast<unsigned short>(first + index));
    }

    osg::ref_ptr<osg::Vec4Array> white = new osg::Vec4Array;
    white->push_back(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));

    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->setTexCoordArray(0, texCoords.get());
    geometry->setColorArray(white.get(), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(triangles.get());
    geometry->getOrCreateStateSet()->setTextureAttributeAndModes(0, texture.get());

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    return geode;
}

osg::ref_ptr<osg::PagedLOD> pagedLevel(const GeneratedTile &tile, osg::Node *embedded,
                                       const std::string &finerFile, float switchPixels)
{
    osg::ref_ptr<osg::PagedLOD> node = new osg::PagedLOD;
    const osg::Vec3d centre((tile.xmin + tile.xmax) / 2, (tile.ymin + tile.ymax) / 2,
                            (tile.zmin + tile.zmax) / 2);
    const osg::Vec3d corner(tile.xmax, tile.ymax, tile.zmax);
    node->setCenterMode(osg::LOD::USER_DEFINED_CENTER);
    node->setCenter(centre);
    node->setRadius(static_cast<float>((corner - centre).length()));
    node->setRangeMode(osg::LOD::PIXEL_SIZE_ON_SCREEN);
    node->addChild(embedded, 0.0f, switchPixels);
    node->setFileName(1, finerFile);
    node->setRange(1, switchPixels, 1e30f);
    return node;
}

bool writeNode(const osg::Node &node, const QString &path)
{
    osg::ref_ptr<osgDB::Options> options = new osgDB::Options("WriteImageHint=IncludeData");
    return osgDB::writeNodeFile(node, local(path), options.get());
}

bool writeTile(const QString &dataFolder, const GeneratedTile &tile)
{
    const QString folder = dataFolder + QLatin1Char('/') + tile.name;
    if (!QDir().mkpath(folder))
        return false;
    const QString finerName = tile.name + QStringLiteral("_L1.osgb");
    const QString finerPath = folder + QLatin1Char('/') + finerName;

    switch (tile.finer) {
    case GeneratedTile::FinerLevel::Written: {
        osg::ref_ptr<osg::Node> finer = makeLevel(tile, tile.quadrants);
        if (tile.finerNamesMissingChild)
            finer = pagedLevel(tile, finer.get(), local(tile.name + QStringLiteral("_L2.osgb")),
                               tile.switchPixels);
        if (!writeNode(*finer, finerPath))
            return false;
        break;
    }
    case GeneratedTile::FinerLevel::Unreadable: {
        QFile file(finerPath);
        if (!file.open(QIODevice::WriteOnly) || file.write("this is not a scene graph\n") < 0)
            return false;
        break;
    }
    case GeneratedTile::FinerLevel::Missing:
    case GeneratedTile::FinerLevel::Itself:
        break;
    }

    if (!tile.writeRoot)
        return true;
    const std::array<Rgb, 4> coarse{{tile.coarse, tile.coarse, tile.coarse, tile.coarse}};
    osg::ref_ptr<osg::Geode> coarseLevel = makeLevel(tile, coarse);
    const QString rootName = tile.name + QStringLiteral(".osgb");
    const QString finerOfRoot = tile.finer == GeneratedTile::FinerLevel::Itself ? rootName : finerName;
    osg::ref_ptr<osg::Node> root =
        pagedLevel(tile, coarseLevel.get(), local(finerOfRoot), tile.switchPixels);
    if (tile.rootShift != osg::Vec3d(0, 0, 0)) {
        osg::ref_ptr<osg::MatrixTransform> shift =
            new osg::MatrixTransform(osg::Matrixd::translate(tile.rootShift));
        shift->addChild(root.get());
        root = shift;
    }
    return writeNode(*root, folder + QLatin1Char('/') + rootName);
}

} // namespace

Rgb expectedColour(const GeneratedTile &tile, double x, double y)
{
    const bool east = x >= (tile.xmin + tile.xmax) / 2;
    const bool north = y >= (tile.ymin + tile.ymax) / 2;
    return tile.quadrants[(north ? 2 : 0) + (east ? 1 : 0)];
}

bool writeTileSet(const QString &root, const std::vector<GeneratedTile> &tiles,
                  const osg::Vec3d *origin)
{
    const QString data = root + QStringLiteral("/Data");
    if (!QDir().mkpath(data))
        return false;
    if (origin) {
        QFile metadata(root + QStringLiteral("/metadata.xml"));
        if (!metadata.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QString text =
            QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                           "<ModelMetadata version=\"1\">\n"
                           "\t<SRS>EPSG:4547</SRS>\n"
                           "\t<SRSOrigin>%1,%2,%3</SRSOrigin>\n"
                           "\t<Texture>\n\t\t<ColorSource>Visible</ColorSource>\n\t</Texture>\n"
                           "</ModelMetadata>\n")
                .arg(origin->x(), 0, 'f', 3)
                .arg(origin->y(), 0, 'f', 3)
                .arg(origin->z(), 0, 'f', 3);
        if (metadata.write(text.toUtf8()) < 0)
            return false;
    }
    for (const GeneratedTile &tile : tiles) {
        if (!writeTile(data, tile))
            return false;
    }
    return true;
}

std::vector<GeneratedTile> tileGrid(int columns, int rows, double size, double x0, double y0)
{
    std::vector<GeneratedTile> tiles;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            GeneratedTile tile;
            tile.name = QStringLiteral("Tile_+%1_+%2")
                            .arg(column, 3, 10, QLatin1Char('0'))
                            .arg(row, 3, 10, QLatin1Char('0'));
            tile.xmin = x0 + column * size;
            tile.xmax = tile.xmin + size;
            tile.ymin = y0 + row * size;
            tile.ymax = tile.ymin + size;
            const int index = row * columns + column;
            for (int k = 0; k < 4; ++k) {
                // Distinct, never black, and never the coarse grey.
                const int seed = index * 4 + k;
                tile.quadrants[k] = Rgb{static_cast<std::uint8_t>(30 + (seed * 53) % 200),
                                        static_cast<std::uint8_t>(30 + (seed * 97) % 200),
                                        static_cast<std::uint8_t>(30 + (seed * 31) % 200)};
            }
            tiles.push_back(tile);
        }
    }
    return tiles;
}

} // namespace fresco::testing
