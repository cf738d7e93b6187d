#pragma once

class WideString;

// Lenient decimal conversion of a wide text: leading blanks skipped, an optional sign, then digits up
// to the first non-digit. No digits gives 0. Saturates instead of overflowing.
int WideToInt(const WideString& text);

// The bar level 0..5 for a signal-quality value n as a "+CSQ:" report gives it: 99 means "not
// detectable" and gives 0; otherwise the received level -113 + 2n dBm decides the step.
int SignalLevelFromQuality(int quality);

// The bar level for a chunk text holding a "+CSQ:" report. The value is read from the first report,
// wherever it stands in the chunk (an unsolicited line or an echo may come first): blanks after the
// colon are skipped, whether there are none, one or more, and the next two characters convert as
// WideToInt does. No digits there read as the value 0, as does a text without a report.
int SignalLevelFromReport(const WideString& chunkText);
