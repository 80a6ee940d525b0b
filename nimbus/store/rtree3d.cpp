#include "rtree3d.h"

#include <algorithm>
#include <cmath>

namespace nimbus {

namespace {

// Volume of the unit sphere, to six significant digits.
constexpr double kUnitSphereVolume = 4.18879;

RTree3D::Box combine(const RTree3D::Box& a, const RTree3D::Box& b)
{
    return {std::min(a[0], b[0]), std::min(a[1], b[1]), std::min(a[2], b[2]),
            std::max(a[3], b[3]), std::max(a[4], b[4]), std::max(a[5], b[5])};
}

bool overlaps(const RTree3D::Box& a, const RTree3D::Box& b)
{
    for (int axis = 0; axis < 3; ++axis) {
        if (a[axis] > b[axis + 3] || b[axis] > a[axis + 3])
            return false;
    }
    return true;
}

} // namespace

RTree3D::RTree3D()
{
    root_ = newNode(0);
}

RTree3D::~RTree3D() = default;

double RTree3D::volume(const Box& box)
{
    const double hx = (box[3] - box[0]) / 2;
    const double hy = (box[4] - box[1]) / 2;
    const double hz = (box[5] - box[2]) / 2;
    const double radius = std::sqrt(hx * hx + hy * hy + hz * hz);
    return kUnitSphereVolume * radius * radius * radius;
}

RTree3D::Node* RTree3D::newNode(int level)
{
    nodes_.push_back(std::make_unique<Node>());
    nodes_.back()->level = level;
    return nodes_.back().get();
}

bool RTree3D::insert(const Box& box, std::int64_t id)
{
    if (id == 0)
        return false;
    // Infinite coordinates would turn volumes into NaN just like NaN itself.
    for (double value : box) {
        if (!std::isfinite(value))
            return false;
    }

    Branch entry;
    entry.box = box;
    entry.id = id;
    Node* sibling = nullptr;
    if (insertInto(entry, root_, &sibling)) {
        Node* oldRoot = root_;
        Node* newRoot = newNode(oldRoot->level + 1);
        Branch first;
        first.box = cover(oldRoot);
        first.child = oldRoot;
        Branch second;
        second.box = cover(sibling);
        second.child = sibling;
        addBranch(first, newRoot, nullptr);
        addBranch(second, newRoot, nullptr);
        root_ = newRoot;
    }
    return true;
}

bool RTree3D::insertInto(const Branch& entry, Node* node, Node** split)
{
    if (node->level == 0)
        return addBranch(entry, node, split);

    const int chosen = chooseSubtree(entry.box, node);
    Branch& slot = node->slots[chosen];
    Node* sibling = nullptr;
    if (!insertInto(entry, slot.child, &sibling)) {
        slot.box = combine(entry.box, slot.box);
        return false;
    }
    slot.box = cover(slot.child);
    Branch added;
    added.box = cover(sibling);
    added.child = sibling;
    return addBranch(added, node, split);
}

bool RTree3D::addBranch(const Branch& branch, Node* node, Node** split)
{
    if (node->count < kMaxBranches) {
        for (Branch& slot : node->slots) {
            if (!slot.occupied()) {
                slot = branch;
                ++node->count;
                return false;
            }
        }
    }
    splitNode(node, branch, split);
    return true;
}

int RTree3D::chooseSubtree(const Box& box, const Node* node)
{
    int best = -1;
    double bestGrowth = 0;
    double bestVolume = 0;
    for (int i = 0; i < kMaxBranches; ++i) {
        const Branch& slot = node->slots[i];
        if (!slot.occupied())
            continue;
        const double own = volume(slot.box);
        const double growth = volume(combine(box, slot.box)) - own;
        if (best < 0 || growth < bestGrowth || (growth == bestGrowth && own < bestVolume)) {
            best = i;
            bestGrowth = growth;
            bestVolume = own;
        }
    }
    return best;
}

RTree3D::Box RTree3D::cover(const Node* node)
{
    Box result{};
    bool first = true;
    for (const Branch& slot : node->slots) {
        if (!slot.occupied())
            continue;
        result = first ? slot.box : combine(result, slot.box);
        first = false;
    }
    return result;
}

void RTree3D::splitNode(Node* node, const Branch& extra, Node** split)
{
    SplitState& s = split_;
    int filled = 0;
    for (const Branch& slot : node->slots) {
        if (slot.occupied())
            s.buffer[filled++] = slot;
    }
    s.buffer[filled++] = extra;
    // A full node always has all nine slots occupied.
    for (int i = filled; i < kSplitTotal; ++i)
        s.buffer[i] = Branch{};

    s.cover = s.buffer[0].box;
    for (int i = 1; i < kSplitTotal; ++i)
        s.cover = combine(s.cover, s.buffer[i].box);
    s.coverVolume = volume(s.cover);

    const int level = node->level;
    node->count = 0;
    for (Branch& slot : node->slots)
        slot = Branch{};

    for (int i = 0; i < kSplitTotal; ++i) {
        s.taken[i] = false;
        s.group[i] = -1;
    }
    s.groupCount[0] = s.groupCount[1] = 0;
    s.groupVolume[0] = s.groupVolume[1] = 0;

    pickSeeds();

    const int most = kSplitTotal - kMinFill;
    while (s.groupCount[0] + s.groupCount[1] < kSplitTotal && s.groupCount[0] < most
           && s.groupCount[1] < most) {
        double biggest = -1;
        int chosen = -1;
        int chosenGroup = 0;
        for (int i = 0; i < kSplitTotal; ++i) {
            if (s.taken[i])
                continue;
            const Box& box = s.buffer[i].box;
            const double growth0 = volume(combine(box, s.groupCover[0])) - s.groupVolume[0];
            const double growth1 = volume(combine(box, s.groupCover[1])) - s.groupVolume[1];
            const double diff = growth1 - growth0;
            const int group = diff >= 0 ? 0 : 1;
            const double d = std::fabs(diff);
            if (d > biggest) {
                chosen = i;
                chosenGroup = group;
                biggest = d;
            } else if (chosen >= 0 && std::fabs(d - biggest) < 1e-6
                       && s.groupCount[group] < s.groupCount[chosenGroup]) {
                chosen = i;
                chosenGroup = group;
            }
        }
        if (chosen < 0)
            break; // only with overflowing volumes; the rest is placed below
        assignToGroup(chosen, chosenGroup);
    }

    if (s.groupCount[0] + s.groupCount[1] < kSplitTotal) {
        const int rest = s.groupCount[0] >= most ? 1 : 0;
        for (int i = 0; i < kSplitTotal; ++i) {
            if (!s.taken[i])
                assignToGroup(i, rest);
        }
    }

    Node* sibling = newNode(level);
    node->level = level;
    for (int i = 0; i < kSplitTotal; ++i) {
        Node* target = s.group[i] == 0 ? node : sibling;
        addBranch(s.buffer[i], target, nullptr);
    }
    if (split)
        *split = sibling;
}

void RTree3D::pickSeeds()
{
    SplitState& s = split_;
    double volumes[kSplitTotal];
    for (int i = 0; i < kSplitTotal; ++i)
        volumes[i] = volume(s.buffer[i].box);

    double worst = -s.coverVolume - 1;
    int seedA = 0;
    int seedB = 1;
    for (int a = 0; a < kSplitTotal - 1; ++a) {
        for (int b = a + 1; b < kSplitTotal; ++b) {
            const double waste =
                volume(combine(s.buffer[a].box, s.buffer[b].box)) - volumes[a] - volumes[b];
            if (waste > worst) {
                worst = waste;
                seedA = a;
                seedB = b;
            }
        }
    }
    assignToGroup(seedA, 0);
    assignToGroup(seedB, 1);
}

void RTree3D::assignToGroup(int index, int group)
{
    SplitState& s = split_;
    s.taken[index] = true;
    s.group[index] = group;
    if (s.groupCount[group] == 0)
        s.groupCover[group] = s.buffer[index].box;
    else
        s.groupCover[group] = combine(s.buffer[index].box, s.groupCover[group]);
    s.groupVolume[group] = volume(s.groupCover[group]);
    ++s.groupCount[group];
}

int RTree3D::search(const Box& query, std::vector<std::int64_t>& result) const
{
    result.clear();
    searchNode(root_, query, result);
    return static_cast<int>(result.size());
}

void RTree3D::searchNode(const Node* node, const Box& query, std::vector<std::int64_t>& result)
{
    for (const Branch& slot : node->slots) {
        if (!slot.occupied() || !overlaps(slot.box, query))
            continue;
        if (node->level > 0)
            searchNode(slot.child, query, result);
        else
            result.push_back(slot.id);
    }
}

int RTree3D::rootLevel() const
{
    return root_->level;
}

std::vector<std::vector<std::int64_t>> RTree3D::idsByRootBranch() const
{
    std::vector<std::vector<std::int64_t>> groups;
    for (const Branch& slot : root_->slots) {
        if (!slot.occupied())
            continue;
        groups.emplace_back();
        if (root_->level > 0)
            collectIds(slot.child, groups.back());
        else
            groups.back().push_back(slot.id);
    }
    return groups;
}

void RTree3D::collectIds(const Node* node, std::vector<std::int64_t>& result)
{
    for (const Branch& slot : node->slots) {
        if (!slot.occupied())
            continue;
        if (node->level > 0)
            collectIds(slot.child, result);
        else
            result.push_back(slot.id);
    }
}

} // namespace nimbus
