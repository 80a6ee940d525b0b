#include "levelreadcallback.h"

#include "drawablecheck.h"

#include <osg/NodeVisitor>
#include <osg/PagedLOD>
#include <osgDB/FileNameUtils>
#include <osgDB/FileUtils>
#include <osgDB/Registry>

#include <utility>

namespace fresco {

namespace {

class MissingLevelPruner : public osg::NodeVisitor
{
public:
    // `readFile` is the file the visited nodes came from.
    MissingLevelPruner(const osgDB::Options *options, const std::string &readFile)
        : osg::NodeVisitor(osg::NodeVisitor::TRAVERSE_ALL_CHILDREN),
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
                        missing.push_back(node.getDatabasePath() + name);
                }
            }
        }
        traverse(node);
    }

    unsigned int pruned = 0;
    std::vector<std::string> missing;

private:
    std::string locate(const std::string &databasePath, const std::string &name) const
    {
        std::string found = osgDB::findDataFile(databasePath + name, m_options);
        if (found.empty())
            found = osgDB::findDataFile(name, m_options);
        return found;
    }

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
        MissingLevelPruner pruner(options, osgDB::findDataFile(fileName, options));
        node->accept(pruner);
        m_pruned += pruner.pruned;
        ++m_successes;
        std::lock_guard<std::mutex> lock(m_failedMutex);
        if (dropped > 0)
            m_damaged.emplace_back(fileName, dropped);
        for (const std::string &missing : pruner.missing)
            noteUnread(missing);
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
