#pragma once
// Where a LasReader's points come from: plain records of an uncompressed
// file, or LAZ chunks decoded on the calling thread or ahead of it by worker
// threads. One virtual call per batch, never per point.

#include "chunktable.h"
#include "lasreader.h"
#include "nimbusreason.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbus {
namespace las {

class PointSource {
public:
    virtual ~PointSource() = default;
    virtual std::size_t readRecords(std::uint8_t* out, std::size_t max) = 0;
    virtual std::size_t readPoints(LasPoint* out, std::size_t max) = 0;

    bool failed() const { return failed_; }
    const Reason& error() const { return error_; }

protected:
    void fail(const Reason& reason)
    {
        if (!failed_) {
            failed_ = true;
            error_ = reason;
        }
    }

private:
    bool failed_ = false;
    Reason error_;
};

std::unique_ptr<PointSource> makeUncompressedSource(const std::string& path, const LasHeader& header,
                                                    Reason& error);

// `forRecords`: complete records are wanted (every field decoded, no worker
// threads). `threads` > 1 allows decoding chunks ahead on worker threads.
std::unique_ptr<PointSource> makeLazSource(const std::string& path, const LasHeader& header, bool forRecords,
                                           unsigned threads, Reason& error);

} // namespace las
} // namespace nimbus
