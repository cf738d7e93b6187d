#include "tools/probecheck/SerialSession.h"

#include "serial/DevicePath.h"
#include "serial/OpenFailure.h"
#include "tools/probecheck/CheckLoop.h"
#include "ui/WindowRegistry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include <unistd.h>

namespace {

std::string Narrow(const std::u16string& text)
{
    std::string narrow;
    for (const char16_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

} // namespace

SerialSession::SerialSession(CheckLoop& loop, ChunkHandler chunkHandler)
    : onChunk(std::move(chunkHandler))
    , window(WindowRegistry::Register(this, &loop))
{
    port.SetNotifyTarget(window, ChunkMessage);
    port.SetLostMessage(LostMessage);
}

SerialSession::~SerialSession()
{
    Close();
    WindowRegistry::Unregister(window);
}

bool SerialSession::PortName(
    const std::string& device, const char16_t* fallback, std::u16string* name, std::string* error)
{
    if (device.empty()) {
        *name = fallback;
        return true;
    }
    // The link takes names as wide text; ASCII is the one encoding that needs no guessing.
    for (const char c : device) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') {
            *error = "--device " + device + ": only plain ASCII device names are supported";
            return false;
        }
    }
    std::string path = device;
    std::string resolved;
    const std::u16string asGiven(device.begin(), device.end());
    if (!DevicePath::Resolve(asGiven, &resolved)) {
        // However long the working directory's path is.
        const std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
        if (!directory) {
            *error = "--device " + device + ": " + std::strerror(errno);
            return false;
        }
        path = std::string(directory.get()) + "/" + device;
    }
    *name = std::u16string(path.begin(), path.end());
    return true;
}

std::string SerialSession::ResolvePath(const std::u16string& portName)
{
    std::string path;
    if (DevicePath::Resolve(portName, &path))
        return path;
    return Narrow(portName);
}

bool SerialSession::Open(const std::u16string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
    std::uint8_t stopBits, std::uint8_t parity, std::string* error)
{
    if (!port.Open(portName.c_str(), baudRate, byteSize, stopBits, parity)) {
        *error = ResolvePath(portName) + ": " + OpenFailure::Reason(port.LastError());
        return false;
    }
    open = true;
    lost = false;
    return true;
}

bool SerialSession::Write(const void* bytes, int count)
{
    return open && port.Write(bytes, count);
}

void SerialSession::Close()
{
    if (!open)
        return;
    open = false;
    port.Close();
}

LRESULT SerialSession::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ChunkMessage && onChunk && wParam != 0 && lParam > 0)
        onChunk(reinterpret_cast<const char*>(wParam), static_cast<int>(lParam));
    else if (message == LostMessage)
        lost = true;
    return 0;
}
