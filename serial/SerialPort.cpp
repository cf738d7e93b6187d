#include "serial/SerialPort.h"

#include "serial/DeviceIo.h"
#include "serial/DevicePath.h"
#include "serial/LineSettings.h"
#include "serial/RetryOnEintr.h"
#include "ui/SendCancel.h"
#include "ui/WideString.h"
#include "ui/WindowRegistry.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>

namespace {

using std::chrono::milliseconds;

constexpr int ChunkSize = 60;
constexpr DeviceIo::ReadTiming ChunkTiming { ChunkSize, milliseconds(100), milliseconds(100),
    milliseconds(1) };
constexpr milliseconds WriteConstant(50);
constexpr milliseconds WritePerByte(5);
// Lets a reader that is busy with a chunk finish its pass before the port goes away.
constexpr milliseconds ClosePause(1000);

// The buffer of a chunk whose delivery Close cut short, kept on the thread that closed. That thread
// may be in the middle of handling the very chunk (a handler that closes or deletes its own port),
// and the handler reads the buffer until it returns; the next cut-short close on the same thread,
// which can only come after that handler has returned, frees it.
std::unique_ptr<std::uint8_t[]>& LingeringChunk()
{
    thread_local std::unique_ptr<std::uint8_t[]> chunk;
    return chunk;
}

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort()
{
    Close();
}

void SerialPort::SetNotifyTarget(HWND window, UINT message)
{
    notifyWindow.store(window, std::memory_order_relaxed);
    notifyMessage.store(message, std::memory_order_relaxed);
}

void SerialPort::SetLostMessage(UINT message)
{
    lostMessage.store(message, std::memory_order_relaxed);
}

bool SerialPort::Open(const WideString& portName, std::uint32_t baudRate, std::uint8_t byteSize,
    std::uint8_t stopBits, std::uint8_t parity)
{
    return Open(portName.c_str(), baudRate, byteSize, stopBits, parity);
}

bool SerialPort::Open(const char16_t* portName, std::uint32_t baudRate, std::uint8_t byteSize,
    std::uint8_t stopBits, std::uint8_t parity)
{
    // An open port stays as it is: closing it here would surprise the owner, who tracks the state.
    if (portHandle.IsValid() || readerRunning) {
        lastError = EBUSY;
        return false;
    }
    if (!LineSettings::IsValid(baudRate, byteSize, stopBits, parity)) {
        lastError = EINVAL;
        return false;
    }
    std::string path;
    if (!portName || !DevicePath::Resolve(std::u16string_view(portName), &path)) {
        lastError = ENOENT;
        return false;
    }
    return OpenPath(path.c_str(), baudRate, byteSize, stopBits, parity);
}

bool SerialPort::OpenPath(const char* path, std::uint32_t baudRate, std::uint8_t byteSize,
    std::uint8_t stopBits, std::uint8_t parity)
{
    if (!DeviceIo::OpenExclusive(path, &portHandle)) {
        lastError = errno;
        return false;
    }
    const int device = portHandle.Get();
    if (RetryOnEintr([&] { return tcgetattr(device, &portSettings); }) != 0)
        return FailOpen(errno);
    if (!LineSettings::Configure(&portSettings, baudRate, byteSize, stopBits, parity))
        return FailOpen(EINVAL);
    if (!LineSettings::Apply(device, portSettings))
        return FailOpen(errno);
    RetryOnEintr([&] { return tcflush(device, TCIOFLUSH); });
    if (!stopEvent.Create())
        return FailOpen(errno);
    if (!StartReader())
        return FailOpen(errno);
    lastError = 0;
    return true;
}

bool SerialPort::FailOpen(int error)
{
    Close();
    lastError = error;
    return false;
}

bool SerialPort::StartReader()
{
    deliveryCancel = std::make_unique<SendCancel>();
    readerFinished.store(false);
    const int error = pthread_create(&reader, nullptr, &SerialPort::ReaderMain, this);
    if (error != 0) {
        deliveryCancel.reset();
        errno = error;
        return false;
    }
    readerRunning = true;
    return true;
}

void* SerialPort::ReaderMain(void* port)
{
    static_cast<SerialPort*>(port)->ReaderLoop();
    return nullptr;
}

void SerialPort::ReaderLoop()
{
    auto buffer = std::make_unique<std::uint8_t[]>(ChunkSize);
    // The owner changes neither while this thread runs: Close ends it before releasing them.
    const int device = portHandle.Get();
    const int stop = stopEvent.Fd();
    DeviceIo::Wake wake = DeviceIo::Wake::Input;
    for (;;) {
        // Each wait includes the stop event, which stays set once Close has set it.
        wake = DeviceIo::WaitForInput(device, stop);
        if (wake != DeviceIo::Wake::Input)
            break;
        int count = 0;
        wake = DeviceIo::ReadChunk(device, stop, ChunkTiming, buffer.get(), &count);
        // Bytes read while the port closes would only be dropped on the way; bytes read just before
        // the device went away are the last it gave and still count.
        if (count > 0 && wake != DeviceIo::Wake::Stopped)
            Deliver(buffer.get(), count);
        // A device that has gone away fails every read at once, forever: the reader ends rather than
        // spin, and the port stays open until its owner closes it.
        if (wake != DeviceIo::Wake::Input)
            break;
    }
    // Told once, so the owner can show it and release the port. A device that fails while a Close is
    // under way is the Close's doing and no news to the owner.
    if (wake == DeviceIo::Wake::Vanished)
        readerFinished.store(true);
    const UINT lost = lostMessage.load(std::memory_order_relaxed);
    if (wake == DeviceIo::Wake::Vanished && lost != 0 && !stopEvent.IsSignalled())
        WindowRegistry::SendMessage(notifyWindow.load(std::memory_order_relaxed), lost, 0, 0, *deliveryCancel);
    if (deliveryCancel->IsCancelled())
        cutShortChunk = std::move(buffer);
}

void SerialPort::Deliver(std::uint8_t* buffer, int count)
{
    WindowRegistry::SendMessage(notifyWindow.load(std::memory_order_relaxed),
        notifyMessage.load(std::memory_order_relaxed), reinterpret_cast<WPARAM>(buffer), count,
        *deliveryCancel);
}

bool SerialPort::Write(const void* data, int length)
{
    if (!portHandle.IsValid())
        return false;
    if (!data || length <= 0)
        return true;
    DeviceIo::WriteBounded(portHandle.Get(), static_cast<const std::uint8_t*>(data), length,
        WriteConstant + WritePerByte * length);
    return true;
}

bool SerialPort::Close()
{
    if (stopEvent.IsValid()) {
        // Freezing the owner for a second after an unplug would only delay telling the user. Read
        // before the stop, which ends a healthy reader too.
        const bool readerDone = readerFinished.load();
        stopEvent.Signal();
        if (!readerDone)
            std::this_thread::sleep_for(ClosePause);
        EndReader();
        stopEvent.Release();
    }
    if (!portHandle.IsValid())
        return false;
    RetryOnEintr([&] { return tcflush(portHandle.Get(), TCIOFLUSH); });
    DeviceIo::Release(&portHandle);
    return true;
}

void SerialPort::EndReader()
{
    if (!readerRunning)
        return;
    // The reader may be blocked delivering a chunk to this very thread, which cannot run the handler
    // while it is in here: release that delivery (the chunk is dropped) so the join cannot deadlock.
    // The stop event, already set, ends the reader's next wait.
    deliveryCancel->Cancel();
    pthread_join(reader, nullptr);
    readerRunning = false;
    deliveryCancel.reset();
    if (cutShortChunk)
        LingeringChunk() = std::move(cutShortChunk);
}
