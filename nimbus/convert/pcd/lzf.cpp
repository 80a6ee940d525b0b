#include "lzf.h"
#include "pcdmessages.h"

#include <cstring>

namespace nimbus {
namespace pcd {

bool lzfDecompress(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out,
                   std::size_t outSize, Reason& reason)
{
    std::size_t ip = 0, op = 0;
    while (ip < inSize) {
        const unsigned control = in[ip++];
        if (control < 32) {
            const std::size_t length = control + 1;
            if (length > inSize - ip) {
                reason = Reason(msg::kLzfEndsInLiteral);
                return false;
            }
            if (length > outSize - op) {
                reason = Reason(msg::kLzfTooLong);
                return false;
            }
            std::memcpy(out + op, in + ip, length);
            ip += length;
            op += length;
            continue;
        }
        std::size_t length = control >> 5;
        if (length == 7) {
            if (ip >= inSize) {
                reason = Reason(msg::kLzfEndsInReference);
                return false;
            }
            length += in[ip++];
        }
        if (ip >= inSize) {
            reason = Reason(msg::kLzfEndsInReference);
            return false;
        }
        const std::size_t distance = ((std::size_t(control & 0x1f) << 8) | in[ip++]) + 1;
        length += 2;
        if (distance > op) {
            reason = Reason(msg::kLzfReferenceBeforeStart);
            return false;
        }
        if (length > outSize - op) {
            reason = Reason(msg::kLzfTooLong);
            return false;
        }
        // A copy may overlap the bytes it produces (a repeating pattern), so
        // it goes byte by byte unless source and target are far apart.
        const std::uint8_t* from = out + op - distance;
        if (distance >= length) {
            std::memcpy(out + op, from, length);
        } else {
            for (std::size_t i = 0; i < length; ++i)
                out[op + i] = from[i];
        }
        op += length;
    }
    if (op != outSize) {
        reason = Reason(msg::kLzfOtherSize, op, outSize);
        return false;
    }
    return true;
}

} // namespace pcd
} // namespace nimbus
