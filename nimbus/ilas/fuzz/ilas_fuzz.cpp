// Feeds arbitrary bytes to the ilas reader: opened from memory with every
// check run and every point read, and from a scratch file exported as LAS
// and text, which must fail with a reason or hold every stored point.

#include "ilascheck.h"
#include "ilasreader.h"
#include "pointexport.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

std::string scratch(const char* suffix)
{
    return "/tmp/ilas_fuzz_" + std::to_string(getpid()) + suffix;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace nimbus::ilas;
    IlasReader reader;
    const bool complete = reader.openMemory(data, size, "fuzz.ilas");
    if (!complete && !reader.problem().found())
        __builtin_trap(); // a refused file must say why
    (void)reader.magic();
    (void)reader.createdAt();
    const Problem problem = checkFile(reader);
    if (complete) {
        double sum = 0.0;
        for (std::size_t b = 0; b < reader.blocks().size(); ++b) {
            const BlockView view = reader.block(b);
            for (std::int32_t k = 0; k < view.count(); ++k) {
                sum += reader.absolute(view.point(k)).x;
                if (view.hasColour())
                    sum += view.colour(k).red;
            }
            (void)reader.blockBox(b);
        }
        (void)reader.blocksMeeting(Box{{-1e3, -1e3, -1e3}, {1e3, 1e3, 1e3}});
        (void)sum;
    }

    const std::string input = scratch(".ilas");
    std::FILE* file = std::fopen(input.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    IlasReader onDisk;
    onDisk.open(input);
    for (const char* suffix : {".las", ".xyz"}) {
        const std::string output = scratch(suffix);
        std::string error;
        const bool exported = suffix[1] == 'l' ? exportLas(onDisk, output, error) : exportXyz(onDisk, output, error);
        if (!exported && error.empty())
            __builtin_trap(); // a failure must say why
        if (exported && (!complete || (problem.found() && problem.rule != "kd-order")))
            __builtin_trap(); // exported what the check refuses
        std::remove(output.c_str());
    }
    return 0;
}
