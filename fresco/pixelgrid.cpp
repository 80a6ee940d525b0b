#include "pixelgrid.h"

#include <algorithm>
#include <cmath>

namespace fresco {

namespace {

// A millionth of a pixel: box edges computed from the same numbers as the
// grid must not gain a pixel through rounding.
constexpr double kSlack = 1e-6;
constexpr double kLimit = 4.0e15;

int64_t toIndex(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int64_t>(std::clamp(value, -kLimit, kLimit));
}

} // namespace

PixelGrid::PixelGrid(double resolution, const osg::Vec3d &offset, bool targetAligned)
    : m_res(resolution), m_offset(offset), m_aligned(targetAligned)
{
    if (targetAligned) {
        m_indexX = toIndex(std::floor(offset.x() / resolution + 0.5));
        m_indexY = toIndex(std::floor(offset.y() / resolution + 0.5));
    } else {
        m_baseX = offset.x();
        m_baseY = offset.y();
    }
}

int64_t PixelGrid::columnAtOrWest(double x) const
{
    return toIndex(std::floor((x - localX(0)) / m_res + kSlack));
}

int64_t PixelGrid::rowAtOrNorth(double y) const
{
    return toIndex(std::floor((localY(0) - y) / m_res + kSlack));
}

PixelRect PixelGrid::covering(double xMin, double yMin, double xMax, double yMax) const
{
    PixelRect rect;
    rect.column = columnAtOrWest(xMin);
    rect.row = rowAtOrNorth(yMax);
    const int64_t columnEnd = toIndex(std::ceil((xMax - localX(0)) / m_res - kSlack));
    const int64_t rowEnd = toIndex(std::ceil((localY(0) - yMin) / m_res - kSlack));
    rect.columns = std::max<int64_t>(1, columnEnd - rect.column);
    rect.rows = std::max<int64_t>(1, rowEnd - rect.row);
    return rect;
}

PixelRect PixelGrid::nearest(const osg::BoundingBoxd &box) const
{
    PixelRect rect;
    rect.column = toIndex(std::floor((box.xMin() - localX(0)) / m_res + 0.5));
    rect.row = toIndex(std::floor((localY(0) - box.yMax()) / m_res + 0.5));
    const int64_t columnEnd = toIndex(std::floor((box.xMax() - localX(0)) / m_res + 0.5));
    const int64_t rowEnd = toIndex(std::floor((localY(0) - box.yMin()) / m_res + 0.5));
    rect.columns = std::max<int64_t>(1, columnEnd - rect.column);
    rect.rows = std::max<int64_t>(1, rowEnd - rect.row);
    return rect;
}

double PixelGrid::worldX(int64_t column) const
{
    return m_baseX + static_cast<double>(m_indexX + column) * m_res;
}

double PixelGrid::worldY(int64_t row) const
{
    return m_baseY + static_cast<double>(m_indexY - row) * m_res;
}

double PixelGrid::localX(int64_t column) const
{
    if (!m_aligned)
        return static_cast<double>(column) * m_res;
    return worldX(column) - m_offset.x();
}

double PixelGrid::localY(int64_t row) const
{
    if (!m_aligned)
        return -static_cast<double>(row) * m_res;
    return worldY(row) - m_offset.y();
}

} // namespace fresco
