#pragma once
// In-memory three-dimensional R-tree over axis-aligned boxes (Guttman, with
// the quadratic split). One tree belongs to one thread; it owns all its nodes.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace nimbus {

class RTree3D {
public:
    // minX, minY, minZ, maxX, maxY, maxZ.
    using Box = std::array<double, 6>;

    RTree3D();
    ~RTree3D();
    RTree3D(const RTree3D&) = delete;
    RTree3D& operator=(const RTree3D&) = delete;

    // Adds an entry. Refuses (returns false, tree unchanged) an id of 0, which
    // marks an empty slot, and a box with a NaN or infinite coordinate, whose
    // volume would be NaN and upset every comparison.
    bool insert(const Box& box, std::int64_t id);

    // Clears `result`, then appends the id of every entry whose box overlaps
    // `query` (touching counts), depth first in slot order. Returns the count.
    int search(const Box& query, std::vector<std::int64_t>& result) const;

    // Volume of the sphere through the box's corners; every size comparison
    // in the tree uses it.
    static double volume(const Box& box);

    // Shape of the tree, for inspection.
    int rootLevel() const;
    // Ids below each occupied root slot, in slot order, each list depth first.
    std::vector<std::vector<std::int64_t>> idsByRootBranch() const;

private:
    static constexpr int kMaxBranches = 9;
    static constexpr int kMinFill = 4;
    static constexpr int kSplitTotal = kMaxBranches + 1;

    struct Node;
    struct Branch {
        Box box{};
        Node* child = nullptr;   // inner nodes
        std::int64_t id = 0;     // leaves
        bool occupied() const { return child != nullptr || id != 0; }
    };
    struct Node {
        int count = 0;
        int level = 0;
        Branch slots[kMaxBranches];
    };

    // Workspace of the quadratic split.
    struct SplitState {
        Branch buffer[kSplitTotal];
        Box cover{};
        double coverVolume = 0;
        int group[kSplitTotal] = {};
        bool taken[kSplitTotal] = {};
        int groupCount[2] = {};
        Box groupCover[2] = {};
        double groupVolume[2] = {};
    };

    Node* newNode(int level);
    bool insertInto(const Branch& entry, Node* node, Node** split);
    bool addBranch(const Branch& branch, Node* node, Node** split);
    static int chooseSubtree(const Box& box, const Node* node);
    void splitNode(Node* node, const Branch& extra, Node** split);
    void pickSeeds();
    void assignToGroup(int index, int group);
    static Box cover(const Node* node);
    static void searchNode(const Node* node, const Box& query, std::vector<std::int64_t>& result);
    static void collectIds(const Node* node, std::vector<std::int64_t>& result);

    std::vector<std::unique_ptr<Node>> nodes_;
    Node* root_ = nullptr;
    SplitState split_;
};

} // namespace nimbus
