#include "ilasreader.h"

#include <algorithm>

namespace nimbus::ilas {

namespace {

const char kFileChangedRule[] = "file-changed";
const char kFileChanged[] = "file changed while reading";

// Text of a fixed-size, NUL-terminated field; stops at the field's end when
// a damaged file has no NUL.
std::string fieldText(const char* field, std::size_t size)
{
    const void* nul = std::memchr(field, 0, size);
    return std::string(field, nul ? static_cast<const char*>(nul) - field : size);
}

} // namespace

std::string Problem::text() const
{
    if (!found())
        return {};
    std::string where = block >= 0 ? "block " + std::to_string(block) + ": " : std::string();
    return where + rule + ": " + detail;
}

void IlasReader::close()
{
    file_.close();
    path_.clear();
    state_ = FileState::Unreadable;
    problem_ = Problem{};
    hasHeader_ = false;
    header_ = IlasHeader{};
    blocks_.clear();
}

bool IlasReader::fail(FileState state, std::int64_t block, const char* rule, std::string detail)
{
    state_ = state;
    problem_.block = block;
    problem_.rule = rule;
    problem_.detail = std::move(detail);
    blocks_.clear();
    return false;
}

bool IlasReader::open(const std::string& path, Reading reading)
{
    close();
    path_ = path;
    std::string error;
    if (!file_.open(path, error, reading == Reading::EveryPoint))
        return fail(FileState::Unreadable, -1, "open", error);
    return readHeader();
}

bool IlasReader::openMemory(const void* data, std::uint64_t size, const std::string& name)
{
    close();
    path_ = name;
    file_.borrow(static_cast<const std::uint8_t*>(data), size);
    return readHeader();
}

bool IlasReader::readHeader()
{
    const std::uint64_t size = file_.size();
    if (size < static_cast<std::uint64_t>(kIlasHeaderSize))
        return fail(FileState::Damaged, -1, "header-size",
                    "the file has " + std::to_string(size) + " bytes, fewer than the "
                        + std::to_string(kIlasHeaderSize) + "-byte header");
    if (!file_.readAt(0, &header_, sizeof header_))
        return fail(FileState::Unreadable, -1, kFileChangedRule, kFileChanged + std::string(": the header"));
    hasHeader_ = true;

    const char* magic = header_.magic;
    if (std::memcmp(magic, kIlasMagic, sizeof kIlasMagic) != 0) {
        if (std::memcmp(magic, kIlasPlaceholderMagic, sizeof kIlasPlaceholderMagic) == 0)
            return fail(FileState::Unfinished, -1, "unfinished",
                        "the header still holds the placeholder magic \"" + std::string(kIlasPlaceholderMagic)
                            + "\": the conversion that wrote it did not complete");
        return fail(FileState::Damaged, -1, "magic",
                    "no ilas magic at byte 96 (found \"" + fieldText(magic, sizeof header_.magic) + "\")");
    }
    if (header_.hasColor > 1)
        return fail(FileState::Damaged, -1, "colour-flag",
                    "byte 0 is " + std::to_string(header_.hasColor) + ", neither 0 nor 1");
    return readDirectory();
}

bool IlasReader::readDirectory()
{
    const std::uint64_t size = file_.size();
    const std::int64_t directory = header_.directoryOffset;
    const std::int32_t count = header_.blockCount;
    // File size = directory offset + 40 x block count, in unsigned 64-bit
    // arithmetic that cannot overflow for the ranges let through.
    const bool sane = count >= 0 && directory >= kIlasHeaderSize
        && static_cast<std::uint64_t>(directory) <= size;
    const std::uint64_t end = sane ? static_cast<std::uint64_t>(directory)
            + static_cast<std::uint64_t>(kIlasEntrySize) * static_cast<std::uint64_t>(count)
                                   : 0;
    if (!sane || end != size)
        return fail(FileState::Damaged, -1, "file-size",
                    "a directory of " + std::to_string(count) + " records at byte " + std::to_string(directory)
                        + " does not end at the file's end (" + std::to_string(size) + " bytes)");

    blocks_.resize(static_cast<std::size_t>(count));
    if (!file_.readAt(static_cast<std::uint64_t>(directory), blocks_.data(), blocks_.size() * sizeof(IlasBlockEntry)))
        return fail(FileState::Unreadable, -1, kFileChangedRule, kFileChanged + std::string(": the directory"));
    const auto perPoint = static_cast<std::int64_t>(bytesPerPoint());
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const IlasBlockEntry& e = blocks_[i];
        // pointCount is at most 2^31 - 1, so the product stays far inside int64.
        if (e.pointCount < 0 || e.dataOffset < kIlasHeaderSize || e.dataOffset > directory
            || perPoint * e.pointCount > directory - e.dataOffset)
            return fail(FileState::Damaged, static_cast<std::int64_t>(i), "block-range",
                        std::to_string(e.pointCount) + " points at byte " + std::to_string(e.dataOffset)
                            + " do not lie within the point data (bytes "
                            + std::to_string(kIlasHeaderSize) + " to " + std::to_string(directory) + ")");
    }
    state_ = FileState::Complete;
    return true;
}

std::string IlasReader::magic() const
{
    return hasHeader_ ? fieldText(header_.magic, sizeof header_.magic) : std::string();
}

std::string IlasReader::createdAt() const
{
    return hasHeader_ ? fieldText(header_.createdAt, sizeof header_.createdAt) : std::string();
}

BlockView IlasReader::block(std::size_t index) const
{
    if (index >= blocks_.size())
        return {};
    const IlasBlockEntry& e = blocks_[index];
    return BlockView(file_.data() + e.dataOffset, e.pointCount, header_.hasColor == 1);
}

bool IlasReader::readBlock(std::size_t index, std::vector<std::uint8_t>& storage, BlockView& view,
                           Problem& problem) const
{
    view = BlockView();
    if (index >= blocks_.size()) {
        problem = Problem{static_cast<std::int64_t>(index), "block-range", "no such block"};
        return false;
    }
    const IlasBlockEntry& e = blocks_[index];
    // Checked against the file's size at opening, so this fits in memory's range.
    const std::size_t bytes = static_cast<std::size_t>(bytesPerPoint()) * static_cast<std::size_t>(e.pointCount);
    if (storage.size() < bytes)
        storage.resize(bytes);
    if (!file_.readAt(static_cast<std::uint64_t>(e.dataOffset), storage.data(), bytes)) {
        problem = Problem{static_cast<std::int64_t>(index), kFileChangedRule,
                          std::string(kFileChanged) + ": the file no longer holds the block's "
                              + std::to_string(bytes) + " bytes at byte " + std::to_string(e.dataOffset)};
        return false;
    }
    view = BlockView(storage.data(), e.pointCount, header_.hasColor == 1);
    return true;
}

Box IlasReader::blockBox(std::size_t index) const
{
    if (index >= blocks_.size())
        return Box{{0, 0, 0}, {0, 0, 0}};
    const IlasBlockEntry& e = blocks_[index];
    return Box{{header_.originX + e.minX, header_.originY + e.minY, header_.originZ + e.minZ},
               {header_.originX + e.maxX, header_.originY + e.maxY, header_.originZ + e.maxZ}};
}

std::vector<std::int32_t> IlasReader::blocksMeeting(const Box& query) const
{
    std::vector<std::int32_t> found;
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const Box box = blockBox(i);
        bool meets = true;
        for (int a = 0; a < 3; ++a)
            meets = meets && box.min[a] <= query.max[a] && query.min[a] <= box.max[a];
        if (meets)
            found.push_back(static_cast<std::int32_t>(i));
    }
    return found;
}

} // namespace nimbus::ilas
