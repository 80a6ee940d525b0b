#include "kdorder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace nimbus {

namespace {

// Unsigned integers that sort like the floats; both zeros map to one value.
inline std::uint32_t sortableBits(float value)
{
    if (value == 0.0f)
        value = 0.0f;
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

inline std::uint32_t positionOf(std::uint64_t rank)
{
    return static_cast<std::uint32_t>(rank);
}

constexpr std::ptrdiff_t kSmallRange = 16;

// Sorts up to kSmallRange distinct values by counting, for each value, how
// many are smaller: more compares than an insertion sort, but no
// unpredictable branches.
void sortSmallRange(std::uint64_t* a, std::ptrdiff_t n)
{
    std::uint64_t copy[kSmallRange];
    std::copy(a, a + n, copy);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        std::ptrdiff_t rank = 0;
        for (std::ptrdiff_t j = 0; j < n; ++j)
            rank += copy[j] < copy[i];
        a[rank] = copy[i];
    }
}

// Puts the k-th smallest of the distinct values a[first..last] (inclusive)
// at a[k], smaller ones before it and larger ones after. Large ranges first
// select within a small sample window around k (Floyd and Rivest), which
// gives a pivot so close to the k-th value that one branch-free partition
// pass leaves little to do; small ranges take the median of three.
void selectRange(std::uint64_t* a, std::ptrdiff_t first, std::ptrdiff_t last, std::ptrdiff_t k)
{
    int budget = 64;
    while (last - first >= kSmallRange) {
        if (--budget == 0) {
            std::nth_element(a + first, a + k, a + last + 1);
            return;
        }
        if (last - first > 600) {
            const double n = static_cast<double>(last - first + 1);
            const double i = static_cast<double>(k - first + 1);
            const double z = std::log(n);
            const double s = 0.5 * std::exp(2.0 * z / 3.0);
            const double sd = 0.5 * std::sqrt(z * s * (n - s) / n) * (i < n / 2 ? -1.0 : 1.0);
            const auto low = static_cast<std::ptrdiff_t>(static_cast<double>(k) - i * s / n + sd);
            const auto high = static_cast<std::ptrdiff_t>(static_cast<double>(k) + (n - i) * s / n + sd);
            selectRange(a, std::max(first, low), std::min(last, high), k);
            std::swap(a[k], a[last]);
        } else {
            const std::ptrdiff_t mid = first + (last - first) / 2;
            if (a[mid] < a[first])
                std::swap(a[first], a[mid]);
            if (a[last] < a[mid])
                std::swap(a[mid], a[last]);
            if (a[mid] < a[first])
                std::swap(a[first], a[mid]);
            std::swap(a[mid], a[last]);
        }

        // Branch-free partition around the pivot at a[last].
        const std::uint64_t pivot = a[last];
        std::ptrdiff_t store = first;
        for (std::ptrdiff_t j = first; j < last; ++j) {
            const std::uint64_t value = a[j];
            const bool smaller = value < pivot;
            a[j] = a[store];
            a[store] = value;
            store += smaller;
        }
        std::swap(a[store], a[last]);

        if (store == k)
            return;
        if (k < store)
            last = store - 1;
        else
            first = store + 1;
    }
    sortSmallRange(a + first, last - first + 1);
}

void selectRank(std::uint64_t* a, std::size_t n, std::size_t k)
{
    if (n > 1)
        selectRange(a, 0, static_cast<std::ptrdiff_t>(n) - 1, static_cast<std::ptrdiff_t>(k));
}

} // namespace

void orderBlockPoints(PointRecord* points, std::int32_t n)
{
    KdOrderScratch scratch;
    orderBlockPoints(points, n, scratch);
}

void orderBlockPoints(PointRecord* points, std::int32_t n, KdOrderScratch& scratch)
{
    if (!points || n < 2)
        return;
    std::vector<PointRecord>& original = scratch.original;
    std::vector<std::uint32_t>& axisBits = scratch.axisBits;
    std::vector<std::uint64_t>& ranks = scratch.ranks;
    std::vector<KdRange>& ranges = scratch.ranges;

    // A rank is (coordinate bits << 32 | position): comparing ranks orders by
    // the coordinate of the range's axis and breaks ties by position.
    const auto size = static_cast<std::size_t>(n);
    original.assign(points, points + n);
    axisBits.resize(3 * size);
    ranks.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
        axisBits[i] = sortableBits(points[i].x);
        axisBits[size + i] = sortableBits(points[i].y);
        axisBits[2 * size + i] = sortableBits(points[i].z);
        ranks[i] = (static_cast<std::uint64_t>(axisBits[i]) << 32) | i;
    }

    // Ranges are handled in breadth-first order and each yields its median,
    // so a range's output position is fixed when it is queued. Single points
    // are written at once; empty halves yield nothing.
    ranges.clear();
    ranges.push_back(KdRange{0, n, 0, 0});
    std::int32_t next = 1;
    for (std::size_t head = 0; head < ranges.size(); ++head) {
        const KdRange range = ranges[head];
        const auto count = static_cast<std::size_t>(range.end - range.begin);
        std::uint64_t* rank = ranks.data() + range.begin;
        const std::size_t half = count / 2;
        if (range.depth > 0) {
            const std::uint32_t* bits = axisBits.data() + size * static_cast<std::size_t>(range.depth % 3);
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint32_t position = positionOf(rank[k]);
                rank[k] = (static_cast<std::uint64_t>(bits[position]) << 32) | position;
            }
        }
        selectRank(rank, count, half);
        points[range.out] = original[positionOf(rank[half])];

        const std::int32_t middle = range.begin + static_cast<std::int32_t>(half);
        const KdRange halves[2] = {{range.begin, middle, range.depth + 1, 0},
                                   {middle + 1, range.end, range.depth + 1, 0}};
        for (KdRange part : halves) {
            const std::int32_t partSize = part.end - part.begin;
            if (partSize == 1) {
                points[next++] = original[positionOf(ranks[static_cast<std::size_t>(part.begin)])];
            } else if (partSize > 1) {
                part.out = next++;
                ranges.push_back(part);
            }
        }
    }
}

} // namespace nimbus
