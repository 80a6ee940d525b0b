#pragma once
// Decodes integers as prediction + corrector: a bit-length class chosen by a
// context model, then the corrector's place inside that class. Models are
// allocated once and reset lazily, so restarting per chunk costs nothing until
// a model is actually used.

#include "arithmeticdecoder.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace nimbus {
namespace las {

class IntegerDecompressor {
public:
    IntegerDecompressor(std::uint32_t bits, std::uint32_t contexts);

    // Forgets everything learnt: every model starts afresh on first use.
    void reset() { ++generation_; }

    std::int32_t decompress(ArithmeticDecoder& dec, std::int32_t prediction, std::uint32_t context)
    {
        const std::int32_t corrector = readCorrector(dec, kModel(context));
        std::uint32_t real = static_cast<std::uint32_t>(prediction) + static_cast<std::uint32_t>(corrector);
        if (corrRange_) {
            if (static_cast<std::int32_t>(real) < 0)
                real += corrRange_;
            else if (real >= corrRange_)
                real -= corrRange_;
        }
        return static_cast<std::int32_t>(real);
    }

    // Class of the most recent corrector, used as context by callers.
    std::uint32_t k() const { return k_; }

private:
    SymbolModel& kModel(std::uint32_t context)
    {
        if (context >= contexts_)
            context = contexts_ - 1;
        if (kGen_[context] != generation_) {
            kModels_[context].reset();
            kGen_[context] = generation_;
        }
        return kModels_[context];
    }
    std::int32_t readCorrector(ArithmeticDecoder& dec, SymbolModel& km);

    std::uint32_t bits_;
    std::uint32_t contexts_;
    std::uint32_t corrBits_;
    std::uint32_t corrRange_;
    std::int32_t corrMin_;
    std::uint32_t k_ = 0;
    std::uint32_t generation_ = 1;
    std::vector<SymbolModel> kModels_;
    std::vector<std::uint32_t> kGen_;
    BitModel bit0_;
    std::uint32_t bit0Gen_ = 0;
    std::vector<SymbolModel> correctors_;  // index k - 1
    std::vector<std::uint32_t> corrGen_;
};

} // namespace las
} // namespace nimbus
