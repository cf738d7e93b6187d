#include "nmea/NmeaParser.h"
#include "skyprobe/DisplayTexts.h"
#include "skyprobe/LogEcho.h"
#include "skyprobe/SentenceCollector.h"
#include "skyprobe/SignalBars.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void Check(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}

void Display(const NmeaParser& parser)
{
    RmcRecord rmc;
    GsaRecord gsa;
    GgaRecord gga;
    VtgRecord vtg;
    GsvRecord gsv;
    parser.GetRmc(&rmc);
    parser.GetGsa(&gsa);
    parser.GetGga(&gga);
    parser.GetVtg(&vtg);
    parser.GetGsv(&gsv);
    const DisplayTexts texts = FormatDisplayTexts(rmc, gsa, gga, vtg, gsv);
    // "20yy-mm-dd" at most; a date that runs on would mean a record field was read past its end.
    Check(texts.dateText.GetLength() <= 10 && texts.timeText.GetLength() <= 8, "date or time too long");

    std::array<BarRect, SatelliteSlots> placeholders;
    for (int slot = 0; slot < SatelliteSlots; ++slot)
        placeholders[static_cast<std::size_t>(slot)] = { 345, 33 + 18 * slot, 461, 48 + 18 * slot };
    for (const SignalBar& bar : ComputeSignalBars(placeholders, gsv, gsa))
        Check(bar.rect.right >= bar.rect.left && bar.rect.right - bar.rect.left <= MaxBarLength,
            "bar geometry");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    SentenceCollector collector;
    NmeaParser parser;
    WideString logText;
    int echoed = 0;
    const SentenceCollector::Sink sink = [&](const char* sentence, int length) {
        Check(length >= 2 && length <= SentenceCollector::BufferSize, "sentence length");
        Check(sentence[0] == '$' && sentence[length - 1] == '*', "sentence bounds");
        parser.ParseSentence(sentence, length);
    };
    while (provider.remaining_bytes() > 0) {
        const int chunkSize = provider.ConsumeIntegralInRange<int>(1, 60);
        const std::vector<char> chunk = provider.ConsumeBytes<char>(static_cast<std::size_t>(chunkSize));
        const int count = static_cast<int>(chunk.size());
        AppendEcho(logText, chunk.data(), count);
        for (const char byte : chunk)
            echoed += byte != 0;
        Check(logText.GetLength() == echoed, "echo lost or invented characters");
        collector.Feed(chunk.data(), count, sink);
        Check(collector.GetSentenceLength() >= 0
                && collector.GetSentenceLength() < SentenceCollector::BufferSize,
            "collector length");
        Display(parser);
    }
    return 0;
}
