#include "pointexport.h"
#include "nativepath.h"

#include "ilascheck.h"

#include "geokeys.h"
#include "wktsummary.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>
#include <system_error>
#include <vector>

namespace nimbus::ilas {

namespace {

namespace fs = std::filesystem;

constexpr double kLasScale = 0.001;
constexpr std::uint16_t kLasHeaderSize = 227;

template <typename T>
void put(std::uint8_t* at, T value)
{
    std::memcpy(at, &value, sizeof value);
}

constexpr int kTemporaryNames = 100;

std::string temporaryName(const std::string& path, int attempt)
{
    return path + ".part" + std::to_string(attempt);
}

// The blocks of the exported file, read from the file rather than handed out
// from the reader's mapping: a file cut while it is exported then gives a
// clear error instead of a bus error.
class BlockSource {
public:
    explicit BlockSource(const IlasReader& reader) : reader_(reader) {}

    // Checks every structural rule but the kd order: what fails them is not
    // exported.
    bool open(std::string& error) const
    {
        if (reader_.state() != FileState::Complete) {
            error = "the file is not a complete ilas file";
            return false;
        }
        if (const Problem p = checkHeaderAndDirectory(reader_); p.found()) {
            error = "the file fails its check: " + p.text();
            return false;
        }
        return true;
    }

    // Block `b`, read into storage that stays valid until the next call;
    // false when it cannot be read whole or a point lies outside its box.
    bool read(std::size_t b, BlockView& view, std::string& error)
    {
        if (Problem unread; !reader_.readBlock(b, bytes_, view, unread)) {
            error = unread.text();
            return false;
        }
        // The box rule on the bytes just read.
        const IlasBlockEntry& e = reader_.blocks()[b];
        for (std::int32_t k = 0; k < view.count(); ++k) {
            const StoredXyz p = view.point(k);
            if (!(e.minX <= p.x && p.x <= e.maxX && e.minY <= p.y && p.y <= e.maxY && e.minZ <= p.z && p.z <= e.maxZ)) {
                error = "the file fails its check: block " + std::to_string(b) + ": block-box: point "
                    + std::to_string(k) + " lies outside the block's box";
                return false;
            }
        }
        return true;
    }

private:
    const IlasReader& reader_;
    std::vector<std::uint8_t> bytes_;
};

// Runs `write` on a temporary file beside `path`, then renames it to `path`.
// The input is never replaced: exporting onto it would destroy it.
// The temporary name is new ("x" mode), so no file of the user's is touched.
bool writeReplacing(const std::string& inputPath, const std::string& path, std::string& error,
                    const std::function<bool(std::FILE*, std::string&)>& write)
{
    std::error_code ec;
    if (fs::exists(quillfen::fileSystemPath(path), ec)
        && fs::equivalent(quillfen::fileSystemPath(path), quillfen::fileSystemPath(inputPath), ec)) {
        error = "the output would replace the input file";
        return false;
    }
    // Temporary files an earlier export of this name left when it was
    // killed are of no use to anyone.
    for (int attempt = 0; attempt < kTemporaryNames; ++attempt)
        fs::remove(temporaryName(path, attempt), ec);
    std::vector<char> buffer(1 << 20); // outlives the stream that uses it
    std::string temporary;
    std::FILE* file = nullptr;
    for (int attempt = 0; !file && attempt < kTemporaryNames; ++attempt) {
        temporary = temporaryName(path, attempt);
        file = quillfen::openFile(temporary, "wbx");
        if (!file && errno != EEXIST)
            break;
    }
    if (!file) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    bool ok = write(file, error);
    if (std::fclose(file) != 0 && ok) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        ok = false;
    }
    if (ok) {
        fs::rename(quillfen::fileSystemPath(temporary), quillfen::fileSystemPath(path), ec);
        if (ec) {
            error = "cannot rename " + temporary + " to " + path + ": " + ec.message();
            ok = false;
        }
    }
    if (!ok)
        fs::remove(quillfen::fileSystemPath(temporary), ec);
    return ok;
}

bool writeAll(std::FILE* file, const void* data, std::size_t size, std::string& error)
{
    if (size == 0 || std::fwrite(data, 1, size, file) == size)
        return true;
    error = std::string("write failed: ") + std::strerror(errno);
    return false;
}

// Day of the year and year of the ilas creation time ("%Y-%m-%d ..."), or
// zeros when it cannot be read.
void creationDay(const std::string& created, std::uint16_t& day, std::uint16_t& year)
{
    day = year = 0;
    int y = 0, m = 0, d = 0;
    if (std::sscanf(created.c_str(), "%4d-%2d-%2d", &y, &m, &d) != 3 || y < 1 || y > 9999 || m < 1 || m > 12
        || d < 1 || d > 31)
        return;
    static const int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    day = static_cast<std::uint16_t>(kDaysBefore[m - 1] + d + (leap && m > 2 ? 1 : 0));
    year = static_cast<std::uint16_t>(y);
}

struct LasExtent {
    std::int32_t low[3] = {std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max(),
                           std::numeric_limits<std::int32_t>::max()};
    std::int32_t high[3] = {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min(),
                            std::numeric_limits<std::int32_t>::min()};
};

// The variable-length records that carry the coordinate system: GeoTIFF
// keys for a system named in full by an EPSG code (what every LAS 1.2
// reader understands), an OGC WKT record for any other.
struct LasRecords {
    std::vector<std::uint8_t> bytes;
    std::uint32_t count = 0;
};

constexpr std::size_t kVlrHeaderSize = 54;
constexpr std::uint16_t kKeyDirectoryRecord = 34735;
constexpr std::uint16_t kWktRecord = 2112;
// GeoTIFF keys are shorts, and 32767 means "defined by parameters".
constexpr int kLargestKeyCode = 32766;

void appendRecord(LasRecords& records, std::uint16_t id, const char* description,
                  const std::vector<std::uint8_t>& payload)
{
    std::uint8_t h[kVlrHeaderSize] = {};
    std::memcpy(h + 2, "LASF_Projection", 15);
    put<std::uint16_t>(h + 18, id);
    put<std::uint16_t>(h + 20, static_cast<std::uint16_t>(payload.size()));
    std::memcpy(h + 22, description, std::min<std::size_t>(std::strlen(description), 32));
    records.bytes.insert(records.bytes.end(), h, h + sizeof h);
    records.bytes.insert(records.bytes.end(), payload.begin(), payload.end());
    ++records.count;
}

bool systemRecords(const std::string& wkt, LasRecords& records, std::string& error)
{
    if (wkt.empty())
        return true;
    crs::WktSummary system;
    const bool summarized = crs::summarizeWkt(wkt, system);
    const bool byCode = summarized && system.epsg > 0 && system.epsg <= kLargestKeyCode
                        && (system.kind == crs::WktSummary::Kind::Projected
                            || system.kind == crs::WktSummary::Kind::Geographic);
    std::vector<std::uint8_t> payload;
    if (byCode) {
        const crs::GeoKeys keys =
            crs::epsgGeoKeys(system.epsg, system.kind == crs::WktSummary::Kind::Projected);
        for (std::uint16_t v : keys.directory) {
            payload.push_back(static_cast<std::uint8_t>(v & 0xFF));
            payload.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        appendRecord(records, kKeyDirectoryRecord, "GeoTIFF GeoKeyDirectoryTag", payload);
        return true;
    }
    payload.assign(wkt.begin(), wkt.end());
    payload.push_back(0);
    if (payload.size() > 0xFFFF) {
        error = "the coordinate system's WKT is too long for a LAS record";
        return false;
    }
    appendRecord(records, kWktRecord, "OGC coordinate system WKT", payload);
    return true;
}

void lasHeader(const IlasReader& reader, std::uint64_t count, const LasExtent& extent, const LasRecords& records,
               std::uint8_t* h)
{
    const IlasHeader& ilas = reader.header();
    const bool colour = ilas.hasColor == 1;
    std::memset(h, 0, kLasHeaderSize);
    std::memcpy(h, "LASF", 4);
    h[24] = 1; // version 1.2
    h[25] = 2;
    std::memcpy(h + 26, "ilas export", 11);
    std::memcpy(h + 58, "ilasinfo", 8);
    std::uint16_t day, year;
    creationDay(reader.createdAt(), day, year);
    put<std::uint16_t>(h + 90, day);
    put<std::uint16_t>(h + 92, year);
    put<std::uint16_t>(h + 94, kLasHeaderSize);
    put<std::uint32_t>(h + 96, kLasHeaderSize + static_cast<std::uint32_t>(records.bytes.size()));
    put<std::uint32_t>(h + 100, records.count);
    h[104] = colour ? 2 : 0;
    put<std::uint16_t>(h + 105, colour ? 26 : 20);
    put<std::uint32_t>(h + 107, static_cast<std::uint32_t>(count));
    put<std::uint32_t>(h + 111, static_cast<std::uint32_t>(count)); // all first returns
    const double origin[3] = {ilas.originX, ilas.originY, ilas.originZ};
    for (int a = 0; a < 3; ++a) {
        put<double>(h + 131 + 8 * a, kLasScale);
        put<double>(h + 155 + 8 * a, origin[a]);
        // Max and min alternate per axis: max x, min x, max y, ...
        const bool any = count > 0;
        put<double>(h + 179 + 16 * a, any ? origin[a] + extent.high[a] * kLasScale : 0.0);
        put<double>(h + 187 + 16 * a, any ? origin[a] + extent.low[a] * kLasScale : 0.0);
    }
}

// A stored offset in LAS units; false when it does not fit an int32.
inline bool toLasUnits(float value, std::int32_t& units)
{
    const double scaled = std::nearbyint(static_cast<double>(value) / kLasScale);
    if (!(scaled >= std::numeric_limits<std::int32_t>::min() && scaled <= std::numeric_limits<std::int32_t>::max()))
        return false;
    units = static_cast<std::int32_t>(scaled);
    return true;
}

} // namespace

bool exportLas(const IlasReader& reader, const std::string& path, std::string& error,
               const std::string& coordinateSystem)
{
    BlockSource source(reader);
    if (!source.open(error))
        return false;
    // By value: std::max takes references, and the header is packed.
    const std::int64_t stated = reader.header().pointCount;
    const std::uint64_t count = static_cast<std::uint64_t>(std::max<std::int64_t>(stated, 0));
    if (count > std::numeric_limits<std::uint32_t>::max()) {
        error = "LAS 1.2 holds at most 4294967295 points";
        return false;
    }
    LasRecords vlrs;
    if (!systemRecords(coordinateSystem, vlrs, error))
        return false;
    return writeReplacing(reader.path(), path, error, [&](std::FILE* file, std::string& why) {
        std::uint8_t header[kLasHeaderSize];
        LasExtent extent;
        lasHeader(reader, 0, extent, vlrs, header);
        if (!writeAll(file, header, sizeof header, why) || !writeAll(file, vlrs.bytes.data(), vlrs.bytes.size(), why))
            return false;
        const bool colour = reader.header().hasColor == 1;
        const std::size_t recordSize = colour ? 26 : 20;
        std::vector<std::uint8_t> records;
        std::uint64_t written = 0;
        for (std::size_t b = 0; b < reader.blocks().size(); ++b) {
            BlockView view;
            if (!source.read(b, view, why))
                return false;
            records.assign(recordSize * static_cast<std::size_t>(view.count()), 0);
            for (std::int32_t k = 0; k < view.count(); ++k) {
                std::uint8_t* r = records.data() + recordSize * static_cast<std::size_t>(k);
                const StoredXyz p = view.point(k);
                const float xyz[3] = {p.x, p.y, p.z};
                for (int a = 0; a < 3; ++a) {
                    std::int32_t units;
                    if (!toLasUnits(xyz[a], units)) {
                        why = "point " + std::to_string(k) + " of block " + std::to_string(b)
                            + " lies too far from the origin for LAS coordinates in millimetres";
                        return false;
                    }
                    put<std::int32_t>(r + 4 * a, units);
                    extent.low[a] = std::min(extent.low[a], units);
                    extent.high[a] = std::max(extent.high[a], units);
                }
                r[14] = 0x09; // return 1 of 1
                if (colour) {
                    // 8-bit colours widened to the full 16-bit range: 255 becomes 65535.
                    const StoredColour c = view.colour(k);
                    put<std::uint16_t>(r + 20, static_cast<std::uint16_t>(c.red * 257));
                    put<std::uint16_t>(r + 22, static_cast<std::uint16_t>(c.green * 257));
                    put<std::uint16_t>(r + 24, static_cast<std::uint16_t>(c.blue * 257));
                }
            }
            if (!writeAll(file, records.data(), records.size(), why))
                return false;
            written += static_cast<std::uint64_t>(view.count());
        }
        lasHeader(reader, written, extent, vlrs, header);
        if (std::fseek(file, 0, SEEK_SET) != 0) {
            why = "cannot seek to the LAS header";
            return false;
        }
        return writeAll(file, header, sizeof header, why);
    });
}

bool exportXyz(const IlasReader& reader, const std::string& path, std::string& error)
{
    BlockSource source(reader);
    if (!source.open(error))
        return false;
    return writeReplacing(reader.path(), path, error, [&](std::FILE* file, std::string& why) {
        const bool colour = reader.header().hasColor == 1;
        std::string text;
        char line[512]; // room for the largest finite floats
        for (std::size_t b = 0; b < reader.blocks().size(); ++b) {
            BlockView view;
            if (!source.read(b, view, why))
                return false;
            text.clear();
            for (std::int32_t k = 0; k < view.count(); ++k) {
                const AbsoluteXyz p = reader.absolute(view.point(k));
                int n;
                if (colour) {
                    const StoredColour c = view.colour(k);
                    n = std::snprintf(line, sizeof line, "%.3f %.3f %.3f %u %u %u\n", p.x, p.y, p.z, c.red,
                                      c.green, c.blue);
                } else {
                    n = std::snprintf(line, sizeof line, "%.3f %.3f %.3f\n", p.x, p.y, p.z);
                }
                text.append(line, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof line) - 1)));
            }
            if (!writeAll(file, text.data(), text.size(), why))
                return false;
        }
        return true;
    });
}

} // namespace nimbus::ilas
