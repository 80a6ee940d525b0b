#include "pcdreader.h"

#include "classicnumber.h"
#include "lzf.h"
#include "plyheader.h"
#include "pcdmessages.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace nimbus {
namespace pcd {

namespace {

// Headers are short; anything that has not ended after this many bytes is
// not a header.
constexpr std::size_t kHeaderLimit = std::size_t(1) << 20;
// Bytes of binary records read at once.
constexpr std::size_t kChunkBytes = std::size_t(1) << 20;
// An LZF block never unpacks to more than this many times its size.
constexpr std::uint64_t kLzfMaxExpansion = 88;

template <typename T> double load(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return static_cast<double>(value);
}

double binaryValue(PcdValueType type, const std::uint8_t* p, bool bigEndian)
{
    std::uint8_t swapped[8];
    if (bigEndian) {
        const std::size_t size = type == PcdValueType::Int8 || type == PcdValueType::Uint8 ? 1
            : type == PcdValueType::Int16 || type == PcdValueType::Uint16             ? 2
            : type == PcdValueType::Int32 || type == PcdValueType::Uint32
                || type == PcdValueType::Float32
            ? 4
            : 8;
        for (std::size_t i = 0; i < size; ++i)
            swapped[i] = p[size - 1 - i];
        p = swapped;
    }
    switch (type) {
    case PcdValueType::Int8: return load<std::int8_t>(p);
    case PcdValueType::Uint8: return load<std::uint8_t>(p);
    case PcdValueType::Int16: return load<std::int16_t>(p);
    case PcdValueType::Uint16: return load<std::uint16_t>(p);
    case PcdValueType::Int32: return load<std::int32_t>(p);
    case PcdValueType::Uint32: return load<std::uint32_t>(p);
    case PcdValueType::Int64: return load<std::int64_t>(p);
    case PcdValueType::Uint64: return load<std::uint64_t>(p);
    case PcdValueType::Float32: return load<float>(p);
    case PcdValueType::Float64: return load<double>(p);
    case PcdValueType::Unknown: break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (static_cast<char>(text[i] | 0x20) != lower[i])
            return false;
    return true;
}

// A text value: a number in classic notation, or "nan", "inf" or
// "infinity" in any case with an optional sign. `number` tells which.
bool isValueToken(std::string_view token, bool& number)
{
    double value = 0.0;
    const char* stop = nullptr;
    number = parseClassicDouble(token.data(), token.data() + token.size(), value, &stop)
        && stop == token.data() + token.size();
    if (number)
        return true;
    if (!token.empty() && (token.front() == '-' || token.front() == '+'))
        token.remove_prefix(1);
    return equalsIgnoringCase(token, "nan") || equalsIgnoringCase(token, "inf")
        || equalsIgnoringCase(token, "infinity");
}

// The leading whole number of a token, wrapped to the width of `type` as a
// stream read into an integer and a narrowing cast give it.
double integerValue(PcdValueType type, std::string_view token)
{
    bool negative = false;
    std::size_t at = 0;
    if (at < token.size() && (token[at] == '-' || token[at] == '+'))
        negative = token[at++] == '-';
    std::uint64_t magnitude = 0;
    for (; at < token.size() && isDecimalDigit(token[at]); ++at)
        magnitude = magnitude * 10 + std::uint64_t(token[at] - '0');
    const std::uint64_t bits = negative ? ~magnitude + 1 : magnitude;
    switch (type) {
    case PcdValueType::Int8: return static_cast<std::int8_t>(bits);
    case PcdValueType::Uint8: return static_cast<std::uint8_t>(bits);
    case PcdValueType::Int16: return static_cast<std::int16_t>(bits);
    case PcdValueType::Uint16: return static_cast<std::uint16_t>(bits);
    case PcdValueType::Int32: return static_cast<std::int32_t>(bits);
    case PcdValueType::Uint32: return static_cast<std::uint32_t>(bits);
    case PcdValueType::Int64: return static_cast<double>(static_cast<std::int64_t>(bits));
    default: return static_cast<double>(bits);
    }
}

// A text value of a coordinate field; NaN or an infinity for such words.
double textValue(PcdValueType type, std::string_view token, bool number)
{
    if (!number) {
        const bool negative = token.front() == '-';
        if (token.front() == '-' || token.front() == '+')
            token.remove_prefix(1);
        if ((token[0] | 0x20) == 'n')
            return std::numeric_limits<double>::quiet_NaN();
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    if (type == PcdValueType::Float32 || type == PcdValueType::Float64) {
        if (token.front() == '+')
            token.remove_prefix(1);
        // Parsed straight to the field's precision: a float read through a
        // double could round twice.
        if (type == PcdValueType::Float32) {
            float value = 0.0f;
            fast_float::from_chars(token.data(), token.data() + token.size(), value);
            return value;
        }
        double value = 0.0;
        fast_float::from_chars(token.data(), token.data() + token.size(), value);
        return value;
    }
    return integerValue(type, token);
}

} // namespace

PcdReader::PcdReader() = default;
PcdReader::~PcdReader() = default;

bool PcdReader::fail(Reason reason)
{
    if (error_.empty())
        error_ = std::move(reason);
    return false;
}

bool PcdReader::openFile(const std::string& path, bool ply)
{
    error_ = Reason();
    pointsRead_ = 0;
    body_.clear();
    text_.reset();
    Reason openError;
    if (!file_.open(path, openError))
        return fail(openError);
    std::vector<char> head(static_cast<std::size_t>(std::min<std::uint64_t>(file_.size(), kHeaderLimit)));
    if (file_.readAt(0, head.data(), head.size()) != head.size())
        return fail(Reason(msg::kCannotReadHeader));
    const bool parsed = ply ? parsePlyHeader(head.data(), head.size(), header_, error_)
                            : parsePcdHeader(head.data(), head.size(), header_, error_);
    return parsed && openBody();
}

bool PcdReader::open(const std::string& path)
{
    return openFile(path, false);
}

bool PcdReader::openPly(const std::string& path)
{
    return openFile(path, true);
}

bool PcdReader::openBody()
{
    if (header_.points == 0)
        return true; // a valid cloud without points; its body is not looked at

    const char* names[3] = {"x", "y", "z"};
    const PcdField* fields[3];
    for (int i = 0; i < 3; ++i) {
        fields[i] = findPcdField(header_, names[i]);
        if (!fields[i])
            return fail(Reason(msg::kNoXyzFields));
    }
    for (int i = 0; i < 3; ++i) {
        if (fields[i]->type == PcdValueType::Unknown)
            return fail(Reason(msg::kUnusableField, fields[i]->name));
        std::uint64_t valueIndex = 0, block = 0;
        for (const PcdField& field : header_.fields) {
            if (&field == fields[i])
                break;
            valueIndex += field.count;
            block += std::uint64_t(field.size) * field.count;
        }
        // Within the 4 GiB an unpacked body may hold (checked in unpackCompressed).
        xyz_[i] = {fields[i]->type, fields[i]->offset, valueIndex, block * header_.points,
                   std::uint64_t(fields[i]->size) * fields[i]->count, fields[i]->size};
    }
    switch (header_.encoding) {
    case PcdEncoding::Binary: return checkBinary();
    case PcdEncoding::BinaryCompressed: return unpackCompressed();
    case PcdEncoding::Ascii: return checkText();
    }
    return false;
}

bool PcdReader::checkBinary()
{
    const std::uint64_t body = file_.size() - std::min(file_.size(), header_.dataOffset);
    if (header_.points > body / header_.pointBytes)
        return fail(Reason(msg::kMorePointsThanFile));
    return true;
}

bool PcdReader::unpackCompressed()
{
    // The body starts with its compressed and its unpacked size (32-bit
    // little-endian); the unpacked data holds each field's values for all
    // points, field after field.
    std::uint8_t sizes[8];
    if (file_.size() < header_.dataOffset + 8
        || file_.readAt(header_.dataOffset, sizes, 8) != 8)
        return fail(Reason(msg::kEndsBeforeCompressed));
    const auto word = [&](int at) {
        return std::uint64_t(sizes[at]) | std::uint64_t(sizes[at + 1]) << 8
            | std::uint64_t(sizes[at + 2]) << 16 | std::uint64_t(sizes[at + 3]) << 24;
    };
    const std::uint64_t compressed = word(0);
    const std::uint64_t unpacked = word(4);
    const bool countFits = header_.points <= 0xFFFFFFFFu / header_.pointBytes;
    if (!countFits || compressed > file_.size() - header_.dataOffset - 8
        || unpacked > compressed * kLzfMaxExpansion)
        return fail(Reason(msg::kMorePointsThanFile));
    if (unpacked != header_.points * header_.pointBytes)
        return fail(Reason(msg::kCompressedMismatch));

    std::vector<std::uint8_t> packed;
    try {
        packed.resize(static_cast<std::size_t>(compressed));
        body_.resize(static_cast<std::size_t>(unpacked));
    } catch (const std::bad_alloc&) {
        body_ = std::vector<std::uint8_t>();
        return fail(Reason(msg::kNoMemoryToUnpack));
    }
    if (file_.readAt(header_.dataOffset + 8, packed.data(), packed.size()) != packed.size())
        return fail(Reason(msg::kCannotReadCompressed));
    Reason reason;
    if (!lzfDecompress(packed.data(), packed.size(), body_.data(), body_.size(), reason)) {
        body_ = std::vector<std::uint8_t>();
        return fail(reason);
    }
    return true;
}

bool PcdReader::checkText()
{
    // A text value takes at least a digit and a separator.
    if (header_.points > file_.size() / 2 / std::max<std::uint64_t>(header_.valuesPerPoint, 1))
        return fail(Reason(msg::kMorePointsThanFile));
    // A body shorter than the line limit is held whole, so its buffer
    // need not be larger than the body.
    const std::uint64_t body = file_.size() - std::min(file_.size(), header_.dataOffset);
    textCapacity_ = static_cast<std::size_t>(std::min<std::uint64_t>(kLineLimit, body + 1));
    try {
        text_.reset(new char[textCapacity_]);
    } catch (const std::bad_alloc&) {
        return fail(Reason(msg::kNoMemoryForText));
    }
    if (!rewindText())
        return false;
    std::uint64_t seen = 0;
    while (seen < header_.points) {
        std::string_view line;
        bool tooLong = false;
        if (!nextLine(line, tooLong)) {
            if (!failed())
                fail(Reason(msg::kEndsAfterPoints, seen, header_.points));
            return false;
        }
        if (tooLong)
            return fail(Reason(msg::kLineTooLong, lineNumber_));
        if (line.empty())
            continue;
        if (!parseLine(line, lineNumber_, nullptr))
            return false;
        ++seen;
    }
    return rewindText();
}

bool PcdReader::rewindText()
{
    textBegin_ = textEnd_ = 0;
    textOffset_ = header_.dataOffset;
    lineNumber_ = header_.headerLines;
    return true;
}

bool PcdReader::nextLine(std::string_view& line, bool& tooLong)
{
    tooLong = false;
    for (;;) {
        const char* begin = text_.get() + textBegin_;
        const void* newline = std::memchr(begin, '\n', textEnd_ - textBegin_);
        if (newline) {
            const std::size_t length = static_cast<const char*>(newline) - begin;
            line = std::string_view(begin, length);
            textBegin_ += length + 1;
            ++lineNumber_;
            return true;
        }
        const bool atEnd = textOffset_ >= file_.size();
        if (atEnd) {
            if (textBegin_ == textEnd_)
                return false;
            line = std::string_view(begin, textEnd_ - textBegin_); // a last line without "\n"
            textBegin_ = textEnd_;
            ++lineNumber_;
            return true;
        }
        if (textBegin_ == 0 && textEnd_ == textCapacity_) {
            // No end in sight: the line is given up and the rest of it skipped.
            tooLong = true;
            line = std::string_view();
            ++lineNumber_;
            textBegin_ = textEnd_ = 0;
            return true;
        }
        std::memmove(text_.get(), begin, textEnd_ - textBegin_);
        textEnd_ -= textBegin_;
        textBegin_ = 0;
        // Read in modest pieces; the buffer only fills up for a long line.
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
            std::min(textCapacity_ - textEnd_, kChunkBytes), file_.size() - textOffset_));
        const std::size_t got = file_.readAt(textOffset_, text_.get() + textEnd_, wanted);
        if (got != wanted) {
            fail(Reason(msg::kCannotReadAfter, textOffset_ + got));
            return false;
        }
        textOffset_ += got;
        textEnd_ += got;
    }
}

bool PcdReader::parseLine(std::string_view line, std::uint64_t lineNumber, PcdPoint* point)
{
    std::uint64_t tokens = 0;
    bool numbers = true;
    double values[3] = {0, 0, 0};
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && isClassicSpace(line[at]))
            ++at;
        const std::size_t begin = at;
        while (at < line.size() && !isClassicSpace(line[at]))
            ++at;
        if (at == begin)
            break;
        const std::string_view token = line.substr(begin, at - begin);
        bool number = false;
        const bool value = isValueToken(token, number);
        numbers = numbers && value;
        if (point && value)
            for (int i = 0; i < 3; ++i)
                if (xyz_[i].valueIndex == tokens)
                    values[i] = textValue(xyz_[i].type, token, number);
        ++tokens;
    }
    if (tokens != header_.valuesPerPoint)
        return fail(Reason(msg::kWrongValueCount, lineNumber, tokens, header_.valuesPerPoint));
    if (!numbers)
        return fail(Reason(msg::kNotANumber, lineNumber));
    if (point)
        *point = {values[0], values[1], values[2]};
    return true;
}

std::size_t PcdReader::readPoints(PcdPoint* out, std::size_t n)
{
    if (failed() || pointsRead_ >= header_.points)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, header_.points - pointsRead_));
    std::size_t got = 0;
    switch (header_.encoding) {
    case PcdEncoding::Binary: got = readBinary(out, n); break;
    case PcdEncoding::BinaryCompressed: got = readUnpacked(out, n); break;
    case PcdEncoding::Ascii: got = readText(out, n); break;
    }
    pointsRead_ += got;
    return got;
}

std::size_t PcdReader::readBinary(PcdPoint* out, std::size_t n)
{
    const std::uint64_t step = header_.pointBytes;
    if (step > kChunkBytes) {
        // Records too wide to buffer: only the coordinates are read.
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t record = header_.dataOffset + (pointsRead_ + i) * step;
            double* targets[3] = {&out[i].x, &out[i].y, &out[i].z};
            for (int c = 0; c < 3; ++c) {
                std::uint8_t value[8];
                if (file_.readAt(record + xyz_[c].offset, value, xyz_[c].size) != xyz_[c].size) {
                    fail(Reason(msg::kCannotReadPointsAfter, record));
                    return i;
                }
                *targets[c] = binaryValue(xyz_[c].type, value, header_.bigEndian);
            }
        }
        return n;
    }
    std::size_t done = 0;
    while (done < n) {
        const std::size_t count = std::min(n - done, std::max<std::size_t>(1, kChunkBytes / step));
        chunk_.resize(count * step);
        const std::uint64_t at = header_.dataOffset + (pointsRead_ + done) * header_.pointBytes;
        if (file_.readAt(at, chunk_.data(), chunk_.size()) != chunk_.size()) {
            fail(Reason(msg::kCannotReadPointsAfter, at));
            break;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* record = chunk_.data() + i * step;
            PcdPoint& p = out[done + i];
            p.x = binaryValue(xyz_[0].type, record + xyz_[0].offset, header_.bigEndian);
            p.y = binaryValue(xyz_[1].type, record + xyz_[1].offset, header_.bigEndian);
            p.z = binaryValue(xyz_[2].type, record + xyz_[2].offset, header_.bigEndian);
        }
        done += count;
    }
    return done;
}

std::size_t PcdReader::readUnpacked(PcdPoint* out, std::size_t n)
{
    const auto value = [&](const Coordinate& c, std::uint64_t index) {
        return binaryValue(c.type, body_.data() + c.block + index * c.stride, false);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t index = pointsRead_ + i;
        out[i] = {value(xyz_[0], index), value(xyz_[1], index), value(xyz_[2], index)};
    }
    return n;
}

std::size_t PcdReader::readText(PcdPoint* out, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        std::string_view line;
        bool tooLong = false;
        if (!nextLine(line, tooLong)) {
            // Checked by open(): only a file changed since can end early.
            fail(Reason(msg::kEndsAfterPoints, pointsRead_ + done, header_.points));
            break;
        }
        if (tooLong) {
            fail(Reason(msg::kLineTooLong, lineNumber_));
            break;
        }
        if (line.empty())
            continue;
        if (!parseLine(line, lineNumber_, &out[done]))
            break;
        ++done;
    }
    return done;
}

} // namespace pcd
} // namespace nimbus
