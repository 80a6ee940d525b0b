#include "scanrecords.h"
#include "e57messages.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace nimbus::e57 {

namespace {

// A packet's stream count is a uint16, so no readable prototype has more
// fields.
constexpr std::size_t kMaxFields = 65535;
// Packets held at once for cursors that lag behind the others. Writers keep
// the streams of a record close together (a few packets apart); a file whose
// streams drift further apart than this is refused rather than followed
// with unbounded memory (512 packets are at most 32 MiB).
constexpr std::size_t kMaxHeldPackets = 512;
constexpr std::size_t kSectionHeaderSize = 32;

std::uint64_t le64(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

unsigned le16(const std::uint8_t* p)
{
    return unsigned(p[0]) | (unsigned(p[1]) << 8);
}

int findField(const ScanInfo& scan, const char* name)
{
    for (std::size_t i = 0; i < scan.fields.size(); ++i)
        if (scan.fields[i].name == name)
            return static_cast<int>(i);
    return -1;
}

} // namespace

struct ScanRecordReader::Packet {
    std::uint64_t logical = ~std::uint64_t(0); // where it starts; all ones while unused
    std::uint64_t next = 0;                     // where the packet after it starts
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> begin, length;   // per stream, within `bytes`
};

struct ScanRecordReader::Cursor {
    std::shared_ptr<Packet> packet; // keeps the current slice alive
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0; // bytes of the current slice
    std::uint64_t bit = 0;  // bits of it consumed
    std::uint64_t next = 0; // logical offset of the next packet to look at
    std::size_t stream = 0;
};

bool layoutOf(const ScanInfo& scan, int scanNumber, ScanLayout& layout, Reason& error)
{
    layout = ScanLayout();
    layout.x = findField(scan, "cartesianX");
    layout.y = findField(scan, "cartesianY");
    layout.z = findField(scan, "cartesianZ");
    if (layout.x < 0 || layout.y < 0 || layout.z < 0) {
        layout.x = findField(scan, "sphericalRange");
        layout.y = findField(scan, "sphericalAzimuth");
        layout.z = findField(scan, "sphericalElevation");
        layout.spherical = true;
        if (layout.x < 0 || layout.y < 0 || layout.z < 0) {
            error = Reason(msg::kScanFault, scanNumber, Reason(msg::kNoCoordinates));
            return false;
        }
    }
    layout.cartesianState = findField(scan, "cartesianInvalidState");
    layout.sphericalState = findField(scan, "sphericalInvalidState");
    layout.red = findField(scan, "colorRed");
    layout.green = findField(scan, "colorGreen");
    layout.blue = findField(scan, "colorBlue");
    if (scan.codecsGiven) {
        error = Reason(msg::kScanFault, scanNumber, Reason(msg::kOtherCodec));
        return false;
    }
    if (scan.fields.size() > kMaxFields) {
        error = Reason(msg::kScanFault, scanNumber, Reason(msg::kTooManyFields, scan.fields.size()));
        return false;
    }
    return true;
}

ScanRecordReader::ScanRecordReader(PagedReader& pages, const ScanInfo& scan, int scanNumber)
    : pages_(pages), scan_(scan), scanNumber_(scanNumber)
{
}

ScanRecordReader::~ScanRecordReader() = default;

bool ScanRecordReader::fail(const Reason& reason)
{
    if (error_.empty())
        error_ = Reason(msg::kScanFault, scanNumber_, reason);
    return false;
}

bool ScanRecordReader::open()
{
    if (!layoutOf(scan_, scanNumber_, layout_, error_))
        return false;
    if (scan_.recordCount == 0 || !scan_.hasPoints) {
        opened_ = true;
        return true;
    }
    std::uint64_t bitsPerRecord = 0;
    for (const Field& f : scan_.fields)
        bitsPerRecord += f.bits;
    // Records without a single stored bit would let a record count alone
    // produce any number of points out of nothing.
    if (bitsPerRecord == 0)
        return fail(Reason(msg::kNoBits));

    const std::uint64_t total = pages_.logicalLength();
    const std::string where = std::to_string(scan_.fileOffset);
    if (!physicalToLogical(scan_.fileOffset, sectionStart_) || sectionStart_ > total
        || total - sectionStart_ < kSectionHeaderSize)
        return fail(Reason(msg::kSectionOutside, where));
    std::uint8_t head[kSectionHeaderSize];
    if (!pages_.read(sectionStart_, head, sizeof head))
        return fail(pages_.reason());
    if (head[0] != 1)
        return fail(Reason(msg::kNotCompressedVector, where, head[0]));
    const std::uint64_t length = le64(head + 8);
    if (length < kSectionHeaderSize || length > total - sectionStart_)
        return fail(Reason(msg::kSectionTooLong, where, length));
    sectionEnd_ = sectionStart_ + length;
    std::uint64_t first = 0;
    if (!physicalToLogical(le64(head + 16), first) || first < sectionStart_ + kSectionHeaderSize
        || first >= sectionEnd_)
        return fail(Reason(msg::kFirstPacketOutside, le64(head + 16)));
    if (scan_.recordCount > (length - kSectionHeaderSize) * 8 / bitsPerRecord)
        return fail(Reason(msg::kSectionTooSmall, length, scan_.recordCount));
    cursors_.resize(scan_.fields.size());
    for (std::size_t i = 0; i < cursors_.size(); ++i) {
        cursors_[i].next = first;
        cursors_[i].stream = i;
    }
    opened_ = true;
    return true;
}

bool ScanRecordReader::packetAt(std::uint64_t logical, std::shared_ptr<Packet>& packet, std::uint64_t& next)
{
    packet.reset();
    for (const std::shared_ptr<Packet>& q : pool_)
        if (q->logical == logical) {
            packet = q;
            next = q->next;
            return true;
        }
    const std::string where = std::to_string(logicalToPhysical(logical));
    std::uint8_t head[4];
    if (sectionEnd_ - logical < sizeof head)
        return fail(Reason(msg::kEndsInPacketHeader, where));
    if (!pages_.read(logical, head, sizeof head))
        return fail(pages_.reason());
    const std::uint64_t length = le16(head + 2) + 1u;
    if (length > sectionEnd_ - logical)
        return fail(Reason(msg::kPacketPastSection, where));
    if (head[0] == 0 || head[0] == 2) { // index and empty packets hold no record data
        next = logical + length;
        return true;
    }
    if (head[0] != 1)
        return fail(Reason(msg::kPacketType, where, head[0]));
    if (length < 6)
        return fail(Reason(msg::kPacketTooShort, where));

    std::shared_ptr<Packet> slot;
    for (const std::shared_ptr<Packet>& q : pool_)
        if (q.use_count() == 1) { // no cursor reads it any more
            slot = q;
            break;
        }
    if (!slot) {
        if (pool_.size() >= kMaxHeldPackets)
            return fail(Reason(msg::kStreamsTooFarApart, kMaxHeldPackets));
        pool_.push_back(std::make_shared<Packet>());
        slot = pool_.back();
    }
    slot->logical = ~std::uint64_t(0);
    slot->bytes.resize(static_cast<std::size_t>(length));
    if (!pages_.read(logical, slot->bytes.data(), slot->bytes.size()))
        return fail(pages_.reason());
    const std::uint8_t* b = slot->bytes.data();
    const std::size_t streams = le16(b + 4);
    if (streams != scan_.fields.size())
        return fail(Reason(msg::kStreamCount, where, streams, scan_.fields.size()));
    std::uint64_t position = 6 + 2 * streams;
    if (position > length)
        return fail(Reason(msg::kBufferLengthsOverrun, where));
    slot->begin.resize(streams);
    slot->length.resize(streams);
    for (std::size_t s = 0; s < streams; ++s) {
        const unsigned n = le16(b + 6 + 2 * s);
        slot->begin[s] = static_cast<std::uint32_t>(position);
        slot->length[s] = n;
        position += n;
    }
    if (position > length)
        return fail(Reason(msg::kBuffersTooLong, where, position, length));
    slot->logical = logical;
    slot->next = logical + length;
    packet = slot;
    next = slot->next;
    return true;
}

bool ScanRecordReader::nextSlice(Cursor& c)
{
    c.packet.reset();
    c.data = nullptr;
    c.size = 0;
    c.bit = 0;
    // Every packet moves `next` forward by at least one byte and the
    // section's end is fixed, so this ends.
    for (;;) {
        if (c.next >= sectionEnd_)
            return fail(Reason(msg::kStreamEnds, scan_.fields[c.stream].name, scan_.recordCount));
        std::shared_ptr<Packet> p;
        std::uint64_t next = 0;
        if (!packetAt(c.next, p, next))
            return false;
        c.next = next;
        if (p && p->length[c.stream] > 0) {
            c.data = p->bytes.data() + p->begin[c.stream];
            c.size = p->length[c.stream];
            c.packet = std::move(p);
            return true;
        }
    }
}

bool ScanRecordReader::readBits(Cursor& c, unsigned bits, std::uint64_t& value)
{
    value = 0;
    unsigned got = 0;
    while (got < bits) {
        if (c.bit >= c.size * 8) {
            if (!nextSlice(c))
                return false;
            continue;
        }
        const unsigned s = static_cast<unsigned>(c.bit & 7);
        const unsigned take = std::min(bits - got, 8u - s);
        const std::uint64_t part = (std::uint64_t(c.data[c.bit >> 3]) >> s) & ((1u << take) - 1u);
        value |= part << got;
        got += take;
        c.bit += take;
    }
    return true;
}

namespace {

// Values of `bits` bits, least significant bit first, turned into doubles
// by `convert`. Values that lie wholly inside the slice with a byte to spare
// are read with one unaligned 64-bit load each; the few near a slice's end,
// which may continue in a later packet, go through `slow`.
template <typename Convert, typename Slow>
bool decodeValues(ScanRecordReader::Cursor& c, unsigned bits, std::size_t n, double* out, Convert convert,
                  Slow slow)
{
    if (bits == 0) {
        std::fill(out, out + n, convert(0));
        return true;
    }
    const std::uint64_t mask = bits == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << bits) - 1;
    std::size_t i = 0;
    while (i < n) {
        if (c.size >= 9) {
            const std::uint64_t lastBit = (c.size - 9) * 8;
            std::uint64_t can = c.bit <= lastBit ? (lastBit - c.bit) / bits + 1 : 0;
            can = std::min<std::uint64_t>(can, n - i);
            const std::uint8_t* d = c.data;
            std::uint64_t bit = c.bit;
            for (std::uint64_t k = 0; k < can; ++k) {
                const std::uint64_t byte = bit >> 3;
                const unsigned s = static_cast<unsigned>(bit & 7);
                std::uint64_t w;
                std::memcpy(&w, d + byte, 8);
                w >>= s;
                if (s + bits > 64)
                    w |= std::uint64_t(d[byte + 8]) << (64 - s);
                out[i + k] = convert(w & mask);
                bit += bits;
            }
            c.bit = bit;
            i += static_cast<std::size_t>(can);
            if (i == n)
                break;
        }
        std::uint64_t v = 0;
        if (!slow(v))
            return false;
        out[i++] = convert(v);
    }
    return true;
}

} // namespace

bool ScanRecordReader::decodeField(std::size_t f, double* out, std::size_t n)
{
    const Field& field = scan_.fields[f];
    Cursor& c = cursors_[f];
    const unsigned bits = field.bits;
    const auto slow = [&](std::uint64_t& v) { return readBits(c, bits, v); };
    switch (field.kind) {
    case FieldKind::Integer: {
        const std::uint64_t minimum = static_cast<std::uint64_t>(field.minimum);
        return decodeValues(c, bits, n, out,
                            [=](std::uint64_t v) { return static_cast<double>(static_cast<std::int64_t>(minimum + v)); },
                            slow);
    }
    case FieldKind::ScaledInteger: {
        const std::uint64_t minimum = static_cast<std::uint64_t>(field.minimum);
        const double scale = field.scale, offset = field.offset;
        return decodeValues(c, bits, n, out,
                            [=](std::uint64_t v) {
                                return static_cast<double>(static_cast<std::int64_t>(minimum + v)) * scale + offset;
                            },
                            slow);
    }
    case FieldKind::Float32:
        return decodeValues(c, bits, n, out,
                            [](std::uint64_t v) {
                                const std::uint32_t u = static_cast<std::uint32_t>(v);
                                float value;
                                std::memcpy(&value, &u, 4);
                                return static_cast<double>(value);
                            },
                            slow);
    case FieldKind::Float64:
        return decodeValues(c, bits, n, out,
                            [](std::uint64_t v) {
                                double value;
                                std::memcpy(&value, &v, 8);
                                return value;
                            },
                            slow);
    }
    return false;
}

bool ScanRecordReader::skipField(std::size_t f, std::size_t n)
{
    Cursor& c = cursors_[f];
    std::uint64_t need = std::uint64_t(scan_.fields[f].bits) * n;
    while (need > 0) {
        const std::uint64_t available = c.size * 8 - c.bit;
        if (available == 0) {
            if (!nextSlice(c))
                return false;
            continue;
        }
        const std::uint64_t take = std::min(available, need);
        c.bit += take;
        need -= take;
    }
    return true;
}

std::size_t ScanRecordReader::read(RecordBatch& batch, std::size_t maximum)
{
    batch.count = 0;
    if (!opened_ || failed() || !scan_.hasPoints)
        return 0;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(maximum, scan_.recordCount - done_));
    if (n == 0)
        return 0;
    batch.x.resize(n);
    batch.y.resize(n);
    batch.z.resize(n);
    batch.invalid.assign(n, 0);
    const bool colour = layout_.hasColour();
    if (colour) {
        batch.red.resize(n);
        batch.green.resize(n);
        batch.blue.resize(n);
    }
    if (layout_.cartesianState >= 0)
        stateA_.resize(n);
    if (layout_.sphericalState >= 0)
        stateB_.resize(n);
    for (std::size_t f = 0; f < scan_.fields.size(); ++f) {
        const int i = static_cast<int>(f);
        double* target = nullptr;
        if (i == layout_.x)
            target = batch.x.data();
        else if (i == layout_.y)
            target = batch.y.data();
        else if (i == layout_.z)
            target = batch.z.data();
        else if (i == layout_.cartesianState)
            target = stateA_.data();
        else if (i == layout_.sphericalState)
            target = stateB_.data();
        else if (colour && i == layout_.red)
            target = batch.red.data();
        else if (colour && i == layout_.green)
            target = batch.green.data();
        else if (colour && i == layout_.blue)
            target = batch.blue.data();
        if (!(target ? decodeField(f, target, n) : skipField(f, n)))
            return 0;
    }
    if (layout_.cartesianState >= 0)
        for (std::size_t k = 0; k < n; ++k)
            batch.invalid[k] |= stateA_[k] != 0.0;
    if (layout_.sphericalState >= 0)
        for (std::size_t k = 0; k < n; ++k)
            batch.invalid[k] |= stateB_[k] != 0.0;
    if (layout_.spherical) {
        for (std::size_t k = 0; k < n; ++k) {
            const double r = batch.x[k], azimuth = batch.y[k], elevation = batch.z[k];
            const double horizontal = r * std::cos(elevation);
            batch.x[k] = horizontal * std::cos(azimuth);
            batch.y[k] = horizontal * std::sin(azimuth);
            batch.z[k] = r * std::sin(elevation);
        }
    }
    done_ += n;
    batch.count = n;
    return n;
}

} // namespace nimbus::e57
