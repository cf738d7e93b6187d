#pragma once

#include <string>

// Why the module's port did not open, in words for the person at the screen: the device, the system's
// reason, and what usually fixes it. variable is the environment variable that points the port name at
// a device ("COM1"), path the device it named (empty when the name named none), error the errno of the
// failed open.
std::string DescribeOpenFailure(const char* variable, const std::string& path, int error);
