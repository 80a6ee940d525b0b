#include "layereddecoder.h"

#include "bytes.h"
#include "itemcoders.h"
#include "lasmessages.h"

#include <algorithm>
#include <cstring>

namespace nimbus {
namespace las {

namespace {

const std::uint8_t kReturnMap6[16][16] = {
    {0, 1, 2, 3, 4, 5, 3, 4, 4, 5, 5, 5, 5, 5, 5, 5}, {1, 0, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
    {2, 1, 2, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3}, {3, 3, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, {5, 3, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {3, 3, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4}, {4, 3, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4}, {5, 3, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4, 4}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5},
};

inline std::uint32_t returnLevel8(std::uint32_t n, std::uint32_t r)
{
    const std::uint32_t d = n > r ? n - r : r - n;
    return d < 7 ? d : 7;
}

inline std::int32_t wrapAdd(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// Layers of the point item, in the order their sizes are stored.
enum PointLayer { kXY, kZ, kClass, kFlags, kIntensity, kScanAngle, kUserData, kPointSource, kGpsTime, kPointLayers };

std::size_t layersOf(ItemType type, std::size_t size)
{
    switch (type) {
    case ItemType::Point14: return kPointLayers;
    case ItemType::Rgb14: return 1;
    case ItemType::RgbNir14: return 2;
    case ItemType::WavePacket14: return 1;
    case ItemType::Byte14: return size;
    default: return 0;
    }
}

struct Point14Fields {
    std::int32_t x = 0, y = 0, z = 0;
    std::uint16_t intensity = 0;
    std::uint8_t returnNumber = 0, returns = 0;
    std::uint8_t classFlags = 0, channel = 0, scanDirection = 0, edge = 0;
    std::uint8_t classification = 0, userData = 0;
    std::int16_t scanAngle = 0;
    std::uint16_t pointSource = 0;
    std::uint64_t gpsTime = 0;
    bool gpsChanged = false;

    void load(const std::uint8_t* p)
    {
        x = loadI32(p);
        y = loadI32(p + 4);
        z = loadI32(p + 8);
        intensity = loadU16(p + 12);
        returnNumber = p[14] & 15;
        returns = p[14] >> 4;
        classFlags = p[15] & 15;
        channel = (p[15] >> 4) & 3;
        scanDirection = (p[15] >> 6) & 1;
        edge = p[15] >> 7;
        classification = p[16];
        userData = p[17];
        scanAngle = static_cast<std::int16_t>(loadU16(p + 18));
        pointSource = loadU16(p + 20);
        gpsTime = loadU64(p + 22);
        gpsChanged = false;
    }
    void store(std::uint8_t* p) const
    {
        storeU32(p, static_cast<std::uint32_t>(x));
        storeU32(p + 4, static_cast<std::uint32_t>(y));
        storeU32(p + 8, static_cast<std::uint32_t>(z));
        storeU16(p + 12, intensity);
        p[14] = static_cast<std::uint8_t>(returnNumber | (returns << 4));
        p[15] = static_cast<std::uint8_t>(classFlags | (channel << 4) | (scanDirection << 6) | (edge << 7));
        p[16] = classification;
        p[17] = userData;
        storeU16(p + 18, static_cast<std::uint16_t>(scanAngle));
        storeU16(p + 20, pointSource);
        storeU64(p + 22, gpsTime);
    }
};

// Everything one scanner channel of the point item has learnt.
struct Point14Context {
    Point14Context()
        : changed(8, 128)
        , channelModel(3)
        , returns(16, 16)
        , returnNumber(16, 16)
        , returnNumberGpsSame(13)
        , icDx(32, 2)
        , icDy(32, 22)
        , icZ(32, 20)
        , classification(64, 256)
        , flags(64, 64)
        , icIntensity(16, 4)
        , icScanAngle(16, 2)
        , userData(64, 256)
        , icPointSource(16, 1)
        , gps(true)
    {
    }

    void seed(const Point14Fields& p)
    {
        last = p;
        last.gpsChanged = false;
        changed.reset();
        channelModel.reset();
        returns.reset();
        returnNumber.reset();
        returnNumberGpsSame.reset();
        icDx.reset();
        icDy.reset();
        for (auto& m : medX)
            m = Median5();
        for (auto& m : medY)
            m = Median5();
        icZ.reset();
        std::fill(std::begin(lastZ), std::end(lastZ), p.z);
        classification.reset();
        flags.reset();
        icIntensity.reset();
        std::fill(std::begin(lastIntensity), std::end(lastIntensity), p.intensity);
        icScanAngle.reset();
        userData.reset();
        icPointSource.reset();
        gps.reset(p.gpsTime);
    }

    Point14Fields last;
    ModelSet changed;
    SymbolModel channelModel;
    ModelSet returns;
    ModelSet returnNumber;
    SymbolModel returnNumberGpsSame;
    IntegerDecompressor icDx;
    IntegerDecompressor icDy;
    Median5 medX[12];
    Median5 medY[12];
    IntegerDecompressor icZ;
    std::int32_t lastZ[8];
    ModelSet classification;
    ModelSet flags;
    IntegerDecompressor icIntensity;
    std::uint16_t lastIntensity[8];
    IntegerDecompressor icScanAngle;
    ModelSet userData;
    IntegerDecompressor icPointSource;
    GpsTimeCoder gps;
};

// Up to four per-channel contexts of an item; tracks which are in use in
// the current chunk. Contexts are allocated once and reused.
template <class Context>
struct ChannelContexts {
    std::unique_ptr<Context> ctx[4];
    bool used[4] = {false, false, false, false};
    std::uint32_t cur = 0;

    Context& get(std::uint32_t i)
    {
        if (!ctx[i])
            ctx[i] = std::make_unique<Context>();
        return *ctx[i];
    }
    void clear()
    {
        for (bool& u : used)
            u = false;
    }
};

} // namespace

class Point14Item {
public:
    Point14Item(std::uint16_t version, ArithmeticDecoder* layers, const bool* active)
        : version_(version)
        , layers_(layers)
        , active_(active)
    {
    }

    // Returns the channel of the first point.
    std::uint32_t init(const std::uint8_t* raw)
    {
        Point14Fields p;
        p.load(raw);
        contexts_.clear();
        contexts_.cur = p.channel;
        contexts_.get(p.channel).seed(p);
        contexts_.used[p.channel] = true;
        return p.channel;
    }

    void decode(std::uint8_t* out, std::uint32_t& itemContext)
    {
        ArithmeticDecoder& xy = layers_[kXY];
        Point14Context* c = &contexts_.get(contexts_.cur);
        Point14Fields* L = &c->last;

        const std::uint32_t lpr = (L->returnNumber == 1 ? 1u : 0u) + (L->returnNumber >= L->returns ? 2u : 0u) +
                                  (L->gpsChanged ? 4u : 0u);
        const std::uint32_t cv = xy.decodeSymbol(c->changed.at(lpr));
        if (cv & 64) {
            const std::uint32_t d = xy.decodeSymbol(c->channelModel);
            const std::uint32_t next = (contexts_.cur + d + 1) & 3;
            if (!contexts_.used[next]) {
                const Point14Fields seed = *L;
                contexts_.get(next).seed(seed);
                contexts_.used[next] = true;
            }
            contexts_.cur = next;
            c = &contexts_.get(next);
            L = &c->last;
            L->channel = static_cast<std::uint8_t>(next);
            if (version_ < 4)
                itemContext = next;
        }
        if (version_ >= 4)
            itemContext = contexts_.cur;

        const bool psidChange = (cv & 32) != 0;
        const bool gpsChange = (cv & 16) != 0;
        const bool angleChange = (cv & 8) != 0;

        std::uint32_t n = L->returns;
        if (cv & 4)
            n = xy.decodeSymbol(c->returns.at(n));
        L->returns = static_cast<std::uint8_t>(n);
        std::uint32_t r = L->returnNumber;
        switch (cv & 3) {
        case 1:
            r = (r + 1) & 15;
            break;
        case 2:
            r = (r + 15) & 15;
            break;
        case 3:
            if (gpsChange)
                r = xy.decodeSymbol(c->returnNumber.at(r));
            else
                r = (r + xy.decodeSymbol(c->returnNumberGpsSame) + 2) & 15;
            break;
        default:
            break;
        }
        L->returnNumber = static_cast<std::uint8_t>(r);

        const std::uint32_t m = kReturnMap6[n][r];
        const std::uint32_t l = returnLevel8(n, r);
        const std::uint32_t cpr = (r == 1 ? 2u : 0u) + (r >= n ? 1u : 0u);
        const std::uint32_t single = n == 1 ? 1 : 0;
        const std::uint32_t idx = 2 * m + (gpsChange ? 1 : 0);

        const std::int32_t dx = c->icDx.decompress(xy, c->medX[idx].get(), single);
        L->x = wrapAdd(L->x, dx);
        c->medX[idx].add(dx);
        const std::uint32_t kx = c->icDx.k();
        const std::int32_t dy = c->icDy.decompress(xy, c->medY[idx].get(), single + (kx < 20 ? (kx & ~1u) : 20));
        L->y = wrapAdd(L->y, dy);
        c->medY[idx].add(dy);

        if (active_[kZ]) {
            const std::uint32_t kz = (c->icDx.k() + c->icDy.k()) / 2;
            L->z = c->icZ.decompress(layers_[kZ], c->lastZ[l], single + (kz < 18 ? (kz & ~1u) : 18));
            c->lastZ[l] = L->z;
        }
        if (active_[kClass]) {
            const std::uint32_t ctx = ((L->classification & 31u) << 1) + (cpr == 3 ? 1 : 0);
            L->classification = static_cast<std::uint8_t>(layers_[kClass].decodeSymbol(c->classification.at(ctx)));
        }
        if (active_[kFlags]) {
            const std::uint32_t prev = (L->edge << 5) | (L->scanDirection << 4) | L->classFlags;
            const std::uint32_t f = layers_[kFlags].decodeSymbol(c->flags.at(prev));
            L->edge = (f >> 5) & 1;
            L->scanDirection = (f >> 4) & 1;
            L->classFlags = f & 15;
        }
        if (active_[kIntensity]) {
            const std::uint32_t i = cpr * 2 + (gpsChange ? 1 : 0);
            L->intensity = static_cast<std::uint16_t>(
                c->icIntensity.decompress(layers_[kIntensity], c->lastIntensity[i], cpr));
            c->lastIntensity[i] = L->intensity;
        }
        if (active_[kScanAngle] && angleChange)
            L->scanAngle = static_cast<std::int16_t>(
                c->icScanAngle.decompress(layers_[kScanAngle], L->scanAngle, gpsChange ? 1 : 0));
        if (active_[kUserData])
            L->userData = static_cast<std::uint8_t>(layers_[kUserData].decodeSymbol(c->userData.at(L->userData / 4)));
        if (active_[kPointSource] && psidChange)
            L->pointSource =
                static_cast<std::uint16_t>(c->icPointSource.decompress(layers_[kPointSource], L->pointSource, 0));
        if (active_[kGpsTime] && gpsChange) {
            c->gps.decode(layers_[kGpsTime]);
            L->gpsTime = c->gps.current();
        }
        L->store(out);
        L->gpsChanged = gpsChange;
    }

private:
    std::uint16_t version_;
    ArithmeticDecoder* layers_;
    const bool* active_;
    ChannelContexts<Point14Context> contexts_;
};

namespace {

// Picks the context for this point's item value `v` and returns the context
// whose last value serves as prediction. Version 3 keeps predicting from the
// previous context on the point that switches to an existing one.
template <class Context, class Seed>
std::uint32_t switchContext(ChannelContexts<Context>& cs, std::uint32_t v, std::uint16_t version, Seed seed)
{
    std::uint32_t source = cs.cur;
    if (v != cs.cur) {
        if (!cs.used[v]) {
            seed(cs.get(v), cs.get(cs.cur));
            cs.used[v] = true;
            source = v;
        } else if (version >= 4) {
            source = v;
        }
        cs.cur = v;
    }
    return source;
}

struct RgbContext {
    RgbCoder rgb;
    SymbolModel nirUsed{4};
    SymbolModel nirDiff[2] = {SymbolModel(256), SymbolModel(256)};
    std::uint16_t last[4] = {0, 0, 0, 0};  // r, g, b, nir

    void seed(const std::uint16_t values[4])
    {
        rgb.reset();
        nirUsed.reset();
        nirDiff[0].reset();
        nirDiff[1].reset();
        std::memcpy(last, values, sizeof last);
    }
};

struct WaveContext {
    WavePacketCoder coder;
};

// Models are made only for the extra bytes a chunk actually codes (up to
// 65,515 of them), so skipped or empty layers cost no memory.
struct ByteContext {
    ModelSet models{0, 256};
    std::vector<std::uint8_t> last;
};

} // namespace

class Rgb14Item {
public:
    Rgb14Item(bool nir, std::uint16_t version, ArithmeticDecoder* layers, const bool* active)
        : nir_(nir)
        , version_(version)
        , layers_(layers)
        , active_(active)
    {
    }

    void init(const std::uint8_t* raw, std::uint32_t channel)
    {
        std::uint16_t v[4] = {loadU16(raw), loadU16(raw + 2), loadU16(raw + 4), nir_ ? loadU16(raw + 6) : std::uint16_t(0)};
        contexts_.clear();
        contexts_.cur = channel;
        contexts_.get(channel).seed(v);
        contexts_.used[channel] = true;
    }

    void decode(std::uint8_t* out, std::uint32_t v)
    {
        const std::uint32_t s = switchContext(contexts_, v, version_,
                                              [](RgbContext& fresh, RgbContext& from) { fresh.seed(from.last); });
        RgbContext& models = contexts_.get(contexts_.cur);
        std::uint16_t* last = contexts_.get(s).last;
        if (active_[0])
            models.rgb.decode(layers_[0], last);
        if (nir_ && active_[1]) {
            ArithmeticDecoder& dec = layers_[1];
            const std::uint32_t sym = dec.decodeSymbol(models.nirUsed);
            std::uint32_t lo = last[3] & 0xFF, hi = last[3] >> 8;
            if (sym & 1)
                lo = (lo + dec.decodeSymbol(models.nirDiff[0])) & 0xFF;
            if (sym & 2)
                hi = (hi + dec.decodeSymbol(models.nirDiff[1])) & 0xFF;
            last[3] = static_cast<std::uint16_t>((hi << 8) | lo);
        }
        storeU16(out, last[0]);
        storeU16(out + 2, last[1]);
        storeU16(out + 4, last[2]);
        if (nir_)
            storeU16(out + 6, last[3]);
    }

private:
    bool nir_;
    std::uint16_t version_;
    ArithmeticDecoder* layers_;
    const bool* active_;
    ChannelContexts<RgbContext> contexts_;
};

class WavePacket14Item {
public:
    WavePacket14Item(std::uint16_t version, ArithmeticDecoder* layers, const bool* active)
        : version_(version)
        , layers_(layers)
        , active_(active)
    {
    }

    void init(const std::uint8_t* raw, std::uint32_t channel)
    {
        contexts_.clear();
        contexts_.cur = channel;
        contexts_.get(channel).coder.reset(raw);
        contexts_.used[channel] = true;
    }

    void decode(std::uint8_t* out, std::uint32_t v)
    {
        const std::uint32_t s = switchContext(contexts_, v, version_, [](WaveContext& fresh, WaveContext& from) {
            fresh.coder.reset(from.coder.last);
        });
        WavePacketCoder& coder = contexts_.get(contexts_.cur).coder;
        WavePacketCoder& source = contexts_.get(s).coder;
        if (active_[0] && &source == &coder) {
            coder.decode(layers_[0]);
        } else if (active_[0]) {
            // The coder keeps models and last value together: lend it the
            // source's value for this point, and give its own back after,
            // so that only the source context learns the new value.
            std::uint8_t own[sizeof coder.last];
            std::memcpy(own, coder.last, sizeof own);
            std::memcpy(coder.last, source.last, sizeof coder.last);
            coder.decode(layers_[0]);
            std::memcpy(source.last, coder.last, sizeof source.last);
            std::memcpy(coder.last, own, sizeof own);
        }
        std::memcpy(out, source.last, sizeof source.last);
    }

private:
    std::uint16_t version_;
    ArithmeticDecoder* layers_;
    const bool* active_;
    ChannelContexts<WaveContext> contexts_;
};

class Byte14Item {
public:
    Byte14Item(std::size_t size, std::uint16_t version, ArithmeticDecoder* layers, const bool* active)
        : size_(size)
        , version_(version)
        , layers_(layers)
        , active_(active)
    {
    }

    void init(const std::uint8_t* raw, std::uint32_t channel)
    {
        contexts_.clear();
        contexts_.cur = channel;
        seed(contexts_.get(channel), raw);
        contexts_.used[channel] = true;
    }

    void decode(std::uint8_t* out, std::uint32_t v)
    {
        const std::uint32_t s = switchContext(contexts_, v, version_, [this](ByteContext& fresh, ByteContext& from) {
            seed(fresh, from.last.data());
        });
        ByteContext& models = contexts_.get(contexts_.cur);
        std::uint8_t* last = contexts_.get(s).last.data();
        for (std::size_t i = 0; i < size_; ++i) {
            if (active_[i])
                last[i] = static_cast<std::uint8_t>(
                    last[i] + layers_[i].decodeSymbol(models.models.at(static_cast<std::uint32_t>(i))));
        }
        std::memcpy(out, last, size_);
    }

private:
    void seed(ByteContext& c, const std::uint8_t* values)
    {
        if (c.last.size() != size_) {
            c.models = ModelSet(static_cast<std::uint32_t>(size_), 256);
            c.last.assign(size_, 0);
        }
        c.models.reset();
        std::memmove(c.last.data(), values, size_);
    }

    std::size_t size_;
    std::uint16_t version_;
    ArithmeticDecoder* layers_;
    const bool* active_;
    ChannelContexts<ByteContext> contexts_;
};

LayeredDecoder::LayeredDecoder(const std::vector<LaszipItem>& items, bool allFields)
    : allFields_(allFields)
{
    for (const LaszipItem& li : items) {
        const auto type = static_cast<ItemType>(li.type);
        const std::size_t n = layersOf(type, li.size);
        if (n == 0)
            continue;  // rejected when the compression record was parsed
        items_.push_back(Item{type, recordLength_, li.size, layerCount_, 0});
        recordLength_ += li.size;
        layerCount_ += n;
    }
    layers_.resize(layerCount_);
    layerBytes_.assign(layerCount_, 0);
    active_.reset(new bool[layerCount_ ? layerCount_ : 1]());
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Item& item = items_[i];
        const std::uint16_t version = items[i].version;
        ArithmeticDecoder* layers = layers_.data() + item.firstLayer;
        const bool* active = active_.get() + item.firstLayer;
        switch (item.type) {
        case ItemType::Point14:
            point_ = std::make_unique<Point14Item>(version, layers, active);
            break;
        case ItemType::Rgb14:
        case ItemType::RgbNir14:
            item.slot = rgb_.size();
            rgb_.push_back(std::make_unique<Rgb14Item>(item.type == ItemType::RgbNir14, version, layers, active));
            break;
        case ItemType::WavePacket14:
            item.slot = wave_.size();
            wave_.push_back(std::make_unique<WavePacket14Item>(version, layers, active));
            break;
        default:
            item.slot = bytes_.size();
            bytes_.push_back(std::make_unique<Byte14Item>(item.size, version, layers, active));
            break;
        }
    }
    first_.resize(recordLength_);
}

LayeredDecoder::~LayeredDecoder() = default;

std::uint64_t LayeredDecoder::chunkSize(const std::uint8_t* head) const
{
    std::uint64_t total = headSize();
    for (std::size_t i = 0; i < layerCount_; ++i)
        total += loadU32(head + recordLength_ + 4 + 4 * i);
    return total;
}

bool LayeredDecoder::begin(const std::uint8_t* begin, const std::uint8_t* end, Reason& error)
{
    const std::size_t available = static_cast<std::size_t>(end - begin);
    if (!point_ || available < headSize()) {
        error = Reason(msg::kChunkShortForLayerTable);
        return false;
    }
    if (chunkSize(begin) > available) {
        error = Reason(msg::kChunkLayersPastEnd);
        return false;
    }
    std::memcpy(first_.data(), begin, recordLength_);
    firstPending_ = true;
    const std::uint8_t* p = begin + headSize();
    started_.clear();
    for (std::size_t i = 0; i < layerCount_; ++i)
        layerBytes_[i] = loadU32(begin + recordLength_ + 4 + 4 * i);

    // Decide which layers are decoded: all of them, or only coordinates and
    // colour when the caller needs nothing else.
    for (const Item& item : items_) {
        for (std::size_t j = 0; j < layersOf(item.type, item.size); ++j) {
            const std::size_t li = item.firstLayer + j;
            bool wanted = allFields_;
            if (item.type == ItemType::Point14 && (j == kXY || j == kZ))
                wanted = true;
            if ((item.type == ItemType::Rgb14 || item.type == ItemType::RgbNir14) && j == 0)
                wanted = true;
            const bool isXY = item.type == ItemType::Point14 && j == kXY;
            active_[li] = wanted && (layerBytes_[li] > 0 || isXY);
            if (active_[li]) {
                layers_[li].start(p, p + layerBytes_[li]);
                started_.push_back(&layers_[li]);
            }
            p += layerBytes_[li];
        }
    }

    const std::uint32_t channel = point_->init(first_.data());
    for (const Item& item : items_) {
        const std::uint8_t* raw = first_.data() + item.offset;
        switch (item.type) {
        case ItemType::Point14:
            break;
        case ItemType::Rgb14:
        case ItemType::RgbNir14:
            rgb_[item.slot]->init(raw, channel);
            break;
        case ItemType::WavePacket14:
            wave_[item.slot]->init(raw, channel);
            break;
        default:
            bytes_[item.slot]->init(raw, channel);
            break;
        }
    }
    return true;
}

bool LayeredDecoder::anyFailed() const
{
    for (const ArithmeticDecoder* d : started_)
        if (d->failed())
            return true;
    return false;
}

std::size_t LayeredDecoder::decode(std::uint8_t* out, std::size_t count)
{
    std::size_t done = 0;
    if (count && firstPending_) {
        std::memcpy(out, first_.data(), recordLength_);
        firstPending_ = false;
        ++done;
    }
    if (done < count && anyFailed())
        return done;
    while (done < count) {
        std::uint8_t* rec = out + done * recordLength_;
        std::uint32_t itemContext = 0;
        for (const Item& item : items_) {
            std::uint8_t* p = rec + item.offset;
            switch (item.type) {
            case ItemType::Point14:
                point_->decode(p, itemContext);
                break;
            case ItemType::Rgb14:
            case ItemType::RgbNir14:
                rgb_[item.slot]->decode(p, itemContext);
                break;
            case ItemType::WavePacket14:
                wave_[item.slot]->decode(p, itemContext);
                break;
            default:
                bytes_[item.slot]->decode(p, itemContext);
                break;
            }
        }
        if (anyFailed())
            return done;
        ++done;
    }
    return done;
}

} // namespace las
} // namespace nimbus
