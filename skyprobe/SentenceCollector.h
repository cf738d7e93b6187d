#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

// Cuts the receiver's byte stream into sentences, each from its '$' up to and including the next '*',
// whatever way the serial link happens to chunk it. A sentence may span any number of chunks; the
// state between chunks is the partly collected sentence.
//
// Only a '$' seen while nothing is being collected starts a sentence. A '$' in the middle of one is
// kept like any other byte, so a sentence the receiver broke off is joined to the next and both go to
// the sink as one. The checksum digits, line ends and anything else up to the next '$' (binary
// answers of the receiver included) are skipped; the checksum is not checked here.
//
// A sentence may be at most BufferSize bytes counting its '$' and '*'. When the buffer fills without a
// '*', the collected bytes are dropped and collection waits for the next '$'. Handing the cut-off bytes
// on instead would give the decoder a last field chopped mid-number, which it would read as a plausible
// but wrong value; a receiver that keeps to NMEA never sends a sentence that long, so what is lost is
// a proprietary sentence or the remains of a garbled one.
//
// Not thread-safe: the dialog calls it on its UI thread only.
class SentenceCollector {
public:
    static constexpr int BufferSize = 120;

    // Receives one sentence: its bytes from '$' to '*' and their number (2 to BufferSize). The bytes
    // live in the collector and are valid only during the call, which must not feed this collector.
    using Sink = std::function<void(const char* sentence, int length)>;

    // Walks count bytes in order and calls sink once per completed sentence, before looking at the
    // byte after its '*'. A null pointer or a count of 0 or less feeds nothing.
    void Feed(const char* bytes, int count, const Sink& sink);

    // Forgets a partly collected sentence, so that bytes from before (a port closed mid-sentence) are
    // never joined to bytes that arrive later.
    void Reset() { sentenceLength = 0; }

    // Bytes collected towards the next sentence; 0 means waiting for a '$'. Always below BufferSize
    // between calls to Feed.
    int GetSentenceLength() const { return sentenceLength; }
    std::string_view GetPendingBytes() const
    {
        return std::string_view(sentenceBuffer, static_cast<std::size_t>(sentenceLength));
    }

private:
    char sentenceBuffer[BufferSize] {};
    std::int32_t sentenceLength = 0;
};
