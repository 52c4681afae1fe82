#include "common/frame.h"

namespace korvel {

Extraction ExtractFrame(const uint8_t* bytes, int available)
{
    if (available < kMinPeekForFrame) {
        return {ExtractKind::Wait, 0}; // also a negative count (a socket error)
    }
    const int looked = available > kAreaSize ? kAreaSize : available;
    if (bytes[2] != 0 || bytes[3] != 0 || bytes[4] != 0) {
        // Not a frame we can measure: everything looked at goes to processing once.
        return {ExtractKind::Reject, looked};
    }
    const int n = bytes[5] + kMbapPrefix;
    if (looked < n) {
        return {ExtractKind::Wait, 0};
    }
    return {ExtractKind::Frame, n};
}

} // namespace korvel
