#include "skyprobe/TalkerWatch.h"

namespace {

// "$GPRMC": the '$', two talker letters and three of the type.
constexpr std::size_t HeaderLength = 6;

// An RMC or GGA header of any talker, ended by the first field's comma (or the '*' of an empty one).
bool IsPositionSentence(std::string_view sentence)
{
    if (sentence.size() <= HeaderLength || sentence[0] != '$')
        return false;
    if (sentence[HeaderLength] != ',' && sentence[HeaderLength] != '*')
        return false;
    const std::string_view type = sentence.substr(3, 3);
    return type == "RMC" || type == "GGA";
}

bool IsTalkerLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

} // namespace

bool TalkerWatch::Notice(std::string_view sentence)
{
    if (told || gpPositionSeen || !IsPositionSentence(sentence))
        return false;
    const char first = sentence[1];
    const char second = sentence[2];
    if (first == 'G' && second == 'P') {
        gpPositionSeen = true;
        return false;
    }
    // A 'P' starts a maker's own sentence ($PGRMC is one of Garmin's), which names no talker.
    if (!IsTalkerLetter(first) || !IsTalkerLetter(second) || first == 'P')
        return false;
    talker[0] = first;
    talker[1] = second;
    told = true;
    return true;
}
