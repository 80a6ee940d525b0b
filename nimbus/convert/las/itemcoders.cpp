#include "itemcoders.h"

#include "bytes.h"

namespace nimbus {
namespace las {

void Median5::add(std::int32_t d)
{
    if (high) {
        // Drop the largest value.
        if (d < v[2]) {
            v[4] = v[3];
            v[3] = v[2];
            if (d < v[0]) {
                v[2] = v[1];
                v[1] = v[0];
                v[0] = d;
            } else if (d < v[1]) {
                v[2] = v[1];
                v[1] = d;
            } else {
                v[2] = d;
            }
        } else {
            if (d < v[3]) {
                v[4] = v[3];
                v[3] = d;
            } else {
                v[4] = d;
            }
            high = false;
        }
    } else {
        // Drop the smallest value.
        if (v[2] < d) {
            v[0] = v[1];
            v[1] = v[2];
            if (v[4] < d) {
                v[2] = v[3];
                v[3] = v[4];
                v[4] = d;
            } else if (v[3] < d) {
                v[2] = v[3];
                v[3] = d;
            } else {
                v[2] = d;
            }
        } else {
            if (v[1] < d) {
                v[0] = v[1];
                v[1] = d;
            } else {
                v[0] = d;
            }
            high = true;
        }
    }
}

namespace {
inline std::int32_t clampByte(std::int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
} // namespace

RgbCoder::RgbCoder()
    : byteUsed(128)
    , diff{SymbolModel(256), SymbolModel(256), SymbolModel(256), SymbolModel(256), SymbolModel(256), SymbolModel(256)}
{
}

void RgbCoder::reset()
{
    byteUsed.reset();
    for (auto& m : diff)
        m.reset();
}

void RgbCoder::decode(ArithmeticDecoder& dec, std::uint16_t last[3])
{
    const std::uint32_t sym = dec.decodeSymbol(byteUsed);
    const std::int32_t lrLo = last[0] & 0xFF, lrHi = last[0] >> 8;
    const std::int32_t lgLo = last[1] & 0xFF, lgHi = last[1] >> 8;
    const std::int32_t lbLo = last[2] & 0xFF, lbHi = last[2] >> 8;
    const std::int32_t rLo = (sym & 1) ? ((dec.decodeSymbol(diff[0]) + lrLo) & 0xFF) : lrLo;
    const std::int32_t rHi = (sym & 2) ? ((dec.decodeSymbol(diff[1]) + lrHi) & 0xFF) : lrHi;
    const std::uint16_t red = static_cast<std::uint16_t>((rHi << 8) | rLo);
    if (!(sym & 64)) {
        last[0] = last[1] = last[2] = red;
        return;
    }
    std::int32_t d = rLo - lrLo;
    const std::int32_t gLo = (sym & 4) ? ((dec.decodeSymbol(diff[2]) + clampByte(d + lgLo)) & 0xFF) : lgLo;
    std::int32_t bLo = lbLo;
    if (sym & 16) {
        d = (d + (gLo - lgLo)) / 2;
        bLo = (dec.decodeSymbol(diff[4]) + clampByte(d + lbLo)) & 0xFF;
    }
    d = rHi - lrHi;
    const std::int32_t gHi = (sym & 8) ? ((dec.decodeSymbol(diff[3]) + clampByte(d + lgHi)) & 0xFF) : lgHi;
    std::int32_t bHi = lbHi;
    if (sym & 32) {
        d = (d + (gHi - lgHi)) / 2;
        bHi = (dec.decodeSymbol(diff[5]) + clampByte(d + lbHi)) & 0xFF;
    }
    last[0] = red;
    last[1] = static_cast<std::uint16_t>((gHi << 8) | gLo);
    last[2] = static_cast<std::uint16_t>((bHi << 8) | bLo);
}

namespace {
constexpr std::uint32_t kGpsMulti = 500;
constexpr std::uint32_t kGpsMultiUnchanged = 511;  // pointwise only
constexpr std::uint32_t kGpsMultiCodeFullPointwise = 512;
constexpr std::uint32_t kGpsMultiCodeFullLayered = 511;
constexpr std::uint32_t kGpsMultiTotalPointwise = 516;
constexpr std::uint32_t kGpsMultiTotalLayered = 515;
// Sequence switches are single codes, so a correct stream never needs more
// than a couple of rounds for one point.
constexpr int kGpsMaxRounds = 8;
} // namespace

GpsTimeCoder::GpsTimeCoder(bool layeredVariant)
    : layered(layeredVariant)
    , multi(layeredVariant ? kGpsMultiTotalLayered : kGpsMultiTotalPointwise)
    , zeroDiff(layeredVariant ? 5 : 6)
    , ic(32, 9)
{
    reset(0);
}

void GpsTimeCoder::reset(std::uint64_t firstTime)
{
    for (int i = 0; i < 4; ++i) {
        last[i] = 0;
        lastDiff[i] = 0;
        counter[i] = 0;
    }
    last[0] = firstTime;
    index = next = 0;
    multi.reset();
    zeroDiff.reset();
    ic.reset();
}

void GpsTimeCoder::startFullTime(ArithmeticDecoder& dec)
{
    next = (next + 1) & 3;
    const std::int32_t high = ic.decompress(dec, static_cast<std::int32_t>(last[index] >> 32), 8);
    const std::uint32_t low = dec.readInt();
    last[next] = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | low;
    index = next;
    lastDiff[index] = 0;
    counter[index] = 0;
}

void GpsTimeCoder::decode(ArithmeticDecoder& dec)
{
    for (int round = 0; round < kGpsMaxRounds; ++round) {
        if (lastDiff[index] == 0) {
            const std::uint32_t s = dec.decodeSymbol(zeroDiff);
            if (layered) {
                if (s == 0) {
                    const std::int32_t d = ic.decompress(dec, 0, 0);
                    lastDiff[index] = d;
                    last[index] += static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
                    counter[index] = 0;
                } else if (s == 1) {
                    startFullTime(dec);
                } else {
                    index = (index + s - 1) & 3;
                    continue;
                }
            } else {
                if (s == 0) {
                    // unchanged
                } else if (s == 1) {
                    const std::int32_t d = ic.decompress(dec, 0, 0);
                    lastDiff[index] = d;
                    last[index] += static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
                    counter[index] = 0;
                } else if (s == 2) {
                    startFullTime(dec);
                } else {
                    index = (index + s - 2) & 3;
                    continue;
                }
            }
            return;
        }

        const std::uint32_t s = dec.decodeSymbol(multi);
        const std::uint32_t codeFull = layered ? kGpsMultiCodeFullLayered : kGpsMultiCodeFullPointwise;
        if (s == codeFull) {
            startFullTime(dec);
            return;
        }
        if (s > codeFull) {
            index = (index + s - codeFull) & 3;
            continue;
        }
        if (!layered && s == kGpsMultiUnchanged)
            return;

        const std::uint32_t d = static_cast<std::uint32_t>(lastDiff[index]);
        std::int32_t g;
        bool extreme = false;
        if (s == 0) {
            g = ic.decompress(dec, 0, 7);
            extreme = true;
        } else if (s == 1) {
            g = ic.decompress(dec, lastDiff[index], 1);
            counter[index] = 0;
        } else if (s < 10) {
            g = ic.decompress(dec, static_cast<std::int32_t>(s * d), 2);
        } else if (s < kGpsMulti) {
            g = ic.decompress(dec, static_cast<std::int32_t>(s * d), 3);
        } else if (s == kGpsMulti) {
            g = ic.decompress(dec, static_cast<std::int32_t>(kGpsMulti * d), 4);
            extreme = true;
        } else if (s < 510) {
            const std::uint32_t t = static_cast<std::uint32_t>(500 - static_cast<std::int32_t>(s));
            g = ic.decompress(dec, static_cast<std::int32_t>(t * d), 5);
        } else {  // 510
            g = ic.decompress(dec, static_cast<std::int32_t>(static_cast<std::uint32_t>(-10) * d), 6);
            extreme = true;
        }
        if (extreme) {
            if (++counter[index] > 3) {
                lastDiff[index] = g;
                counter[index] = 0;
            }
        }
        last[index] += static_cast<std::uint64_t>(static_cast<std::int64_t>(g));
        return;
    }
    dec.markFailed();
}

WavePacketCoder::WavePacketCoder()
    : packetIndex(256)
    , offsetDiff{SymbolModel(4), SymbolModel(4), SymbolModel(4), SymbolModel(4)}
    , icOffsetDiff(32, 1)
    , icPacketSize(32, 1)
    , icReturnPoint(32, 1)
    , icXyz(32, 3)
{
    std::uint8_t zero[29] = {};
    reset(zero);
}

void WavePacketCoder::reset(const std::uint8_t* seed)
{
    std::memcpy(last, seed, sizeof last);
    lastDiff32 = 0;
    lastCode = 0;
    packetIndex.reset();
    for (auto& m : offsetDiff)
        m.reset();
    icOffsetDiff.reset();
    icPacketSize.reset();
    icReturnPoint.reset();
    icXyz.reset();
}

void WavePacketCoder::decode(ArithmeticDecoder& dec)
{
    last[0] = static_cast<std::uint8_t>(dec.decodeSymbol(packetIndex));
    const std::uint32_t code = dec.decodeSymbol(offsetDiff[lastCode]);
    lastCode = code;
    std::uint64_t offset = loadU64(last + 1);
    std::uint32_t size = loadU32(last + 9);
    if (code == 1) {
        offset += size;
    } else if (code == 2) {
        lastDiff32 = icOffsetDiff.decompress(dec, lastDiff32, 0);
        offset += static_cast<std::uint64_t>(static_cast<std::int64_t>(lastDiff32));
    } else if (code == 3) {
        offset = dec.readInt64();
    }
    size = static_cast<std::uint32_t>(icPacketSize.decompress(dec, static_cast<std::int32_t>(size), 0));
    const std::int32_t returnPoint = icReturnPoint.decompress(dec, loadI32(last + 13), 0);
    const std::int32_t dx = icXyz.decompress(dec, loadI32(last + 17), 0);
    const std::int32_t dy = icXyz.decompress(dec, loadI32(last + 21), 1);
    const std::int32_t dz = icXyz.decompress(dec, loadI32(last + 25), 2);
    storeU64(last + 1, offset);
    storeU32(last + 9, size);
    storeU32(last + 13, static_cast<std::uint32_t>(returnPoint));
    storeU32(last + 17, static_cast<std::uint32_t>(dx));
    storeU32(last + 21, static_cast<std::uint32_t>(dy));
    storeU32(last + 25, static_cast<std::uint32_t>(dz));
}

} // namespace las
} // namespace nimbus
