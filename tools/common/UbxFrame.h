#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The receiver's binary protocol: B5 62, class, id, little-endian payload length, payload, and two
// checksum bytes (an 8-bit Fletcher sum over class to the end of the payload).
namespace Ubx {

constexpr std::uint8_t Sync1 = 0xB5;
constexpr std::uint8_t Sync2 = 0x62;
constexpr std::uint8_t ClassAck = 0x05;
constexpr std::uint8_t IdAckNak = 0x00;
constexpr std::uint8_t IdAckAck = 0x01;
constexpr std::uint8_t ClassCfg = 0x06;
constexpr std::uint8_t IdCfgRate = 0x08;
constexpr std::size_t HeaderBytes = 6; // sync, class, id, length
constexpr std::size_t CfgRatePayloadBytes = 6;

// Checksum A and B over count bytes starting at the class byte.
std::array<std::uint8_t, 2> Checksum(const std::uint8_t* bytes, std::size_t count);

// A whole frame, checksum included.
std::string MakeFrame(
    std::uint8_t messageClass, std::uint8_t id, const std::uint8_t* payload, std::size_t size);

// The receiver's answer to a configuration frame: ACK-ACK when it was taken, ACK-NAK when refused.
std::string MakeAck(std::uint8_t messageClass, std::uint8_t id, bool accepted);

// The CFG-RATE frame reporting the given settings (the answer to a poll).
std::string MakeCfgRate(std::uint16_t measRateMs, std::uint16_t navRate, std::uint16_t timeRef);

}
