#pragma once
// Verifies what the format guarantees of a complete ilas file, rule by rule,
// and names the first rule broken. The header and directory rules are cheap;
// the point rules read every point of a block. Blocks are independent, so a
// caller may check them on several threads, each with its own scratch.

#include "ilasreader.h"

#include <vector>

namespace nimbus::ilas {

// Working storage of the point check, reused between blocks: the block's
// bytes as read from the file and the kd-tree its stored order implies, one
// node per point.
struct KdScratch {
    std::vector<std::uint8_t> bytes;
    struct AllowedBox {
        float low[3], high[3];
    };
    std::vector<std::int32_t> span;   // points in each node's subtree
    std::vector<std::int32_t> parent; // -1 for the root
    std::vector<std::uint8_t> axis;   // 0 x, 1 y, 2 z
    std::vector<AllowedBox> allowed;  // where each node's point may lie
};

// The reader's own problem when it did not open the file as Complete, else
// the first broken header or directory rule: header-padding, created-at,
// directory-index, block-offset, block-size, point-data-end, point-count,
// header-bounds.
Problem checkHeaderAndDirectory(const IlasReader& reader);

// The point rules of one block, for its first point (in stored order) that
// breaks one: block-box (every point within the block's box, faces
// included) and kd-order (the stored order is the breadth-first order of a
// balanced kd-tree: every node a median of its subtree on its axis, x, y, z
// by depth, the upper middle point for an even count; ties either side).
// The block is read from the file, so a file cut since it was opened gives
// the rule file-changed rather than a bus error.
Problem checkBlock(const IlasReader& reader, std::size_t index, KdScratch& scratch);

// Everything above, blocks in order, on the calling thread.
Problem checkFile(const IlasReader& reader);

} // namespace nimbus::ilas
