#pragma once
// Random-access reads from a file on disk, with 64-bit offsets on every
// platform. Each object holds its own handle, so decoding threads can read
// side by side without sharing a file position.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "nimbusreason.h"

namespace nimbus {
namespace las {

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // `path` is in the platform's 8-bit file name encoding.
    bool open(const std::string& path, Reason& error);
    bool isOpen() const { return file_ != nullptr; }
    std::uint64_t size() const { return size_; }

    // Reads up to `n` bytes at `offset`; returns how many were read (fewer
    // only at the end of the file or on a read error).
    std::size_t readAt(std::uint64_t offset, void* dst, std::size_t n);

private:
    bool seek(std::uint64_t offset);

    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

} // namespace las
} // namespace nimbus
