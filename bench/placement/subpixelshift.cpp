#include "subpixelshift.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace placement {

namespace {

// Pixels of the window usable for shifts up to `margin`: covered in the
// test and in the reference's whole (2 margin + 1)^2 neighbourhood.
std::vector<std::pair<int, int>> usablePixels(const GreyImage &test, const GreyImage &reference,
                                              const Window &window, int margin)
{
    // Rows of the reference's coverage eroded by `margin` each way, built
    // from a running count per row and column.
    const int w = reference.width;
    const int h = reference.height;
    const int r0 = std::max(0, window.row - margin);
    const int r1 = std::min(h, window.row + window.rows + margin);
    std::vector<uint8_t> across(static_cast<std::size_t>(r1 - r0) * w, 0);
    for (int r = r0; r < r1; ++r) {
        int run = 0;
        std::vector<int> runEnd(w);
        for (int c = w - 1; c >= 0; --c) {
            run = reference.has(c, r) ? run + 1 : 0;
            runEnd[c] = run;
        }
        for (int c = margin; c + margin < w; ++c)
            across[static_cast<std::size_t>(r - r0) * w + c] = runEnd[c - margin] >= 2 * margin + 1;
    }
    std::vector<std::pair<int, int>> pixels;
    const int c0 = std::max(margin, window.column);
    const int c1 = std::min(w - margin, window.column + window.columns);
    for (int r = std::max(window.row, margin); r < std::min(window.row + window.rows, h - margin); ++r) {
        for (int c = c0; c < c1; ++c) {
            if (!test.has(c, r))
                continue;
            bool all = true;
            for (int k = -margin; k <= margin && all; ++k)
                all = across[static_cast<std::size_t>(r + k - r0) * w + c] != 0;
            if (all)
                pixels.emplace_back(c, r);
        }
    }
    return pixels;
}

double correlationAt(const GreyImage &test, const GreyImage &reference,
                     const std::vector<std::pair<int, int>> &pixels, int sx, int sy)
{
    double st = 0, sr = 0, stt = 0, srr = 0, str = 0;
    for (const auto &[c, r] : pixels) {
        const double t = test.at(c, r);
        const double v = reference.at(c - sx, r - sy);
        st += t;
        sr += v;
        stt += t * t;
        srr += v * v;
        str += t * v;
    }
    const double n = static_cast<double>(pixels.size());
    const double cov = str - st * sr / n;
    const double vt = stt - st * st / n;
    const double vr = srr - sr * sr / n;
    if (vt <= 0 || vr <= 0)
        return 0;
    return cov / std::sqrt(vt * vr);
}

// Bilinear sample of the reference's grey level and its central-difference
// gradient at (x, y); the caller keeps (x, y) one pixel inside the image.
void sample(const GreyImage &image, double x, double y, double &value, double &gx, double &gy)
{
    const int c = static_cast<int>(std::floor(x));
    const int r = static_cast<int>(std::floor(y));
    const double fx = x - c;
    const double fy = y - r;
    const auto at = [&](int cc, int rr) { return static_cast<double>(image.at(cc, rr)); };
    const auto bilinear = [&](int cc, int rr) {
        return (1 - fx) * (1 - fy) * at(cc, rr) + fx * (1 - fy) * at(cc + 1, rr) + (1 - fx) * fy * at(cc, rr + 1)
               + fx * fy * at(cc + 1, rr + 1);
    };
    value = bilinear(c, r);
    // The gradient of the bilinear surface, averaged over the cell's
    // neighbours for a smoother estimate.
    gx = (bilinear(c + 1, r) - bilinear(c - 1, r)) / 2;
    gy = (bilinear(c, r + 1) - bilinear(c, r - 1)) / 2;
}

// Solves the 4 x 4 system a x = b by Gaussian elimination with pivoting.
bool solve4(double a[4][4], double b[4], double x[4])
{
    for (int i = 0; i < 4; ++i) {
        int pivot = i;
        for (int k = i + 1; k < 4; ++k)
            if (std::fabs(a[k][i]) > std::fabs(a[pivot][i]))
                pivot = k;
        if (std::fabs(a[pivot][i]) < 1e-12)
            return false;
        std::swap(a[i], a[pivot]);
        std::swap(b[i], b[pivot]);
        for (int k = i + 1; k < 4; ++k) {
            const double f = a[k][i] / a[i][i];
            for (int j = i; j < 4; ++j)
                a[k][j] -= f * a[i][j];
            b[k] -= f * b[i];
        }
    }
    for (int i = 3; i >= 0; --i) {
        double s = b[i];
        for (int j = i + 1; j < 4; ++j)
            s -= a[i][j] * x[j];
        x[i] = s / a[i][i];
    }
    return true;
}

} // namespace

void smoothCovered(GreyImage &image, double sigma)
{
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    if (radius < 1)
        return;
    std::vector<double> kernel(2 * radius + 1);
    for (int k = -radius; k <= radius; ++k)
        kernel[k + radius] = std::exp(-0.5 * k * k / (sigma * sigma));
    const int w = image.width;
    const int h = image.height;
    const std::size_t size = static_cast<std::size_t>(w) * h;
    std::vector<float> value(size), weight(size);
    for (std::size_t i = 0; i < size; ++i) {
        weight[i] = image.covered[i] ? 1.0f : 0.0f;
        value[i] = image.covered[i] ? image.grey[i] : 0.0f;
    }
    // Separable: along the rows, then along the columns.
    for (int pass = 0; pass < 2; ++pass) {
        const int lines = pass == 0 ? h : w;
        const int length = pass == 0 ? w : h;
        std::vector<float> lineValue(length), lineWeight(length);
        for (int line = 0; line < lines; ++line) {
            const auto index = [&](int k) {
                return pass == 0 ? static_cast<std::size_t>(line) * w + k : static_cast<std::size_t>(k) * w + line;
            };
            for (int k = 0; k < length; ++k) {
                double sv = 0, sw = 0;
                for (int j = std::max(0, k - radius); j <= std::min(length - 1, k + radius); ++j) {
                    sv += kernel[j - k + radius] * value[index(j)];
                    sw += kernel[j - k + radius] * weight[index(j)];
                }
                lineValue[k] = static_cast<float>(sv);
                lineWeight[k] = static_cast<float>(sw);
            }
            for (int k = 0; k < length; ++k) {
                value[index(k)] = lineValue[k];
                weight[index(k)] = lineWeight[k];
            }
        }
    }
    for (std::size_t i = 0; i < size; ++i)
        if (image.covered[i] && weight[i] > 0)
            image.grey[i] = value[i] / weight[i];
}

Shift estimateShift(const GreyImage &test, const GreyImage &reference, const Window &window, int radius,
                    long long minPixels)
{
    Shift shift;
    shift.dx = shift.dy = std::numeric_limits<double>::quiet_NaN();
    // The refined shift may pass the search by half a pixel; bilinear
    // samples and their gradient reach two pixels further.
    const int margin = radius + 3;
    const std::vector<std::pair<int, int>> pixels = usablePixels(test, reference, window, margin);
    shift.pixels = static_cast<long long>(pixels.size());
    if (shift.pixels < minPixels)
        return shift;

    int bestX = 0, bestY = 0;
    double best = -2;
    for (int sy = -radius; sy <= radius; ++sy) {
        for (int sx = -radius; sx <= radius; ++sx) {
            const double c = correlationAt(test, reference, pixels, sx, sy);
            if (c > best) {
                best = c;
                bestX = sx;
                bestY = sy;
            }
        }
    }
    shift.correlation = best;

    // Gauss-Newton on test(p) = gain * reference(p - d) + offset.
    double d[2] = {static_cast<double>(bestX), static_cast<double>(bestY)};
    double gain = 1, offset = 0;
    bool settled = false;
    for (int iteration = 0; iteration < 30; ++iteration) {
        double a[4][4] = {};
        double b[4] = {};
        for (const auto &[c, r] : pixels) {
            double value, gx, gy;
            sample(reference, c - d[0], r - d[1], value, gx, gy);
            const double residual = test.at(c, r) - (gain * value + offset);
            const double j[4] = {-gain * gx, -gain * gy, value, 1.0};
            for (int p = 0; p < 4; ++p) {
                b[p] += j[p] * residual;
                for (int q = 0; q < 4; ++q)
                    a[p][q] += j[p] * j[q];
            }
        }
        double step[4];
        if (!solve4(a, b, step))
            break;
        d[0] += step[0];
        d[1] += step[1];
        gain += step[2];
        offset += step[3];
        if (std::fabs(d[0]) > radius + 0.5 || std::fabs(d[1]) > radius + 0.5)
            break;
        if (std::fabs(step[0]) < 1e-4 && std::fabs(step[1]) < 1e-4) {
            settled = true;
            break;
        }
    }
    if (settled) {
        shift.dx = d[0];
        shift.dy = d[1];
    }
    return shift;
}

} // namespace placement
