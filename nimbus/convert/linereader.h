#pragma once
// Reads a text file line by line out of large chunks, so that the text
// readers never copy a line or go through a text stream. Lines end at "\n";
// the "\n" is not part of the line, a "\r" before it is. A final line without
// "\n" is still a line; a file ending in "\n" has no empty last line. A UTF-8
// byte order mark at the start of the file is not part of the first line.

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace nimbus {

class LineReader {
public:
    // Lines of `chunkBytes` bytes or more cannot be held; they are returned as
    // empty lines (see overlongLines()).
    explicit LineReader(std::size_t chunkBytes = kDefaultChunkBytes);

    bool open(const QString& path);
    QString errorText() const { return error_; }

    // The next line, valid until the next call. False at the end of the file
    // or on a read error (then errorText() is set).
    bool next(std::string_view& line);

    // The next run of whole lines, as many as the chunk holds, valid until
    // the next call: every line ends in "\n" except a last line of the file
    // without one. A line too long for the chunk comes as one empty line
    // ("\n"), as next() gives it. False at the end of the file or on a read
    // error. Lines handed out by next() before are not repeated.
    bool nextLines(std::string_view& lines);
    // Bytes of the file handed out so far, by next() and nextLines().
    std::uint64_t consumed() const { return readBefore_ + begin_; }

    bool readFailed() const { return !error_.isEmpty(); }
    // The file's size when it was opened.
    std::uint64_t fileSize() const { return size_; }
    std::size_t overlongLines() const { return overlong_; }

    static constexpr std::size_t kDefaultChunkBytes = 8u << 20;

private:
    bool fill();
    bool discardRestOfLine();
    // One line (`run` false) or a run of whole lines (`run` true).
    bool take(std::string_view& out, bool run);
    // Just past the first (or the last) "\n" at or after `searched`; 0 when
    // there is none.
    std::size_t lineEndAfter(std::size_t searched, bool last) const;

    QFile file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::uint64_t readBefore_ = 0; // file offset of buffer_[0]
    bool atEnd_ = false;
    bool first_ = true;
    std::size_t overlong_ = 0;
    std::uint64_t size_ = 0;
    QString error_;
};

} // namespace nimbus
