#include "levelreadcallback.h"

#include "drawablecheck.h"

#include <osg/CullStack>
#include <osg/NodeCallback>
#include <osg/NodeVisitor>
#include <osg/PagedLOD>
#include <osgDB/FileNameUtils>
#include <osgDB/FileUtils>
#include <osgDB/Registry>

#include <utility>

namespace fresco {

namespace {

// Watches a paged node told not to page its absent level file: when a view
// would want that level (the node's range rule picks it), the file is
// noted as missing where it mattered. Files no view asks for at the job's
// resolution stay unmentioned.
class MissingLevelWatch : public osg::NodeCallback
{
public:
    MissingLevelWatch(LevelReadCallback *owner, std::string file, unsigned int child)
        : m_owner(owner), m_file(std::move(file)), m_child(child)
    {
    }

    void operator()(osg::Node *node, osg::NodeVisitor *visitor) override
    {
        auto *paged = dynamic_cast<osg::PagedLOD *>(node);
        osg::CullStack *cull = visitor ? visitor->asCullStack() : nullptr;
        if (!m_noted && paged && cull && m_child < paged->getNumRanges()) {
            // The same range rule the paged node applies when it pages.
            const float wanted =
                paged->getRangeMode() == osg::LOD::DISTANCE_FROM_EYE_POINT
                    ? visitor->getDistanceToViewPoint(paged->getCenter(), true)
                    : cull->clampedPixelSize(paged->getBound()) / cull->getLODScale();
            if (wanted >= paged->getMinRange(m_child) && wanted < paged->getMaxRange(m_child)) {
                m_noted = true;
                m_owner->noteMissingLevel(m_file);
            }
        }
        traverse(node, visitor);
    }

private:
    osg::ref_ptr<LevelReadCallback> m_owner;
    std::string m_file;
    unsigned int m_child;
    bool m_noted = false;
};

class MissingLevelPruner : public osg::NodeVisitor
{
public:
    // `readFile` is the file the visited nodes came from.
    MissingLevelPruner(LevelReadCallback *owner, const osgDB::Options *options,
                       const std::string &readFile)
        : osg::NodeVisitor(osg::NodeVisitor::TRAVERSE_ALL_CHILDREN),
          m_owner(owner),
          m_options(options),
          m_readFile(readFile.empty() ? std::string() : osgDB::getRealPath(readFile))
    {
    }

    void apply(osg::PagedLOD &node) override
    {
        // The pager only ever asks for the first level not loaded yet; when
        // that file is absent (or is the very file being read, which would
        // page itself without end) the node draws its last loaded child.
        const unsigned int next = node.getNumChildren();
        if (next < node.getNumFileNames() && !node.getDisableExternalChildrenPaging()) {
            const std::string &name = node.getFileName(next);
            if (!name.empty()) {
                const std::string found = locate(node.getDatabasePath(), name);
                if (found.empty() || (!m_readFile.empty() && osgDB::getRealPath(found) == m_readFile)) {
                    node.setDisableExternalChildrenPaging(true);
                    ++pruned;
                    if (found.empty())
                        node.addCullCallback(
                            new MissingLevelWatch(m_owner, node.getDatabasePath() + name, next));
                }
            }
        }
        traverse(node);
    }

    unsigned int pruned = 0;

private:
    std::string locate(const std::string &databasePath, const std::string &name) const
    {
        std::string found = osgDB::findDataFile(databasePath + name, m_options);
        if (found.empty())
            found = osgDB::findDataFile(name, m_options);
        return found;
    }

    LevelReadCallback *m_owner;
    const osgDB::Options *m_options;
    std::string m_readFile;
};

// Keeps the in-flight count right on every way out of a read.
class InFlight
{
public:
    explicit InFlight(std::atomic<unsigned int> &count) : m_count(count) { ++m_count; }
    ~InFlight() { --m_count; }
    InFlight(const InFlight &) = delete;
    InFlight &operator=(const InFlight &) = delete;

private:
    std::atomic<unsigned int> &m_count;
};

} // namespace

LevelReadCallback::LevelReadCallback(osgDB::ReadFileCallback *next)
    : m_next(next)
{
}

osgDB::ReaderWriter::ReadResult LevelReadCallback::readNode(const std::string &fileName,
                                                             const osgDB::Options *options)
{
    InFlight inFlight(m_inFlight);
    osgDB::ReaderWriter::ReadResult result =
        m_next.valid() ? m_next->readNode(fileName, options)
                       : osgDB::Registry::instance()->readNodeImplementation(fileName, options);

    if (osg::Node *node = result.getNode()) {
        // Before anything measures or draws the new nodes.
        const unsigned int dropped = dropUnsafeDrawables(*node);
        MissingLevelPruner pruner(this, options, osgDB::findDataFile(fileName, options));
        node->accept(pruner);
        m_pruned += pruner.pruned;
        ++m_successes;
        std::lock_guard<std::mutex> lock(m_failedMutex);
        if (dropped > 0)
            m_damaged.emplace_back(fileName, dropped);
    } else {
        ++m_failures;
        std::lock_guard<std::mutex> lock(m_failedMutex);
        if (!m_failedFiles.insert(fileName).second)
            ++m_repeatedFailures;
        noteUnread(fileName);
    }
    return result;
}

void LevelReadCallback::noteUnread(const std::string &file)
{
    if (m_reportedUnread.insert(file).second)
        m_unread.push_back(file);
}

void LevelReadCallback::noteMissingLevel(const std::string &file)
{
    std::lock_guard<std::mutex> lock(m_failedMutex);
    noteUnread(file);
}

std::vector<std::string> LevelReadCallback::takeUnreadLevels()
{
    std::lock_guard<std::mutex> lock(m_failedMutex);
    std::vector<std::string> taken;
    taken.swap(m_unread);
    return taken;
}

std::vector<std::pair<std::string, unsigned int>> LevelReadCallback::takeDamagedFiles()
{
    std::lock_guard<std::mutex> lock(m_failedMutex);
    std::vector<std::pair<std::string, unsigned int>> taken;
    taken.swap(m_damaged);
    return taken;
}

} // namespace fresco
