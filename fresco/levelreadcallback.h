// LevelReadCallback sits in the scene-graph reader while an OrthoViewer
// renders. Every node file read (tile roots and the levels the database pager
// loads) passes through it:
//  - a paged node whose next finer level file does not exist (or is the very
//    file it came from) is told not to page it, so it keeps drawing the
//    deepest level present instead of asking the pager for the file again
//    and again;
//  - geometries that could not be drawn safely (a damaged file) are dropped
//    before the pager merges them, and the file is remembered;
//  - files that could not be read, or level files named but absent that a
//    view wanted, are remembered for a warning;
//  - reads are counted, so the wait for the pager can tell a set that is still
//    loading from one whose only requests are files that keep failing.
// Calls arrive on the pager's threads; the counters are atomic.
#pragma once

#include <osgDB/Callbacks>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace fresco {

class LevelReadCallback : public osgDB::ReadFileCallback
{
public:
    // `next` is the callback that was installed before (may be null); reads
    // are handed to it so a host's own callback keeps working.
    explicit LevelReadCallback(osgDB::ReadFileCallback *next);

    osgDB::ReaderWriter::ReadResult readNode(const std::string &fileName,
                                             const osgDB::Options *options) override;

    osgDB::ReadFileCallback *next() const { return m_next.get(); }

    unsigned int readsInFlight() const { return m_inFlight.load(); }
    unsigned int successfulReads() const { return m_successes.load(); }
    unsigned int failedReads() const { return m_failures.load(); }
    // Failures of a file that had failed before: the pager asking again.
    unsigned int repeatedFailures() const { return m_repeatedFailures.load(); }
    // Paged nodes told not to page a missing level file.
    unsigned int prunedLevels() const { return m_pruned.load(); }

    // Level files that could not be read, or are named but absent where a
    // view wanted them, each once, since the last call.
    std::vector<std::string> takeUnreadLevels();
    // Called while culling: a view wanted the absent level file `file`.
    void noteMissingLevel(const std::string &file);
    // Files some of whose geometries were dropped as damaged, each with the
    // number dropped, since the last call.
    std::vector<std::pair<std::string, unsigned int>> takeDamagedFiles();

protected:
    ~LevelReadCallback() override = default;

private:
    // Called with m_failedMutex held.
    void noteUnread(const std::string &file);

private:
    osg::ref_ptr<osgDB::ReadFileCallback> m_next;
    std::atomic<unsigned int> m_inFlight{0};
    std::atomic<unsigned int> m_successes{0};
    std::atomic<unsigned int> m_failures{0};
    std::atomic<unsigned int> m_repeatedFailures{0};
    std::atomic<unsigned int> m_pruned{0};
    std::mutex m_failedMutex;
    std::set<std::string> m_failedFiles;
    std::set<std::string> m_reportedUnread;
    std::vector<std::string> m_unread;
    std::vector<std::pair<std::string, unsigned int>> m_damaged;
};

} // namespace fresco
