#pragma once
// One LAZ chunk decoder of either kind (pointwise or layered), chosen by the
// file's compressor, so callers drive both the same way.

#include "layereddecoder.h"
#include "pointwisedecoder.h"

#include <memory>
#include <string>

namespace nimbus {
namespace las {

class ChunkDecoder {
public:
    ChunkDecoder(const LasHeader& header, bool allFields);

    bool layered() const { return layered_ != nullptr; }
    const LayeredDecoder* layeredDecoder() const { return layered_.get(); }

    // Starts a chunk held completely in [begin, end).
    bool begin(const std::uint8_t* begin, const std::uint8_t* end, Reason& error);
    // Starts a pointwise chunk whose stream continues through `refill`.
    void beginStream(const std::uint8_t* firstRecord, const std::uint8_t* streamBegin, const std::uint8_t* streamEnd,
                     ByteRefill* refill);
    std::size_t decode(std::uint8_t* out, std::size_t count);
    const PointwiseDecoder* pointwiseDecoder() const { return pointwise_.get(); }

private:
    std::size_t recordLength_;
    std::unique_ptr<PointwiseDecoder> pointwise_;
    std::unique_ptr<LayeredDecoder> layered_;
};

} // namespace las
} // namespace nimbus
