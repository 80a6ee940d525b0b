// Feeds arbitrary bytes to the E57 library as a whole file: the header,
// every page read through its checksum, the XML section and the records of
// every scan. Checksums would stop nearly every mutation at the first page
// they touch, so an input whose first byte is 0x01 is taken as a file (the
// bytes after it) whose pages' checksums are made right first: seeded with
// the sample files prefixed so, mutations reach the XML and the packets.

#include "crc32c.h"
#include "e57file.h"
#include "scanrecords.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Records decoded per input at most; keeps each run short.
constexpr std::uint64_t kMaxRecords = 200000;

void readEverything(const std::uint8_t* data, std::size_t size)
{
    nimbus::e57::E57File file;
    if (!file.openMemory(data, size)) {
        if (file.error().empty())
            __builtin_trap(); // a failure must always say why
        return;
    }
    std::uint64_t total = 0;
    nimbus::e57::RecordBatch batch;
    for (std::size_t s = 0; s < file.scans().size() && total < kMaxRecords; ++s) {
        nimbus::e57::ScanRecordReader reader(file.pages(), file.scans()[s], static_cast<int>(s + 1));
        if (!reader.open()) {
            if (reader.error().empty())
                __builtin_trap();
            continue;
        }
        while (total < kMaxRecords) {
            const std::size_t n = reader.read(batch, 1000 + s * 7);
            if (n == 0)
                break;
            if (batch.x.size() < n || batch.invalid.size() < n)
                __builtin_trap();
            total += n;
        }
        if (reader.failed() && reader.error().empty())
            __builtin_trap();
        if (!reader.failed() && reader.recordsRead() != file.scans()[s].recordCount && total < kMaxRecords)
            __builtin_trap(); // a scan ends early only with a reason
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0 && data[0] == 0x01) {
        std::vector<std::uint8_t> copy(data + 1, data + size);
        for (std::size_t page = 0; page + 1024 <= copy.size(); page += 1024) {
            const std::uint32_t crc = nimbus::e57::crc32c(copy.data() + page, 1020);
            for (int i = 0; i < 4; ++i)
                copy[page + 1020 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        }
        readEverything(copy.data(), copy.size());
    } else {
        readEverything(data, size);
    }
    return 0;
}
