#pragma once

// File names in the Qt-free libraries are UTF-8 std::strings on every system.
// These helpers hand them to the system: as they are elsewhere, converted to
// UTF-16 for the wide-character API on Windows (where the 8-bit API would
// go through the ANSI code page and lose every character outside it).

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace quillfen {

// std::fopen for a UTF-8 name.
std::FILE* openFile(const std::string& utf8Path, const char* mode);

// The name as a std::filesystem path (for rename, remove, exists ...), and
// back.
std::filesystem::path fileSystemPath(const std::string& utf8Path);
std::string utf8Path(const std::filesystem::path& path);

// UTF-8 <-> UTF-16 (wchar_t is UTF-16 on Windows, UTF-32 elsewhere). Invalid
// input is replaced with U+FFFD rather than dropped.
std::wstring wideFromUtf8(const std::string& utf8);
std::string utf8FromWide(const std::wstring& wide);

// The program's arguments as UTF-8: on Windows read again from the wide
// command line (argv holds ANSI code page text there), elsewhere argv.
std::vector<std::string> utf8Arguments(int argc, char** argv);

} // namespace quillfen
