// Writes a generated tile set for the rendering benchmarks:
//   fresco_tileset_gen ROOT [COLUMNS ROWS TILE_SIZE]
// ROOT receives metadata.xml and Data/ with COLUMNS x ROWS tiles (default
// 20 x 20) of TILE_SIZE ground units (default 50), each a textured paged
// model with a coarse and a finer level.
#include "tilesetgenerator.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: fresco_tileset_gen ROOT [COLUMNS ROWS TILE_SIZE]\n");
        return 2;
    }
    const int columns = argc == 5 ? std::atoi(argv[2]) : 20;
    const int rows = argc == 5 ? std::atoi(argv[3]) : 20;
    const double size = argc == 5 ? std::atof(argv[4]) : 50.0;
    if (columns < 1 || rows < 1 || !(size > 0)) {
        std::fprintf(stderr, "fresco_tileset_gen: COLUMNS, ROWS and TILE_SIZE must be positive\n");
        return 2;
    }
    const osg::Vec3d origin(500000, 2500000, 0);
    if (!fresco::testing::writeTileSet(QString::fromLocal8Bit(argv[1]),
                                       fresco::testing::tileGrid(columns, rows, size), &origin)) {
        std::fprintf(stderr, "fresco_tileset_gen: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
