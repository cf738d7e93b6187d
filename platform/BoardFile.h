#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How one block of the board is reached.
enum class BoardWay {
    Registers, // the board file does not name it: register windows, exactly as without a board file
    Kernel, // the kernel's interface: the GPIO character device, or the backlight class
    OutOfReach, // named, but not usably: reads give 0 and writes do nothing
};

// The board file, which sends the GPIO library to the GPIO character device and the backlight library
// to the backlight class instead of register windows:
//
//     # the receiver's power and two buttons
//     pin.54 = GPS_PWR
//     pin.0 = gpiochip0:17
//     backlight = auto
//
// One "key = value" per line; '#' starts a comment anywhere on a line; blank lines are ignored.
// - backlight = DIR (an absolute path, a backlight class device directory) or auto;
// - pin.N = CHIP:OFFSET (CHIP a name under /dev, such as gpiochip0, or an absolute path) or
//   pin.N = LINE-NAME (the name the kernel gives the line, up to 31 characters, no ':'), for the
//   library's pins 0 to 3 and 50 to 58.
// A block that no line names keeps the register windows. Once any pin is named, the GPIO block goes the
// kernel way and a pin the file does not name is out of reach: a board is never half simulated. A bad
// line (unknown key, malformed value, a key given twice) takes out of reach what it was about: its pin,
// the backlight, or, when its key says nothing of either, the whole board. Parsing only collects
// problems; each library says those of its own part.
class BoardFile {
public:
    static constexpr const char* DefaultPath = "/etc/deviceprobe/board.conf";
    static constexpr const char* PathVariable = "DEVICEPROBE_BOARD";
    // The longest line name the kernel keeps.
    static constexpr std::size_t LineNameLimit = 31;

    enum class Part { Gpio, Backlight, Whole };

    struct Pin {
        std::int32_t pin = 0;
        std::string chip; // "/dev/gpiochip0"; empty when the line is named
        std::uint32_t offset = 0;
        std::string lineName; // empty when chip and offset are given
        int lineNumber = 0;
    };

    struct Problem {
        int lineNumber = 0; // 0: the file as a whole
        std::string text; // the line as written, shortened when long
        std::string reason; // what is wrong and what is out of reach because of it
        Part part = Part::Whole;
    };

    // The board file's path: `variable` when set and not empty, else DefaultPath.
    static std::string PathFor(const char* variable);
    // The same for this process: DEVICEPROBE_BOARD read with secure_getenv, so set-user-id, set-group-id
    // and file-capability callers always use DefaultPath.
    static std::string PathForProcess();

    // True for the pins the GPIO library has: 0 to 3 and 50 to 58.
    static constexpr bool IsLibraryPin(std::int32_t pin)
    {
        return (pin >= 0 && pin <= 3) || (pin >= 50 && pin <= 58);
    }

    // Reads the file at `path`. Without a file there (ENOENT) and `mayBeMissing`, there is no board file
    // and every block keeps the register windows. Any other failure (a file named by DEVICEPROBE_BOARD
    // that is missing, unreadable, not a regular file, or larger than 64 KiB) takes the whole board out
    // of reach. Never blocks on a FIFO.
    void Load(const std::string& path, bool mayBeMissing);
    // Load(PathForProcess()), where only the default path may be missing.
    void Load();

    // Takes `text` as the contents of the board file at `path` (used in messages).
    void Parse(const std::string& path, std::string_view text);

    // True when a board file was found, even an empty or unreadable one.
    bool Found() const { return found; }
    const std::string& Path() const { return path; }

    BoardWay GpioWay() const;
    BoardWay BacklightWay() const;

    // Where `pin` is, or null when the file does not name it usably.
    const Pin* PinSource(std::int32_t pin) const;
    // The backlight's device directory; empty for auto. Only meaningful when BacklightWay() is Kernel.
    const std::string& BacklightDirectory() const { return backlightDirectory; }
    bool BacklightAuto() const { return backlightAuto; }
    int BacklightLine() const { return backlightLine; }

    const std::vector<Problem>& Problems() const { return problems; }
    // The problems that concern `part`, whole-board ones included, each as a sentence for the user:
    // "<path> line <n>: "<text>": <reason>".
    std::vector<std::string> Messages(Part part) const;

private:
    void ParseLine(int number, std::string_view line);
    void ParsePin(int number, std::string_view line, std::string_view key, std::string_view value);
    void ParseBacklight(int number, std::string_view line, std::string_view value);
    void Bad(int number, std::string_view line, std::string reason, Part part);
    void FailWhole(std::string reason);
    void DropPin(std::int32_t pin);

    std::string path;
    bool found = false;
    bool gpioNamed = false;
    bool backlightNamed = false;
    bool backlightBad = false;
    bool wholeBad = false;
    bool backlightAuto = false;
    std::string backlightDirectory;
    int backlightLine = 0;
    std::vector<Pin> pins;
    std::vector<std::int32_t> spoiledPins; // named badly or twice: stay out of reach
    std::vector<Problem> problems;
};
