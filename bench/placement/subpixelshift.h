// Sub-pixel shift between two grey images of one size, on the pixels both
// cover: a whole-pixel search by normalized cross-correlation, refined by
// Gauss-Newton on the brightness (Lucas-Kanade with gain and offset).
#pragma once

#include <cstdint>
#include <vector>

namespace placement {

struct GreyImage
{
    int width = 0;
    int height = 0;
    std::vector<float> grey;
    // Non-zero where the image shows the model.
    std::vector<uint8_t> covered;

    float at(int column, int row) const { return grey[static_cast<std::size_t>(row) * width + column]; }
    bool has(int column, int row) const { return covered[static_cast<std::size_t>(row) * width + column] != 0; }
};

struct Window
{
    int column = 0;
    int row = 0;
    int columns = 0;
    int rows = 0;
};

struct Shift
{
    // Where `test` shows a feature relative to `reference`, in pixels:
    // dx > 0 east, dy > 0 south (down the rows). NaN when the window holds
    // too few common pixels or the estimate does not settle.
    double dx = 0;
    double dy = 0;
    // Normalized cross-correlation at the best whole-pixel shift.
    double correlation = 0;
    long long pixels = 0;
};

// Smooths the grey levels with a Gaussian of `sigma` pixels over the
// covered pixels only (normalized convolution), in place. Both images
// smoothed alike keep their shift; point-sampled renders alias, and without
// smoothing the interpolation the refinement relies on pulls estimates
// towards whole pixels.
void smoothCovered(GreyImage &image, double sigma);

// Searches whole-pixel shifts up to `radius` each way, then refines; only
// pixels of `window` that both images cover (with `radius` + 1 pixels of
// covered neighbourhood in the reference) take part.
Shift estimateShift(const GreyImage &test, const GreyImage &reference, const Window &window, int radius,
                    long long minPixels);

} // namespace placement
