#include "nativepath.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace quillfen {
namespace {

// Appends the code point as UTF-16 (wchar_t of 2 bytes) or UTF-32.
void appendCodePoint(std::wstring& out, char32_t c)
{
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(c));
    }
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

std::wstring wideFromUtf8(const std::string& utf8)
{
    constexpr char32_t kReplacement = 0xFFFD;
    std::wstring out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = s[i];
        int extra = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, c = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, c = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, c = lead & 0x07, least = 0x10000;
        } else {
            out.push_back(static_cast<wchar_t>(kReplacement));
            ++i;
            continue;
        }
        int taken = 0;
        while (taken < extra && i + 1 + taken < n && (s[i + 1 + taken] & 0xC0) == 0x80) {
            c = (c << 6) | (s[i + 1 + taken] & 0x3F);
            ++taken;
        }
        i += 1 + taken;
        // Cut sequences, overlong forms, surrogates and values past U+10FFFF.
        if (taken < extra || c < least || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            c = kReplacement;
        appendCodePoint(out, c);
    }
    return out;
}

std::string utf8FromWide(const std::wstring& wide)
{
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<char32_t>(wide[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) {
            const bool pair = c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
            if (pair) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::FILE* openFile(const std::string& utf8Path, const char* mode)
{
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(wideFromUtf8(utf8Path).c_str(), wideMode.c_str());
#else
    return std::fopen(utf8Path.c_str(), mode);
#endif
}

std::filesystem::path fileSystemPath(const std::string& utf8Path)
{
#ifdef _WIN32
    return std::filesystem::path(wideFromUtf8(utf8Path));
#else
    return std::filesystem::path(utf8Path);
#endif
}

std::string utf8Path(const std::filesystem::path& path)
{
#ifdef _WIN32
    return utf8FromWide(path.wstring());
#else
    return path.string();
#endif
}

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments.push_back(utf8FromWide(wide[i]));
        LocalFree(wide);
        if (count == argc)
            return arguments;
        arguments.clear();
    }
#endif
    for (int i = 0; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return arguments;
}

} // namespace quillfen
