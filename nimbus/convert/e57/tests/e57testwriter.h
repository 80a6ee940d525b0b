#pragma once
// Writes small E57 files for the tests and the benchmark: paged, with
// checksums, an XML section describing one or more scans, and each scan's
// records bit-packed into data packets of a chosen size, so that values
// straddle packets wherever the sizes fall.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e57test {

struct FieldDef {
    std::string name;            // "cartesianX", "ext:weight", ...
    std::string type;            // "Integer", "ScaledInteger" or "Float"
    std::int64_t minimum = 0;    // Integer and ScaledInteger
    std::int64_t maximum = 0;
    double scale = 1.0;          // ScaledInteger
    double offset = 0.0;
    bool single = false;         // Float: precision="single"
    std::string extraAttributes; // written as they are, e.g. `minimum="0"`
};

struct ScanDef {
    std::vector<FieldDef> fields;
    std::uint64_t records = 0;
    // The value of field `f` of record `r`: the stored integer for Integer
    // and ScaledInteger fields (before scaling), the number for Float ones.
    std::function<double(std::uint64_t r, std::size_t f)> value;
    bool pose = false;
    double rotation[4] = {1, 0, 0, 0}; // w, x, y, z as written
    double translation[3] = {0, 0, 0};
    std::string colorLimitsXml; // children of colorLimits; empty: none
    // Bytes of each stream per data packet; stream f gets
    // streamBytes + f * streamSkew (at most what a packet holds).
    std::size_t streamBytes = 16000;
    std::size_t streamSkew = 0;
    bool emptyPacketFirst = false;
    bool indexPacketLast = false;
};

struct Written {
    std::vector<std::uint8_t> bytes;
    // Physical offsets per scan: its section header and first data packet.
    std::vector<std::uint64_t> sections, firstPackets;
};

// `xmlOverride`, when not empty, replaces the XML section as written;
// `rootXml` is written among e57Root's children before data3D.
Written writeE57(const std::vector<ScanDef>& scans, const std::string& xmlOverride = std::string(),
                 const std::string& rootXml = std::string());

// Recomputes every page's checksum (after a test changed bytes on purpose).
void fixChecksums(std::vector<std::uint8_t>& bytes);

std::uint64_t physicalOf(std::uint64_t logical);

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace e57test
