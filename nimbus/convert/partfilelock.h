#pragma once
// An exclusive lock on an unfinished output file, held by the run that writes
// it for as long as the lock object lives. The operating system drops the
// lock when the process ends in any way (a kill, a crash, a power cut), so a
// later run can tell a live run's file from one left behind. Advisory: the
// writer's own writes are never blocked by it. flock on Linux, LockFileEx on
// Windows (on a byte far beyond any data).

#include <QString>

#include <cstdint>

namespace nimbus {

class PartFileLock {
public:
    PartFileLock() = default;
    ~PartFileLock() { release(); }
    PartFileLock(const PartFileLock&) = delete;
    PartFileLock& operator=(const PartFileLock&) = delete;

    // Locks the existing file `path`. False when another run (or another
    // lock in this process) holds it, when it cannot be opened, or when the
    // name no longer leads to the file that was opened (it was removed or
    // replaced meanwhile).
    bool acquire(const QString& path);
    void release();
    bool held() const { return handle_ != kNoHandle; }

private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;
};

// Removes `path` unless a live run holds its lock; true when it was removed.
bool removeUnlessLocked(const QString& path);

} // namespace nimbus
