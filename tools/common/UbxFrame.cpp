#include "tools/common/UbxFrame.h"

namespace Ubx {

std::array<std::uint8_t, 2> Checksum(const std::uint8_t* bytes, std::size_t count)
{
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (std::size_t i = 0; i < count; ++i) {
        a = static_cast<std::uint8_t>(a + bytes[i]);
        b = static_cast<std::uint8_t>(b + a);
    }
    return { a, b };
}

std::string MakeFrame(
    std::uint8_t messageClass, std::uint8_t id, const std::uint8_t* payload, std::size_t size)
{
    std::string frame;
    frame.reserve(HeaderBytes + size + 2);
    frame += static_cast<char>(Sync1);
    frame += static_cast<char>(Sync2);
    frame += static_cast<char>(messageClass);
    frame += static_cast<char>(id);
    frame += static_cast<char>(size & 0xFF);
    frame += static_cast<char>((size >> 8) & 0xFF);
    frame.append(reinterpret_cast<const char*>(payload), size);
    const auto sum = Checksum(reinterpret_cast<const std::uint8_t*>(frame.data()) + 2, frame.size() - 2);
    frame += static_cast<char>(sum[0]);
    frame += static_cast<char>(sum[1]);
    return frame;
}

std::string MakeAck(std::uint8_t messageClass, std::uint8_t id, bool accepted)
{
    const std::uint8_t payload[] = { messageClass, id };
    return MakeFrame(ClassAck, accepted ? IdAckAck : IdAckNak, payload, sizeof payload);
}

std::string MakeCfgRate(std::uint16_t measRateMs, std::uint16_t navRate, std::uint16_t timeRef)
{
    const std::uint8_t payload[] = {
        static_cast<std::uint8_t>(measRateMs & 0xFF),
        static_cast<std::uint8_t>(measRateMs >> 8),
        static_cast<std::uint8_t>(navRate & 0xFF),
        static_cast<std::uint8_t>(navRate >> 8),
        static_cast<std::uint8_t>(timeRef & 0xFF),
        static_cast<std::uint8_t>(timeRef >> 8),
    };
    return MakeFrame(ClassCfg, IdCfgRate, payload, sizeof payload);
}

}
