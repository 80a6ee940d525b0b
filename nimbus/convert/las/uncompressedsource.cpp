// Plain LAS records read in large blocks straight from the file.

#include "inputfile.h"
#include "pointsource.h"
#include "lasmessages.h"

#include <algorithm>

namespace nimbus {
namespace las {

namespace {

constexpr std::size_t kBlockBytes = 4u << 20;

class UncompressedSource : public PointSource {
public:
    explicit UncompressedSource(const LasHeader& header)
        : header_(header)
        , total_(header.pointCount())
    {
    }

    bool open(const std::string& path, Reason& error)
    {
        if (!file_.open(path, error))
            return false;
        const std::uint64_t start = header_.pointDataOffset;
        present_ = file_.size() > start ? (file_.size() - start) / header_.recordLength : 0;
        return true;
    }

    std::size_t readRecords(std::uint8_t* out, std::size_t max) override
    {
        const std::size_t rl = header_.recordLength;
        const std::uint64_t left = total_ - delivered_;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(max, left));
        const std::uint64_t available = present_ > delivered_ ? present_ - delivered_ : 0;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(want, available));
        std::size_t got = 0;
        if (n > 0) {
            const std::uint64_t offset = std::uint64_t(header_.pointDataOffset) + delivered_ * rl;
            got = file_.readAt(offset, out, n * rl) / rl;
        }
        delivered_ += got;
        if (got < want)
            fail(Reason(msg::kEndsAfter, delivered_, total_));
        return got;
    }

    std::size_t readPoints(LasPoint* out, std::size_t max) override
    {
        const std::size_t rl = header_.recordLength;
        const std::size_t perBlock = std::max<std::size_t>(1, kBlockBytes / rl);
        block_.resize(perBlock * rl);
        std::size_t got = 0;
        while (got < max && !failed()) {
            const std::size_t want = std::min(perBlock, max - got);
            const std::size_t n = readRecords(block_.data(), want);
            extractPoints(block_.data(), n, rl, header_, out + got);
            got += n;
            if (n < want)
                break;
        }
        return got;
    }

private:
    LasHeader header_;
    InputFile file_;
    std::uint64_t total_;
    std::uint64_t present_ = 0;
    std::uint64_t delivered_ = 0;
    std::vector<std::uint8_t> block_;
};

} // namespace

std::unique_ptr<PointSource> makeUncompressedSource(const std::string& path, const LasHeader& header,
                                                    Reason& error)
{
    auto source = std::make_unique<UncompressedSource>(header);
    if (!source->open(path, error))
        return nullptr;
    return source;
}

} // namespace las
} // namespace nimbus
