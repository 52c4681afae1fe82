#include "server/framing.h"

#include "common/frame.h"

namespace korvel {

FramingResult ServeNextFrame(ServerEngine& engine, int c, FrameSource& source, uint8_t* scratch, uint32_t nowMs)
{
    FramingResult out;
    ConnectionState& conn = engine.connection(c);
    const int count = source.peek(scratch, kAreaSize);
    if (count < 0)
        return out;
    conn.PacketSize = count;
    const Extraction extraction = ExtractFrame(scratch, count);
    switch (extraction.kind) {
    case ExtractKind::Wait:
        return out;
    case ExtractKind::Reject:
        out.step = FramingStep::Rejected;
        out.result =
            engine.process(c, std::span<const uint8_t>(scratch, static_cast<size_t>(extraction.length)), nowMs);
        return out;
    case ExtractKind::Frame: {
        const int n = source.take(scratch, extraction.length);
        if (n <= 0)
            return out;
        conn.PacketSize = n;
        conn.BytesReceived += static_cast<uint64_t>(n);
        const std::span<const uint8_t> frame(scratch, static_cast<size_t>(n));
        out.step = FramingStep::Answered;
        out.result =
            engine.settings.OutOfSynchActive ? engine.exchange(c, frame, nowMs) : engine.process(c, frame, nowMs);
        return out;
    }
    }
    return out;
}

} // namespace korvel
