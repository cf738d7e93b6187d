#include "tools/probecheck/UbxAckWatch.h"

#include "tools/common/UbxFrame.h"

#include <algorithm>

UbxAckWatch::Answer UbxAckWatch::Feed(const char* bytes, int count)
{
    // The answer is always this long: header, the acknowledged class and id, checksum.
    static_assert(FrameSize == Ubx::HeaderBytes + 2 + 2);
    Answer answer = Answer::None;
    for (int i = 0; i < count; ++i) {
        if (filled == FrameSize) {
            std::rotate(window.begin(), window.begin() + 1, window.end());
            --filled;
        }
        window[filled++] = static_cast<std::uint8_t>(bytes[i]);
        if (filled < FrameSize)
            continue;
        // ACK-ACK or ACK-NAK with a payload of 2 bytes that names CFG-RATE.
        const bool shape = window[0] == Ubx::Sync1 && window[1] == Ubx::Sync2 && window[2] == Ubx::ClassAck
            && (window[3] == Ubx::IdAckAck || window[3] == Ubx::IdAckNak) && window[4] == 2 && window[5] == 0
            && window[6] == Ubx::ClassCfg && window[7] == Ubx::IdCfgRate;
        const auto sum = Ubx::Checksum(window.data() + 2, FrameSize - 4);
        if (shape && window[8] == sum[0] && window[9] == sum[1])
            answer = window[3] == Ubx::IdAckAck ? Answer::Acknowledged : Answer::Refused;
    }
    return answer;
}
