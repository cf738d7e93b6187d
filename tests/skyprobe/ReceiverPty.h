#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal standing in for the GPS receiver: the dialog opens the slave as its "COM4:", the
// test plays the receiver on the master. Only the port holds the slave open, so the master sees a
// hang-up once the port is closed.
class ReceiverPty {
public:
    ReceiverPty();
    ReceiverPty(const ReceiverPty&) = delete;
    ReceiverPty& operator=(const ReceiverPty&) = delete;
    ~ReceiverPty();

    bool IsOpen() const { return master >= 0; }
    const std::string& SlavePath() const { return slavePath; }

    // Points COM4 at the slave, so that the dialog's "COM4:" resolves to it.
    void UseAsCom4() const;

    // Writes all of bytes, waiting while the terminal is full; false when timeout passes first.
    bool Send(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // What the port wrote: reads until count bytes arrived or timeout passed.
    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout);
    // Whatever is waiting now, without waiting for more.
    std::vector<std::uint8_t> Pending();
    // True when nobody holds the slave open any more (the port released the device).
    bool SeesHangup();

private:
    int master = -1;
    std::string slavePath;
};

// True when the device can be taken for exclusive use now: opened and locked as the serial link does.
bool DeviceIsFree(const std::string& path);

