#include "mappedfile.h"

#include "nativepath.h"

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
            ::close(fd);
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

} // namespace nimbus::ilas
