// The one framing loop of the server: look at what a connection holds, cut the next whole frame
// out of it and have the engine answer it. The server runtime calls it for every readable
// connection; the fuzz target calls the same function over arbitrary byte streams.
#pragma once

#include "server/server_engine.h"

#include <cstdint>

namespace korvel {

// What the framing loop needs of a connection's receive buffer.
class FrameSource {
  public:
    virtual ~FrameSource() = default;
    // Copies up to `max` buffered bytes without consuming them; the count, negative on error.
    virtual int peek(uint8_t* dst, int max) = 0;
    // Consumes n buffered bytes (the peek showed them); the count, negative on error.
    virtual int take(uint8_t* dst, int n) = 0;
};

enum class FramingStep {
    Wait,     // no whole frame yet (or nothing readable): the bytes stay buffered
    Answered, // one frame was taken and processed; look again for the next one
    Rejected, // not a frame that can be measured: processed once, then the connection is closed
};

struct FramingResult {
    FramingStep step = FramingStep::Wait;
    ProcessResult result; // what to log and send (Answered, Rejected)
};

// Handles the next frame of connection c. `scratch` holds at least 513 bytes. A frame is answered
// one frame late while "Reply Out of Synch" is on; a rejected stream is processed at once.
FramingResult ServeNextFrame(ServerEngine& engine, int c, FrameSource& source, uint8_t* scratch, uint32_t nowMs);

} // namespace korvel
