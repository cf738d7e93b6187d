#pragma once

class WideString;

// Appends the raw bytes of one received chunk to the message log, one character per byte, so the log
// shows the receiver's output as it came, line ends included. Each byte is read as a signed 8-bit
// number and widened: 0x01 to 0x7F stay as they are, 0x80 to 0xFF become U+FF80 to U+FFFF. Zero bytes
// add nothing. The cost is proportional to count, not to the length of the log. A null pointer or a
// count of 0 or less appends nothing.
void AppendEcho(WideString& logText, const char* bytes, int count);
