#pragma once
// Building blocks shared by the pointwise and the layered item decoders:
// lazily reset model arrays, the streaming median of five, the colour
// difference coder, the multi-sequence GPS time coder and the wave packet
// coder.

#include "arithmeticdecoder.h"
#include "integerdecompressor.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace nimbus {
namespace las {

// An array of context models of which only a few are ever used: each model
// is allocated the first time its context occurs and reset lazily after
// reset(), so starting a chunk costs nothing per context.
class ModelSet {
public:
    ModelSet(std::uint32_t count, std::uint32_t symbols)
        : symbols_(symbols)
        , slots_(count)
    {
    }
    void reset() { ++generation_; }
    SymbolModel& at(std::uint32_t i)
    {
        Slot& s = slots_[i];
        if (!s.model)
            s.model = std::make_unique<SymbolModel>(symbols_);
        if (s.generation != generation_) {
            s.model->reset();
            s.generation = generation_;
        }
        return *s.model;
    }

private:
    struct Slot {
        std::unique_ptr<SymbolModel> model;
        std::uint32_t generation = 0;
    };
    std::uint32_t symbols_;
    std::uint32_t generation_ = 1;
    std::vector<Slot> slots_;
};

// Running median of the last five values, updated one value at a time.
struct Median5 {
    std::int32_t v[5] = {0, 0, 0, 0, 0};
    bool high = true;

    std::int32_t get() const { return v[2]; }
    void add(std::int32_t d);
};

// Colour of formats 2, 3, 5, 7, 8, 10: six byte-wise differences guided by a
// mask of changed bytes, green and blue predicted from red's change.
struct RgbCoder {
    RgbCoder();
    void reset();
    // Decodes the colour following `last` and stores it back into `last`.
    void decode(ArithmeticDecoder& dec, std::uint16_t last[3]);

    SymbolModel byteUsed;
    SymbolModel diff[6];
};

// GPS time as a u64 bit pattern, predicted from up to four interleaved
// sequences of regularly spaced times. The pointwise (has an "unchanged"
// code) and layered (unchanged is signalled elsewhere) variants differ only
// in their code tables.
struct GpsTimeCoder {
    explicit GpsTimeCoder(bool layered);
    void reset(std::uint64_t firstTime);
    void decode(ArithmeticDecoder& dec);
    std::uint64_t current() const { return last[index]; }

    bool layered;
    std::uint64_t last[4];
    std::int32_t lastDiff[4];
    std::int32_t counter[4];
    std::uint32_t index = 0;
    std::uint32_t next = 0;
    SymbolModel multi;
    SymbolModel zeroDiff;
    IntegerDecompressor ic;

private:
    void startFullTime(ArithmeticDecoder& dec);
};

// The 29-byte wave packet descriptor of formats 4, 5, 9, 10.
struct WavePacketCoder {
    WavePacketCoder();
    void reset(const std::uint8_t* seed);
    // Decodes the next descriptor into `last` (29 bytes).
    void decode(ArithmeticDecoder& dec);

    std::uint8_t last[29];
    std::int32_t lastDiff32 = 0;
    std::uint32_t lastCode = 0;
    SymbolModel packetIndex;
    SymbolModel offsetDiff[4];
    IntegerDecompressor icOffsetDiff;
    IntegerDecompressor icPacketSize;
    IntegerDecompressor icReturnPoint;
    IntegerDecompressor icXyz;
};

} // namespace las
} // namespace nimbus
