// Terminals, pipes and files all take the UTF-8 bytes as they are.
#include "bytewriter.h"
#include "consoletext.h"

namespace quillfen {

std::unique_ptr<ConsoleWriter> createConsoleWriter(std::FILE* stream)
{
    return std::make_unique<ByteWriter>(stream);
}

} // namespace quillfen
