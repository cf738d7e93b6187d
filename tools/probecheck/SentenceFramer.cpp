#include "tools/probecheck/SentenceFramer.h"

void SentenceFramer::Feed(const char* bytes, int count, const Sink& sink)
{
    for (int i = 0; i < count; ++i) {
        const char byte = bytes[i];
        if (byte == '$') {
            sentence.assign(1, byte);
            afterStar = -1;
            text = true;
            continue;
        }
        if (sentence.empty())
            continue;
        if (byte == '\r' || byte == '\n') {
            if (text)
                sink(sentence.data(), static_cast<int>(sentence.size()));
            sentence.clear();
            continue;
        }
        sentence += byte;
        text = text && static_cast<unsigned char>(byte) >= 0x20 && static_cast<unsigned char>(byte) < 0x7F;
        if (afterStar > 0)
            --afterStar;
        else if (byte == '*' && afterStar < 0)
            afterStar = 2;
        if (afterStar == 0) {
            sink(sentence.data(), static_cast<int>(sentence.size()));
            sentence.clear();
        } else if (sentence.size() >= MaxLength) {
            sentence.clear();
        }
    }
}
