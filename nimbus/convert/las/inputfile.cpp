#include "inputfile.h"

#include "lasmessages.h"
#include "nativepath.h"
#include "systemerror.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace nimbus {
namespace las {

namespace {
int seekTo(std::FILE* f, std::uint64_t offset, int whence)
{
#ifdef _WIN32
    return _fseeki64(f, static_cast<__int64>(offset), whence);
#else
    return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

std::int64_t tell(std::FILE* f)
{
#ifdef _WIN32
    return _ftelli64(f);
#else
    return ftello(f);
#endif
}
} // namespace

InputFile::~InputFile()
{
    if (file_)
        std::fclose(file_);
}

bool InputFile::open(const std::string& path, Reason& error)
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    // A pipe or a device would block the open or the reads for good, and a
    // folder cannot be read: only regular files are opened.
    std::error_code status;
    if (std::filesystem::exists(quillfen::fileSystemPath(path), status)
        && !std::filesystem::is_regular_file(quillfen::fileSystemPath(path), status)) {
        error = Reason(msg::kCannotOpenNotRegular, path);
        return false;
    }
    file_ = quillfen::openFile(path, "rb");
    if (!file_) {
        const int cause = errno;
        error = Reason(msg::kCannotOpen, path, systemError(cause));
        return false;
    }
    // Reads are large and explicit; the stdio buffer would only copy twice.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    if (seekTo(file_, 0, SEEK_END) != 0) {
        error = Reason(msg::kCannotDetermineSize, path);
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    const std::int64_t end = tell(file_);
    if (end < 0 || seekTo(file_, 0, SEEK_SET) != 0) {
        error = Reason(msg::kCannotDetermineSize, path);
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    size_ = static_cast<std::uint64_t>(end);
    position_ = 0;
    return true;
}

bool InputFile::seek(std::uint64_t offset)
{
    if (offset == position_)
        return true;
    if (seekTo(file_, offset, SEEK_SET) != 0)
        return false;
    position_ = offset;
    return true;
}

std::size_t InputFile::readAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (!file_ || offset >= size_ || n == 0)
        return 0;
    if (n > size_ - offset)
        n = static_cast<std::size_t>(size_ - offset);
    if (!seek(offset))
        return 0;
    const std::size_t got = std::fread(dst, 1, n, file_);
    position_ += got;
    if (got < n) {
        std::clearerr(file_);
        // Re-seek on the next read: the position after a short read is unsure.
        position_ = ~std::uint64_t(0);
    }
    return got;
}

} // namespace las
} // namespace nimbus
