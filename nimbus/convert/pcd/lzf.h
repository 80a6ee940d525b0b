#pragma once
// Decompression of one LZF block, as PCD files store their compressed
// bodies. The block is a sequence of runs, each introduced by a control
// byte: below 32 it announces that many plus one literal bytes; otherwise
// its top three bits give a copy length (7 means "add the next byte") and
// its low five bits with the following byte a distance back into the
// output already written.

#include <cstddef>
#include <cstdint>
#include <string>

#include "nimbusreason.h"

namespace nimbus {
namespace pcd {

// Decompresses `in` into exactly `outSize` bytes at `out`. False, with the
// reason, when the block is damaged: a run that ends past the input, a copy
// reaching before the start of the output, or output of another size. Never
// writes outside `out[0, outSize)` nor reads outside `in[0, inSize)`.
bool lzfDecompress(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out,
                   std::size_t outSize, Reason& reason);

} // namespace pcd
} // namespace nimbus
