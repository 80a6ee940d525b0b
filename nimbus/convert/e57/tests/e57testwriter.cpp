#include "e57testwriter.h"

#include "crc32c.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace e57test {

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

unsigned bitsOf(const FieldDef& f)
{
    if (f.type == "Float")
        return f.single ? 32 : 64;
    std::uint64_t span = static_cast<std::uint64_t>(f.maximum) - static_cast<std::uint64_t>(f.minimum);
    unsigned bits = 0;
    while (span) {
        ++bits;
        span >>= 1;
    }
    return bits;
}

struct BitSink {
    std::vector<std::uint8_t> bytes;
    std::uint64_t bit = 0;
    void put(std::uint64_t v, unsigned bits)
    {
        for (unsigned i = 0; i < bits; ++i, ++bit) {
            if (bit % 8 == 0)
                bytes.push_back(0);
            if ((v >> i) & 1u)
                bytes.back() |= static_cast<std::uint8_t>(1u << (bit % 8));
        }
    }
};

std::string number(double v)
{
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

std::string fieldXml(const FieldDef& f)
{
    std::string x = "<" + f.name + " type=\"" + f.type + "\"";
    if (f.type == "Float") {
        if (f.single)
            x += " precision=\"single\"";
    } else {
        x += " minimum=\"" + std::to_string(f.minimum) + "\" maximum=\"" + std::to_string(f.maximum) + "\"";
        if (f.type == "ScaledInteger")
            x += " scale=\"" + number(f.scale) + "\" offset=\"" + number(f.offset) + "\"";
    }
    if (!f.extraAttributes.empty())
        x += " " + f.extraAttributes;
    return x + "/>";
}

// One scan's binary section at logical offset `start` of `out`.
void writeSection(const ScanDef& scan, std::vector<std::uint8_t>& out, std::uint64_t& firstPacket)
{
    const std::size_t start = out.size();
    out.resize(start + 32, 0);
    out[start] = 1;
    std::vector<BitSink> streams(scan.fields.size());
    for (std::uint64_t r = 0; r < scan.records; ++r) {
        for (std::size_t f = 0; f < scan.fields.size(); ++f) {
            const FieldDef& def = scan.fields[f];
            const double v = scan.value(r, f);
            if (def.type == "Float") {
                if (def.single) {
                    const float x = static_cast<float>(v);
                    std::uint32_t u;
                    std::memcpy(&u, &x, 4);
                    streams[f].put(u, 32);
                } else {
                    std::uint64_t u;
                    std::memcpy(&u, &v, 8);
                    streams[f].put(u, 64);
                }
            } else {
                const std::int64_t raw = std::llround(v);
                streams[f].put(static_cast<std::uint64_t>(raw) - static_cast<std::uint64_t>(def.minimum),
                               bitsOf(def));
            }
        }
    }
    if (scan.emptyPacketFirst) {
        const std::size_t at = out.size();
        out.resize(at + 4, 0);
        out[at] = 2;
        put16(out, at + 2, 3);
    }
    firstPacket = out.size();
    std::vector<std::size_t> done(streams.size(), 0);
    const std::size_t n = streams.size();
    for (;;) {
        bool more = false;
        for (std::size_t f = 0; f < n; ++f)
            more = more || done[f] < streams[f].bytes.size();
        if (!more)
            break;
        std::vector<std::size_t> take(n);
        std::size_t total = 6 + 2 * n;
        for (std::size_t f = 0; f < n; ++f) {
            take[f] = std::min(streams[f].bytes.size() - done[f], scan.streamBytes + f * scan.streamSkew);
            take[f] = std::min<std::size_t>(take[f], 65536 - 4 - total);
            total += take[f];
        }
        const std::size_t length = (total + 3) / 4 * 4;
        const std::size_t at = out.size();
        out.resize(at + length, 0);
        out[at] = 1;
        put16(out, at + 2, static_cast<std::uint32_t>(length - 1));
        put16(out, at + 4, static_cast<std::uint32_t>(n));
        std::size_t pos = at + 6 + 2 * n;
        for (std::size_t f = 0; f < n; ++f) {
            put16(out, at + 6 + 2 * f, static_cast<std::uint32_t>(take[f]));
            std::memcpy(out.data() + pos, streams[f].bytes.data() + done[f], take[f]);
            pos += take[f];
            done[f] += take[f];
        }
    }
    std::uint64_t index = 0;
    if (scan.indexPacketLast) {
        index = out.size();
        out.resize(index + 16, 0);
        out[index] = 0;
        put16(out, index + 2, 15);
    }
    put64(out, start + 8, out.size() - start);
    put64(out, start + 16, physicalOf(firstPacket));
    put64(out, start + 24, index ? physicalOf(index) : 0);
    // Sections start on 8-byte boundaries.
    out.resize((out.size() + 7) / 8 * 8, 0);
}

} // namespace

std::uint64_t physicalOf(std::uint64_t logical)
{
    return logical / 1020 * 1024 + logical % 1020;
}

void fixChecksums(std::vector<std::uint8_t>& bytes)
{
    for (std::size_t page = 0; page + 1024 <= bytes.size(); page += 1024) {
        const std::uint32_t crc = nimbus::e57::crc32c(bytes.data() + page, 1020);
        for (int i = 0; i < 4; ++i)
            bytes[page + 1020 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    }
}

Written writeE57(const std::vector<ScanDef>& scans, const std::string& xmlOverride, const std::string& rootXml)
{
    Written w;
    std::vector<std::uint8_t> logical(48, 0);
    for (const ScanDef& scan : scans) {
        w.sections.push_back(physicalOf(logical.size()));
        std::uint64_t first = 0;
        writeSection(scan, logical, first);
        w.firstPackets.push_back(physicalOf(first));
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<e57Root type=\"Structure\" xmlns=\"http://www.astm.org/COMMIT/E57/2010-e57-v1.0\" "
                      "xmlns:ext=\"http://example.com/ext\">\n"
                      "<formatName type=\"String\"><![CDATA[ASTM E57 3D Imaging Data File]]></formatName>\n"
                      "<ext:note type=\"String\"><![CDATA[not for readers]]></ext:note>\n"
        + rootXml + "<data3D type=\"Vector\" allowHeterogeneousChildren=\"1\">\n";
    for (std::size_t s = 0; s < scans.size(); ++s) {
        const ScanDef& scan = scans[s];
        xml += "<vectorChild type=\"Structure\">\n<guid type=\"String\"><![CDATA[scan" + std::to_string(s)
            + "]]></guid>\n";
        if (scan.pose) {
            xml += "<pose type=\"Structure\"><rotation type=\"Structure\">";
            const char* q[] = {"w", "x", "y", "z"};
            for (int i = 0; i < 4; ++i)
                xml += std::string("<") + q[i] + " type=\"Float\">" + number(scan.rotation[i]) + "</" + q[i] + ">";
            xml += "</rotation><translation type=\"Structure\">";
            for (int i = 0; i < 3; ++i)
                xml += std::string("<") + q[i + 1] + " type=\"Float\">" + number(scan.translation[i]) + "</"
                    + q[i + 1] + ">";
            xml += "</translation></pose>\n";
        }
        if (!scan.colorLimitsXml.empty())
            xml += "<colorLimits type=\"Structure\">" + scan.colorLimitsXml + "</colorLimits>\n";
        xml += "<points type=\"CompressedVector\" fileOffset=\"" + std::to_string(w.sections[s])
            + "\" recordCount=\"" + std::to_string(scan.records) + "\">\n<prototype type=\"Structure\">";
        for (const FieldDef& f : scan.fields)
            xml += fieldXml(f);
        xml += "</prototype>\n<codecs type=\"Vector\" allowHeterogeneousChildren=\"1\"></codecs>\n</points>\n"
               "</vectorChild>\n";
    }
    xml += "</data3D>\n</e57Root>\n";
    if (!xmlOverride.empty())
        xml = xmlOverride;
    const std::uint64_t xmlStart = logical.size();
    logical.insert(logical.end(), xml.begin(), xml.end());

    const std::uint64_t pages = (logical.size() + 1019) / 1020;
    std::memcpy(logical.data(), "ASTM-E57", 8);
    logical[8] = 1;
    put64(logical, 16, pages * 1024);
    put64(logical, 24, physicalOf(xmlStart));
    put64(logical, 32, xml.size());
    put64(logical, 40, 1024);

    w.bytes.assign(pages * 1024, 0);
    for (std::uint64_t p = 0; p < pages; ++p) {
        const std::size_t from = static_cast<std::size_t>(p * 1020);
        const std::size_t n = std::min<std::size_t>(1020, logical.size() - from);
        std::memcpy(w.bytes.data() + p * 1024, logical.data() + from, n);
    }
    fixChecksums(w.bytes);
    return w;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace e57test
