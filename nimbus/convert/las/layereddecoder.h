#pragma once
// Decoder of layered LAZ chunks (point formats 6-10): after the raw first
// record and the layer sizes, every field group has its own arithmetic
// stream, so fields nobody asked for are skipped without decoding. One object
// decodes chunk after chunk, reusing its models.

#include "arithmeticdecoder.h"
#include "lasheader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbus {
namespace las {

class Point14Item;
class Rgb14Item;
class WavePacket14Item;
class Byte14Item;

class LayeredDecoder {
public:
    // With `allFields` false only the coordinate and colour layers are
    // decoded; the other fields of the records keep the chunk's first values.
    LayeredDecoder(const std::vector<LaszipItem>& items, bool allFields);
    ~LayeredDecoder();

    // Bytes in front of the layers: raw record, point count, layer sizes.
    std::size_t headSize() const { return recordLength_ + 4 + 4 * layerCount_; }
    // Whole chunk size from its head (headSize() bytes).
    std::uint64_t chunkSize(const std::uint8_t* head) const;

    // Starts the chunk held in [begin, end). False when its layers do not fit.
    bool begin(const std::uint8_t* begin, const std::uint8_t* end, Reason& error);

    // Writes the next `count` records. Returns how many are sound.
    std::size_t decode(std::uint8_t* out, std::size_t count);

private:
    struct Item {
        ItemType type;
        std::size_t offset;
        std::size_t size;
        std::size_t firstLayer;
        std::size_t slot;
    };
    bool anyFailed() const;

    std::size_t recordLength_ = 0;
    std::size_t layerCount_ = 0;
    bool allFields_;
    std::vector<Item> items_;
    std::vector<std::uint8_t> first_;
    bool firstPending_ = false;
    std::vector<ArithmeticDecoder> layers_;
    std::vector<std::uint32_t> layerBytes_;
    std::unique_ptr<bool[]> active_;  // per layer: decoded for this chunk
    std::vector<const ArithmeticDecoder*> started_;

    std::unique_ptr<Point14Item> point_;
    std::vector<std::unique_ptr<Rgb14Item>> rgb_;
    std::vector<std::unique_ptr<WavePacket14Item>> wave_;
    std::vector<std::unique_ptr<Byte14Item>> bytes_;
};

} // namespace las
} // namespace nimbus
