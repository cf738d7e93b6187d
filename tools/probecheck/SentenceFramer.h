#pragma once

#include <functional>
#include <string>

// Cuts the receiver's byte stream into whole sentences with their checksums, from '$' through the two
// characters after '*', however the link chunks it. What is not a sentence is skipped: line ends and
// the receiver's binary answers between sentences.
//
// A sentence that ends in a line end before its '*' is handed on as it is, so that its missing
// checksum is counted; unless it holds a byte no sentence has (binary bytes that happened to hold a
// '$'), which is dropped instead. So is anything that outgrows MaxLength, and a sentence broken off
// by the next '$', which starts afresh.
class SentenceFramer {
public:
    // Far beyond the 82 characters of NMEA, so a long proprietary sentence still gets through.
    static constexpr std::size_t MaxLength = 160;

    using Sink = std::function<void(const char* sentence, int length)>;

    void Feed(const char* bytes, int count, const Sink& sink);

private:
    std::string sentence; // empty: waiting for a '$'
    int afterStar = -1; // checksum characters still expected after the '*'; -1 before it
    bool text = true; // every byte so far could be part of a sentence
};
