#pragma once

class WideString;

// Lenient decimal conversion of a wide text: leading blanks skipped, an optional sign, then digits up
// to the first non-digit. No digits gives 0. Saturates instead of overflowing.
int WideToInt(const WideString& text);

// The bar level 0..5 for a signal-quality value n as a "+CSQ:" report gives it: 99 means "not
// detectable" and gives 0; otherwise the received level -113 + 2n dBm decides the step.
int SignalLevelFromQuality(int quality);

// The bar level for a chunk text holding a "+CSQ:" report. The value is read from the two characters
// at positions 6 and 7 of the chunk, where it stands when the chunk begins with the report; a chunk
// with anything before the report is read at the same positions all the same.
int SignalLevelFromReport(const WideString& chunkText);
