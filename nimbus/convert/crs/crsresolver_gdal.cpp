// The resolver backed by GDAL: GeoTIFF keys are read by GDAL's own GeoTIFF
// driver from a one-pixel TIFF assembled in memory around them, so every
// system the keys can express (EPSG-coded or spelled out parameter by
// parameter) comes back as GDAL names it; EPSG codes go through OSR.

#include "crsmessages.h"
#include "crsresolver.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <gdal_frmts.h>
#include <ogr_srs_api.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace nimbus::crs {

namespace {

enum TiffType : std::uint16_t { kAscii = 2, kShort = 3, kLong = 4, kDouble = 12 };

struct TiffEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::vector<std::uint8_t> data; // the values, little-endian
};

template <typename T>
void append(std::vector<std::uint8_t>& out, T value)
{
    std::uint8_t bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

template <typename T>
TiffEntry entry(std::uint16_t tag, std::uint16_t type, const std::vector<T>& values)
{
    TiffEntry e{tag, type, static_cast<std::uint32_t>(values.size()), {}};
    for (const T& v : values)
        append(e.data, v);
    return e;
}

// A little-endian classic TIFF of one 8-bit grey pixel carrying `keys`.
// Entries are given in ascending tag order as TIFF requires; values longer
// than four bytes follow the directory.
std::vector<std::uint8_t> tiffWithKeys(const GeoKeys& keys)
{
    std::vector<TiffEntry> entries;
    entries.push_back(entry<std::uint16_t>(256, kShort, {1}));    // width
    entries.push_back(entry<std::uint16_t>(257, kShort, {1}));    // height
    entries.push_back(entry<std::uint16_t>(258, kShort, {8}));    // bits per sample
    entries.push_back(entry<std::uint16_t>(259, kShort, {1}));    // no compression
    entries.push_back(entry<std::uint16_t>(262, kShort, {1}));    // black is zero
    entries.push_back(entry<std::uint32_t>(273, kLong, {0}));     // strip offset, set below
    entries.push_back(entry<std::uint16_t>(277, kShort, {1}));    // samples per pixel
    entries.push_back(entry<std::uint16_t>(278, kShort, {1}));    // rows per strip
    entries.push_back(entry<std::uint32_t>(279, kLong, {1}));     // strip byte count
    entries.push_back(entry(34735, kShort, keys.directory));
    if (!keys.doubles.empty())
        entries.push_back(entry(34736, kDouble, keys.doubles));
    if (!keys.ascii.empty()) {
        std::vector<char> text(keys.ascii.begin(), keys.ascii.end());
        if (text.back() != '\0')
            text.push_back('\0');
        entries.push_back(entry(34737, kAscii, text));
    }

    const std::uint32_t directoryAt = 8;
    const std::uint32_t directorySize = 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
    std::uint32_t next = directoryAt + directorySize;
    std::vector<std::uint32_t> placedAt(entries.size(), 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].data.size() > 4) {
            placedAt[i] = next;
            next += static_cast<std::uint32_t>((entries[i].data.size() + 1) & ~std::size_t(1));
        }
    }
    const std::uint32_t pixelAt = next;
    entries[5].data.clear();
    append<std::uint32_t>(entries[5].data, pixelAt);

    std::vector<std::uint8_t> tiff = {'I', 'I', 42, 0};
    append<std::uint32_t>(tiff, directoryAt);
    append<std::uint16_t>(tiff, static_cast<std::uint16_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TiffEntry& e = entries[i];
        append(tiff, e.tag);
        append(tiff, e.type);
        append(tiff, e.count);
        if (e.data.size() > 4) {
            append(tiff, placedAt[i]);
        } else {
            std::uint8_t inline4[4] = {0, 0, 0, 0};
            std::memcpy(inline4, e.data.data(), e.data.size());
            tiff.insert(tiff.end(), inline4, inline4 + 4);
        }
    }
    append<std::uint32_t>(tiff, 0); // no further directory
    for (const TiffEntry& e : entries) {
        if (e.data.size() > 4) {
            tiff.insert(tiff.end(), e.data.begin(), e.data.end());
            if (e.data.size() % 2)
                tiff.push_back(0);
        }
    }
    tiff.push_back(0); // the pixel
    return tiff;
}

// GDAL reports through a process-wide handler; while we ask it, its
// complaints about odd keys are ours to phrase, not lines on the console.
class QuietGdal {
public:
    QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietGdal() { CPLPopErrorHandler(); }
};

// GDAL's own words on the last failure, or `fallback` when it gave none.
Reason lastGdalError(const Message& words, const Message& fallback)
{
    const char* message = CPLGetLastErrorMsg();
    return message && *message ? Reason(words, std::string(message)) : Reason(fallback);
}

class GdalResolver final : public CrsResolver {
public:
    bool wktFromGeoKeys(const GeoKeys& keys, std::string& wkt, Reason& error) const override
    {
        if (!keys.wellFormed(error))
            return false;
        static std::once_flag registered;
        std::call_once(registered, [] { GDALRegister_GTiff(); });
        static std::atomic<unsigned> serial{0};
        const std::string name = "/vsimem/nimbus-geokeys-" + std::to_string(serial++) + ".tif";
        std::vector<std::uint8_t> tiff = tiffWithKeys(keys);

        QuietGdal quiet;
        CPLErrorReset();
        VSILFILE* mem = VSIFileFromMemBuffer(name.c_str(), tiff.data(), static_cast<vsi_l_offset>(tiff.size()), FALSE);
        if (!mem) {
            error = Reason(msg::kKeysToGdalFailed);
            return false;
        }
        VSIFCloseL(mem);
        GDALDatasetH dataset = GDALOpen(name.c_str(), GA_ReadOnly);
        if (dataset) {
            const char* text = GDALGetProjectionRef(dataset);
            wkt = text ? text : "";
            GDALClose(dataset);
        } else {
            error = lastGdalError(msg::kGdalWordsOnKeys, msg::kGdalCannotReadKeys);
        }
        VSIUnlink(name.c_str());
        if (!dataset)
            return false;
        // Keys GDAL cannot place come back as a bare local system in metres.
        if (wkt.empty() || wkt.rfind("LOCAL_CS[", 0) == 0) {
            wkt.clear();
            error = Reason(msg::kKeysUnknownToGdal);
            return false;
        }
        return true;
    }

    bool wktFromEpsg(int code, std::string& wkt, Reason& error) const override
    {
        QuietGdal quiet;
        CPLErrorReset();
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        char* text = nullptr;
        const bool ok = OSRImportFromEPSG(srs, code) == OGRERR_NONE && OSRExportToWkt(srs, &text) == OGRERR_NONE
                        && text && *text;
        if (ok)
            wkt = text;
        else
            error = Reason(msg::kEpsgUnknownToGdal, code);
        CPLFree(text);
        OSRDestroySpatialReference(srs);
        return ok;
    }
};

} // namespace

const CrsResolver& systemCrsResolver()
{
    static const GdalResolver resolver;
    return resolver;
}

} // namespace nimbus::crs
