#include "ilascheck.h"

#include "pointrecord.h"

#include <algorithm>
#include <cstdio>

namespace nimbus::ilas {

namespace {

const char* const kAxisName[3] = {"x", "y", "z"};

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

Problem broken(std::int64_t block, const char* rule, std::string detail)
{
    Problem problem;
    problem.block = block;
    problem.rule = rule;
    problem.detail = std::move(detail);
    return problem;
}

bool allZero(const std::uint8_t* bytes, std::size_t count)
{
    return std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b == 0; });
}

Problem checkPadding(const IlasHeader& header)
{
    if (!allZero(header.zero1, sizeof header.zero1))
        return broken(-1, "header-padding", "bytes 115 to 145 are not all zero");
    const auto* created = reinterpret_cast<const std::uint8_t*>(header.createdAt);
    const auto* nul = std::find(created, created + sizeof header.createdAt, 0);
    if (nul == created + sizeof header.createdAt || !allZero(nul, created + sizeof header.createdAt - nul))
        return broken(-1, "header-padding", "the creation time at byte 146 is not NUL-terminated and zero-filled");
    if (header.zero2 != 0)
        return broken(-1, "header-padding", "byte 209 is not zero");
    return {};
}

// The header bounds are the union of the block boxes, widened to double,
// plus the origin; without blocks, the writer's initial values plus the origin.
Problem checkBounds(const IlasReader& reader)
{
    const IlasHeader& h = reader.header();
    double low[3] = {kIlasInitialMin, kIlasInitialMin, kIlasInitialMin};
    double high[3] = {kIlasInitialMax, kIlasInitialMax, kIlasInitialMax};
    bool first = true;
    for (const IlasBlockEntry& e : reader.blocks()) {
        const double boxLow[3] = {e.minX, e.minY, e.minZ};
        const double boxHigh[3] = {e.maxX, e.maxY, e.maxZ};
        for (int a = 0; a < 3; ++a) {
            low[a] = first ? boxLow[a] : std::min(low[a], boxLow[a]);
            high[a] = first ? boxHigh[a] : std::max(high[a], boxHigh[a]);
        }
        first = false;
    }
    const double origin[3] = {h.originX, h.originY, h.originZ};
    const double stored[6] = {h.minX, h.minY, h.minZ, h.maxX, h.maxY, h.maxZ};
    for (int a = 0; a < 6; ++a) {
        const double expected = (a < 3 ? low[a] : high[a - 3]) + origin[a % 3];
        if (!(stored[a] == expected))
            return broken(-1, "header-bounds",
                          std::string(a < 3 ? "min" : "max") + kAxisName[a % 3] + " is " + number(stored[a])
                              + ", the blocks' boxes give " + number(expected));
    }
    return {};
}

Problem checkBox(const BlockView& view, const IlasBlockEntry& e, std::int64_t index)
{
    for (std::int32_t k = 0; k < view.count(); ++k) {
        const StoredXyz p = view.point(k);
        if (!(e.minX <= p.x && p.x <= e.maxX && e.minY <= p.y && p.y <= e.maxY && e.minZ <= p.z
              && p.z <= e.maxZ))
            return broken(index, "block-box",
                          "point " + std::to_string(k) + " (" + number(p.x) + ", " + number(p.y) + ", "
                              + number(p.z) + ") lies outside the block's box (" + number(e.minX) + ", "
                              + number(e.minY) + ", " + number(e.minZ) + ") to (" + number(e.maxX) + ", "
                              + number(e.maxY) + ", " + number(e.maxZ) + ")");
    }
    return {};
}

// Rebuilds the tree the stored order implies: node j is stored point j; the
// root spans all n points, a node spanning s points has a lower subtree of
// s / 2 points and an upper one of s - s / 2 - 1, and nodes are numbered
// breadth-first. Then, from the leaves up, each node's subtree box is
// gathered and the node checked against its two subtrees on its own axis.
Problem checkKdOrder(const BlockView& view, std::int64_t index, KdScratch& s)
{
    const std::int32_t n = view.count();
    if (n < 2)
        return {};
    const auto size = static_cast<std::size_t>(n);
    s.span.resize(size);
    s.lower.resize(size);
    s.upper.resize(size);
    s.axis.resize(size);
    s.low.resize(3 * size);
    s.high.resize(3 * size);

    std::int32_t* span = s.span.data();
    span[0] = n;
    s.axis[0] = 0;
    std::int32_t next = 1;
    for (std::size_t j = 0; j < size; ++j) {
        const std::int32_t count = span[j];
        const std::int32_t lowerCount = count / 2;
        const std::int32_t upperCount = count - lowerCount - 1;
        const auto childAxis = static_cast<std::uint8_t>(s.axis[j] == 2 ? 0 : s.axis[j] + 1);
        s.lower[j] = -1;
        s.upper[j] = -1;
        if (lowerCount > 0) {
            span[next] = lowerCount;
            s.axis[static_cast<std::size_t>(next)] = childAxis;
            s.lower[j] = next++;
        }
        if (upperCount > 0) {
            span[next] = upperCount;
            s.axis[static_cast<std::size_t>(next)] = childAxis;
            s.upper[j] = next++;
        }
    }

    std::int64_t bad = -1;
    bool badLower = false;
    float badBound = 0;
    float* low = s.low.data();
    float* high = s.high.data();
    for (std::size_t j = size; j-- > 0;) {
        const StoredXyz p = view.point(static_cast<std::int32_t>(j));
        float box[6] = {p.x, p.y, p.z, p.x, p.y, p.z};
        const int a = s.axis[j];
        const float v = box[a];
        const std::int32_t lower = s.lower[j];
        const std::int32_t upper = s.upper[j];
        if (lower >= 0) {
            const float* l = low + 3 * lower;
            const float* h = high + 3 * lower;
            if (!(h[a] <= v)) {
                bad = static_cast<std::int64_t>(j);
                badLower = true;
                badBound = h[a];
            }
            for (int c = 0; c < 3; ++c) {
                box[c] = std::min(box[c], l[c]);
                box[3 + c] = std::max(box[3 + c], h[c]);
            }
        }
        if (upper >= 0) {
            const float* l = low + 3 * upper;
            const float* h = high + 3 * upper;
            if (!(l[a] >= v)) {
                bad = static_cast<std::int64_t>(j);
                badLower = false;
                badBound = l[a];
            }
            for (int c = 0; c < 3; ++c) {
                box[c] = std::min(box[c], l[c]);
                box[3 + c] = std::max(box[3 + c], h[c]);
            }
        }
        std::copy(box, box + 3, low + 3 * j);
        std::copy(box + 3, box + 6, high + 3 * j);
    }
    if (bad < 0)
        return {};
    const auto j = static_cast<std::size_t>(bad);
    const char* axis = kAxisName[s.axis[j]];
    const float value = s.axis[j] == 0 ? view.point(static_cast<std::int32_t>(j)).x
        : s.axis[j] == 1               ? view.point(static_cast<std::int32_t>(j)).y
                                       : view.point(static_cast<std::int32_t>(j)).z;
    return broken(index, "kd-order",
                  "point " + std::to_string(bad) + " (" + axis + " = " + number(value)
                      + ") is not the median of its subtree on " + axis + ": its "
                      + (badLower ? "lower half reaches " : "upper half goes down to ") + axis + " = "
                      + number(badBound));
}

// Both point rules in one forward pass, for the common case of a sound
// block: each node of the implied tree carries the box its ancestors allow
// (the block's box, cut at every ancestor's coordinate: a lower subtree may
// not exceed its ancestor on that ancestor's axis, an upper one may not go
// below it), and every point must lie in its node's box. Says only whether
// the block passes; the two checks above name what is wrong.
bool passesInOnePass(const BlockView& view, const IlasBlockEntry& e, KdScratch& s)
{
    const std::int32_t n = view.count();
    if (n < 1)
        return true;
    const auto size = static_cast<std::size_t>(n);
    s.span.resize(size);
    s.axis.resize(size);
    s.allowed.resize(size);
    std::int32_t* span = s.span.data();
    std::uint8_t* axis = s.axis.data();
    KdScratch::AllowedBox* allowed = s.allowed.data();
    span[0] = n;
    axis[0] = 0;
    allowed[0] = {{e.minX, e.minY, e.minZ}, {e.maxX, e.maxY, e.maxZ}};
    std::size_t next = 1;
    for (std::size_t j = 0; j < size; ++j) {
        const StoredXyz p = view.point(static_cast<std::int32_t>(j));
        const float c[3] = {p.x, p.y, p.z};
        const KdScratch::AllowedBox box = allowed[j];
        if (!(box.low[0] <= c[0] && c[0] <= box.high[0] && box.low[1] <= c[1] && c[1] <= box.high[1]
              && box.low[2] <= c[2] && c[2] <= box.high[2]))
            return false;
        const std::int32_t lowerCount = span[j] / 2;
        const std::int32_t upperCount = span[j] - lowerCount - 1;
        const int a = axis[j];
        const auto childAxis = static_cast<std::uint8_t>(a == 2 ? 0 : a + 1);
        if (lowerCount > 0) {
            span[next] = lowerCount;
            axis[next] = childAxis;
            allowed[next] = box;
            allowed[next].high[a] = c[a];
            ++next;
        }
        if (upperCount > 0) {
            span[next] = upperCount;
            axis[next] = childAxis;
            allowed[next] = box;
            allowed[next].low[a] = c[a];
            ++next;
        }
    }
    return true;
}

} // namespace

Problem checkHeaderAndDirectory(const IlasReader& reader)
{
    if (reader.state() != FileState::Complete)
        return reader.problem();
    const IlasHeader& h = reader.header();
    if (Problem p = checkPadding(h); p.found())
        return p;

    const std::vector<IlasBlockEntry>& blocks = reader.blocks();
    std::int64_t expectedOffset = kIlasHeaderSize;
    std::int64_t total = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const IlasBlockEntry& e = blocks[i];
        const auto index = static_cast<std::int64_t>(i);
        if (e.index != index)
            return broken(index, "directory-index", "the record gives index " + std::to_string(e.index));
        if (e.dataOffset != expectedOffset)
            return broken(index, "block-offset",
                          "data at byte " + std::to_string(e.dataOffset) + ", where the previous block ends at "
                              + std::to_string(expectedOffset));
        if (e.pointCount > kMaxBlockPoints)
            return broken(index, "block-size",
                          std::to_string(e.pointCount) + " points, more than the " + std::to_string(kMaxBlockPoints)
                              + " a block may hold");
        expectedOffset += static_cast<std::int64_t>(reader.bytesPerPoint()) * e.pointCount;
        total += e.pointCount;
    }
    if (expectedOffset != h.directoryOffset)
        return broken(-1, "point-data-end",
                      "the blocks end at byte " + std::to_string(expectedOffset) + ", the directory starts at "
                          + std::to_string(h.directoryOffset));
    if (total != h.pointCount)
        return broken(-1, "point-count",
                      "the header counts " + std::to_string(h.pointCount) + " points, the blocks hold "
                          + std::to_string(total));
    return checkBounds(reader);
}

Problem checkBlock(const IlasReader& reader, std::size_t index, KdScratch& scratch)
{
    if (index >= reader.blocks().size())
        return broken(static_cast<std::int64_t>(index), "block-range", "no such block");
    const BlockView view = reader.block(index);
    const auto number = static_cast<std::int64_t>(index);
    if (passesInOnePass(view, reader.blocks()[index], scratch))
        return {};
    if (Problem p = checkBox(view, reader.blocks()[index], number); p.found())
        return p;
    return checkKdOrder(view, number, scratch);
}

Problem checkFile(const IlasReader& reader)
{
    if (Problem p = checkHeaderAndDirectory(reader); p.found())
        return p;
    KdScratch scratch;
    for (std::size_t i = 0; i < reader.blocks().size(); ++i)
        if (Problem p = checkBlock(reader, i, scratch); p.found())
            return p;
    return {};
}

} // namespace nimbus::ilas
