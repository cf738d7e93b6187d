#pragma once

#include "ui/WideString.h"

#include <string>

// The log line that follows "Open GPS Fail!": the device that was tried and why it could not be opened,
// in plain words, with what usually helps (joining the dialout group, stopping a GPS daemon that holds
// the port, pointing the variable at the receiver). variable is the environment variable that names the
// device ("COM4"), configured whether it was set (otherwise path is the built-in fallback), error the
// errno of the step that failed. The line ends with CR LF, like every line of the log.
WideString DescribeOpenFailure(const char* variable, const std::string& path, bool configured, int error);
