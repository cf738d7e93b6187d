#include "skyprobe/SentenceCollector.h"

#include <cstring>

void SentenceCollector::Feed(const char* bytes, int count, const Sink& sink)
{
    if (!bytes || count <= 0)
        return;
    const char* next = bytes;
    const char* const end = bytes + count;
    while (next != end) {
        if (sentenceLength == 0) {
            const void* dollar = std::memchr(next, '$', static_cast<std::size_t>(end - next));
            if (!dollar)
                return;
            next = static_cast<const char*>(dollar);
        }
        const char byte = *next++;
        sentenceBuffer[sentenceLength++] = byte;
        if (byte == '*') {
            if (sink)
                sink(sentenceBuffer, sentenceLength);
            sentenceLength = 0;
        } else if (sentenceLength == BufferSize) {
            sentenceLength = 0;
        }
    }
}
