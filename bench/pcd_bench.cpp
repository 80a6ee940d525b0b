// Decoding speed of the PCD reader, in points per second: x, y and z of
// every point, as the converter asks for them.
//
//   PcdRead/0..2      a generated 2,000,000-point cloud (x y z F4, rgb U4,
//                     intensity F4) stored as ascii, binary and
//                     binary_compressed; written once into the temp folder
//   PcdReadSample     the largest shared samples: cturtle.pcd (compressed,
//                     167,198 points) and five_people.pcd (organized,
//                     compressed, 307,200 points with NaN holes)
//
// `pcd_bench --write-pcd PATH N ENCODING` (ascii, binary or
// binary_compressed) only writes such a generated file and exits.

#include "pcdreader.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kPoints = 2000000;
const char* const kEncodings[] = {"ascii", "binary", "binary_compressed"};

// Greedy LZF compression: a literal run until three bytes repeat within
// the last 8 KiB, then the longest copy the format allows (264 bytes).
std::vector<std::uint8_t> lzfCompress(const std::vector<std::uint8_t>& in)
{
    std::vector<std::uint8_t> out;
    std::vector<std::uint32_t> last(1 << 16, 0xFFFFFFFFu);
    std::vector<std::uint8_t> literal;
    const auto flush = [&] {
        for (std::size_t at = 0; at < literal.size(); at += 32) {
            const std::size_t n = std::min<std::size_t>(32, literal.size() - at);
            out.push_back(static_cast<std::uint8_t>(n - 1));
            out.insert(out.end(), literal.begin() + at, literal.begin() + at + n);
        }
        literal.clear();
    };
    std::size_t i = 0;
    while (i < in.size()) {
        if (i + 3 <= in.size()) {
            const std::uint32_t key = (in[i] << 8 ^ in[i + 1] << 4 ^ in[i + 2]) & 0xFFFF;
            const std::uint32_t from = last[key];
            last[key] = static_cast<std::uint32_t>(i);
            if (from != 0xFFFFFFFFu && i - from <= 8192 && std::memcmp(&in[from], &in[i], 3) == 0) {
                std::size_t length = 3;
                while (length < 264 && i + length < in.size() && in[from + length] == in[i + length])
                    ++length;
                flush();
                const std::size_t distance = i - from - 1;
                const std::size_t code = length - 2;
                if (code < 7) {
                    out.push_back(static_cast<std::uint8_t>(code << 5 | distance >> 8));
                } else {
                    out.push_back(static_cast<std::uint8_t>(7 << 5 | distance >> 8));
                    out.push_back(static_cast<std::uint8_t>(code - 7));
                }
                out.push_back(static_cast<std::uint8_t>(distance & 0xFF));
                i += length;
                continue;
            }
        }
        literal.push_back(in[i++]);
    }
    flush();
    return out;
}

// A scan-like cloud: points on a slowly turning spiral over rolling ground,
// with colour and intensity. Deterministic.
bool writePcd(const std::string& path, std::uint64_t count, const std::string& encoding)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "# generated\nVERSION 0.7\nFIELDS x y z rgb intensity\nSIZE 4 4 4 4 4\n"
                    "TYPE F F F U F\nCOUNT 1 1 1 1 1\nWIDTH %llu\nHEIGHT 1\n"
                    "VIEWPOINT 0 0 0 1 0 0 0\nPOINTS %llu\nDATA %s\n",
                 static_cast<unsigned long long>(count), static_cast<unsigned long long>(count),
                 encoding.c_str());
    struct Record { float x, y, z; std::uint32_t rgb; float intensity; };
    std::vector<Record> records(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        const double t = i * 0.0007;
        const double r = 5.0 + std::fmod(i * 0.001, 45.0);
        Record& p = records[i];
        p.x = static_cast<float>(r * std::cos(t));
        p.y = static_cast<float>(r * std::sin(t));
        p.z = static_cast<float>(std::sin(p.x * 0.05) * 2.0 + std::cos(p.y * 0.07));
        p.rgb = 0x406080u + static_cast<std::uint32_t>(i % 64);
        p.intensity = static_cast<float>(i % 1000) * 0.5f;
    }
    bool ok = true;
    if (encoding == "ascii") {
        for (const Record& p : records)
            std::fprintf(f, "%.7g %.7g %.7g %u %.7g\n", p.x, p.y, p.z, p.rgb, p.intensity);
    } else if (encoding == "binary") {
        ok = std::fwrite(records.data(), sizeof(Record), count, f) == count;
    } else {
        // Field after field, then compressed.
        std::vector<std::uint8_t> raw(count * sizeof(Record));
        for (std::size_t field = 0; field < 5; ++field)
            for (std::uint64_t i = 0; i < count; ++i)
                std::memcpy(&raw[(field * count + i) * 4],
                            reinterpret_cast<const std::uint8_t*>(&records[i]) + field * 4, 4);
        const std::vector<std::uint8_t> packed = lzfCompress(raw);
        const std::uint32_t sizes[2] = {static_cast<std::uint32_t>(packed.size()),
                                        static_cast<std::uint32_t>(raw.size())};
        ok = std::fwrite(sizes, 4, 2, f) == 2
            && std::fwrite(packed.data(), 1, packed.size(), f) == packed.size();
    }
    return std::fclose(f) == 0 && ok;
}

std::string generated(int encoding)
{
    const std::string path = (std::filesystem::temp_directory_path()
                              / ("pcd_bench_" + std::to_string(kPoints) + "_"
                                 + kEncodings[encoding] + ".pcd"))
                                 .string();
    if (!std::filesystem::exists(path) && !writePcd(path, kPoints, kEncodings[encoding]))
        return std::string();
    return path;
}

void readWhole(benchmark::State& state, const std::string& path)
{
    std::vector<nimbus::pcd::PcdPoint> batch(65536);
    std::uint64_t points = 0;
    double sink = 0.0;
    for (auto _ : state) {
        nimbus::pcd::PcdReader reader;
        if (!reader.open(path)) {
            state.SkipWithError(reader.error().c_str());
            return;
        }
        for (std::size_t n; (n = reader.readPoints(batch.data(), batch.size())) > 0;) {
            points += n;
            sink += batch[n - 1].x;
        }
        if (reader.failed()) {
            state.SkipWithError(reader.error().c_str());
            return;
        }
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(static_cast<std::int64_t>(points));
    state.SetBytesProcessed(static_cast<std::int64_t>(std::filesystem::file_size(path)
                                                      * state.iterations()));
}

void PcdRead(benchmark::State& state)
{
    const int encoding = static_cast<int>(state.range(0));
    state.SetLabel(kEncodings[encoding]);
    const std::string path = generated(encoding);
    if (path.empty()) {
        state.SkipWithError("cannot write the generated cloud");
        return;
    }
    readWhole(state, path);
}
BENCHMARK(PcdRead)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

void PcdReadSample(benchmark::State& state)
{
    const char* names[] = {"cturtle.pcd", "five_people.pcd"};
    state.SetLabel(names[state.range(0)]);
    readWhole(state, std::string(QUILLFEN_SOURCE_DIR "/../shared/testdata/pcd/pcl/") + names[state.range(0)]);
}
BENCHMARK(PcdReadSample)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--write-pcd") == 0) {
        const std::uint64_t count = std::strtoull(argv[3], nullptr, 10);
        if (!writePcd(argv[2], count, argv[4])) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
