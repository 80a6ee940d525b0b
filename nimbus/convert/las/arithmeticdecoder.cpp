#include "arithmeticdecoder.h"

namespace nimbus {
namespace las {

namespace {
constexpr std::uint32_t kBitLengthShift = 13;
constexpr std::uint32_t kBitMaxCount = 1u << kBitLengthShift;
constexpr std::uint32_t kSymbolLengthShift = 15;
constexpr std::uint32_t kSymbolMaxCount = 1u << kSymbolLengthShift;
} // namespace

void BitModel::reset()
{
    bit0Count = 1;
    bitCount = 2;
    bit0Prob = 1u << (kBitLengthShift - 1);
    untilUpdate = 4;
    updateCycle = 4;
}

void BitModel::update()
{
    bitCount += updateCycle;
    if (bitCount > kBitMaxCount) {
        bitCount = (bitCount + 1) >> 1;
        bit0Count = (bit0Count + 1) >> 1;
        if (bit0Count == bitCount)
            ++bitCount;
    }
    const std::uint32_t scale = 0x80000000u / bitCount;
    bit0Prob = (bit0Count * scale) >> (31 - kBitLengthShift);
    updateCycle = (5 * updateCycle) >> 2;
    if (updateCycle > 64)
        updateCycle = 64;
    untilUpdate = updateCycle;
}

SymbolModel::SymbolModel(std::uint32_t n)
    : symbols(n < 2 ? 2 : (n > 2048 ? 2048 : n))
    , lastSymbol(symbols - 1)
    , distribution(symbols)
    , counts(symbols)
{
    if (symbols > 16) {
        std::uint32_t bits = 3;
        while (symbols > (1u << (bits + 2)))
            ++bits;
        tableSize = 1u << bits;
        tableShift = kSymbolLengthShift - bits;
        table.assign(tableSize + 2, 0);
    }
    reset();
}

void SymbolModel::reset()
{
    for (auto& c : counts)
        c = 1;
    totalCount = 0;
    updateCycle = symbols;
    update();
    updateCycle = untilUpdate = (symbols + 6) >> 1;
}

void SymbolModel::update()
{
    totalCount += updateCycle;
    if (totalCount > kSymbolMaxCount) {
        totalCount = 0;
        for (auto& c : counts) {
            c = (c + 1) >> 1;
            totalCount += c;
        }
    }
    const std::uint32_t scale = 0x80000000u / totalCount;
    std::uint32_t sum = 0;
    if (tableSize == 0) {
        for (std::uint32_t k = 0; k < symbols; ++k) {
            distribution[k] = (scale * sum) >> (31 - kSymbolLengthShift);
            sum += counts[k];
        }
    } else {
        // table[t] = last symbol whose scaled start lies below t.
        std::uint32_t next = 0;
        for (std::uint32_t k = 0; k < symbols; ++k) {
            distribution[k] = (scale * sum) >> (31 - kSymbolLengthShift);
            sum += counts[k];
            const std::uint32_t w = distribution[k] >> tableShift;
            while (next <= w)
                table[next++] = k == 0 ? 0 : k - 1;
        }
        table[0] = 0;
        while (next <= tableSize + 1)
            table[next++] = symbols - 1;
    }
    updateCycle = (5 * updateCycle) >> 2;
    const std::uint32_t maxCycle = (symbols + 6) << 3;
    if (updateCycle > maxCycle)
        updateCycle = maxCycle;
    untilUpdate = updateCycle;
}

void ArithmeticDecoder::start(const std::uint8_t* begin, const std::uint8_t* end, ByteRefill* refill)
{
    cur_ = begin;
    end_ = end;
    refill_ = refill;
    failed_ = false;
    length_ = kMaxLength;
    value_ = 0;
    for (int i = 0; i < 4; ++i)
        value_ = (value_ << 8) | nextByte();
    // A valid stream always starts inside the interval.
    if (value_ >= length_)
        failed_ = true;
}

std::uint8_t ArithmeticDecoder::nextByteSlow()
{
    if (!failed_ && refill_) {
        const std::uint8_t* b = nullptr;
        const std::uint8_t* e = nullptr;
        if (refill_->refill(b, e) && b != e) {
            cur_ = b;
            end_ = e;
            return *cur_++;
        }
    }
    failed_ = true;
    return 0;
}

} // namespace las
} // namespace nimbus
