// Feeds arbitrary bytes to the header parser, the chunk table decoder and,
// through a scratch file, to the whole reader in both decoding modes.

#include "chunktable.h"
#include "lasheader.h"
#include "lasreader.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Enough points to reach several chunks; keeps each run short.
constexpr std::size_t kMaxPoints = 20000;

std::string scratchPath()
{
    static const std::string path = "/tmp/las_fuzz_" + std::to_string(getpid()) + ".laz";
    return path;
}

void readAll(const std::string& path, bool records, unsigned threads)
{
    nimbus::las::LasReader reader;
    reader.setDecodeThreads(threads);
    if (!reader.open(path))
        return;
    const std::size_t rl = reader.header().recordLength;
    std::size_t total = 0;
    if (records) {
        std::vector<std::uint8_t> buf(rl * 1000);
        while (total < kMaxPoints) {
            const std::size_t n = reader.readRecords(buf.data(), 1000);
            total += n;
            if (n < 1000)
                break;
        }
    } else {
        std::vector<nimbus::las::LasPoint> buf(4096);
        while (total < kMaxPoints) {
            const std::size_t n = reader.readPoints(buf.data(), buf.size());
            total += n;
            if (n < buf.size())
                break;
        }
    }
    if (reader.failed() && reader.error().empty())
        __builtin_trap();  // a failure must always say why
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    nimbus::las::LasHeader header;
    std::string error;
    if (!nimbus::las::parseLasHeader(data, size, size, header, error) && error.empty())
        __builtin_trap();

    if (size > 0) {
        std::vector<std::uint32_t> points, bytes;
        nimbus::las::decodeChunkTable(data + 1, size - 1, data[0] % 64, (data[0] & 64) != 0, points, bytes);
    }

    std::FILE* f = std::fopen(scratchPath().c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    readAll(scratchPath(), true, 1);
    // Points come from the sequential or the parallel decoder.
    readAll(scratchPath(), false, (size & 1) ? 1 : 2);
    return 0;
}
