// Reading speed of the LAS/LAZ library, in points per second.
//
//   LasRead      a generated 5,000,000-point uncompressed file (format 3)
//   LasReadSample  the largest uncompressed sample (autzen_trim.las, 110,000)
//   LazRead      the largest LAZ samples of the shared test data (there is no
//                LAZ encoder here to generate a 5,000,000-point file); the
//                argument is the number of decoding threads
//   LazReadTerrain ../shared/benchdata/terrain-10m.laz, 10,000,000 points
//
// `las_bench --write-las PATH N [FORMAT]` only writes a generated N-point LAS
// file of point format 0, 2 or 3 (default 3; used by las_end_to_end.sh and
// pipeline.sh) and exits.

#include "lasreader.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void put16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
void put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
void put64(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, 8); }
void putF64(std::uint8_t* p, double v) { std::memcpy(p, &v, 8); }

// A LAS 1.2 file of point format 0, 2 or 3: points scattered over 1 km x
// 1 km of gently rolling ground, with 16-bit colours in formats 2 and 3.
// Deterministic.
bool writeLas(const std::string& path, std::uint64_t count, int format = 3)
{
    if (format != 0 && format != 2 && format != 3)
        return false;
    const std::size_t length = format == 0 ? 20 : format == 2 ? 26 : 34;
    const std::size_t rgb = format == 2 ? 20 : 28;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::uint8_t h[227] = {};
    std::memcpy(h, "LASF", 4);
    h[24] = 1;
    h[25] = 2;
    put16(h + 94, 227);
    put32(h + 96, 227);
    h[104] = static_cast<std::uint8_t>(format);
    put16(h + 105, static_cast<std::uint16_t>(length));
    put32(h + 107, static_cast<std::uint32_t>(count));
    const double scale = 0.001;
    const double offset[3] = {500000.0, 4000000.0, 100.0};
    for (int a = 0; a < 3; ++a) {
        putF64(h + 131 + 8 * a, scale);
        putF64(h + 155 + 8 * a, offset[a]);
    }
    putF64(h + 179, offset[0] + 1000);
    putF64(h + 187, offset[0]);
    putF64(h + 195, offset[1] + 1000);
    putF64(h + 203, offset[1]);
    putF64(h + 211, offset[2] + 30);
    putF64(h + 219, offset[2]);
    std::fwrite(h, 1, sizeof h, f);

    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const std::size_t batch = 1 << 16;
    std::vector<std::uint8_t> buf(batch * length);
    for (std::uint64_t done = 0; done < count;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(batch, count - done));
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t* r = buf.data() + i * length;
            const std::uint64_t v = next();
            const std::int32_t x = static_cast<std::int32_t>(v % 1000000);
            const std::int32_t y = static_cast<std::int32_t>((v >> 20) % 1000000);
            const double ground = 10.0 + 5.0 * std::sin(x * 1e-5) + 5.0 * std::cos(y * 1e-5);
            const std::int32_t z = static_cast<std::int32_t>(ground * 1000) + static_cast<std::int32_t>((v >> 40) % 2000);
            std::memset(r, 0, length);
            put32(r, static_cast<std::uint32_t>(x));
            put32(r + 4, static_cast<std::uint32_t>(y));
            put32(r + 8, static_cast<std::uint32_t>(z));
            put16(r + 12, static_cast<std::uint16_t>(v >> 48));
            r[14] = 0x09;  // first of one return
            r[15] = 2;
            if (format == 3)
                put64(r + 20, done + i);
            if (format != 0) {
                put16(r + rgb, static_cast<std::uint16_t>(v >> 8));
                put16(r + rgb + 2, static_cast<std::uint16_t>(v >> 24));
                put16(r + rgb + 4, static_cast<std::uint16_t>(v >> 36));
            }
        }
        std::fwrite(buf.data(), 1, n * length, f);
        done += n;
    }
    return std::fclose(f) == 0;
}

bool generated = false;

const std::string& generatedLas()
{
    static const std::string path = [] {
        generated = true;
        const std::string p =
            (std::filesystem::temp_directory_path() / ("las_bench_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".las")).string();
        if (!writeLas(p, 5000000))
            std::fprintf(stderr, "cannot write %s\n", p.c_str());
        return p;
    }();
    return path;
}

void readAllPoints(benchmark::State& state, const std::string& path, unsigned threads)
{
    std::vector<nimbus::las::LasPoint> buf(1 << 16);
    std::uint64_t total = 0;
    for (auto _ : state) {
        nimbus::las::LasReader reader;
        reader.setDecodeThreads(threads);
        if (!reader.open(path)) {
            state.SkipWithError(reader.error().c_str());
            return;
        }
        std::int64_t sum = 0;
        for (;;) {
            const std::size_t n = reader.readPoints(buf.data(), buf.size());
            for (std::size_t i = 0; i < n; ++i)
                sum += buf[i].x + buf[i].red;
            total += n;
            if (n < buf.size())
                break;
        }
        if (reader.failed()) {
            state.SkipWithError(reader.error().c_str());
            return;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(total));
}

void LasRead(benchmark::State& state)
{
    readAllPoints(state, generatedLas(), 1);
}
BENCHMARK(LasRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void LasReadSample(benchmark::State& state)
{
    readAllPoints(state, QUILLFEN_SOURCE_DIR "/../shared/testdata/las/laz-perf/autzen_trim.las", 1);
}
BENCHMARK(LasReadSample)->Unit(benchmark::kMillisecond)->UseRealTime();

void LazRead(benchmark::State& state, const char* file)
{
    readAllPoints(state, std::string(QUILLFEN_SOURCE_DIR "/../shared/testdata/las/") + file,
                  static_cast<unsigned>(state.range(0)));
}
BENCHMARK_CAPTURE(LazRead, several_extra_byte_bloc_697721, "pdal/las_with_several_extra_byte_bloc.laz")
    ->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(LazRead, lone_star_518862, "pdal/lone-star.laz")
    ->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 10,000,000-point terrain of the benchmark data (point format 0).
void LazReadTerrain(benchmark::State& state)
{
    readAllPoints(state, QUILLFEN_SOURCE_DIR "/../shared/benchdata/terrain-10m.laz",
                  static_cast<unsigned>(state.range(0)));
}
BENCHMARK(LazReadTerrain)->Arg(1)->Arg(2)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--write-las") == 0)
        return writeLas(argv[2], std::strtoull(argv[3], nullptr, 10), argc == 5 ? std::atoi(argv[4]) : 3) ? 0 : 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (generated)
        std::filesystem::remove(generatedLas());
    return 0;
}
