#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

constexpr std::uint32_t GpioBlock = 0x92100000;
constexpr std::uint32_t GpioBlockSize = 0x100;
constexpr std::uint32_t TimerBlock = 0x91A00000;
constexpr std::uint32_t TimerBlockSize = 0x44;

// A simulated board of its own for one test: a fresh directory named in REGWIN_DIR (and, when asked,
// a trace file in REGWIN_TRACE), removed again at the end. The register files are read and written
// here with plain file I/O and explicit little-endian decoding, independent of the code under test.
// DEVICEPROBE_BOARD names an empty board file in the directory, so a board file of the machine's own
// never steers a test; WriteBoardFile fills it. Libraries map (and read the board file) at load or first
// init, so create the board before loading them.
class TempBoard {
public:
    enum class Trace { Off, On };

    explicit TempBoard(Trace trace = Trace::Off)
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/regwin-test.XXXXXX";
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "cannot create a temporary board directory from " << pattern;
        directory = pattern;
        setenv("REGWIN_DIR", directory.c_str(), 1);
        WriteBoardFile("");
        setenv("DEVICEPROBE_BOARD", BoardFilePath().c_str(), 1);
        if (trace == Trace::On)
            setenv("REGWIN_TRACE", TracePath().c_str(), 1);
        else
            unsetenv("REGWIN_TRACE");
    }
    TempBoard(const TempBoard&) = delete;
    TempBoard& operator=(const TempBoard&) = delete;
    ~TempBoard()
    {
        unsetenv("REGWIN_DIR");
        unsetenv("REGWIN_TRACE");
        unsetenv("DEVICEPROBE_BOARD");
        nftw(
            directory.c_str(),
            [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }

    const std::string& Directory() const { return directory; }
    std::string TracePath() const { return directory + "/trace.log"; }
    std::string BoardFilePath() const { return directory + "/board.conf"; }

    void WriteBoardFile(const std::string& text) const { WriteFile(BoardFilePath(), text); }

    // `text` with every "DIR" in it replaced by the board's directory, for expectations that name it.
    std::string InBoard(std::string text) const
    {
        for (std::size_t at; (at = text.find("DIR")) != std::string::npos;)
            text.replace(at, 3, directory);
        return text;
    }

    // A directory laid out as /sys/class/backlight/<name>/, under class/ in the board: brightness,
    // max_brightness, actual_brightness, bl_power and type, each a line of text as sysfs shows them.
    std::string MakeBacklight(const std::string& name, int maxBrightness, int brightness, int blPower = 0,
        const char* type = "raw") const
    {
        return MakeBacklightIn(directory + "/class", name, maxBrightness, brightness, blPower, type);
    }

    // The same under any `classRoot`, for tests whose programs run beside each other on boards of their
    // own.
    static std::string MakeBacklightIn(const std::string& classRoot, const std::string& name,
        int maxBrightness, int brightness, int blPower = 0, const char* type = "raw")
    {
        const std::string device = classRoot + "/" + name;
        mkdir(classRoot.c_str(), 0755);
        if (mkdir(device.c_str(), 0755) != 0)
            ADD_FAILURE() << "cannot create " << device;
        WriteFile(device + "/max_brightness", std::to_string(maxBrightness) + "\n");
        WriteFile(device + "/brightness", std::to_string(brightness) + "\n");
        WriteFile(device + "/actual_brightness", std::to_string(brightness) + "\n");
        WriteFile(device + "/bl_power", std::to_string(blPower) + "\n");
        WriteFile(device + "/type", std::string(type) + "\n");
        return device;
    }

    // The whole text of a file, for the attributes a backlight library wrote.
    static std::string ReadFile(const std::string& path)
    {
        std::ifstream file(path);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    // Writes `text` as the whole of `path`, creating it (mode 0644) when missing.
    static void WriteFile(const std::string& path, const std::string& text)
    {
        std::ofstream file(path, std::ios::trunc);
        file << text;
        if (!file.flush())
            ADD_FAILURE() << "cannot write " << path;
    }

    std::string FilePath(std::uint32_t address) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "/%08x.reg", address);
        return directory + name;
    }

    bool FileExists(std::uint32_t address) const
    {
        struct stat status { };
        return lstat(FilePath(address).c_str(), &status) == 0;
    }

    std::uint32_t Word(std::uint32_t address, std::uint32_t offset) const
    {
        return WordOf(FilePath(address), offset);
    }

    // The little-endian word at `offset` of any file (a register file, a stand-in for memory).
    static std::uint32_t WordOf(const std::string& path, std::uint64_t offset)
    {
        unsigned char bytes[4] = {};
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const bool ok = fd >= 0 && pread(fd, bytes, 4, static_cast<off_t>(offset)) == 4;
        if (fd >= 0)
            close(fd);
        if (!ok)
            ADD_FAILURE() << "cannot read word 0x" << std::hex << offset << " of " << path;
        return std::uint32_t { bytes[0] } | std::uint32_t { bytes[1] } << 8 | std::uint32_t { bytes[2] } << 16
            | std::uint32_t { bytes[3] } << 24;
    }

    void SetWord(std::uint32_t address, std::uint32_t offset, std::uint32_t value) const
    {
        const unsigned char bytes[4]
            = { static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                  static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24) };
        const int fd = open(FilePath(address).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        const bool ok = fd >= 0 && pwrite(fd, bytes, 4, offset) == 4;
        if (fd >= 0)
            close(fd);
        if (!ok)
            ADD_FAILURE() << "cannot write word 0x" << std::hex << offset << " of " << FilePath(address);
    }

    void Fill(std::uint32_t address, std::uint32_t size, std::uint32_t pattern) const
    {
        for (std::uint32_t offset = 0; offset < size; offset += 4)
            SetWord(address, offset, pattern);
    }

    std::vector<std::uint32_t> Words(std::uint32_t address, std::uint32_t size) const
    {
        std::vector<std::uint32_t> words;
        for (std::uint32_t offset = 0; offset < size; offset += 4)
            words.push_back(Word(address, offset));
        return words;
    }

    // Lines of the REGWIN_TRACE file, oldest first.
    std::vector<std::string> TraceLines() const
    {
        std::vector<std::string> lines;
        std::ifstream file(TracePath());
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }

    // The libraries append with O_APPEND, so cutting the file is safe while they hold it open.
    void ClearTrace() const { truncate(TracePath().c_str(), 0); }

private:
    std::string directory;
};

// How many mappings of `address`'s register file this process holds, from /proc/self/maps.
inline int MappingsOf(std::uint32_t address)
{
    char name[32];
    std::snprintf(name, sizeof name, "/%08x.reg", address);
    std::ifstream maps("/proc/self/maps");
    int count = 0;
    for (std::string line; std::getline(maps, line);) {
        if (line.find(name) != std::string::npos)
            ++count;
    }
    return count;
}
