#include "pointwisedecoder.h"

#include "bytes.h"

#include <algorithm>
#include <cstring>

namespace nimbus {
namespace las {

namespace {

// Context of a point's return number r among n returns (rows n, columns r).
const std::uint8_t kReturnMap[8][8] = {
    {15, 14, 13, 12, 11, 10, 9, 8}, {14, 0, 1, 3, 6, 10, 10, 9},    {13, 1, 2, 4, 7, 11, 11, 10},
    {12, 3, 4, 5, 8, 12, 12, 11},   {11, 6, 7, 8, 9, 13, 13, 12},   {10, 10, 11, 12, 13, 14, 14, 13},
    {9, 10, 11, 12, 13, 14, 15, 14}, {8, 9, 10, 11, 12, 13, 14, 15},
};

inline std::uint32_t returnLevel(std::uint32_t n, std::uint32_t r) { return n > r ? n - r : r - n; }

inline std::int32_t wrapAdd(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

inline std::int32_t median3(const std::int32_t v[3])
{
    const std::int32_t a = v[0], b = v[1], c = v[2];
    if (a < b) {
        if (b < c)
            return b;
        return a < c ? c : a;
    }
    if (a < c)
        return a;
    return b < c ? c : b;
}

// The 20 core bytes of formats 0-5, kept decoded between points.
struct Core20 {
    std::int32_t x = 0, y = 0, z = 0;
    std::uint16_t intensity = 0;
    std::uint8_t bits = 0, classification = 0, scanAngle = 0, userData = 0;
    std::uint16_t pointSource = 0;

    void load(const std::uint8_t* p)
    {
        x = loadI32(p);
        y = loadI32(p + 4);
        z = loadI32(p + 8);
        intensity = loadU16(p + 12);
        bits = p[14];
        classification = p[15];
        scanAngle = p[16];
        userData = p[17];
        pointSource = loadU16(p + 18);
    }
    void store(std::uint8_t* p) const
    {
        storeU32(p, static_cast<std::uint32_t>(x));
        storeU32(p + 4, static_cast<std::uint32_t>(y));
        storeU32(p + 8, static_cast<std::uint32_t>(z));
        storeU16(p + 12, intensity);
        p[14] = bits;
        p[15] = classification;
        p[16] = scanAngle;
        p[17] = userData;
        storeU16(p + 18, pointSource);
    }
};

} // namespace

class Point10V2 {
public:
    Point10V2()
        : changed_(64)
        , bitByte_(256, 256)
        , classification_(256, 256)
        , userData_(256, 256)
        , scanAngle_(2, 256)
        , icIntensity_(16, 4)
        , icPointSource_(16, 1)
        , icDx_(32, 2)
        , icDy_(32, 22)
        , icZ_(32, 20)
    {
    }

    void init(const std::uint8_t* raw)
    {
        last_.load(raw);
        last_.intensity = 0;
        std::fill(std::begin(lastIntensity_), std::end(lastIntensity_), 0);
        std::fill(std::begin(lastHeight_), std::end(lastHeight_), 0);
        for (auto& m : medX_)
            m = Median5();
        for (auto& m : medY_)
            m = Median5();
        changed_.reset();
        bitByte_.reset();
        classification_.reset();
        userData_.reset();
        scanAngle_.reset();
        icIntensity_.reset();
        icPointSource_.reset();
        icDx_.reset();
        icDy_.reset();
        icZ_.reset();
    }

    void decode(ArithmeticDecoder& dec, std::uint8_t* out)
    {
        const std::uint32_t cv = dec.decodeSymbol(changed_);
        if (cv & 32)
            last_.bits = static_cast<std::uint8_t>(dec.decodeSymbol(bitByte_.at(last_.bits)));
        const std::uint32_t r = last_.bits & 7;
        const std::uint32_t n = (last_.bits >> 3) & 7;
        const std::uint32_t m = kReturnMap[n][r];
        const std::uint32_t l = returnLevel(n, r);
        if (cv & 16) {
            last_.intensity = static_cast<std::uint16_t>(
                icIntensity_.decompress(dec, lastIntensity_[m], m < 3 ? m : 3));
            lastIntensity_[m] = last_.intensity;
        } else {
            last_.intensity = lastIntensity_[m];
        }
        if (cv & 8)
            last_.classification = static_cast<std::uint8_t>(dec.decodeSymbol(classification_.at(last_.classification)));
        if (cv & 4) {
            const std::uint32_t s = dec.decodeSymbol(scanAngle_.at((last_.bits >> 6) & 1));
            last_.scanAngle = static_cast<std::uint8_t>(last_.scanAngle + s);
        }
        if (cv & 2)
            last_.userData = static_cast<std::uint8_t>(dec.decodeSymbol(userData_.at(last_.userData)));
        if (cv & 1)
            last_.pointSource = static_cast<std::uint16_t>(icPointSource_.decompress(dec, last_.pointSource, 0));

        const std::uint32_t single = n == 1 ? 1 : 0;
        const std::int32_t dx = icDx_.decompress(dec, medX_[m].get(), single);
        last_.x = wrapAdd(last_.x, dx);
        medX_[m].add(dx);
        const std::uint32_t kx = icDx_.k();
        const std::int32_t dy = icDy_.decompress(dec, medY_[m].get(), single + (kx < 20 ? (kx & ~1u) : 20));
        last_.y = wrapAdd(last_.y, dy);
        medY_[m].add(dy);
        const std::uint32_t kz = (icDx_.k() + icDy_.k()) / 2;
        last_.z = icZ_.decompress(dec, lastHeight_[l], single + (kz < 18 ? (kz & ~1u) : 18));
        lastHeight_[l] = last_.z;
        last_.store(out);
    }

private:
    Core20 last_;
    std::uint16_t lastIntensity_[16];
    std::int32_t lastHeight_[8];
    Median5 medX_[16];
    Median5 medY_[16];
    SymbolModel changed_;
    ModelSet bitByte_;
    ModelSet classification_;
    ModelSet userData_;
    ModelSet scanAngle_;
    IntegerDecompressor icIntensity_;
    IntegerDecompressor icPointSource_;
    IntegerDecompressor icDx_;
    IntegerDecompressor icDy_;
    IntegerDecompressor icZ_;
};

class Point10V1 {
public:
    Point10V1()
        : changed_(64)
        , bitByte_(256, 256)
        , classification_(256, 256)
        , userData_(256, 256)
        , icDx_(32, 1)
        , icDy_(32, 20)
        , icZ_(32, 20)
        , icIntensity_(16, 1)
        , icScanAngle_(8, 2)
        , icPointSource_(16, 1)
    {
    }

    void init(const std::uint8_t* raw)
    {
        last_.load(raw);
        for (int i = 0; i < 3; ++i)
            lastXDiff_[i] = lastYDiff_[i] = 0;
        index_ = 0;
        changed_.reset();
        bitByte_.reset();
        classification_.reset();
        userData_.reset();
        icDx_.reset();
        icDy_.reset();
        icZ_.reset();
        icIntensity_.reset();
        icScanAngle_.reset();
        icPointSource_.reset();
    }

    void decode(ArithmeticDecoder& dec, std::uint8_t* out)
    {
        const std::int32_t dx = icDx_.decompress(dec, median3(lastXDiff_), 0);
        last_.x = wrapAdd(last_.x, dx);
        const std::uint32_t kx = icDx_.k();
        const std::int32_t dy = icDy_.decompress(dec, median3(lastYDiff_), kx < 19 ? kx : 19);
        last_.y = wrapAdd(last_.y, dy);
        const std::uint32_t kz = (kx + icDy_.k()) / 2;
        last_.z = icZ_.decompress(dec, last_.z, kz < 19 ? kz : 19);

        const std::uint32_t cv = dec.decodeSymbol(changed_);
        if (cv & 32)
            last_.intensity = static_cast<std::uint16_t>(icIntensity_.decompress(dec, last_.intensity, 0));
        if (cv & 16)
            last_.bits = static_cast<std::uint8_t>(dec.decodeSymbol(bitByte_.at(last_.bits)));
        if (cv & 8)
            last_.classification = static_cast<std::uint8_t>(dec.decodeSymbol(classification_.at(last_.classification)));
        if (cv & 4)
            last_.scanAngle = static_cast<std::uint8_t>(icScanAngle_.decompress(dec, last_.scanAngle, kz < 3 ? 1 : 0));
        if (cv & 2)
            last_.userData = static_cast<std::uint8_t>(dec.decodeSymbol(userData_.at(last_.userData)));
        if (cv & 1)
            last_.pointSource = static_cast<std::uint16_t>(icPointSource_.decompress(dec, last_.pointSource, 0));

        lastXDiff_[index_] = dx;
        lastYDiff_[index_] = dy;
        index_ = index_ == 2 ? 0 : index_ + 1;
        last_.store(out);
    }

private:
    Core20 last_;
    std::int32_t lastXDiff_[3];
    std::int32_t lastYDiff_[3];
    int index_ = 0;
    SymbolModel changed_;
    ModelSet bitByte_;
    ModelSet classification_;
    ModelSet userData_;
    IntegerDecompressor icDx_;
    IntegerDecompressor icDy_;
    IntegerDecompressor icZ_;
    IntegerDecompressor icIntensity_;
    IntegerDecompressor icScanAngle_;
    IntegerDecompressor icPointSource_;
};

class GpsTime11V1 {
public:
    GpsTime11V1()
        : multi_(512)
        , zeroDiff_(3)
        , ic_(32, 6)
    {
    }

    void init(const std::uint8_t* raw)
    {
        time_ = loadU64(raw);
        diff_ = 0;
        counter_ = 0;
        multi_.reset();
        zeroDiff_.reset();
        ic_.reset();
    }

    void decode(ArithmeticDecoder& dec, std::uint8_t* out)
    {
        if (diff_ == 0) {
            const std::uint32_t s = dec.decodeSymbol(zeroDiff_);
            if (s == 1) {
                diff_ = ic_.decompress(dec, 0, 0);
                add(diff_);
            } else if (s == 2) {
                time_ = dec.readInt64();
            }
        } else {
            const std::uint32_t s = dec.decodeSymbol(multi_);
            const std::uint32_t d = static_cast<std::uint32_t>(diff_);
            if (s == 1) {
                const std::int32_t g = ic_.decompress(dec, diff_, 1);
                diff_ = g;
                counter_ = 0;
                add(g);
            } else if (s == 0) {
                const std::int32_t g = ic_.decompress(dec, diff_ / 4, 2);
                if (++counter_ > 3) {
                    diff_ = g;
                    counter_ = 0;
                }
                add(g);
            } else if (s < 10) {
                add(ic_.decompress(dec, static_cast<std::int32_t>(s * d), 3));
            } else if (s < 50) {
                add(ic_.decompress(dec, static_cast<std::int32_t>(s * d), 4));
            } else if (s < 510) {
                const std::int32_t g = ic_.decompress(dec, static_cast<std::int32_t>(s * d), 5);
                if (s == 509 && ++counter_ > 3) {
                    diff_ = g;
                    counter_ = 0;
                }
                add(g);
            } else if (s == 510) {
                time_ = dec.readInt64();
            }
        }
        storeU64(out, time_);
    }

private:
    void add(std::int32_t g) { time_ += static_cast<std::uint64_t>(static_cast<std::int64_t>(g)); }

    std::uint64_t time_ = 0;
    std::int32_t diff_ = 0;
    int counter_ = 0;
    SymbolModel multi_;
    SymbolModel zeroDiff_;
    IntegerDecompressor ic_;
};

class Rgb12V1 {
public:
    Rgb12V1()
        : used_(64)
        , ic_(8, 6)
    {
    }
    void init(const std::uint8_t* raw)
    {
        std::memcpy(last_, raw, 6);
        used_.reset();
        ic_.reset();
    }
    void decode(ArithmeticDecoder& dec, std::uint8_t* out)
    {
        const std::uint32_t sym = dec.decodeSymbol(used_);
        for (std::uint32_t j = 0; j < 6; ++j) {
            if (sym & (1u << j))
                last_[j] = static_cast<std::uint8_t>(ic_.decompress(dec, last_[j], j));
        }
        std::memcpy(out, last_, 6);
    }

private:
    std::uint8_t last_[6];
    SymbolModel used_;
    IntegerDecompressor ic_;
};

// Records may carry up to 65,515 extra bytes, whose models would take 150 MB
// if made up front; they are made as the stream reaches them, and a stream
// that has run dry stops the record, so a small corrupt file cannot claim
// more memory than its bytes justify.
class ByteV2 {
public:
    explicit ByteV2(std::size_t n)
        : last_(n)
        , models_(static_cast<std::uint32_t>(n), 256)
    {
    }
    void init(const std::uint8_t* raw)
    {
        std::memcpy(last_.data(), raw, last_.size());
        models_.reset();
    }
    void decode(ArithmeticDecoder& dec, std::uint8_t* out)
    {
        for (std::uint32_t i = 0; i < last_.size() && !dec.failed(); ++i)
            last_[i] = static_cast<std::uint8_t>(last_[i] + dec.decodeSymbol(models_.at(i)));
        std::memcpy(out, last_.data(), last_.size());
    }

private:
    std::vector<std::uint8_t> last_;
    ModelSet models_;
};

class ByteV1 {
public:
    explicit ByteV1(std::size_t n)
        : last_(n)
        , ic_(8, static_cast<std::uint32_t>(n))
    {
    }
    void init(const std::uint8_t* raw)
    {
        std::memcpy(last_.data(), raw, last_.size());
        ic_.reset();
    }
    void decode(ArithmeticDecoder& dec, std::uint8_t* out)
    {
        for (std::size_t i = 0; i < last_.size(); ++i)
            last_[i] = static_cast<std::uint8_t>(ic_.decompress(dec, last_[i], static_cast<std::uint32_t>(i)));
        std::memcpy(out, last_.data(), last_.size());
    }

private:
    std::vector<std::uint8_t> last_;
    IntegerDecompressor ic_;
};

PointwiseDecoder::PointwiseDecoder(const std::vector<LaszipItem>& items)
{
    for (const LaszipItem& li : items) {
        Item item{static_cast<ItemType>(li.type), li.version, recordLength_, li.size, 0};
        switch (item.type) {
        case ItemType::Point10:
            if (li.version == 1) {
                item.slot = point10v1_.size();
                point10v1_.push_back(std::make_unique<Point10V1>());
            } else {
                item.slot = point10v2_.size();
                point10v2_.push_back(std::make_unique<Point10V2>());
            }
            break;
        case ItemType::GpsTime11:
            if (li.version == 1) {
                item.slot = gps11v1_.size();
                gps11v1_.push_back(std::make_unique<GpsTime11V1>());
            } else {
                item.slot = gps11v2_.size();
                gps11v2_.push_back(std::make_unique<GpsTimeCoder>(false));
            }
            break;
        case ItemType::Rgb12:
            if (li.version == 1) {
                item.slot = rgb12v1_.size();
                rgb12v1_.push_back(std::make_unique<Rgb12V1>());
            } else {
                item.slot = rgb12v2_.size();
                rgb12v2_.push_back(std::make_unique<RgbCoder>());
                rgbLast_.resize(rgbLast_.size() + 3);
            }
            break;
        case ItemType::Byte:
            if (li.version == 1) {
                item.slot = byteV1_.size();
                byteV1_.push_back(std::make_unique<ByteV1>(li.size));
            } else {
                item.slot = byteV2_.size();
                byteV2_.push_back(std::make_unique<ByteV2>(li.size));
            }
            break;
        case ItemType::WavePacket13:
            item.slot = wave_.size();
            wave_.push_back(std::make_unique<WavePacketCoder>());
            break;
        default:
            // Rejected when the compression record was parsed.
            continue;
        }
        items_.push_back(item);
        recordLength_ += li.size;
    }
    first_.resize(recordLength_);
}

PointwiseDecoder::~PointwiseDecoder() = default;

void PointwiseDecoder::begin(const std::uint8_t* firstRecord, const std::uint8_t* streamBegin,
                             const std::uint8_t* streamEnd, ByteRefill* refill)
{
    std::memcpy(first_.data(), firstRecord, recordLength_);
    firstPending_ = true;
    started_ = false;
    streamBegin_ = streamBegin;
    streamEnd_ = streamEnd;
    refill_ = refill;
    for (const Item& item : items_) {
        const std::uint8_t* raw = firstRecord + item.offset;
        switch (item.type) {
        case ItemType::Point10:
            if (item.version == 1)
                point10v1_[item.slot]->init(raw);
            else
                point10v2_[item.slot]->init(raw);
            break;
        case ItemType::GpsTime11:
            if (item.version == 1)
                gps11v1_[item.slot]->init(raw);
            else
                gps11v2_[item.slot]->reset(loadU64(raw));
            break;
        case ItemType::Rgb12:
            if (item.version == 1) {
                rgb12v1_[item.slot]->init(raw);
            } else {
                rgb12v2_[item.slot]->reset();
                for (int c = 0; c < 3; ++c)
                    rgbLast_[item.slot * 3 + c] = loadU16(raw + 2 * c);
            }
            break;
        case ItemType::Byte:
            if (item.version == 1)
                byteV1_[item.slot]->init(raw);
            else
                byteV2_[item.slot]->init(raw);
            break;
        case ItemType::WavePacket13:
            wave_[item.slot]->reset(raw);
            break;
        default:
            break;
        }
    }
}

void PointwiseDecoder::decodeOne(std::uint8_t* out)
{
    for (const Item& item : items_) {
        std::uint8_t* p = out + item.offset;
        switch (item.type) {
        case ItemType::Point10:
            if (item.version == 1)
                point10v1_[item.slot]->decode(coder_, p);
            else
                point10v2_[item.slot]->decode(coder_, p);
            break;
        case ItemType::GpsTime11:
            if (item.version == 1) {
                gps11v1_[item.slot]->decode(coder_, p);
            } else {
                GpsTimeCoder& g = *gps11v2_[item.slot];
                g.decode(coder_);
                storeU64(p, g.current());
            }
            break;
        case ItemType::Rgb12:
            if (item.version == 1) {
                rgb12v1_[item.slot]->decode(coder_, p);
            } else {
                std::uint16_t* last = &rgbLast_[item.slot * 3];
                rgb12v2_[item.slot]->decode(coder_, last);
                storeU16(p, last[0]);
                storeU16(p + 2, last[1]);
                storeU16(p + 4, last[2]);
            }
            break;
        case ItemType::Byte:
            if (item.version == 1)
                byteV1_[item.slot]->decode(coder_, p);
            else
                byteV2_[item.slot]->decode(coder_, p);
            break;
        case ItemType::WavePacket13: {
            WavePacketCoder& w = *wave_[item.slot];
            w.decode(coder_);
            std::memcpy(p, w.last, sizeof w.last);
            break;
        }
        default:
            break;
        }
    }
}

std::size_t PointwiseDecoder::decode(std::uint8_t* out, std::size_t count)
{
    std::size_t done = 0;
    if (count && firstPending_) {
        std::memcpy(out, first_.data(), recordLength_);
        firstPending_ = false;
        ++done;
    }
    if (done < count && !started_) {
        coder_.start(streamBegin_, streamEnd_, refill_);
        started_ = true;
    }
    // A record is sound only if the stream held all of its bytes.
    if (coder_.failed())
        return done;
    while (done < count) {
        decodeOne(out + done * recordLength_);
        if (coder_.failed())
            return done;
        ++done;
    }
    return done;
}

} // namespace las
} // namespace nimbus
