#pragma once
// Little-endian loads and stores on unaligned bytes.

#include <cstdint>
#include <cstring>

namespace nimbus {
namespace las {

inline std::uint16_t loadU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t loadU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t loadU64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(loadU32(p)) | (static_cast<std::uint64_t>(loadU32(p + 4)) << 32);
}
inline std::int32_t loadI32(const std::uint8_t* p) { return static_cast<std::int32_t>(loadU32(p)); }
inline double loadF64(const std::uint8_t* p)
{
    const std::uint64_t bits = loadU64(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline void storeU16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void storeU32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void storeU64(std::uint8_t* p, std::uint64_t v)
{
    storeU32(p, static_cast<std::uint32_t>(v));
    storeU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

} // namespace las
} // namespace nimbus
