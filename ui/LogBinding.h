#pragma once

class DataExchange;
class WideString;

// What a log control has already shown of its text, so that showing a log that only grows costs as
// much as what was added, not the whole text (see DDX_Log in DataExchange.h), and how much of it the
// log keeps.
class LogBinding {
public:
    // Lines a log keeps unless told otherwise: at 9600 baud, about ten minutes of a receiver's output.
    static constexpr int DefaultLineLimit = 10000;

    // Call whenever the log text was emptied or changed other than by appending; the next show then
    // replaces the control's whole text.
    void Reset()
    {
        shownLength = 0;
        shownLineBreaks = 0;
        resetPending = true;
    }

    // The log keeps the newest lineLimit complete lines (at least 1) and the line being written. Older
    // lines leave from the top, as from a terminal's scrollback, a tenth of the limit at a time, so
    // trimming a long log costs little; until then up to lineLimit + lineLimit / 10 lines stay.
    void SetLineLimit(int lines) { lineLimit = lines < 1 ? 1 : lines; }
    int LineLimit() const { return lineLimit; }

private:
    friend void DDX_Log(DataExchange*, int, WideString&, LogBinding&);
    int shownLength = 0;
    int shownLineBreaks = 0;
    int lineLimit = DefaultLineLimit;
    bool resetPending = true;
};
