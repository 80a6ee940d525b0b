#pragma once
// Helpers shared by the store's file-level tests: reading ilas files back and
// driving the splitter the way a reader does.

#include "ilasformat.h"
#include "pointrecord.h"

#include <QByteArray>
#include <QString>

#include <cstring>
#include <vector>

namespace nimbus::storetest {

QByteArray readWholeFile(const QString& path);

template <typename T>
T valueAt(const QByteArray& bytes, int offset)
{
    T value{};
    if (offset >= 0 && offset + static_cast<int>(sizeof(T)) <= bytes.size())
        std::memcpy(&value, bytes.constData() + offset, sizeof(T));
    return value;
}

struct StoredBlock {
    IlasBlockEntry entry{};
    std::vector<PointRecord> points; // colour bytes zero when the file has none
};

// Reads blocks through the ilas reader library; fails the current test when
// the file breaks any rule of the format (kd order and block boxes included).
std::vector<StoredBlock> readBlocks(const QByteArray& file);

struct SplitRun {
    bool opened = false;
    bool failed = false;
    QString errorText;
    std::uint64_t dropped = 0;
    int prompts = 0;
};

struct SplitOptions {
    std::int32_t capacity = 1000;
    std::uint64_t expectedPoints = 0;
    bool colour = true;
    int orderingThreads = 0;
    double origin[3] = {0, 0, 0};
};

// Sends each vector as one hand-off buffer through a splitter writing `path`.
SplitRun runSplitter(const QString& path, const std::vector<std::vector<PointRecord>>& buffers,
                     const SplitOptions& options);

} // namespace nimbus::storetest
