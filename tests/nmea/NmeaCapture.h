#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

// Real receiver captures (tests/data/nmea/*.log, carried in the repository), cut into sentences the way skyprobe's collector
// cuts its input: from a '$' up to and including the next '*', a '$' in between kept as an ordinary
// byte, everything outside a sentence skipped. Lines starting with '#' are the capture's own notes and
// never reach the receiver side, so they are dropped first.

inline const std::filesystem::path CaptureDirectory = std::filesystem::path(TEST_DATA_DIR) / "nmea";

inline std::vector<std::filesystem::path> CaptureFiles(const std::filesystem::path& directory = CaptureDirectory)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.path().extension() == ".log")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string ReadCaptureStream(const std::filesystem::path& file)
{
    std::ifstream input(file, std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    std::string stream;
    std::size_t lineStart = 0;
    while (lineStart < raw.size()) {
        std::size_t lineEnd = raw.find('\n', lineStart);
        lineEnd = lineEnd == std::string::npos ? raw.size() : lineEnd + 1;
        if (raw[lineStart] != '#')
            stream.append(raw, lineStart, lineEnd - lineStart);
        lineStart = lineEnd;
    }
    return stream;
}

inline std::vector<std::string> CutSentences(std::string_view stream)
{
    std::vector<std::string> sentences;
    std::string current;
    bool inSentence = false;
    for (const char byte : stream) {
        if (!inSentence && byte != '$')
            continue;
        inSentence = true;
        current.push_back(byte);
        if (byte == '*') {
            sentences.push_back(current);
            current.clear();
            inSentence = false;
        }
    }
    return sentences;
}
