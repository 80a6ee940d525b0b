// A console window takes UTF-16 through WriteConsoleW; anything else behind
// the stream (a pipe, a file, a terminal emulator's pipe) the UTF-8 bytes.
#include "bytewriter.h"
#include "consoletext.h"
#include "nativepath.h"

#include <io.h>
#include <string>
#include <windows.h>

namespace quillfen {
namespace {

class WideConsoleWriter : public ConsoleWriter {
public:
    WideConsoleWriter(std::FILE* stream, HANDLE console) : stream_(stream), console_(console) {}
    bool write(std::string_view utf8) override
    {
        // What the C library still holds goes out first, in order.
        std::fflush(stream_);
        pending_.append(utf8.data(), utf8.size());
        const std::size_t complete = completeUtf8Length(pending_);
        std::wstring wide = wideFromUtf8(pending_.substr(0, complete));
        pending_.erase(0, complete);
        // Windows consoles want \r\n as the C library's text mode writes it.
        std::wstring text;
        text.reserve(wide.size());
        for (wchar_t c : wide) {
            if (c == L'\n' && (text.empty() || text.back() != L'\r'))
                text.push_back(L'\r');
            text.push_back(c);
        }
        const wchar_t* data = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(left < 16384 ? left : 16384);
            if (!WriteConsoleW(console_, data, chunk, &written, nullptr) || written == 0)
                return false;
            data += written;
            left -= written;
        }
        return true;
    }

private:
    std::FILE* stream_;
    HANDLE console_;
    std::string pending_;
};

} // namespace

std::unique_ptr<ConsoleWriter> createConsoleWriter(std::FILE* stream)
{
    const int fd = _fileno(stream);
    const HANDLE handle = fd >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(fd)) : INVALID_HANDLE_VALUE;
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode))
        return std::make_unique<WideConsoleWriter>(stream, handle);
    return std::make_unique<ByteWriter>(stream);
}

} // namespace quillfen
