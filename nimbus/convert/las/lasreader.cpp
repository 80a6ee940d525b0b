#include "lasreader.h"

#include "bytes.h"
#include "inputfile.h"
#include "lasmessages.h"
#include "lazsources.h"
#include "pointsource.h"
#include "systemerror.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace nimbus {
namespace las {

void extractPoints(const std::uint8_t* records, std::size_t count, std::size_t recordLength, const LasHeader& header,
                   LasPoint* out)
{
    if (header.hasRgb()) {
        const std::size_t rgb = header.rgbOffset();
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* r = records + i * recordLength;
            out[i].x = loadI32(r);
            out[i].y = loadI32(r + 4);
            out[i].z = loadI32(r + 8);
            out[i].red = loadU16(r + rgb);
            out[i].green = loadU16(r + rgb + 2);
            out[i].blue = loadU16(r + rgb + 4);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* r = records + i * recordLength;
            out[i].x = loadI32(r);
            out[i].y = loadI32(r + 4);
            out[i].z = loadI32(r + 8);
            out[i].red = out[i].green = out[i].blue = 0;
        }
    }
}

std::unique_ptr<PointSource> makeLazSource(const std::string& path, const LasHeader& header, bool forRecords,
                                           unsigned threads, Reason& error)
{
    auto sequential = std::make_unique<LazSequentialSource>(header, forRecords);
    if (!sequential->open(path, error))
        return nullptr;
    if (forRecords || threads < 2 || !sequential->haveTable() || sequential->chunks().size() < 2)
        return sequential;
    for (const ChunkEntry& c : sequential->chunks()) {
        if (c.points > LazParallelSource::kMaxChunkPoints)
            return sequential;
    }
    try {
        return std::make_unique<LazParallelSource>(path, header, sequential->chunks(), threads);
    } catch (const std::system_error&) {
        // No threads to be had: the calling thread decodes on its own.
        return sequential;
    }
}

struct LasReader::Impl {
    std::string path;
    LasHeader header;
    Reason error;
    bool opened = false;
    bool failed = false;
    std::uint64_t pointsRead = 0;
    unsigned threads = 0;
    std::unique_ptr<PointSource> source;

    bool ensureSource(bool forRecords)
    {
        if (source)
            return true;
        if (!opened || failed)
            return false;
        Reason err;
        if (header.compressed) {
            unsigned n = threads;
            if (n == 0)
                n = std::min(4u, std::max(1u, std::thread::hardware_concurrency()));
            source = makeLazSource(path, header, forRecords, n, err);
        } else {
            source = makeUncompressedSource(path, header, err);
        }
        if (!source) {
            failed = true;
            error = err;
            return false;
        }
        return true;
    }
    void noteResult(std::size_t n)
    {
        pointsRead += n;
        if (source->failed() && !failed) {
            failed = true;
            error = source->error();
        }
    }
};

LasReader::LasReader()
    : d_(std::make_unique<Impl>())
{
}

LasReader::~LasReader() = default;

bool LasReader::open(const std::string& path)
{
    try {
        return openFile(path);
    } catch (const std::exception& e) {
        d_->opened = false;
        d_->error = Reason(msg::kCannotOpenBecause, ownWords(e.what()));
        return false;
    }
}

bool LasReader::openFile(const std::string& path)
{
    const unsigned threads = d_->threads;
    d_ = std::make_unique<Impl>();
    d_->threads = threads;
    d_->path = path;
    InputFile file;
    if (!file.open(path, d_->error))
        return false;
    std::vector<std::uint8_t> prefix(kMaxHeaderPrefix);
    const std::size_t got = file.readAt(0, prefix.data(), prefix.size());
    prefix.resize(got);
    if (got >= 100) {
        // Read everything up to the point data, where the VLRs live.
        const std::uint64_t pointData = loadU32(prefix.data() + 96);
        // VLRs beyond 64 MiB are not read: no real file has that many.
        const std::uint64_t limit = std::min<std::uint64_t>(pointData, 64u << 20);
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(limit, file.size()));
        if (want > got) {
            prefix.resize(want);
            prefix.resize(got + file.readAt(got, prefix.data() + got, want - got));
        }
    }
    if (!parseLasHeader(prefix.data(), prefix.size(), file.size(), d_->header, d_->error))
        return false;
    d_->opened = true;
    return true;
}

const LasHeader& LasReader::header() const { return d_->header; }
const Reason& LasReader::reason() const { return d_->error; }
std::string LasReader::error() const { return d_->error.text(); }
bool LasReader::failed() const { return d_->failed; }
std::uint64_t LasReader::pointsRead() const { return d_->pointsRead; }
void LasReader::setDecodeThreads(unsigned threads) { d_->threads = threads; }

// Memory for chunks is sized from the file; a corrupt file may still ask for
// more than there is. That ends the read with a reason, not an exception.
template <class Read>
std::size_t LasReader::guardedRead(bool fullRecords, Read read)
{
    try {
        if (!d_->ensureSource(fullRecords))
            return 0;
        const std::size_t n = read(*d_->source);
        d_->noteResult(n);
        return n;
    } catch (const std::exception& e) {
        d_->failed = true;
        d_->error = Reason(msg::kReadingStopped, ownWords(e.what()));
        return 0;
    }
}

std::size_t LasReader::readPoints(LasPoint* out, std::size_t max)
{
    return guardedRead(false, [&](auto& source) { return source.readPoints(out, max); });
}

std::size_t LasReader::readRecords(std::uint8_t* out, std::size_t max)
{
    return guardedRead(true, [&](auto& source) { return source.readRecords(out, max); });
}

} // namespace las
} // namespace nimbus
