// fresco_shift_table: how far a raster of Fresco's (one raster, or the
// pieces of a split one) lies from the reference render of the same set
// (fresco_reference_render), band by band, and whether it leaves no-data
// lines inside the model. Used by bench/fresco_placement.sh.
//
//   fresco_shift_table [--band N] [--limit PX] [--smooth SIGMA] [--label TEXT]
//                      REFERENCE.tif RASTER...
//
// For every band of N rows (all columns), then every band of N columns (all
// rows), it prints the shift of the raster's content against the
// reference's in pixels (dx east, dy south), estimated on grey levels of the
// pixels both show as model, both smoothed alike (Gaussian, SIGMA pixels,
// default 1.5). Coverage: the reference's alpha; a raster's
// alpha band, else its mask band (fresco-render --mask), else non-black.
// Exit status 0 when every shift is within the limit (default 0.25 px) and
// no no-data line lies inside the model, 1 otherwise, 2 when an input
// cannot be read.
#include "rastergrid.h"
#include "subpixelshift.h"

#include <gdal_priv.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using placement::GreyImage;

struct Layout
{
    long long overlapPixels = 0;
    long long overlapDisagreeing = 0;
    bool guessedCoverage = false;
};

// Reads `path` into `image` at (column, row) of the shared grid.
bool readInto(const placement::GridPlacement &where, GreyImage &image, Layout &layout, std::string &error)
{
    GDALDataset *dataset = static_cast<GDALDataset *>(GDALOpen(where.path.c_str(), GA_ReadOnly));
    if (!dataset || dataset->GetRasterCount() < 3) {
        error = where.path + ": not a raster of three or more bands";
        if (dataset)
            GDALClose(dataset);
        return false;
    }
    GDALRasterBand *coverage = nullptr;
    bool fromColour = false;
    if (dataset->GetRasterCount() >= 4
        && dataset->GetRasterBand(4)->GetColorInterpretation() == GCI_AlphaBand) {
        coverage = dataset->GetRasterBand(4);
    } else {
        GDALRasterBand *first = dataset->GetRasterBand(1);
        if (first->GetMaskFlags() & GMF_ALL_VALID)
            fromColour = true;
        else
            coverage = first->GetMaskBand();
    }
    layout.guessedCoverage |= fromColour;

    const int w = where.width;
    const int block = 512;
    std::vector<uint8_t> rgb(static_cast<std::size_t>(w) * block * 3);
    std::vector<uint8_t> mask(static_cast<std::size_t>(w) * block);
    bool ok = true;
    for (int row0 = 0; row0 < where.height && ok; row0 += block) {
        const int rows = std::min(block, where.height - row0);
        int bands[3] = {1, 2, 3};
        ok = dataset->RasterIO(GF_Read, 0, row0, w, rows, rgb.data(), w, rows, GDT_Byte, 3, bands, 3,
                               static_cast<GSpacing>(w) * 3, 1)
             == CE_None;
        if (ok && coverage)
            ok = coverage->RasterIO(GF_Read, 0, row0, w, rows, mask.data(), w, rows, GDT_Byte, 0, 0) == CE_None;
        for (int r = 0; r < rows && ok; ++r) {
            for (int c = 0; c < w; ++c) {
                const uint8_t *p = &rgb[(static_cast<std::size_t>(r) * w + c) * 3];
                const bool has = coverage ? mask[static_cast<std::size_t>(r) * w + c] != 0 : (p[0] | p[1] | p[2]) != 0;
                if (!has)
                    continue;
                const std::size_t at =
                    static_cast<std::size_t>(where.row + row0 + r) * image.width + where.column + c;
                const float grey = (p[0] + p[1] + p[2]) / 3.0f;
                if (image.covered[at]) {
                    ++layout.overlapPixels;
                    if (std::fabs(image.grey[at] - grey) > 0.01f)
                        ++layout.overlapDisagreeing;
                }
                image.covered[at] = 1;
                image.grey[at] = grey;
            }
        }
    }
    GDALClose(dataset);
    if (!ok)
        error = where.path + ": read failed";
    return ok;
}

// Lines (rows, or columns with `columns`) where the raster leaves a hole in
// the model: most pixels that the reference covers and the raster covers on
// both neighbouring lines are missing on the line itself.
std::vector<int> noDataLines(const GreyImage &test, const GreyImage &reference, bool columns)
{
    const int lines = columns ? test.width : test.height;
    const int length = columns ? test.height : test.width;
    std::vector<int> found;
    for (int line = 1; line + 1 < lines; ++line) {
        long long inside = 0, missing = 0;
        for (int k = 0; k < length; ++k) {
            const auto has = [&](const GreyImage &image, int l) {
                return columns ? image.has(l, k) : image.has(k, l);
            };
            if (!has(reference, line) || !has(test, line - 1) || !has(test, line + 1))
                continue;
            ++inside;
            if (!has(test, line))
                ++missing;
        }
        if (inside >= 10 && missing * 2 > inside)
            found.push_back(line);
    }
    return found;
}

std::string listOf(const std::vector<int> &values)
{
    if (values.empty())
        return "none";
    std::string text;
    for (std::size_t i = 0; i < values.size() && i < 20; ++i)
        text += (i ? " " : "") + std::to_string(values[i]);
    if (values.size() > 20)
        text += " ... (" + std::to_string(values.size()) + ")";
    return text;
}

int usage()
{
    std::fprintf(stderr, "usage: fresco_shift_table [--band N] [--limit PX] [--smooth SIGMA] [--label TEXT]\n"
                         "                          REFERENCE.tif RASTER...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    int band = 200;
    double limit = 0.25;
    double sigma = 1.5;
    std::string label = "-";
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--band" && i + 1 < argc) {
            band = std::atoi(argv[++i]);
            if (band < 20)
                return usage();
        } else if (argument == "--limit" && i + 1 < argc) {
            limit = std::atof(argv[++i]);
        } else if (argument == "--smooth" && i + 1 < argc) {
            sigma = std::atof(argv[++i]);
            if (!(sigma >= 0 && sigma <= 10))
                return usage();
        } else if (argument == "--label" && i + 1 < argc) {
            label = argv[++i];
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() < 2)
        return usage();

    placement::RasterGrid grid;
    std::vector<placement::GridPlacement> placements;
    std::string error;
    if (!placement::unionGrid(files, grid, placements, error)) {
        std::fprintf(stderr, "fresco_shift_table: %s\n", error.c_str());
        return 2;
    }
    const std::size_t size = static_cast<std::size_t>(grid.width) * grid.height;
    GreyImage reference, test;
    for (GreyImage *image : {&reference, &test}) {
        image->width = grid.width;
        image->height = grid.height;
        image->grey.assign(size, 0.0f);
        image->covered.assign(size, 0);
    }
    Layout referenceLayout, layout;
    if (!readInto(placements[0], reference, referenceLayout, error)) {
        std::fprintf(stderr, "fresco_shift_table: %s\n", error.c_str());
        return 2;
    }
    for (std::size_t i = 1; i < placements.size(); ++i) {
        if (!readInto(placements[i], test, layout, error)) {
            std::fprintf(stderr, "fresco_shift_table: %s\n", error.c_str());
            return 2;
        }
    }

    long long common = 0, equal = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (reference.covered[i] && test.covered[i]) {
            ++common;
            equal += reference.grey[i] == test.grey[i];
        }
    }
    placement::smoothCovered(reference, sigma);
    placement::smoothCovered(test, sigma);

    long long referenceModel = 0, missing = 0, extra = 0;
    for (std::size_t i = 0; i < size; ++i) {
        referenceModel += reference.covered[i] != 0;
        missing += reference.covered[i] && !test.covered[i];
        extra += test.covered[i] && !reference.covered[i];
    }

    std::printf("%-8s %-5s %6s %6s %8s %8s %7s %9s\n", "label", "axis", "from", "to", "dx", "dy", "ncc",
                "pixels");
    const long long minPixels = 2000;
    const int radius = 3;
    double worst = 0;
    int measured = 0, unsettled = 0;
    for (int axis = 0; axis < 2; ++axis) {
        const int extent = axis == 0 ? grid.height : grid.width;
        for (int from = 0, to = 0; from < extent; from = to) {
            // A remainder shorter than half a band joins the last band.
            to = extent - (from + band) < band / 2 ? extent : from + band;
            placement::Window window;
            if (axis == 0)
                window = {0, from, grid.width, to - from};
            else
                window = {from, 0, to - from, grid.height};
            const placement::Shift shift = placement::estimateShift(test, reference, window, radius, minPixels);
            if (shift.pixels < minPixels) {
                std::printf("%-8s %-5s %6d %6d %8s %8s %7s %9lld\n", label.c_str(), axis ? "cols" : "rows", from,
                            to, "-", "-", "-", shift.pixels);
                continue;
            }
            if (std::isnan(shift.dx)) {
                ++unsettled;
                std::printf("%-8s %-5s %6d %6d %8s %8s %7.3f %9lld\n", label.c_str(), axis ? "cols" : "rows", from,
                            to, "?", "?", shift.correlation, shift.pixels);
                continue;
            }
            ++measured;
            worst = std::max({worst, std::fabs(shift.dx), std::fabs(shift.dy)});
            std::printf("%-8s %-5s %6d %6d %+8.3f %+8.3f %7.3f %9lld\n", label.c_str(), axis ? "cols" : "rows", from,
                        to, shift.dx, shift.dy, shift.correlation, shift.pixels);
        }
    }

    const std::vector<int> holeRows = noDataLines(test, reference, false);
    const std::vector<int> holeColumns = noDataLines(test, reference, true);
    // Edge lines: the share of the reference's model the raster leaves out.
    const auto edge = [&](bool columns, int line) {
        long long model = 0, lost = 0;
        const int length = columns ? grid.height : grid.width;
        for (int k = 0; k < length; ++k) {
            const int c = columns ? line : k;
            const int r = columns ? k : line;
            if (reference.has(c, r)) {
                ++model;
                lost += !test.has(c, r);
            }
        }
        return std::to_string(lost) + "/" + std::to_string(model);
    };

    std::printf("%s: %d x %d px at %g; %d bands measured", label.c_str(), grid.width, grid.height, grid.pixelWidth,
                measured);
    if (unsettled)
        std::printf(", %d did not settle", unsettled);
    std::printf("; max |shift| %.3f px (limit %.2f)\n", worst, limit);
    std::printf("%s: model pixels of the reference missing in the raster %lld of %lld (%.3f %%); raster model "
                "outside the reference's %lld\n",
                label.c_str(), missing, referenceModel, referenceModel ? 100.0 * missing / referenceModel : 0.0,
                extra);
    std::printf("%s: pixels both show as model %lld, of equal grey level %lld (%.1f %%)\n", label.c_str(), common,
                equal, common ? 100.0 * equal / common : 0.0);
    std::printf("%s: edge lines missing/model: top %s, bottom %s, left %s, right %s\n", label.c_str(),
                edge(false, 0).c_str(), edge(false, grid.height - 1).c_str(), edge(true, 0).c_str(),
                edge(true, grid.width - 1).c_str());
    std::printf("%s: no-data rows inside the model: %s; columns: %s\n", label.c_str(), listOf(holeRows).c_str(),
                listOf(holeColumns).c_str());
    if (placements.size() > 2)
        std::printf("%s: %zu pieces; pixels two pieces cover %lld, differing %lld\n", label.c_str(),
                    placements.size() - 1, layout.overlapPixels, layout.overlapDisagreeing);
    if (layout.guessedCoverage)
        std::printf("%s: a raster has no mask: non-black pixels taken as model\n", label.c_str());

    const bool pass = measured > 0 && unsettled == 0 && worst <= limit && holeRows.empty() && holeColumns.empty()
                      && layout.overlapDisagreeing == 0;
    std::printf("%s: %s\n", label.c_str(), pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
