#include "tools/devsim/UbxRateDecoder.h"

#include "tools/common/UbxFrame.h"

#include <algorithm>

std::vector<UbxRateRequest> UbxRateDecoder::Feed(const std::uint8_t* bytes, std::size_t count)
{
    pending.insert(pending.end(), bytes, bytes + count);
    std::vector<UbxRateRequest> found;
    Scan(&found);
    return found;
}

void UbxRateDecoder::Scan(std::vector<UbxRateRequest>* found)
{
    std::size_t start = 0;
    for (;;) {
        const auto sync = std::find(pending.begin() + static_cast<long>(start), pending.end(), Ubx::Sync1);
        start = static_cast<std::size_t>(sync - pending.begin());
        const std::size_t available = pending.size() - start;
        if (available < 2)
            break; // a lone B5 at the end may be the start of a frame
        if (pending[start + 1] != Ubx::Sync2) {
            ++start;
            continue;
        }
        if (available < Ubx::HeaderBytes)
            break;
        const std::uint8_t* frame = pending.data() + start;
        const std::size_t length = frame[4] | (static_cast<std::size_t>(frame[5]) << 8);
        if (length > MaxPayload) {
            ++start;
            continue;
        }
        if (available < Ubx::HeaderBytes + length + 2)
            break;
        const auto sum = Ubx::Checksum(frame + 2, length + 4);
        const bool intact
            = sum[0] == frame[Ubx::HeaderBytes + length] && sum[1] == frame[Ubx::HeaderBytes + length + 1];
        const bool rate = frame[2] == Ubx::ClassCfg && frame[3] == Ubx::IdCfgRate;
        if (!intact) {
            ++start;
            continue;
        }
        if (rate && length == Ubx::CfgRatePayloadBytes) {
            UbxRateRequest request;
            request.measRateMs = static_cast<std::uint16_t>(frame[6] | (frame[7] << 8));
            request.navRate = static_cast<std::uint16_t>(frame[8] | (frame[9] << 8));
            request.timeRef = static_cast<std::uint16_t>(frame[10] | (frame[11] << 8));
            found->push_back(request);
        } else if (rate && length == 0) {
            UbxRateRequest request;
            request.kind = UbxRateRequest::Kind::Poll;
            found->push_back(request);
        }
        start += Ubx::HeaderBytes + length + 2;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(start));
}
