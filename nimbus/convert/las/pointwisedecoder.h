#pragma once
// Decoder of pointwise LAZ chunks (point formats 0-5): the first record of a
// chunk is stored raw, every further record is coded item by item into one
// shared arithmetic stream. One object decodes chunk after chunk, reusing all
// its models.

#include "arithmeticdecoder.h"
#include "itemcoders.h"
#include "lasheader.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace nimbus {
namespace las {

class Point10V1;
class Point10V2;
class GpsTime11V1;
class Rgb12V1;
class ByteV1;
class ByteV2;

class PointwiseDecoder {
public:
    explicit PointwiseDecoder(const std::vector<LaszipItem>& items);
    ~PointwiseDecoder();


    // Starts a chunk: `firstRecord` is its raw first record; the coded stream
    // of the following records lies at [streamBegin, streamEnd) and may be
    // continued through `refill`.
    void begin(const std::uint8_t* firstRecord, const std::uint8_t* streamBegin, const std::uint8_t* streamEnd,
               ByteRefill* refill = nullptr);

    // Writes the next `count` records of the chunk. Returns how many are sound;
    // fewer than `count` means the stream is corrupt or cut short.
    std::size_t decode(std::uint8_t* out, std::size_t count);

    // Where the coded stream stopped (start of the next chunk in a file
    // without chunk table); valid once a second record was decoded.
    const std::uint8_t* streamPosition() const { return coder_.position(); }
    bool streamStarted() const { return started_; }

private:
    struct Item {
        ItemType type;
        std::uint16_t version;
        std::size_t offset;
        std::size_t size;
        std::size_t slot;  // index into the matching decoder list
    };
    void decodeOne(std::uint8_t* out);

    std::size_t recordLength_ = 0;
    std::vector<Item> items_;
    std::vector<std::uint8_t> first_;
    bool firstPending_ = false;
    bool started_ = false;
    const std::uint8_t* streamBegin_ = nullptr;
    const std::uint8_t* streamEnd_ = nullptr;
    ByteRefill* refill_ = nullptr;
    ArithmeticDecoder coder_;

    std::vector<std::unique_ptr<Point10V1>> point10v1_;
    std::vector<std::unique_ptr<Point10V2>> point10v2_;
    std::vector<std::unique_ptr<GpsTime11V1>> gps11v1_;
    std::vector<std::unique_ptr<GpsTimeCoder>> gps11v2_;
    std::vector<std::unique_ptr<Rgb12V1>> rgb12v1_;
    std::vector<std::unique_ptr<RgbCoder>> rgb12v2_;
    std::vector<std::uint16_t> rgbLast_;  // 3 per RGB12 v2 item
    std::vector<std::unique_ptr<ByteV1>> byteV1_;
    std::vector<std::unique_ptr<ByteV2>> byteV2_;
    std::vector<std::unique_ptr<WavePacketCoder>> wave_;
};

} // namespace las
} // namespace nimbus
