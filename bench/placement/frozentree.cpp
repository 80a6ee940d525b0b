#include "frozentree.h"

#include <osg/Group>
#include <osg/LOD>
#include <osg/Notify>
#include <osg/PagedLOD>
#include <osg/ProxyNode>
#include <osgDB/FileNameUtils>
#include <osgDB/ReadFile>

#include <algorithm>

namespace placement {

namespace {

// Level trees of real sets are 5 to 10 deep; a file naming itself (or a
// cycle) must not recurse for ever.
constexpr int kMaxDepth = 64;

class Freezer
{
public:
    explicit Freezer(FreezeCounts &counts) : m_counts(counts) {}

    // Replaces, below `node`, every PagedLOD by its frozen content; returns
    // the node to put in `node`'s place.
    osg::ref_ptr<osg::Node> freeze(osg::Node *node, const std::string &folder, int depth)
    {
        if (osg::PagedLOD *paged = dynamic_cast<osg::PagedLOD *>(node))
            return freezePaged(paged, folder, depth);
        if (dynamic_cast<osg::ProxyNode *>(node))
            return node;  // not used by tile sets; drawn as it is
        if (dynamic_cast<osg::LOD *>(node)) {
            // A plain LOD would pick a child by distance; keep all of them.
            ++m_counts.plainLods;
            osg::LOD *lod = static_cast<osg::LOD *>(node);
            osg::ref_ptr<osg::Group> all = new osg::Group;
            for (unsigned int i = 0; i < lod->getNumChildren(); ++i)
                all->addChild(freeze(lod->getChild(i), folder, depth).get());
            return all;
        }
        if (osg::Group *group = node->asGroup()) {
            for (unsigned int i = 0; i < group->getNumChildren(); ++i) {
                osg::ref_ptr<osg::Node> child = group->getChild(i);
                osg::ref_ptr<osg::Node> frozen = freeze(child.get(), folder, depth);
                if (frozen != child)
                    group->setChild(i, frozen.get());
            }
        }
        return node;
    }

private:
    osg::ref_ptr<osg::Node> freezePaged(osg::PagedLOD *paged, const std::string &folder, int depth)
    {
        const std::string base = paged->getDatabasePath().empty() ? folder : paged->getDatabasePath();
        // The PagedLOD's ranges, finest first: the one shown at the largest
        // on-screen size, or at the shortest distance.
        const unsigned int count = std::max(paged->getNumRanges(),
                                            std::max(paged->getNumFileNames(), paged->getNumChildren()));
        std::vector<unsigned int> order(count);
        for (unsigned int i = 0; i < count; ++i)
            order[i] = i;
        const bool bySize = paged->getRangeMode() == osg::LOD::PIXEL_SIZE_ON_SCREEN;
        std::stable_sort(order.begin(), order.end(), [&](unsigned int a, unsigned int b) {
            const float rangeA = a < paged->getNumRanges() ? (bySize ? paged->getMaxRange(a) : -paged->getMinRange(a)) : -1e38f;
            const float rangeB = b < paged->getNumRanges() ? (bySize ? paged->getMaxRange(b) : -paged->getMinRange(b)) : -1e38f;
            return rangeA > rangeB;
        });
        for (unsigned int i : order) {
            const std::string name = i < paged->getNumFileNames() ? paged->getFileName(i) : std::string();
            if (!name.empty() && depth < kMaxDepth) {
                const std::string path = osgDB::isAbsolutePath(name) ? name : osgDB::concatPaths(base, name);
                osg::ref_ptr<osg::Node> level = osgDB::readRefNodeFile(path);
                if (level) {
                    ++m_counts.levelFilesRead;
                    return freeze(level.get(), osgDB::getFilePath(path), depth + 1);
                }
                m_counts.missing.push_back(path);
            }
            // No file for this range (or none readable): the level's own
            // child for it, when it has one, is the finest there is.
            if (i < paged->getNumChildren())
                return freeze(paged->getChild(i), folder, depth);
        }
        return new osg::Group;
    }

    FreezeCounts &m_counts;
};

} // namespace

osg::ref_ptr<osg::Node> readFrozen(const std::string &rootFile, FreezeCounts &counts)
{
    osg::ref_ptr<osg::Node> root = osgDB::readRefNodeFile(rootFile);
    if (!root)
        return nullptr;
    // Trimmed pyramids name levels that were never shipped; they are
    // counted, not reported one by one.
    const osg::NotifySeverity level = osg::getNotifyLevel();
    osg::setNotifyLevel(osg::FATAL);
    Freezer freezer(counts);
    osg::ref_ptr<osg::Node> frozen = freezer.freeze(root.get(), osgDB::getFilePath(rootFile), 0);
    osg::setNotifyLevel(level);
    return frozen;
}

} // namespace placement
