#pragma once

#include <string_view>

// Notices a receiver that reports its position under another talker than GP. A multi-constellation
// receiver sends $GNRMC and $GNGGA (or $GL..., $GA..., $BD...) where a GPS-only one sends $GPRMC and
// $GPGGA; the decoder reads GP sentences only, so such a receiver shows satellites and never a
// position. This tells the dialog when to say why.
//
// Not thread-safe: the dialog calls it on its UI thread only.
class TalkerWatch {
public:
    // Forgets what was seen, so that the next open may tell again.
    void Reset()
    {
        gpPositionSeen = false;
        told = false;
    }

    // Looks at one collected sentence, from its '$' to its '*'. True once per Reset: for the first RMC
    // or GGA of another talker, unless a GP one came first (that receiver's position is decoded).
    [[nodiscard]] bool Notice(std::string_view sentence);

    // The two letters of the talker that Notice reported ("GN"); meaningful once it returned true.
    std::string_view Talker() const { return std::string_view(talker, sizeof talker); }

private:
    bool gpPositionSeen = false;
    bool told = false;
    char talker[2] {};
};
