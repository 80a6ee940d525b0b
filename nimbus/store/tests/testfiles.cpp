#include "testfiles.h"

#include "ilascheck.h"
#include "ilasreader.h"
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
    ilas::IlasReader reader;
    reader.openMemory(file.constData(), static_cast<std::uint64_t>(file.size()), "ilas file");
    // Every rule of the format, the kd order of every block included.
    const ilas::Problem problem = ilas::checkFile(reader);
    if (problem.found()) {
        ADD_FAILURE() << problem.text();
        return blocks;
    }
    for (std::size_t i = 0; i < reader.blocks().size(); ++i) {
        StoredBlock block;
        block.entry = reader.blocks()[i];
        const ilas::BlockView view = reader.block(i);
        for (std::int32_t k = 0; k < view.count(); ++k) {
            PointRecord p{};
            const ilas::StoredXyz xyz = view.point(k);
            p.x = xyz.x;
            p.y = xyz.y;
            p.z = xyz.z;
            if (view.hasColour()) {
                const ilas::StoredColour c = view.colour(k);
                p.red = c.red;
                p.green = c.green;
                p.blue = c.blue;
                p.reserved = c.reserved;
            }
            block.points.push_back(p);
        }
        blocks.push_back(std::move(block));
    }
    return blocks;
}

SplitRun runSplitter(const QString& path, const std::vector<std::vector<PointRecord>>& buffers,
                     const SplitOptions& options)
{
    SplitRun run;
    auto* splitter = new SplitBlockThread(nullptr, options.capacity);
    std::atomic<int> prompts{0};
    QObject::connect(splitter, &SplitBlockThread::setPrompt, [&prompts](const QString& prompt) {
        EXPECT_EQ(prompt, QStringLiteral("writing:"));
        ++prompts;
    });
    IlasOutputSettings settings;
    settings.originX = options.origin[0];
    settings.originY = options.origin[1];
    settings.originZ = options.origin[2];
    settings.hasColor = options.colour;
    settings.expectedPoints = options.expectedPoints;
    run.opened = splitter->openIlasFile(path, settings);
    splitter->writer->orderingThreads = options.orderingThreads;
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
