#include "prjfile.h"
#include "crsmessages.h"
#include "nativepath.h"
#include "systemerror.h"

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

bool writePrj(const fs::path& path, const std::string& wkt, Reason& error)
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
            error = Reason(msg::kCannotWrite, quillfen::utf8Path(temporary));
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = Reason(msg::kCannotRename, quillfen::utf8Path(temporary), quillfen::utf8Path(path), systemError(ec));
        return false;
    }
    return true;
}

bool removePrj(const fs::path& path, Reason& error)
{
    std::error_code ec;
    fs::remove(path, ec);
    if (ec) {
        error = Reason(msg::kCannotRemove, quillfen::utf8Path(path), systemError(ec));
        return false;
    }
    return true;
}

bool readPrj(const fs::path& path, std::string& wkt, Reason& error)
{
    error = Reason();
    wkt.clear();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxPrjBytes) {
        error = ec ? Reason(msg::kCannotReadBecause, quillfen::utf8Path(path), systemError(ec))
                   : Reason(msg::kPrjTooLarge, quillfen::utf8Path(path));
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    wkt.resize(static_cast<std::size_t>(size));
    in.read(wkt.data(), static_cast<std::streamsize>(size));
    if (!in) {
        error = Reason(msg::kCannotRead, quillfen::utf8Path(path));
        wkt.clear();
        return false;
    }
    // Editors like to end a text with a line break.
    while (!wkt.empty() && (wkt.back() == '\n' || wkt.back() == '\r' || wkt.back() == '\0'))
        wkt.pop_back();
    return !wkt.empty();
}

} // namespace nimbus::crs
