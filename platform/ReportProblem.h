#pragma once

// Tells the user on standard error why registers are out of reach ("regwin: <text>"), as one line
// written with one write call. A problem is said once: the same text again (a program retrying
// InitBacklightCtrl in a loop) is not repeated, a different one is. Never allocates.
void ReportProblem(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same for a problem that is not a register window's, such as a line of the board file or a
// kernel device the board file names: the line starts with `source` ("pinbank: <text>").
void ReportProblemFrom(const char* source, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A tool that loads a library and also maps a window itself turns its own copy's reports off, because
// the library has already said the same thing.
void SetProblemReports(bool enabled);
