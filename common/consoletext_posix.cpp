// Terminals, pipes and files all take the UTF-8 bytes as they are.
#include "consoletext.h"

namespace quillfen {
namespace {

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

} // namespace

std::unique_ptr<ConsoleWriter> createConsoleWriter(std::FILE* stream)
{
    return std::make_unique<ByteWriter>(stream);
}

} // namespace quillfen
