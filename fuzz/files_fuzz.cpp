// The traffic log's decoder and the variable-list reader on arbitrary bytes: neither may read
// outside the request and reply it is handed, the register tables or the 26 list positions,
// whatever they get.
#include "common/frame.h"
#include "common/register_store.h"
#include "common/variable_list.h"
#include "log/log_lines.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static korvel::RegisterStore store;
    if (size < 1) {
        return 0;
    }
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode & 1) {
        // The request and the reply, each exactly as long as the input makes it: a read past either
        // end is one the sanitizer reports.
        const size_t area = korvel::kAreaSize;
        const size_t w = size < area ? size : area;
        const std::vector<uint8_t> work(data, data + w);
        const size_t r = size - w < area ? size - w : area;
        const std::vector<uint8_t> reply(data + w, data + w + r);
        korvel::LogCounters counters;
        korvel::LogPacketInput packet;
        packet.isQuery = (mode & 2) != 0;
        packet.count = static_cast<int>(w) - (mode >> 4);
        packet.hasErrors = (mode & 4) != 0;
        packet.connection = 1 + ((mode >> 3) & 1);
        packet.interpretive = true;
        packet.source = korvel::DecodeSource{work, reply, (mode & 0x40) != 0, &store};
        std::string out;
        korvel::AppendPacketLines(counters, packet, 0, out);
        korvel::AppendInterpretation(!packet.isQuery, packet.source, out);
    } else {
        const std::string_view text(reinterpret_cast<const char*>(data), size);
        // No clearing of 2 x 65536 registers per input: no invariant depends on their values.
        const korvel::VariableListLoad result = korvel::ReadVariableListOver(text, store, (mode & 2) != 0);
        if (result.inputCount > korvel::kVariableListRows || result.holdCount > korvel::kVariableListRows) {
            __builtin_trap();
        }
        (void)result.messageText();
    }
    return 0;
}
