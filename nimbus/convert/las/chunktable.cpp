#include "chunktable.h"

#include "arithmeticdecoder.h"
#include "bytes.h"
#include "integerdecompressor.h"
#include "lasmessages.h"

#include <algorithm>

namespace nimbus {
namespace las {

std::uint64_t maxChunkBytes(std::uint64_t points, std::uint16_t recordLength)
{
    // Coding never expands data much; the slack covers layer tables and
    // stream start bytes of tiny chunks.
    return points * recordLength * 2 + (1u << 20);
}

bool decodeChunkTable(const std::uint8_t* data, std::size_t size, std::uint32_t count, bool variable,
                      std::vector<std::uint32_t>& points, std::vector<std::uint32_t>& bytes)
{
    points.assign(count, 0);
    bytes.assign(count, 0);
    ArithmeticDecoder dec;
    dec.start(data, data + size);
    IntegerDecompressor ic(32, 2);
    std::int32_t lastPoints = 0;
    std::int32_t lastBytes = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (variable) {
            lastPoints = ic.decompress(dec, lastPoints, 0);
            points[i] = static_cast<std::uint32_t>(lastPoints);
        }
        lastBytes = ic.decompress(dec, lastBytes, 1);
        bytes[i] = static_cast<std::uint32_t>(lastBytes);
        if (dec.failed())
            return false;
    }
    return true;
}

ChunkTableState readChunkTable(InputFile& file, const LasHeader& h, std::vector<ChunkEntry>& chunks,
                               Reason& error)
{
    chunks.clear();
    const std::uint64_t fileSize = file.size();
    const std::uint64_t pointData = h.pointDataOffset;
    std::uint8_t buf[8];
    if (file.readAt(pointData, buf, 8) != 8) {
        error = Reason(msg::kEndsBeforeCompressedPoints);
        return ChunkTableState::Broken;
    }
    std::uint64_t tableOffset = loadU64(buf);
    if (tableOffset == ~std::uint64_t(0)) {
        // Written to a stream: the table's offset was appended at the very end.
        if (fileSize < 8 || file.readAt(fileSize - 8, buf, 8) != 8) {
            error = Reason(msg::kChunkTableOffsetMissing);
            return ChunkTableState::Broken;
        }
        tableOffset = loadU64(buf);
    }
    if (tableOffset == pointData) {
        error = Reason(msg::kNoChunkTable);
        return ChunkTableState::Missing;
    }
    const std::uint64_t firstChunk = pointData + 8;
    if (tableOffset < firstChunk || tableOffset > fileSize || fileSize - tableOffset < 8) {
        error = Reason(msg::kChunkTableOffsetOutside);
        return ChunkTableState::Broken;
    }
    if (file.readAt(tableOffset, buf, 8) != 8) {
        error = Reason(msg::kChunkTableUnreadable);
        return ChunkTableState::Broken;
    }
    const std::uint32_t version = loadU32(buf);
    const std::uint32_t count = loadU32(buf + 4);
    if (version != 0) {
        error = Reason(msg::kChunkTableVersion, version);
        return ChunkTableState::Broken;
    }
    // Every chunk holds at least its raw first record.
    const std::uint64_t room = tableOffset - firstChunk;
    if (count > room / std::max<std::uint16_t>(h.recordLength, 1)) {
        error = Reason(msg::kChunkTableTooManyChunks);
        return ChunkTableState::Broken;
    }
    if (count == 0)
        return ChunkTableState::Valid;

    const std::uint64_t codedAvailable = fileSize - tableOffset - 8;
    const std::size_t codedSize = static_cast<std::size_t>(std::min<std::uint64_t>(codedAvailable, 16ull * count + 64));
    std::vector<std::uint8_t> coded(codedSize);
    if (file.readAt(tableOffset + 8, coded.data(), codedSize) != codedSize) {
        error = Reason(msg::kChunkTableUnreadable);
        return ChunkTableState::Broken;
    }
    const bool variable = h.laszip.variableChunks();
    std::vector<std::uint32_t> points;
    std::vector<std::uint32_t> bytes;
    if (!decodeChunkTable(coded.data(), coded.size(), count, variable, points, bytes)) {
        error = Reason(msg::kChunkTableCorrupt);
        return ChunkTableState::Broken;
    }

    chunks.resize(count);
    std::uint64_t offset = firstChunk;
    const std::uint64_t total = h.pointCount();
    std::uint64_t assigned = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        ChunkEntry& c = chunks[i];
        c.offset = offset;
        c.bytes = bytes[i];
        if (c.bytes < h.recordLength || c.bytes > tableOffset - offset) {
            error = Reason(msg::kChunkEntryImpossible, i, count);
            chunks.clear();
            return ChunkTableState::Broken;
        }
        offset += c.bytes;
        if (variable) {
            c.points = points[i];
        } else {
            const std::uint64_t left = total > assigned ? total - assigned : 0;
            c.points = std::min<std::uint64_t>(h.laszip.chunkSize, left);
        }
        if (c.bytes > maxChunkBytes(c.points, h.recordLength)) {
            error = Reason(msg::kChunkEntryImplausible, i);
            chunks.clear();
            return ChunkTableState::Broken;
        }
        assigned += c.points;
    }
    return ChunkTableState::Valid;
}

} // namespace las
} // namespace nimbus
