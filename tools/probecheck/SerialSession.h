#pragma once

#include "serial/SerialPort.h"
#include "ui/MessageWindow.h"

#include <cstdint>
#include <functional>
#include <string>

class CheckLoop;

// A device on the serial link for one check: the port, and a window on the check's loop that takes the
// chunks the port's reader hands over, exactly as a dialog takes them. A device that goes away while
// open (unplugged, reset) is noted once, after its last chunk.
class SerialSession final : private MessageWindow {
public:
    using ChunkHandler = std::function<void(const char* bytes, int count)>;

    // onChunk runs on the loop's thread for every chunk; the bytes are valid only during the call.
    SerialSession(CheckLoop& loop, ChunkHandler onChunk);
    SerialSession(const SerialSession&) = delete;
    SerialSession& operator=(const SerialSession&) = delete;
    // Closes the port, then takes the window away.
    ~SerialSession() override;

    // Opens portName ("COM4:" or a path) with the given line settings. False with a message for a
    // person ("/dev/ttyUSB0: in use by another program") when it cannot.
    [[nodiscard]] bool Open(const std::u16string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
        std::uint8_t stopBits, std::uint8_t parity, std::string* error);
    bool Write(const void* bytes, int count);
    // Stops the reader and releases the device; the link takes about a second for it.
    void Close();

    // The port a check opens: fallback ("COM4:") when device is empty, else device, where a relative
    // path is taken from the working directory. False with a message for a name the link cannot open.
    [[nodiscard]] static bool PortName(
        const std::string& device, const char16_t* fallback, std::u16string* name, std::string* error);
    // The Linux path the port name stands for, or the name itself when it stands for none.
    static std::string ResolvePath(const std::u16string& portName);

    bool IsLost() const { return lost; }

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    static constexpr UINT ChunkMessage = WM_USER + 1;
    static constexpr UINT LostMessage = WM_USER + 2;

    ChunkHandler onChunk;
    HWND window {};
    SerialPort port;
    bool open = false;
    bool lost = false;
};
