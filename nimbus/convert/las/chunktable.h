#pragma once
// The table of chunk sizes stored after the compressed points of a chunked
// LAZ file, turned into absolute chunk positions.

#include "inputfile.h"
#include "lasheader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nimbus {
namespace las {

struct ChunkEntry {
    std::uint64_t offset = 0;  // absolute file offset of the chunk's first byte
    std::uint64_t bytes = 0;
    std::uint64_t points = 0;  // from the table (variable chunks) or the chunk size
};

enum class ChunkTableState {
    Valid,
    Missing,  // the writer never stored one
    Broken,
};

// Reads and checks the chunk table of a chunked LAZ file. `chunks` is filled
// only when the result is Valid; `error` says what is wrong otherwise.
ChunkTableState readChunkTable(InputFile& file, const LasHeader& header, std::vector<ChunkEntry>& chunks,
                               Reason& error);

// Largest plausible compressed size of a chunk of `points` records; bigger
// claims are treated as corruption rather than allocated.
std::uint64_t maxChunkBytes(std::uint64_t points, std::uint16_t recordLength);

// Decodes the coded part of a chunk table (for tests and the fuzzer):
// `count` entries from [data, data + size).
bool decodeChunkTable(const std::uint8_t* data, std::size_t size, std::uint32_t count, bool variable,
                      std::vector<std::uint32_t>& points, std::vector<std::uint32_t>& bytes);

} // namespace las
} // namespace nimbus
