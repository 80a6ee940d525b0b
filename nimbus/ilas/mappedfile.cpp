#include "mappedfile.h"

#include "nativepath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace nimbus::ilas {

// Whichever of the three ways held the bytes, so close() can undo it.
struct MappedFile::Mapping {
    std::vector<std::uint8_t> buffer; // the read-into-memory fallback
#ifdef _WIN32
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE map = nullptr;
    const void* view = nullptr;
#else
    int fd = -1;
    void* address = nullptr;
    std::size_t length = 0;
#endif
    ~Mapping()
    {
#ifdef _WIN32
        if (view)
            UnmapViewOfFile(view);
        if (map)
            CloseHandle(map);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
#else
        if (address)
            munmap(address, length);
        if (fd >= 0)
            ::close(fd);
#endif
    }
};

MappedFile::MappedFile() = default;

MappedFile::~MappedFile() = default;

void MappedFile::close()
{
    mapping_.reset();
    data_ = nullptr;
    size_ = 0;
}

void MappedFile::borrow(const std::uint8_t* data, std::uint64_t size)
{
    close();
    data_ = data;
    size_ = data ? size : 0;
}

namespace {

// Fallback for files that cannot be mapped (empty ones, some network
// shares): read the file through stdio, in pieces, until its end.
bool readWhole(const std::string& path, std::vector<std::uint8_t>& out, std::string& error)
{
    std::FILE* file = quillfen::openFile(path, "rb");
    if (!file) {
        error = "cannot open: " + std::string(std::strerror(errno));
        return false;
    }
    constexpr std::size_t kPiece = 1u << 20;
    std::size_t used = 0;
    for (;;) {
        out.resize(used + kPiece);
        const std::size_t got = std::fread(out.data() + used, 1, kPiece, file);
        used += got;
        if (got < kPiece)
            break;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    out.resize(used);
    if (failed) {
        error = "read error";
        return false;
    }
    return true;
}

} // namespace

bool MappedFile::open(const std::string& path, std::string& error, bool wholeFile)
{
    close();
    auto mapping = std::make_unique<Mapping>();
#ifdef _WIN32
    (void)wholeFile;
    // Others may read the file meanwhile and replace or delete its name (the
    // mapping keeps the old contents), as on other systems.
    const std::wstring widePath = quillfen::wideFromUtf8(path);
    mapping->file = CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mapping->file == INVALID_HANDLE_VALUE) {
        // A folder cannot be opened this way at all; say what it is.
        const DWORD attributes = GetFileAttributesW(widePath.c_str());
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        error = folder ? "not a regular file" : "cannot open the file";
        return false;
    }
    if (GetFileType(mapping->file) != FILE_TYPE_DISK) {
        error = "not a regular file";
        return false;
    }
    LARGE_INTEGER length;
    if (GetFileSizeEx(mapping->file, &length) && length.QuadPart > 0) {
        mapping->map = CreateFileMappingW(mapping->file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping->map)
            mapping->view = MapViewOfFile(mapping->map, FILE_MAP_READ, 0, 0, 0);
        if (mapping->view) {
            data_ = static_cast<const std::uint8_t*>(mapping->view);
            size_ = static_cast<std::uint64_t>(length.QuadPart);
            mapping_ = std::move(mapping);
            return true;
        }
    }
    mapping = std::make_unique<Mapping>();
#else
    // Non-blocking, so that opening a FIFO cannot wait for a writer; only
    // regular files are read at all (a device could be endless).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot open: " + std::string(std::strerror(errno));
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = "not a regular file";
        return false;
    }
    if (info.st_size > 0) {
        const auto length = static_cast<std::size_t>(info.st_size);
        int flags = MAP_SHARED;
#ifdef MAP_POPULATE
        if (wholeFile)
            flags |= MAP_POPULATE;
#endif
        void* address = mmap(nullptr, length, PROT_READ, flags, fd, 0);
        if (address != MAP_FAILED) {
            mapping->fd = fd;
            mapping->address = address;
            mapping->length = length;
            data_ = static_cast<const std::uint8_t*>(address);
            size_ = length;
            mapping_ = std::move(mapping);
            return true;
        }
    }
    ::close(fd);
#endif
    if (!readWhole(path, mapping->buffer, error))
        return false;
    data_ = mapping->buffer.data();
    size_ = mapping->buffer.size();
    mapping_ = std::move(mapping);
    return true;
}

bool MappedFile::readAt(std::uint64_t offset, void* out, std::size_t count) const
{
    if (count == 0)
        return true;
    auto* to = static_cast<std::uint8_t*>(out);
#ifdef _WIN32
    if (mapping_ && mapping_->file != INVALID_HANDLE_VALUE) {
        // A synchronous handle with an offset in the OVERLAPPED structure:
        // the read starts there whatever the handle's position, and other
        // threads' reads do not move it.
        while (count > 0) {
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD got = 0;
            if (!ReadFile(mapping_->file, to, piece, &got, &at) || got == 0)
                return false;
            to += got;
            offset += got;
            count -= got;
        }
        return true;
    }
#else
    if (mapping_ && mapping_->fd >= 0) {
        while (count > 0) {
            const ssize_t got = ::pread(mapping_->fd, to, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            to += got;
            offset += static_cast<std::uint64_t>(got);
            count -= static_cast<std::size_t>(got);
        }
        return true;
    }
#endif
    // Bytes held in memory (read whole, or borrowed) cannot change.
    if (offset > size_ || count > size_ - offset)
        return false;
    std::memcpy(to, data_ + offset, count);
    return true;
}

} // namespace nimbus::ilas
