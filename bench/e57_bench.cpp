// Decoding speed of the E57 library, in points per second on one core.
//
//   E57Decode   a generated 5,000,000-record scan: scaled-integer x, y, z
//               (0.1 mm over 400 m, 22 bits each) and 8-bit colours, in
//               data packets of about 48 KiB, read from a temporary file
//               through the page checksums
//
// `e57_bench --write-e57 PATH N` only writes a generated N-record file of
// the same kind (used by pipeline.sh) and exits.

#include "e57file.h"
#include "e57testwriter.h"
#include "scanrecords.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

constexpr std::uint64_t kBenchRecords = 5000000;

e57test::ScanDef generatedScan(std::uint64_t records)
{
    e57test::ScanDef scan;
    const char* axes[] = {"cartesianX", "cartesianY", "cartesianZ"};
    for (const char* axis : axes) {
        e57test::FieldDef f;
        f.name = axis;
        f.type = "ScaledInteger";
        f.minimum = -2000000;
        f.maximum = 2000000;
        f.scale = 0.0001;
        scan.fields.push_back(f);
    }
    const char* colours[] = {"colorRed", "colorGreen", "colorBlue"};
    for (const char* colour : colours) {
        e57test::FieldDef f;
        f.name = colour;
        f.type = "Integer";
        f.maximum = 255;
        scan.fields.push_back(f);
    }
    scan.records = records;
    // A terrain-like cloud: x and y over 400 m, z within 20 m, from a
    // cheap hash of the record number.
    scan.value = [](std::uint64_t r, std::size_t f) -> double {
        std::uint64_t h = (r + 1) * 0x9E3779B97F4A7C15ull + f * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
        h *= 0x94D049BB133111EBull;
        h ^= h >> 29;
        if (f < 2)
            return double(std::int64_t(h % 4000001) - 2000000);
        if (f == 2)
            return double(std::int64_t(h % 200001) - 100000);
        return double(h % 256);
    };
    scan.streamBytes = 8000;
    scan.pose = true;
    scan.translation[0] = 500000.0;
    scan.translation[1] = 4000000.0;
    scan.translation[2] = 100.0;
    return scan;
}

bool writeGenerated(const std::string& path, std::uint64_t records)
{
    return e57test::writeFile(path, e57test::writeE57({generatedScan(records)}).bytes);
}

const std::string& benchFile()
{
    static const std::string path = [] {
        const std::string p =
            (std::filesystem::temp_directory_path() / ("e57_bench_" + std::to_string(::getpid()) + ".e57")).string();
        if (!writeGenerated(p, kBenchRecords))
            std::abort();
        return p;
    }();
    return path;
}

bool generated = false;

void E57Decode(benchmark::State& state)
{
    const std::string& path = benchFile();
    generated = true;
    std::uint64_t points = 0;
    for (auto _ : state) {
        nimbus::e57::E57File file;
        if (!file.open(path)) {
            state.SkipWithError(file.error().c_str());
            return;
        }
        nimbus::e57::ScanRecordReader reader(file.pages(), file.scans().at(0), 1);
        if (!reader.open()) {
            state.SkipWithError(reader.error().c_str());
            return;
        }
        nimbus::e57::RecordBatch batch;
        double sum = 0.0;
        while (const std::size_t n = reader.read(batch, 1u << 16)) {
            sum += batch.x[n - 1] + batch.red[0];
            points += n;
        }
        if (reader.failed()) {
            state.SkipWithError(reader.error().c_str());
            return;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(points));
}
BENCHMARK(E57Decode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--write-e57") == 0)
        return writeGenerated(argv[2], std::strtoull(argv[3], nullptr, 10)) ? 0 : 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (generated)
        std::filesystem::remove(benchFile());
    return 0;
}
