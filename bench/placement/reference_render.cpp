// fresco_reference_render: an independent straight-down render of a tile
// set on the pixel grid of rasters Fresco wrote, for the placement check
// (bench/fresco_placement.sh). Every paged level is frozen at its deepest
// file, so nothing depends on paging or level selection; one orthographic
// camera draws the scene chunk by chunk, each chunk's projection set to that
// chunk's pixel edges, so pixel (i, j) shows the model at its centre.
//
//   fresco_reference_render [--chunk N] TILESET OUTPUT.tif RASTER...
//
// TILESET is the folder holding metadata.xml and Data/; the RASTERs (one
// raster, or all pieces of a split one) give the grid. OUTPUT is a GeoTIFF
// with red, green, blue and alpha (255 where the model was drawn).
#include "frozentree.h"
#include "rastergrid.h"

#include <gdal_priv.h>

#include <osg/ComputeBoundsVisitor>
#include <osg/GraphicsContext>
#include <osg/Group>
#include <osg/Image>
#include <osg/TexEnv>
#include <osgDB/FileNameUtils>
#include <osgDB/FileUtils>
#include <osgViewer/Viewer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

struct Origin
{
    double x = 0;
    double y = 0;
};

// The set's origin: the three numbers of <SRSOrigin> in metadata.xml (0
// without one, as the tile coordinates are then the world's).
bool readOrigin(const std::string &tileset, Origin &origin, bool &found)
{
    found = false;
    std::ifstream in(osgDB::concatPaths(tileset, "metadata.xml"), std::ios::binary);
    if (!in)
        return true;
    std::stringstream text;
    text << in.rdbuf();
    const std::string xml = text.str();
    const std::string open = "<SRSOrigin>";
    const std::size_t start = xml.find(open);
    if (start == std::string::npos)
        return true;
    const std::size_t end = xml.find("</SRSOrigin>", start);
    if (end == std::string::npos)
        return false;
    std::string numbers = xml.substr(start + open.size(), end - start - open.size());
    std::replace(numbers.begin(), numbers.end(), ',', ' ');
    std::istringstream values(numbers);
    if (!(values >> origin.x >> origin.y))
        return false;
    found = true;
    return true;
}

// Data/NAME/NAME.osgb for every tile folder, in name order.
std::vector<std::string> tileRoots(const std::string &tileset)
{
    const std::string data = osgDB::concatPaths(tileset, "Data");
    osgDB::DirectoryContents names = osgDB::getDirectoryContents(data);
    std::sort(names.begin(), names.end());
    std::vector<std::string> roots;
    for (const std::string &name : names) {
        if (name == "." || name == "..")
            continue;
        const std::string root = osgDB::concatPaths(osgDB::concatPaths(data, name), name + ".osgb");
        if (osgDB::fileExists(root))
            roots.push_back(root);
    }
    return roots;
}

osg::ref_ptr<osg::GraphicsContext> openContext(int size)
{
    // The display may be between two clients' connections (a server without
    // -noreset): try for a while.
    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->width = size;
        traits->height = size;
        traits->pbuffer = true;
        traits->readDISPLAY();
        traits->setUndefinedScreenDetailsToDefaultScreen();
        osg::ref_ptr<osg::GraphicsContext> context = osg::GraphicsContext::createGraphicsContext(traits.get());
        if (context.valid())
            return context;
        if (std::chrono::steady_clock::now() - started > std::chrono::seconds(15))
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

int usage()
{
    std::cerr << "usage: fresco_reference_render [--chunk N] TILESET OUTPUT.tif RASTER...\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    int chunk = 1024;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--chunk" && i + 1 < argc) {
            chunk = std::atoi(argv[++i]);
            if (chunk < 16 || chunk > 8192)
                return usage();
        } else {
            arguments.push_back(argument);
        }
    }
    if (arguments.size() < 3)
        return usage();
    const std::string tileset = arguments[0];
    const std::string output = arguments[1];
    const std::vector<std::string> rasters(arguments.begin() + 2, arguments.end());

    placement::RasterGrid grid;
    std::vector<placement::GridPlacement> placements;
    std::string error;
    if (!placement::unionGrid(rasters, grid, placements, error)) {
        std::cerr << "fresco_reference_render: " << error << "\n";
        return 1;
    }
    Origin origin;
    bool haveOrigin = false;
    if (!readOrigin(tileset, origin, haveOrigin)) {
        std::cerr << "fresco_reference_render: unreadable <SRSOrigin> in " << tileset << "/metadata.xml\n";
        return 1;
    }

    // The whole set, every level at its deepest file.
    osg::ref_ptr<osg::Group> scene = new osg::Group;
    placement::FreezeCounts counts;
    const std::vector<std::string> roots = tileRoots(tileset);
    for (const std::string &root : roots) {
        osg::ref_ptr<osg::Node> frozen = placement::readFrozen(root, counts);
        if (!frozen) {
            std::cerr << "fresco_reference_render: cannot read " << root << "\n";
            return 1;
        }
        scene->addChild(frozen.get());
    }
    if (roots.empty()) {
        std::cerr << "fresco_reference_render: no tile in " << tileset << "/Data\n";
        return 1;
    }
    std::cout << "tiles " << roots.size() << ", level files read " << counts.levelFilesRead
              << ", named but missing " << counts.missing.size() << ", plain LODs " << counts.plainLods
              << ", origin " << (haveOrigin ? "from metadata.xml" : "none (0, 0)") << "\n";

    osg::ComputeBoundsVisitor bounds;
    scene->accept(bounds);
    const osg::BoundingBox box = bounds.getBoundingBox();
    if (!box.valid()) {
        std::cerr << "fresco_reference_render: the set has no geometry\n";
        return 1;
    }

    // Texture colours as stored: no lighting, no blending; both faces.
    osg::StateSet *state = scene->getOrCreateStateSet();
    const auto forced = osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE;
    state->setMode(GL_LIGHTING, forced);
    state->setMode(GL_BLEND, forced);
    state->setMode(GL_CULL_FACE, forced);
    state->setMode(GL_DEPTH_TEST, osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    state->setTextureAttribute(0, new osg::TexEnv(osg::TexEnv::REPLACE),
                               osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);

    osg::ref_ptr<osg::GraphicsContext> context = openContext(chunk);
    if (!context) {
        std::cerr << "fresco_reference_render: no OpenGL context (is DISPLAY set?)\n";
        return 1;
    }
    osg::ref_ptr<osgViewer::Viewer> viewer = new osgViewer::Viewer;
    viewer->setThreadingModel(osgViewer::ViewerBase::SingleThreaded);
    viewer->setLightingMode(osg::View::NO_LIGHT);
    osg::Camera *camera = viewer->getCamera();
    camera->setGraphicsContext(context.get());
    camera->setViewport(0, 0, chunk, chunk);
    camera->setClearColor(osg::Vec4(0, 0, 0, 0));
    camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    camera->setCullingMode(osg::CullSettings::VIEW_FRUSTUM_CULLING);
    camera->setRenderTargetImplementation(osg::Camera::FRAME_BUFFER_OBJECT);
    osg::ref_ptr<osg::Image> frame = new osg::Image;
    frame->allocateImage(chunk, chunk, 1, GL_RGBA, GL_UNSIGNED_BYTE, 1);
    frame->setInternalTextureFormat(GL_RGBA8);
    camera->attach(osg::Camera::COLOR_BUFFER, frame.get());
    camera->attach(osg::Camera::DEPTH_BUFFER, GL_DEPTH_COMPONENT24);
    // Straight down from above the highest point, north up.
    const double eyeHeight = box.zMax() + 1.0;
    camera->setViewMatrix(osg::Matrixd::translate(0.0, 0.0, -eyeHeight));
    const double depth = (box.zMax() - box.zMin()) + 2.0;
    viewer->setSceneData(scene.get());
    viewer->realize();

    GDALAllRegister();
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    char **options = nullptr;
    options = CSLSetNameValue(options, "TILED", "YES");
    options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
    options = CSLSetNameValue(options, "PHOTOMETRIC", "RGB");
    options = CSLSetNameValue(options, "ALPHA", "YES");
    options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
    GDALDataset *out = driver ? driver->Create(output.c_str(), grid.width, grid.height, 4, GDT_Byte, options)
                              : nullptr;
    CSLDestroy(options);
    if (!out) {
        std::cerr << "fresco_reference_render: cannot create " << output << "\n";
        return 1;
    }
    double geo[6] = {grid.left, grid.pixelWidth, 0, grid.top, 0, grid.pixelHeight};
    out->SetGeoTransform(geo);

    std::vector<unsigned char> rows(static_cast<std::size_t>(chunk) * chunk * 4);
    bool written = true;
    for (int row0 = 0; row0 < grid.height && written; row0 += chunk) {
        for (int column0 = 0; column0 < grid.width && written; column0 += chunk) {
            // This chunk's pixel edges in the set's local coordinates.
            const double left = grid.x(column0) - origin.x;
            const double right = grid.x(column0 + chunk) - origin.x;
            const double top = grid.y(row0) - origin.y;
            const double bottom = grid.y(row0 + chunk) - origin.y;
            camera->setProjectionMatrixAsOrtho(left, right, bottom, top, 0.5, depth);
            viewer->frame();
            if (frame->s() != chunk || frame->t() != chunk || !frame->data()) {
                std::cerr << "fresco_reference_render: no picture read back\n";
                written = false;
                break;
            }
            // The frame's rows run bottom-up.
            for (int r = 0; r < chunk; ++r)
                std::memcpy(&rows[static_cast<std::size_t>(r) * chunk * 4], frame->data(0, chunk - 1 - r),
                            static_cast<std::size_t>(chunk) * 4);
            const int width = std::min(chunk, grid.width - column0);
            const int height = std::min(chunk, grid.height - row0);
            int bandMap[4] = {1, 2, 3, 4};
            if (out->RasterIO(GF_Write, column0, row0, width, height, rows.data(), width, height, GDT_Byte,
                              4, bandMap, 4, static_cast<GSpacing>(chunk) * 4, 1)
                != CE_None)
                written = false;
        }
    }
    GDALClose(out);
    if (!written) {
        std::cerr << "fresco_reference_render: writing " << output << " failed\n";
        return 1;
    }
    std::cout << "reference " << output << ": " << grid.width << " x " << grid.height << " px at "
              << grid.pixelWidth << "\n";
    return 0;
}
