// End-to-end cost of storing one full 20,000,000-point buffer: binning,
// halving, kd ordering and writing, through the splitter and writer threads.

#include "splitblockthread.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>

namespace {

using nimbus::PointBuffer;
using nimbus::PointRecord;
using nimbus::SplitBlockThread;

// Small, fast and reproducible; quality is ample for spreading points.
class XorShift {
public:
    explicit XorShift(std::uint64_t seed) : state_(seed) {}
    float unit()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<float>(state_ >> 40) / static_cast<float>(1ull << 24);
    }

private:
    std::uint64_t state_;
};

void fillUniform(PointBuffer& buffer)
{
    XorShift random(42);
    for (std::int32_t i = 0; i < buffer.count; ++i) {
        PointRecord& p = buffer.points[i];
        p.x = random.unit() * 2000.0f;
        p.y = random.unit() * 2000.0f;
        p.z = random.unit() * 100.0f;
        p.red = static_cast<std::uint8_t>(i);
        p.green = static_cast<std::uint8_t>(i >> 8);
        p.blue = static_cast<std::uint8_t>(i >> 16);
        p.reserved = 0;
    }
}

// Four 10-unit cubes of 5,000,000 points, each inside its own grid cell:
// every cube's cell is halved twice before its blocks are small enough.
void fillDense(PointBuffer& buffer)
{
    static const float corners[4][3] = {{100, 100, 20}, {505, 300, 40}, {1205, 1500, 60}, {1800, 45, 0}};
    XorShift random(7);
    for (std::int32_t i = 0; i < buffer.count; ++i) {
        const float* corner = corners[static_cast<std::uint64_t>(i) * 4 / static_cast<std::uint64_t>(buffer.count)];
        PointRecord& p = buffer.points[i];
        p.x = corner[0] + random.unit() * 10.0f;
        p.y = corner[1] + random.unit() * 10.0f;
        p.z = corner[2] + random.unit() * 10.0f;
        p.red = p.green = p.blue = static_cast<std::uint8_t>(i);
        p.reserved = 0;
    }
}

void storeBuffer(benchmark::State& state, void (*fill)(PointBuffer&))
{
    QTemporaryFile name(QDir::tempPath() + QStringLiteral("/store_bench_XXXXXX.ilas"));
    if (!name.open()) {
        state.SkipWithError("no temporary file");
        return;
    }
    const QString path = name.fileName();
    std::int64_t fileBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PointBuffer* buffer = nimbus::createPointBuffer(nimbus::kHandOffCapacity);
        fill(*buffer);
        state.ResumeTiming();

        auto* splitter = new SplitBlockThread(nullptr, nimbus::kHandOffCapacity);
        nimbus::IlasOutputSettings settings;
        settings.hasColor = true;
        settings.expectedPoints = static_cast<std::uint64_t>(buffer->count);
        if (!splitter->openIlasFile(path, settings)) {
            state.SkipWithError("cannot open the output");
            delete splitter;
            nimbus::releasePointBuffer(buffer);
            break;
        }
        splitter->start();
        buffer->free = false;
        while (!splitter->offerBuffer(*buffer))
            QThread::msleep(1);
        splitter->inputFinished = true;
        splitter->wait();
        const bool failed = splitter->failed();
        delete splitter;
        nimbus::releasePointBuffer(buffer);
        if (failed) {
            state.SkipWithError("writing failed");
            break;
        }
        state.PauseTiming();
        fileBytes = QFile(path).size();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * nimbus::kHandOffCapacity);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["file_MB"] = static_cast<double>(fileBytes) / (1024.0 * 1024.0);
    QFile::remove(path);
}

void StoreUniform(benchmark::State& state)
{
    storeBuffer(state, &fillUniform);
}

void StoreDense(benchmark::State& state)
{
    storeBuffer(state, &fillDense);
}

} // namespace

BENCHMARK(StoreUniform)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(StoreDense)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
