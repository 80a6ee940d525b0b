#include "chunkdecoder.h"

#include "lasmessages.h"

namespace nimbus {
namespace las {

ChunkDecoder::ChunkDecoder(const LasHeader& header, bool allFields)
    : recordLength_(header.recordLength)
{
    if (header.laszip.compressor == Compressor::LayeredChunked)
        layered_ = std::make_unique<LayeredDecoder>(header.laszip.items, allFields);
    else
        pointwise_ = std::make_unique<PointwiseDecoder>(header.laszip.items);
}

bool ChunkDecoder::begin(const std::uint8_t* begin, const std::uint8_t* end, Reason& error)
{
    if (layered_)
        return layered_->begin(begin, end, error);
    if (static_cast<std::size_t>(end - begin) < recordLength_) {
        error = Reason(msg::kChunkShorterThanRecord);
        return false;
    }
    pointwise_->begin(begin, begin + recordLength_, end, nullptr);
    return true;
}

void ChunkDecoder::beginStream(const std::uint8_t* firstRecord, const std::uint8_t* streamBegin,
                               const std::uint8_t* streamEnd, ByteRefill* refill)
{
    if (pointwise_)
        pointwise_->begin(firstRecord, streamBegin, streamEnd, refill);
}

std::size_t ChunkDecoder::decode(std::uint8_t* out, std::size_t count)
{
    return layered_ ? layered_->decode(out, count) : pointwise_->decode(out, count);
}

} // namespace las
} // namespace nimbus
