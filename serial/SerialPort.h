#pragma once

#include "serial/EventFd.h"
#include "serial/UniqueFd.h"
#include "ui/MessageTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>

#include <pthread.h>
#include <termios.h>

class SendCancel;
class WideString;

// A serial device with a reader thread that hands every received chunk to a window.
//
// Calling order: construct, SetNotifyTarget, then Open and Close alternately as often as wanted,
// Write while open, delete. Every operation runs on the owner's thread, the thread that runs the
// notify window.
//
// Received bytes arrive as notifyMessage to notifyWindow, sent synchronously: wParam is the address
// of the reader's buffer, lParam the count (1 to 60). A chunk is handed over when 60 bytes are
// there, when 100 ms pass without a new byte, or 160 ms after the first byte, whichever comes first;
// chunks follow the arrival of the bytes and nothing else. The handler runs on the owner's thread
// while the reader waits, so it may read the buffer without a copy or a lock, but not after it has
// returned. A handler may close or delete the port; the chunk stays readable until it returns.
class SerialPort {
public:
    SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    // Closes the port first when it is open.
    virtual ~SerialPort();

    // Where later chunks go; may be changed while open and takes effect from the next chunk.
    void SetNotifyTarget(HWND window, UINT message);

    // The message that tells the notify window the device went away while open (unplugged, reset,
    // hung up): sent once, synchronously, after the device's last chunk, with wParam and lParam 0.
    // The reader has ended by then; the port stays open until its owner closes it, which the handler
    // may do. 0, the default, reports nothing. A Close never reports a loss.
    void SetLostMessage(UINT message);

    // Opens a device ("COM4:", "/dev/ttyUSB0"; see DevicePath) for this object alone, as a raw line
    // at baudRate with byteSize data bits and the stop-bit and parity codes of LineSettings, discards
    // whatever was pending and starts the reader. False when the port is already open, a code is
    // invalid, the name names no device, the device is in use or refuses the settings, or the reader
    // cannot be set up; the port is then closed and LastError tells why.
    [[nodiscard]] bool Open(const char16_t* portName, std::uint32_t baudRate, std::uint8_t byteSize,
        std::uint8_t stopBits, std::uint8_t parity);
    [[nodiscard]] bool Open(const WideString& portName, std::uint32_t baudRate, std::uint8_t byteSize,
        std::uint8_t stopBits, std::uint8_t parity);

    // Writes length bytes with one blocking write that gives up after 50 + 5 * length ms. False only
    // when the port is not open; a device that takes fewer bytes, or none, is not reported.
    bool Write(const void* data, int length);

    // Stops the reader and closes the device: signals the reader, pauses 1000 ms so that it can
    // finish what it is doing (no pause when the device had vanished and the reader is done with it),
    // drops a chunk still waiting for the owner's thread, waits for the reader to end, then discards
    // pending bytes and releases the device. Safe from inside the
    // handler of one of this port's own chunks. True when an open port was closed, false when the
    // port was not open.
    bool Close();

    // The errno of the step that made the last Open fail (ENOENT for a name that names no device).
    int LastError() const { return lastError; }

private:
    static void* ReaderMain(void* port);
    void ReaderLoop();
    void Deliver(std::uint8_t* buffer, int count);
    [[nodiscard]] bool OpenPath(const char* path, std::uint32_t baudRate, std::uint8_t byteSize,
        std::uint8_t stopBits, std::uint8_t parity);
    [[nodiscard]] bool StartReader();
    void EndReader();
    bool FailOpen(int error);

    termios portSettings {};
    UniqueFd portHandle;
    EventFd stopEvent;
    std::atomic<HWND> notifyWindow { NullWindow };
    std::atomic<UINT> notifyMessage { 0 };
    std::atomic<UINT> lostMessage { 0 };

    // The running reader, if any, and the token that releases it from a delivery to this thread.
    std::unique_ptr<SendCancel> deliveryCancel;
    pthread_t reader {};
    bool readerRunning = false;
    // Set by the reader once it has done with the device for good (it gave up on a vanished device):
    // Close then has nothing to wait for.
    std::atomic<bool> readerFinished { false };
    // A chunk buffer whose delivery Close cut short; its handler may still be running below Close.
    std::unique_ptr<std::uint8_t[]> cutShortChunk;
    int lastError = 0;
};
