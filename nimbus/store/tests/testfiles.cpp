#include "testfiles.h"

#include "splitblockthread.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace nimbus::storetest {

QByteArray readWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

std::vector<StoredBlock> readBlocks(const QByteArray& file)
{
    std::vector<StoredBlock> blocks;
    if (file.size() < kIlasHeaderSize) {
        ADD_FAILURE() << "file shorter than a header";
        return blocks;
    }
    const bool colour = valueAt<std::uint8_t>(file, 0) == 1;
    const auto count = valueAt<std::int32_t>(file, 4);
    const auto directory = valueAt<std::int64_t>(file, 8);
    EXPECT_EQ(file.size(), directory + kIlasEntrySize * count);
    if (count < 0 || file.size() != directory + kIlasEntrySize * count)
        return blocks;
    std::int64_t nextOffset = kIlasHeaderSize;
    std::int64_t total = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        StoredBlock block;
        block.entry = valueAt<IlasBlockEntry>(file, static_cast<int>(directory + kIlasEntrySize * i));
        EXPECT_EQ(block.entry.index, i);
        EXPECT_EQ(block.entry.dataOffset, nextOffset);
        const std::int32_t n = block.entry.pointCount;
        EXPECT_GT(n, 0);
        EXPECT_LE(n, kMaxBlockPoints);
        const auto base = static_cast<int>(block.entry.dataOffset);
        for (std::int32_t k = 0; k < n; ++k) {
            PointRecord p{};
            std::memcpy(&p.x, file.constData() + base + 12 * k, 12);
            if (colour)
                std::memcpy(&p.red, file.constData() + base + 12 * n + 4 * k, 4);
            block.points.push_back(p);
        }
        nextOffset += static_cast<std::int64_t>(n) * (colour ? 16 : 12);
        total += n;
        blocks.push_back(std::move(block));
    }
    EXPECT_EQ(nextOffset, directory);
    EXPECT_EQ(valueAt<std::int64_t>(file, 16), total);
    return blocks;
}

SplitRun runSplitter(const QString& path, const std::vector<std::vector<PointRecord>>& buffers,
                     const SplitOptions& options)
{
    SplitRun run;
    auto* splitter = new SplitBlockThread(nullptr, options.capacity);
    std::atomic<int> prompts{0};
    QObject::connect(splitter, &SplitBlockThread::setPrompt, [&prompts](const QString& prompt) {
        EXPECT_EQ(prompt, QStringLiteral("已处理:"));
        ++prompts;
    });
    run.opened = splitter->openIlasFile(path);
    splitter->expectedPoints = options.expectedPoints;
    splitter->writer->expectedPoints = options.expectedPoints;
    splitter->writer->writeColor = options.colour;
    splitter->writer->orderingThreads = options.orderingThreads;
    splitter->writer->header()->hasColor = options.colour ? 1 : 0;
    splitter->writer->header()->originX = options.origin[0];
    splitter->writer->header()->originY = options.origin[1];
    splitter->writer->header()->originZ = options.origin[2];
    splitter->start();

    PointBuffer* buffer = createPointBuffer(options.capacity);
    for (const std::vector<PointRecord>& points : buffers) {
        const auto n = static_cast<std::int32_t>(std::min<std::size_t>(points.size(),
                                                                        static_cast<std::size_t>(buffer->capacity)));
        std::copy(points.begin(), points.begin() + n, buffer->points);
        buffer->count = n;
        buffer->free = false;
        while (!splitter->offerBuffer(*buffer))
            QThread::msleep(1);
        buffer->free = true;
    }
    splitter->inputFinished = true;
    splitter->wait();
    run.failed = splitter->failed();
    run.errorText = splitter->errorText();
    run.dropped = splitter->droppedPoints();
    delete splitter;
    releasePointBuffer(buffer);
    run.prompts = prompts;
    return run;
}

} // namespace nimbus::storetest
