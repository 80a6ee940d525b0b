#pragma once

// The writer for anything but a Windows console window: the bytes as they are.
#include "consoletext.h"

namespace quillfen {

class ByteWriter : public ConsoleWriter {
public:
    explicit ByteWriter(std::FILE* stream) : stream_(stream) {}
    bool write(std::string_view utf8) override
    {
        return std::fwrite(utf8.data(), 1, utf8.size(), stream_) == utf8.size() && std::fflush(stream_) == 0;
    }

private:
    std::FILE* stream_;
};

} // namespace quillfen
