#pragma once

class DataExchange;
class WideString;

// What a log control has already shown of its text, so that showing a log that only grows costs as
// much as what was added, not the whole text (see DDX_Log in DataExchange.h).
class LogBinding {
public:
    // Call whenever the log text was emptied or changed other than by appending; the next show then
    // replaces the control's whole text.
    void Reset()
    {
        shownLength = 0;
        resetPending = true;
    }

private:
    friend void DDX_Log(DataExchange*, int, const WideString&, LogBinding&);
    int shownLength = 0;
    bool resetPending = true;
};
