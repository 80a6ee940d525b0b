#include "integerdecompressor.h"

namespace nimbus {
namespace las {

namespace {
constexpr std::uint32_t kBitsHigh = 8;
}

IntegerDecompressor::IntegerDecompressor(std::uint32_t bits, std::uint32_t contexts)
    : bits_(bits)
    , contexts_(contexts == 0 ? 1 : contexts)
{
    if (bits_ > 0 && bits_ < 32) {
        corrBits_ = bits_;
        corrRange_ = 1u << bits_;
        corrMin_ = -static_cast<std::int32_t>(1u << (bits_ - 1));
    } else {
        corrBits_ = 32;
        corrRange_ = 0;
        corrMin_ = INT32_MIN;
    }
    kModels_.reserve(contexts_);
    for (std::uint32_t i = 0; i < contexts_; ++i)
        kModels_.emplace_back(corrBits_ + 1);
    kGen_.assign(contexts_, 0);
    correctors_.reserve(corrBits_);
    for (std::uint32_t k = 1; k <= corrBits_; ++k)
        correctors_.emplace_back(k <= kBitsHigh ? (1u << k) : (1u << kBitsHigh));
    corrGen_.assign(corrBits_, 0);
}

std::int32_t IntegerDecompressor::readCorrector(ArithmeticDecoder& dec, SymbolModel& km)
{
    k_ = dec.decodeSymbol(km);
    if (k_ == 0) {
        if (bit0Gen_ != generation_) {
            bit0_.reset();
            bit0Gen_ = generation_;
        }
        return static_cast<std::int32_t>(dec.decodeBit(bit0_));
    }
    if (k_ >= 32)
        return corrMin_;
    SymbolModel& cm = correctors_[k_ - 1];
    if (corrGen_[k_ - 1] != generation_) {
        cm.reset();
        corrGen_[k_ - 1] = generation_;
    }
    std::uint32_t c;
    if (k_ <= kBitsHigh) {
        c = dec.decodeSymbol(cm);
    } else {
        const std::uint32_t k1 = k_ - kBitsHigh;
        const std::uint32_t high = dec.decodeSymbol(cm);
        const std::uint32_t low = dec.readBits(k1);
        c = (high << k1) | low;
    }
    // Fold the class position back into a signed corrector.
    if (c >= (1u << (k_ - 1)))
        c += 1;
    else
        c -= (1u << k_) - 1;
    return static_cast<std::int32_t>(c);
}

} // namespace las
} // namespace nimbus
