#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One CFG-RATE frame found in the bytes the program sent to the receiver.
struct UbxRateRequest {
    enum class Kind { Set, Poll };
    Kind kind = Kind::Set;
    std::uint16_t measRateMs = 0; // Set only
    std::uint16_t navRate = 0;
    std::uint16_t timeRef = 0;
};

// Finds CFG-RATE frames in the byte stream a program writes to the receiver. Frames may be split over
// any number of reads and surrounded by anything; a frame counts only when its sync characters, class,
// id, length and checksum are all right. After a frame that fails, the search resumes one byte after
// its first sync character, so a good frame hidden behind a false start is still found.
class UbxRateDecoder {
public:
    using Requests = std::vector<UbxRateRequest>;

    // Returns the rate frames completed by these bytes, in order.
    Requests Feed(const std::uint8_t* bytes, std::size_t count);

private:
    // The longest frame worth waiting for; a longer announced length is taken as a false start.
    static constexpr std::size_t MaxPayload = 512;

    void Scan(std::vector<UbxRateRequest>* found);

    std::vector<std::uint8_t> pending;
};
