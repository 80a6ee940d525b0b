#pragma once

// Text for the user on a standard stream, written as the reader will see it:
// a Windows console window gets wide characters (WriteConsoleW), whatever
// its code page; pipes, files and every other system get the UTF-8 bytes
// themselves, so one run never mixes encodings.

#include <cstdio>
#include <memory>
#include <string_view>

namespace quillfen {

class ConsoleWriter {
public:
    virtual ~ConsoleWriter() = default;
    // Writes UTF-8 text and flushes it; false when the stream refused it. A
    // character cut at the end of one call is completed by the next.
    virtual bool write(std::string_view utf8) = 0;
};

// The writer for a stream of this process (stdout or stderr); the stream
// outlives the writer.
std::unique_ptr<ConsoleWriter> createConsoleWriter(std::FILE* stream);

// One-off write through createConsoleWriter (no character may be cut).
bool writeConsole(std::FILE* stream, std::string_view utf8);

// Length of the longest prefix that does not end inside a UTF-8 sequence;
// bytes that can never start or continue a sequence count as complete.
std::size_t completeUtf8Length(std::string_view utf8);

} // namespace quillfen
