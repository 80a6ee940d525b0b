// Feeds arbitrary bytes to the LZF decoder directly and, through a scratch
// file, to the whole reader as a PCD and as a PLY file.

#include "lzf.h"
#include "pcdreader.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Enough points to cross several read chunks; keeps each run short.
constexpr std::size_t kMaxPoints = 200000;

std::string scratchPath()
{
    static const std::string path = "/tmp/pcd_fuzz_" + std::to_string(getpid()) + ".pcd";
    return path;
}

void readAll(const std::string& path, bool ply)
{
    nimbus::pcd::PcdReader reader;
    const bool opened = ply ? reader.openPly(path) : reader.open(path);
    if (!opened) {
        if (reader.error().empty())
            __builtin_trap(); // a refusal must always say why
        return;
    }
    std::vector<nimbus::pcd::PcdPoint> batch(4096);
    std::size_t total = 0;
    while (total < kMaxPoints) {
        const std::size_t n = reader.readPoints(batch.data(), batch.size());
        total += n;
        if (n < batch.size())
            break;
    }
    if (reader.failed() && reader.error().empty())
        __builtin_trap();
    // A checked file gives every announced point unless it changed meanwhile.
    if (!reader.failed() && total < kMaxPoints && total != reader.header().points)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first two bytes give an output size for the bare decoder.
    if (size >= 2) {
        const std::size_t outSize = std::size_t(data[0]) << 8 | data[1];
        std::vector<std::uint8_t> out(outSize);
        std::string reason;
        if (!nimbus::pcd::lzfDecompress(data + 2, size - 2, out.data(), out.size(), reason)
            && reason.empty())
            __builtin_trap();
    }

    const std::string path = scratchPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    readAll(path, false);
    readAll(path, true);
    return 0;
}
