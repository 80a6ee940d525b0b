#include "ilascheck.h"

#include "pointrecord.h"

#include <algorithm>
#include <cstring>
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

bool digits(const char* text, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// The creation time is "YYYY-MM-DD HH:MM:SS", a real date and time (a leap
// second allowed).
Problem checkCreatedAt(const IlasHeader& header)
{
    const char* t = header.createdAt;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const bool shaped = std::memchr(t, 0, sizeof header.createdAt) == t + 19 && t[4] == '-' && t[7] == '-'
        && t[10] == ' ' && t[13] == ':' && t[16] == ':' && digits(t, 4, year) && digits(t + 5, 2, month)
        && digits(t + 8, 2, day) && digits(t + 11, 2, hour) && digits(t + 14, 2, minute)
        && digits(t + 17, 2, second);
    static const int kDaysIn[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const bool valid = shaped && year >= 1 && month >= 1 && month <= 12 && day >= 1
        && day <= (month == 2 && !leap ? 28 : kDaysIn[month - 1]) && hour <= 23 && minute <= 59 && second <= 60;
    if (!valid)
        return broken(-1, "created-at", "the creation time at byte 146 is not a date and time \"YYYY-MM-DD HH:MM:SS\"");
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

float coordinate(const StoredXyz& p, int axis)
{
    return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
}

// Rebuilds the kd-tree the stored order implies and checks every point
// against the box its ancestors allow, in stored order. Node j is stored
// point j; the root spans all n points; a node spanning s points has a
// lower subtree of s / 2 points and an upper one of s - s / 2 - 1 (the upper
// middle point is the median), numbered breadth-first. A point's allowed box
// is the block's box cut at each ancestor's coordinate on that ancestor's
// axis: a lower subtree may not exceed its ancestor there, an upper one may
// not go below it. Faces and equal coordinates are allowed on both sides.
// Returns the first point outside its allowed box, or -1.
std::int64_t firstMisplacedPoint(const BlockView& view, const IlasBlockEntry& e, KdScratch& s)
{
    const std::int32_t n = view.count();
    if (n < 1)
        return -1;
    const auto size = static_cast<std::size_t>(n);
    s.span.resize(size);
    s.parent.resize(size);
    s.axis.resize(size);
    s.allowed.resize(size);
    std::int32_t* span = s.span.data();
    std::int32_t* parent = s.parent.data();
    std::uint8_t* axis = s.axis.data();
    KdScratch::AllowedBox* allowed = s.allowed.data();
    span[0] = n;
    parent[0] = -1;
    axis[0] = 0;
    allowed[0] = {{e.minX, e.minY, e.minZ}, {e.maxX, e.maxY, e.maxZ}};
    std::size_t next = 1;
    for (std::size_t j = 0; j < size; ++j) {
        if ((j & 3) == 0) // once per 48 bytes, 6 KB ahead
            view.prefetch(static_cast<std::int32_t>(j) + 512);
        const StoredXyz p = view.point(static_cast<std::int32_t>(j));
        const float c[3] = {p.x, p.y, p.z};
        const KdScratch::AllowedBox box = allowed[j];
        if (!(box.low[0] <= c[0] && c[0] <= box.high[0] && box.low[1] <= c[1] && c[1] <= box.high[1]
              && box.low[2] <= c[2] && c[2] <= box.high[2]))
            return static_cast<std::int64_t>(j);
        const std::int32_t lowerCount = span[j] / 2;
        const std::int32_t upperCount = span[j] - lowerCount - 1;
        const int a = axis[j];
        const auto childAxis = static_cast<std::uint8_t>(a == 2 ? 0 : a + 1);
        if (lowerCount > 0) {
            span[next] = lowerCount;
            parent[next] = static_cast<std::int32_t>(j);
            axis[next] = childAxis;
            allowed[next] = box;
            allowed[next].high[a] = c[a];
            ++next;
        }
        if (upperCount > 0) {
            span[next] = upperCount;
            parent[next] = static_cast<std::int32_t>(j);
            axis[next] = childAxis;
            allowed[next] = box;
            allowed[next].low[a] = c[a];
            ++next;
        }
    }
    return -1;
}

// Says why point j is misplaced: outside the block's box, or on the wrong
// side of its nearest ancestor that it should not pass.
Problem explainMisplaced(const BlockView& view, const IlasBlockEntry& e, std::int64_t index, std::size_t j,
                         const KdScratch& s)
{
    const StoredXyz p = view.point(static_cast<std::int32_t>(j));
    if (!(e.minX <= p.x && p.x <= e.maxX && e.minY <= p.y && p.y <= e.maxY && e.minZ <= p.z && p.z <= e.maxZ))
        return broken(index, "block-box",
                      "point " + std::to_string(j) + " (" + number(p.x) + ", " + number(p.y) + ", " + number(p.z)
                          + ") lies outside the block's box (" + number(e.minX) + ", " + number(e.minY) + ", "
                          + number(e.minZ) + ") to (" + number(e.maxX) + ", " + number(e.maxY) + ", "
                          + number(e.maxZ) + ")");
    // An upper child directly follows its lower sibling, which has the same parent.
    for (std::size_t child = j; s.parent[child] >= 0;) {
        const auto up = static_cast<std::size_t>(s.parent[child]);
        const bool upperHalf = child > 0 && s.parent[child - 1] == s.parent[child];
        const int a = s.axis[up];
        const float mine = coordinate(p, a);
        const float median = coordinate(view.point(static_cast<std::int32_t>(up)), a);
        if (upperHalf ? !(mine >= median) : !(mine <= median))
            return broken(index, "kd-order",
                          "point " + std::to_string(j) + " (" + kAxisName[a] + " = " + number(mine) + ") lies in the "
                              + (upperHalf ? "upper" : "lower") + " half of point " + std::to_string(up) + " ("
                              + kAxisName[a] + " = " + number(median) + "), which is then not the median of its "
                              + "subtree on " + kAxisName[a]);
        child = up;
    }
    return broken(index, "kd-order", "point " + std::to_string(j) + " lies outside the box its ancestors allow");
}

} // namespace

Problem checkHeaderAndDirectory(const IlasReader& reader)
{
    if (reader.state() != FileState::Complete)
        return reader.problem();
    const IlasHeader& h = reader.header();
    if (Problem p = checkPadding(h); p.found())
        return p;
    if (Problem p = checkCreatedAt(h); p.found())
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
    BlockView view;
    if (Problem unread; !reader.readBlock(index, scratch.bytes, view, unread))
        return unread;
    const IlasBlockEntry& entry = reader.blocks()[index];
    const std::int64_t misplaced = firstMisplacedPoint(view, entry, scratch);
    if (misplaced < 0)
        return {};
    return explainMisplaced(view, entry, static_cast<std::int64_t>(index), static_cast<std::size_t>(misplaced),
                            scratch);
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
