#include "prjfile.h"
#include "nativepath.h"

#include <fstream>
#include <system_error>

namespace nimbus::crs {

namespace fs = std::filesystem;

namespace {

// Real systems take a few kilobytes of WKT; a larger file is not one.
constexpr std::uintmax_t kMaxPrjBytes = 1u << 20;

} // namespace

std::string prjPathBeside(const std::string& ilasPath)
{
    static const char kIlas[] = ".ilas";
    std::string path = ilasPath;
    const std::size_t n = sizeof kIlas - 1;
    if (path.size() >= n) {
        std::string tail = path.substr(path.size() - n);
        for (char& c : tail)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (tail == kIlas)
            path.resize(path.size() - n);
    }
    return path + ".prj";
}

bool writePrj(const fs::path& path, const std::string& wkt, std::string& error)
{
    fs::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(wkt.data(), static_cast<std::streamsize>(wkt.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            error = "cannot write " + quillfen::utf8Path(temporary);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = "cannot rename " + quillfen::utf8Path(temporary) + " to " + quillfen::utf8Path(path) + ": " + ec.message();
        return false;
    }
    return true;
}

bool removePrj(const fs::path& path, std::string& error)
{
    std::error_code ec;
    fs::remove(path, ec);
    if (ec) {
        error = "cannot remove " + quillfen::utf8Path(path) + ": " + ec.message();
        return false;
    }
    return true;
}

bool readPrj(const fs::path& path, std::string& wkt, std::string& error)
{
    error.clear();
    wkt.clear();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxPrjBytes) {
        error = ec ? "cannot read " + quillfen::utf8Path(path) + ": " + ec.message()
                   : quillfen::utf8Path(path) + " is too large to hold a coordinate system";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    wkt.resize(static_cast<std::size_t>(size));
    in.read(wkt.data(), static_cast<std::streamsize>(size));
    if (!in) {
        error = "cannot read " + quillfen::utf8Path(path);
        wkt.clear();
        return false;
    }
    // Editors like to end a text with a line break.
    while (!wkt.empty() && (wkt.back() == '\n' || wkt.back() == '\r' || wkt.back() == '\0'))
        wkt.pop_back();
    return !wkt.empty();
}

} // namespace nimbus::crs
