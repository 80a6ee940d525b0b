#pragma once
// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78), the checksum that
// closes every page of an E57 file.

#include <cstddef>
#include <cstdint>

namespace nimbus::e57 {

// The checksum of `size` bytes (initial value and final XOR 0xFFFFFFFF).
std::uint32_t crc32c(const void* data, std::size_t size);

// The same, always through the portable table-driven code; for tests that
// compare it with the hardware instruction.
std::uint32_t crc32cPortable(const void* data, std::size_t size);

} // namespace nimbus::e57
