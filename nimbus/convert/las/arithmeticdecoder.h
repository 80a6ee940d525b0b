#pragma once
// Adaptive binary-interval arithmetic decoder of LAZ streams, with its bit and
// symbol models. The decoder reads from a byte range it does not own; when the
// range runs out it may ask a refill source for more (pointwise streams read
// straight from a file), otherwise it flags an overrun and feeds zeros, so
// corrupt input can never make it read outside the range.

#include <cstdint>
#include <vector>

namespace nimbus {
namespace las {

// Supplies further bytes to a decoder whose range is used up. Called once per
// refill block, never per symbol.
class ByteRefill {
public:
    virtual ~ByteRefill() = default;
    // Points [begin, end) at the next bytes; false at the end of the input.
    virtual bool refill(const std::uint8_t*& begin, const std::uint8_t*& end) = 0;
};

class BitModel {
public:
    BitModel() { reset(); }
    void reset();
    void update();

    std::uint32_t bit0Count = 1;
    std::uint32_t bitCount = 2;
    std::uint32_t bit0Prob = 1u << 12;
    std::uint32_t untilUpdate = 4;
    std::uint32_t updateCycle = 4;
};

// Models with up to 2048 symbols. Storage is sized once; reset() restores the
// start state so a model can be reused chunk after chunk without allocating.
class SymbolModel {
public:
    explicit SymbolModel(std::uint32_t symbols = 2);
    void reset();
    void update();

    std::uint32_t symbols;
    std::uint32_t lastSymbol;
    std::uint32_t totalCount = 0;
    std::uint32_t updateCycle = 0;
    std::uint32_t untilUpdate = 0;
    std::uint32_t tableSize = 0;  // 0: no lookup table (16 symbols or fewer)
    std::uint32_t tableShift = 0;
    std::vector<std::uint32_t> distribution;
    std::vector<std::uint32_t> counts;
    std::vector<std::uint32_t> table;
};

class ArithmeticDecoder {
public:
    static constexpr std::uint32_t kMinLength = 0x01000000u;
    static constexpr std::uint32_t kMaxLength = 0xFFFFFFFFu;

    // Starts a stream on [begin, end): reads the four start bytes.
    void start(const std::uint8_t* begin, const std::uint8_t* end, ByteRefill* refill = nullptr);

    // True once the stream asked for bytes beyond its input, or a raw value
    // was out of range: everything decoded since is garbage.
    bool failed() const { return failed_; }
    // For callers that detect impossible decoded values themselves.
    void markFailed() { failed_ = true; }
    // Bytes taken from the current range (for locating the next chunk).
    const std::uint8_t* position() const { return cur_; }

    std::uint32_t decodeBit(BitModel& m)
    {
        const std::uint32_t x = m.bit0Prob * (length_ >> 13);
        std::uint32_t bit;
        if (value_ < x) {
            bit = 0;
            length_ = x;
            ++m.bit0Count;
        } else {
            bit = 1;
            value_ -= x;
            length_ -= x;
        }
        if (length_ < kMinLength)
            renormalise();
        if (--m.untilUpdate == 0)
            m.update();
        return bit;
    }

    std::uint32_t decodeSymbol(SymbolModel& m)
    {
        std::uint32_t y = length_;
        length_ >>= 15;
        std::uint32_t sym;
        std::uint32_t x;
        const std::uint32_t* dist = m.distribution.data();
        if (m.tableSize) {
            const std::uint32_t dv = value_ / length_;
            std::uint32_t t = dv >> m.tableShift;
            if (t > m.tableSize)
                t = m.tableSize;
            sym = m.table[t];
            std::uint32_t hi = m.table[t + 1] + 1;
            while (hi > sym + 1) {
                const std::uint32_t mid = (sym + hi) >> 1;
                if (dist[mid] > dv)
                    hi = mid;
                else
                    sym = mid;
            }
            x = dist[sym] * length_;
            if (sym != m.lastSymbol)
                y = dist[sym + 1] * length_;
        } else {
            sym = 0;
            x = 0;
            std::uint32_t hi = m.symbols;
            while (hi > sym + 1) {
                const std::uint32_t mid = (sym + hi) >> 1;
                const std::uint32_t z = dist[mid] * length_;
                if (z > value_) {
                    hi = mid;
                    y = z;
                } else {
                    sym = mid;
                    x = z;
                }
            }
        }
        value_ -= x;
        length_ = y - x;
        if (length_ < kMinLength)
            renormalise();
        ++m.counts[sym];
        if (--m.untilUpdate == 0)
            m.update();
        return sym;
    }

    // Uniformly distributed raw values, 1 <= bits <= 32.
    std::uint32_t readBits(std::uint32_t bits)
    {
        if (bits > 19) {
            const std::uint32_t lo = readShort();
            const std::uint32_t hi = readBits(bits - 16);
            return (hi << 16) | lo;
        }
        length_ >>= bits;
        std::uint32_t sym = value_ / length_;
        value_ -= length_ * sym;
        if (length_ < kMinLength)
            renormalise();
        if (sym >> bits) {
            failed_ = true;
            sym &= (1u << bits) - 1;
        }
        return sym;
    }
    std::uint32_t readShort() { return readBits(16); }
    std::uint32_t readInt()
    {
        const std::uint32_t lo = readShort();
        const std::uint32_t hi = readShort();
        return (hi << 16) | lo;
    }
    std::uint64_t readInt64()
    {
        const std::uint64_t lo = readInt();
        const std::uint64_t hi = readInt();
        return (hi << 32) | lo;
    }

private:
    std::uint8_t nextByte()
    {
        if (cur_ != end_)
            return *cur_++;
        return nextByteSlow();
    }
    std::uint8_t nextByteSlow();
    void renormalise()
    {
        do {
            value_ = (value_ << 8) | nextByte();
            length_ <<= 8;
        } while (length_ < kMinLength);
    }

    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    ByteRefill* refill_ = nullptr;
    std::uint32_t value_ = 0;
    std::uint32_t length_ = kMaxLength;
    bool failed_ = false;
};

} // namespace las
} // namespace nimbus
