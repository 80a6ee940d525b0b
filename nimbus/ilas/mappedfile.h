#pragma once
// The whole of a file as read-only bytes: memory-mapped where the platform
// allows it (POSIX mmap, Windows file mapping), otherwise read into memory.
// The object owns the mapping or the buffer; the bytes live as long as it.
// It also keeps the file open for reads at an offset, which fail when the
// file has become shorter, where touching a cut mapping would end the
// process with a bus error (Windows: an in-page error).

#include <cstdint>
#include <memory>
#include <string>

namespace nimbus::ilas {

class MappedFile {
public:
    MappedFile();
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // `path` is in the platform's 8-bit file name encoding. With `wholeFile`
    // the mapping is filled at once where the platform can (Linux), which
    // costs less than page by page for a caller about to read everything.
    // On failure the object stays empty and `error` says why.
    bool open(const std::string& path, std::string& error, bool wholeFile = false);
    // Serves bytes the caller holds (and keeps alive) instead of a file's.
    void borrow(const std::uint8_t* data, std::uint64_t size);
    void close();

    const std::uint8_t* data() const { return data_; }
    // The size when the file was opened.
    std::uint64_t size() const { return size_; }
    // Copies `count` bytes from `offset` of the file as it is now into `out`;
    // false when fewer are there. Safe to call from several threads at once.
    bool readAt(std::uint64_t offset, void* out, std::size_t count) const;

private:
    struct Mapping;
    std::unique_ptr<Mapping> mapping_;
    const std::uint8_t* data_ = nullptr;
    std::uint64_t size_ = 0;
};

} // namespace nimbus::ilas
