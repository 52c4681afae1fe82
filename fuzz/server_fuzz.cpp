// Drives arbitrary byte streams on the two server connections through the server's own framing
// loop (frame extraction, the request checks, request execution and the out-of-synch exchange), with settings taken
// from the input, and checks what every reply must satisfy.
//
// Input: 4 setting bytes, then chunks of [control][length][length bytes]:
//   byte 0: 0x01 address offset, 0x02 wrong TI, 0x04 wrong PID, 0x08 wrong length high byte,
//           0x10 forced exception, 0x20 out of synch, 0x40 connection #2 open, 0x80 ascending values
//           at the start of the tables and in the two special registers
//   byte 1: forced exception code, one of the ten the menu offers
//   byte 2: function codes switched off (bit i: the i-th of 3, 4, 6, 7, 8, 16, 22, 23)
//   byte 3: UID selector: its decimal text ("0" = any), 255 = a text that is no number
//   control bit 0: connection #1 or #2; bits 1-3: 0-3 data for the stream, 4 switch out of synch,
//   5 close and reopen the connection, 6 one idle tick, 7 switch the address offset.
#include "common/frame.h"
#include "server/framing.h"
#include "server/server_engine.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace korvel;

namespace {

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "invariant failed: %s (line %d)\n", #condition, __LINE__);                            \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

constexpr uint8_t kCodes[] = {3, 4, 6, 7, 8, 16, 22, 23};

// One store for the whole run: building 3 x 65536 entries per input would cost more than the
// input itself. No invariant depends on register values.
RegisterStore& SharedStore()
{
    static RegisterStore store;
    return store;
}

struct Harness {
    RegisterStore& store = SharedStore();
    ServerEngine engine{store};
    std::vector<uint8_t> stream[2];
    uint32_t now = 0;

    void checkResult(const ProcessResult& r, uint64_t messagesBefore)
    {
        FUZZ_CHECK(r.replyLength >= 0 && r.replyLength <= kMaxFrameLength);
        FUZZ_CHECK(r.requestLength >= 0 && r.requestLength <= kAreaSize);
        if (!r.processed) {
            FUZZ_CHECK(!r.replyStep && r.replyLength == 0);
            FUZZ_CHECK(engine.counters.MessageCount == messagesBefore);
            return;
        }
        const CheckOutcome& o = r.outcome;
        FUZZ_CHECK(o.passed == (o.text == "Passed"));
        FUZZ_CHECK(o.headerError == (!o.passed && !o.illegalFunction && !o.illegalAddress));
        FUZZ_CHECK(!o.illegalValue || o.passed);
        if (o.noReply) {
            FUZZ_CHECK(!r.replyStep);
        }
        if (!o.passed) {
            FUZZ_CHECK(o.text.rfind(". ") == o.text.size() - 2);
        }
        const uint8_t* req = engine.workArea();
        const uint8_t* reply = engine.replyArea();
        FUZZ_CHECK(r.request.data() == req && r.request.size() == static_cast<size_t>(r.requestLength));
        const bool exceptionDue =
            o.illegalFunction || o.illegalAddress || o.illegalValue || engine.settings.ReturnExceptionActive;
        FUZZ_CHECK(exceptionDue == (r.exceptionCode != 0));
        if (!r.replyStep) {
            return;
        }
        FUZZ_CHECK(r.reply.size() == static_cast<size_t>(r.replyLength));
        if (exceptionDue) {
            FUZZ_CHECK(r.replyLength == 9);
            FUZZ_CHECK(reply[5] == 3);
            FUZZ_CHECK(reply[7] == static_cast<uint8_t>(req[7] + 0x80));
            FUZZ_CHECK(std::memcmp(reply + 2, req + 2, 3) == 0 && reply[6] == req[6]);
        } else if (o.passed) {
            FUZZ_CHECK(r.replyLength == reply[5] + 6);
            FUZZ_CHECK(reply[7] == req[7] && reply[6] == req[6]);
            FUZZ_CHECK(reply[4] == (engine.settings.WrongLengthHBActive ? 0xEF : 0));
            const uint8_t fc = req[7];
            if (fc == kFcReadHolding || fc == kFcReadInput || fc == kFcReadWriteMultiple) {
                FUZZ_CHECK(req[11] <= kMaxReadQuantity);
                FUZZ_CHECK(r.replyLength == 2 * req[11] + 9);
                FUZZ_CHECK(reply[8] == 2 * req[11]);
            }
        } else {
            FUZZ_CHECK(r.replyLength == 0); // a header failure without a forced exception: nothing
        }
    }

    void reopen(int c)
    {
        stream[c - 1].clear();
        engine.connectionClosed(c, true, now);
        engine.connectionAccepted(c, "127.0.0.1", now);
    }

    // What the runtime does with the bytes a connection holds: the same framing loop.
    struct StreamSource : FrameSource {
        std::vector<uint8_t>& s;
        explicit StreamSource(std::vector<uint8_t>& stream) : s(stream) {}
        int peek(uint8_t* dst, int max) override
        {
            const int n = std::min(max, static_cast<int>(s.size()));
            std::memcpy(dst, s.data(), static_cast<size_t>(n));
            return n;
        }
        int take(uint8_t* dst, int n) override
        {
            n = std::min(n, static_cast<int>(s.size()));
            std::memcpy(dst, s.data(), static_cast<size_t>(n));
            s.erase(s.begin(), s.begin() + n);
            return n;
        }
    };

    void drain(int c)
    {
        std::vector<uint8_t>& s = stream[c - 1];
        StreamSource source(s);
        uint8_t scratch[kAreaSize];
        while (engine.connection(c).open && !s.empty()) {
            const std::vector<uint8_t> before = s;
            const uint64_t messages = engine.counters.MessageCount;
            ++now;
            const FramingResult f = ServeNextFrame(engine, c, source, scratch, now);
            if (f.step == FramingStep::Wait) {
                FUZZ_CHECK(before.size() < kMinPeekForFrame ||
                           before[5] + kMbapPrefix > static_cast<int>(before.size()));
                FUZZ_CHECK(s == before);
                return;
            }
            checkResult(f.result, messages);
            if (f.step == FramingStep::Rejected) {
                FUZZ_CHECK(before[2] != 0 || before[3] != 0 || before[4] != 0);
                FUZZ_CHECK(f.result.processed);
                FUZZ_CHECK(f.result.requestLength == std::min<int>(static_cast<int>(before.size()), kAreaSize));
                reopen(c);
                return;
            }
            FUZZ_CHECK(before.size() - s.size() == static_cast<size_t>(before[5] + kMbapPrefix));
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    Harness h;
    ServerEngine& engine = h.engine;
    const uint8_t options = data[0];
    engine.settings.check.addressOffset = options & 0x01;
    engine.settings.WrongTIActive = options & 0x02;
    engine.settings.WrongPIDActive = options & 0x04;
    engine.settings.WrongLengthHBActive = options & 0x08;
    engine.settings.ReturnExceptionActive = options & 0x10;
    static constexpr uint8_t kForcedCodes[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11}; // the menu's choices
    engine.settings.ForcedExceptionCode = kForcedCodes[data[1] % 10];
    engine.setOutOfSynch(options & 0x20);
    if (options & 0x80) {
        // Ascending values where the examples read (the start of the tables and the two special
        // registers at the end).
        for (int a = 0; a < 300; ++a) {
            h.store.setHolding(static_cast<uint16_t>(a), static_cast<uint16_t>(a));
            h.store.setInput(static_cast<uint16_t>(a), static_cast<uint16_t>(a));
        }
        h.store.setHolding(kDiagnosticRegister, kDiagnosticRegister);
        h.store.setHolding(kExceptionStatusRegister, kExceptionStatusRegister);
    }
    CheckSettings& check = engine.settings.check;
    for (int i = 0; i < 8; ++i) {
        const bool on = !(data[2] & (1 << i));
        check.setServed(kCodes[i], on);
        FUZZ_CHECK(check.served(kCodes[i]) == on);
    }
    check.setUidSelectorText(data[3] == 255 ? std::string("no number") : std::to_string(data[3]));
    engine.connectionAccepted(1, "127.0.0.1", 0);
    if (options & 0x40) {
        engine.connectionAccepted(2, "127.0.0.2", 0);
    }

    size_t at = 4;
    while (at + 2 <= size) {
        const uint8_t control = data[at];
        const size_t length = data[at + 1];
        at += 2;
        const int c = (control & 1) ? 2 : 1;
        const int op = (control >> 1) & 7;
        const size_t take = length < size - at ? length : size - at;
        switch (op) {
        case 4:
            engine.setOutOfSynch(!engine.settings.OutOfSynchActive);
            break;
        case 5:
            h.reopen(c);
            break;
        case 6:
            if (engine.idleTick(c)) {
                h.reopen(c);
            }
            break;
        case 7:
            check.addressOffset = !check.addressOffset;
            break;
        default:
            if (engine.connection(c).open) {
                h.stream[c - 1].insert(h.stream[c - 1].end(), data + at, data + at + take);
                h.drain(c);
            }
            at += take;
            break;
        }
    }
    // Whatever is left in a stream is a frame still incomplete; the panel texts of both
    // connections must still build.
    for (int c = 1; c <= 2; ++c) {
        const RequestFields f = engine.connection(c).fields();
        FUZZ_CHECK(f.pid.size() == 5 && f.uid.size() >= 9);
    }
    return 0;
}
