#include "nmea/NmeaParser.h"
#include "tests/nmea/NmeaCapture.h"
#include "bench/nmea/AllocationCounter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Decoding speed over every sentence of the receiver captures in tests/data, and the heap allocations made
// while decoding (the target is none).

namespace {

// One iteration decodes every sentence once, in capture order, through one parser, as the program
// would see them arrive.
void DecodeSentences(benchmark::State& state, const std::vector<std::string>& sentences)
{
    NmeaParser parser;
    const std::size_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        for (const std::string& sentence : sentences)
            parser.ParseSentence(sentence.data(), static_cast<int>(sentence.size()));
        benchmark::DoNotOptimize(&parser);
        benchmark::ClobberMemory();
    }
    const std::size_t allocations = AllocationCount() - allocationsBefore;
    const double decoded = static_cast<double>(state.iterations()) * static_cast<double>(sentences.size());
    state.counters["sentences"] = static_cast<double>(sentences.size());
    state.counters["sentences_per_second"] = benchmark::Counter(decoded, benchmark::Counter::kIsRate);
    // Inverted rate: CPU seconds per sentence, printed with an SI prefix (e.g. "64.2ns").
    state.counters["time_per_sentence"]
        = benchmark::Counter(decoded, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocations_per_sentence"] = static_cast<double>(allocations) / decoded;
}

// The sentences the decoder fills a record from, as opposed to other talkers, other types and noise.
bool IsDecodedType(std::string_view sentence)
{
    for (const std::string_view type : { "RMC,", "GGA,", "GLL,", "GSA,", "GSV,", "VTG," }) {
        if (sentence.substr(0, 3) == "$GP" && sentence.substr(3, 4) == type)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::filesystem::path directory = std::filesystem::path(TEST_DATA_DIR) / "nmea";
    if (!std::filesystem::is_directory(directory)) {
        std::printf("bench_nmea: no receiver captures at %s; nothing to measure\n", directory.c_str());
        return 0;
    }
    std::vector<std::string> all;
    for (const auto& file : CaptureFiles(directory)) {
        for (std::string& sentence : CutSentences(ReadCaptureStream(file)))
            all.push_back(std::move(sentence));
    }
    std::vector<std::string> sixTypes;
    for (const std::string& sentence : all) {
        if (IsDecodedType(sentence))
            sixTypes.push_back(sentence);
    }
    if (all.empty()) {
        std::printf("bench_nmea: no sentences in %s; nothing to measure\n", directory.c_str());
        return 0;
    }
    benchmark::RegisterBenchmark("DecodeEveryCapturedSentence", DecodeSentences, all);
    benchmark::RegisterBenchmark("DecodeGpSixTypesOnly", DecodeSentences, sixTypes);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
