#pragma once

#include <string>

// Why a serial device would not open, in words for the person at the screen: the device that was
// tried, the reason and what usually helps (joining the dialout group, stopping the service that holds
// the port, pointing the variable at the device). Both programs and the command-line check use it, so
// the same trouble reads the same wherever it is met.
struct OpenFailure {
    // The environment variable that names the device ("COM4"), and whether it was set; when it was
    // not, path is the built-in fallback.
    const char* variable = "";
    bool configured = false;
    // What is at the other end ("receiver", "modem").
    const char* device = "device";
    // The program that usually holds such a port, and how to make it let go.
    const char* usualHolder = "";
    // The device tried; empty when the name named none.
    std::string path;
    // The errno of the step that failed.
    int error = 0;

    // The reason alone: "permission denied", "in use by another program", the system's words otherwise.
    static std::string Reason(int error);
    // "/dev/ttyUSB0 (COM4): in use by another program; a GPS daemon often holds ..." with no line end.
    std::string Describe() const;
};
