#include "crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <nmmintrin.h>
#define NIMBUS_E57_HW_CRC 1
#endif

namespace nimbus::e57 {

namespace {

// Slicing by eight: table[k][b] is the checksum contribution of byte b
// followed by k zero bytes, so eight bytes cost eight lookups and no
// dependency chain longer than one step.
struct Tables {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    Tables()
    {
        for (std::uint32_t b = 0; b < 256; ++b) {
            std::uint32_t c = b;
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ ((c & 1u) ? 0x82F63B78u : 0u);
            t[0][b] = c;
        }
        for (std::uint32_t b = 0; b < 256; ++b)
            for (std::size_t k = 1; k < 8; ++k)
                t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu];
    }
};

const Tables& tables()
{
    static const Tables instance;
    return instance;
}

std::uint32_t portableUpdate(std::uint32_t crc, const std::uint8_t* p, std::size_t n)
{
    const auto& t = tables().t;
    while (n >= 8) {
        std::uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo ^= crc; // the byte order of the words is little-endian, as on every target
        crc = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24]
            ^ t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n-- > 0)
        crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFFu];
    return crc;
}

#ifdef NIMBUS_E57_HW_CRC
__attribute__((target("sse4.2"))) std::uint32_t hardwareUpdate(std::uint32_t crc, const std::uint8_t* p,
                                                               std::size_t n)
{
    std::uint64_t c = crc;
    while (n >= 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        c = _mm_crc32_u64(c, v);
        p += 8;
        n -= 8;
    }
    std::uint32_t c32 = static_cast<std::uint32_t>(c);
    while (n-- > 0)
        c32 = _mm_crc32_u8(c32, *p++);
    return c32;
}

bool haveHardwareCrc()
{
    static const bool have = __builtin_cpu_supports("sse4.2");
    return have;
}
#endif

} // namespace

std::uint32_t crc32cPortable(const void* data, std::size_t size)
{
    return ~portableUpdate(0xFFFFFFFFu, static_cast<const std::uint8_t*>(data), size);
}

std::uint32_t crc32c(const void* data, std::size_t size)
{
#ifdef NIMBUS_E57_HW_CRC
    if (haveHardwareCrc())
        return ~hardwareUpdate(0xFFFFFFFFu, static_cast<const std::uint8_t*>(data), size);
#endif
    return crc32cPortable(data, size);
}

} // namespace nimbus::e57
