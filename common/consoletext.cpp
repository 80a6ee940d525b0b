// The parts of the console writers both systems share.
#include "consoletext.h"

namespace quillfen {

bool writeConsole(std::FILE* stream, std::string_view utf8)
{
    return createConsoleWriter(stream)->write(utf8);
}

std::size_t completeUtf8Length(std::string_view utf8)
{
    // Look back at most three bytes for the lead byte of the last sequence.
    const std::size_t n = utf8.size();
    for (std::size_t back = 1; back <= 4 && back <= n; ++back) {
        const auto c = static_cast<unsigned char>(utf8[n - back]);
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte: keep looking for the lead
        const std::size_t needed = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        return needed > back ? n - back : n;
    }
    return n;
}

} // namespace quillfen
