#include "linereader.h"

#include "reasontext.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace nimbus {

LineReader::LineReader(std::size_t chunkBytes)
    : buffer_(new char[std::max<std::size_t>(chunkBytes, 4)]),
      capacity_(std::max<std::size_t>(chunkBytes, 4))
{
}

bool LineReader::open(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A folder cannot be read, and a pipe or device could block forever.
        error_ = QCoreApplication::translate("Nimbus", "cannot open: not a regular file");
        return false;
    }
    file_.setFileName(path);
    // Unbuffered: the chunk buffer is the only copy of the data.
    if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        error_ = QCoreApplication::translate("Nimbus", "cannot open: %1").arg(systemWords(file_.errorString()));
        return false;
    }
    size_ = static_cast<std::uint64_t>(file_.size());
    return true;
}

bool LineReader::fill()
{
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        readBefore_ += begin_;
        begin_ = 0;
    }
    const qint64 got = file_.read(buffer_.get() + end_, static_cast<qint64>(capacity_ - end_));
    if (got < 0) {
        error_ = QCoreApplication::translate("Nimbus", "read error: %1").arg(systemWords(file_.errorString()));
        return false;
    }
    if (got == 0)
        atEnd_ = true;
    end_ += static_cast<std::size_t>(got);
    // Until the first line is handed out, the buffer starts at the file start.
    if (first_ && (end_ - begin_ >= 3 || atEnd_)) {
        first_ = false;
        if (end_ - begin_ >= 3 && std::memcmp(buffer_.get() + begin_, "\xEF\xBB\xBF", 3) == 0)
            begin_ += 3;
    }
    return true;
}

bool LineReader::discardRestOfLine()
{
    for (;;) {
        readBefore_ += end_;
        begin_ = end_ = 0;
        if (!fill())
            return false;
        const void* hit = std::memchr(buffer_.get(), '\n', end_);
        if (hit) {
            begin_ = static_cast<std::size_t>(static_cast<const char*>(hit) - buffer_.get()) + 1;
            return true;
        }
        if (atEnd_) {
            begin_ = end_;
            return true;
        }
    }
}

bool LineReader::next(std::string_view& line)
{
    return take(line, false);
}

bool LineReader::nextLines(std::string_view& lines)
{
    return take(lines, true);
}

std::size_t LineReader::lineEndAfter(std::size_t searched, bool last) const
{
    const char* base = buffer_.get();
    if (last) {
        // Lines are short, so the last line end is near the end.
        std::size_t end = end_;
        while (end > searched && base[end - 1] != '\n')
            --end;
        return end > searched ? end : 0;
    }
    const void* hit = std::memchr(base + searched, '\n', end_ - searched);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base) + 1 : 0;
}

bool LineReader::take(std::string_view& out, bool run)
{
    if (!error_.isEmpty() || !file_.isOpen())
        return false;
    std::size_t searched = begin_;
    for (;;) {
        const std::size_t stop = lineEndAfter(searched, run);
        if (stop > 0) {
            // A single line leaves its "\n" out; a run keeps every one.
            out = std::string_view(buffer_.get() + begin_, (run ? stop : stop - 1) - begin_);
            begin_ = stop;
            first_ = false;
            return true;
        }
        if (atEnd_) {
            if (begin_ == end_)
                return false;
            out = std::string_view(buffer_.get() + begin_, end_ - begin_);
            begin_ = end_;
            first_ = false;
            return true;
        }
        if (begin_ == 0 && end_ == capacity_) {
            // The line does not fit: drop it and hand out an empty line so the
            // caller counts it as unusable.
            ++overlong_;
            first_ = false;
            if (!discardRestOfLine())
                return false;
            static const char kEmptyLine[] = "\n";
            out = run ? std::string_view(kEmptyLine, 1) : std::string_view();
            return true;
        }
        const std::size_t pending = end_ - begin_;
        if (!fill())
            return false;
        searched = begin_ + pending;
    }
}

} // namespace nimbus
