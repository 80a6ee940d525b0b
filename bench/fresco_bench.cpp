// Throughput of whole rendering jobs: a generated set of 4 x 4 tiles of
// 50 x 50 ground units, rendered and mosaicked into one GeoTIFF per run.
// Reports tiles per second, output megapixels per second and the process's
// peak resident memory.
#include "tilesetgenerator.h"

#include "fresco.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kColumns = 4;
constexpr int kRows = 4;
constexpr double kTileSize = 50.0;

struct BenchSet
{
    QTemporaryDir dir;
    QString entry;
    QString output;
    bool ready = false;
};

BenchSet &benchSet()
{
    static BenchSet set;
    static bool made = false;
    if (!made) {
        made = true;
        const QString root = set.dir.path() + QStringLiteral("/Bench");
        const osg::Vec3d origin(500000, 2500000, 0);
        set.entry = root + QStringLiteral("/Bench.osgb");
        set.output = set.dir.path() + QStringLiteral("/out");
        set.ready = set.dir.isValid() && QDir().mkpath(set.output)
                    && fresco::testing::writeTileSet(
                        root, fresco::testing::tileGrid(kColumns, kRows, kTileSize), &origin);
    }
    return set;
}

double peakResidentMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

void BM_RenderJob(benchmark::State &state)
{
    BenchSet &set = benchSet();
    if (!set.ready) {
        state.SkipWithError("could not write the tile set");
        return;
    }
    const double resolution = 1.0 / static_cast<double>(state.range(0));
    int errors = 0;
    int finishes = 0;
    for (auto _ : state) {
        Fresco job;
        job.setResolution(resolution);
        job.setErrorLog([&errors](QString) { ++errors; });
        job.setFinishCallback([&finishes]() { ++finishes; });
        job.start({set.entry}, set.output);
    }
    if (errors > 0 || finishes != static_cast<int>(state.iterations())) {
        state.SkipWithError("the job reported errors (is there a display?)");
        return;
    }
    const double tiles = kColumns * kRows;
    const double pixels = (kColumns * kTileSize / resolution) * (kRows * kTileSize / resolution);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * tiles));
    state.counters["tiles/s"] =
        benchmark::Counter(tiles * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["out_MPix/s"] =
        benchmark::Counter(pixels * state.iterations() / 1e6, benchmark::Counter::kIsRate);
    state.counters["out_MPix"] = pixels / 1e6;
    state.counters["peak_rss_MB"] = peakResidentMegabytes();
}

} // namespace

// Arguments are pixels per ground unit: 0.2 and 0.05 units per pixel.
BENCHMARK(BM_RenderJob)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
