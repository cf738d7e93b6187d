#pragma once

#include "ui/MessageTypes.h"
#include "ui/WideString.h"

class Control;
class Dialog;
class LogBinding;

// One pass of Dialog::DoDataExchange: either saving controls into members (saveAndValidate, from
// UpdateData(TRUE)) or showing members in controls (UpdateData(FALSE)). Bindings run in the order the
// dialog writes them. A save stops at the first field that fails: the failure is reported once, the
// focus goes to that field, and every exchange call after it in the same pass does nothing.
class DataExchange {
public:
    DataExchange(Dialog* dialog, bool saveAndValidate);
    DataExchange(const DataExchange&) = delete;
    DataExchange& operator=(const DataExchange&) = delete;

    Dialog* const dialog;
    const bool saveAndValidate;

    bool HasFailed() const { return failed; }

    // Remembers the control that the next validation refers to; every DDX_ call does this, and
    // forgets the integer member that an earlier call was saving.
    void PrepareControl(int controlId)
    {
        lastControlId = controlId;
        integerMember = nullptr;
    }
    int LastControlId() const { return lastControlId; }

    // The integer member that DDX_Text is about to save for the prepared control. Should the save or
    // a range check after it fail, the member gets back the value it holds now.
    void RememberInteger(int* member)
    {
        integerMember = member;
        valueBeforeSave = *member;
    }

    // Reports a failed validation of the last prepared control and ends the pass. A remembered integer
    // member gets its value back first. The message is shown unless a validation message of this
    // program is still on screen (a timer that saves every second must not stack them); the save that
    // did show it then puts the member's value back into the control, so the refused text is gone once
    // the user has read why, and no later save can tell the user about it a second time. Either way
    // the focus goes to the control, its text selected for typing over.
    void Fail(const WideString& message);

private:
    bool failed = false;
    int lastControlId = 0;
    int* integerMember = nullptr;
    int valueBeforeSave = 0;
};

// Binds a control object to the control with this id (both directions; it never fails).
void DDX_Control(DataExchange* dx, int id, Control& control);

// The text of a static, button, check box or edit, as is. No validation.
void DDX_Text(DataExchange* dx, int id, WideString& value);

// An edit holding a decimal integer. Saving accepts optional blanks around an optional sign and at
// least one digit that fit in 32 bits; anything else fails with "Please enter an integer." and leaves
// value as it was (shown again in the control once the message has been read).
void DDX_Text(DataExchange* dx, int id, int& value);

// After DDX_Text of an int: when saving, a value outside min..max fails with
// "Please enter an integer between <min> and <max>." and the member keeps the value it had before the
// save, so a refused number is never used; once its message has been read, the control shows the
// member's value again.
void DDV_MinMaxInt(DataExchange* dx, int value, int minimum, int maximum);

// A check box's state: checked is TRUE / true.
void DDX_Check(DataExchange* dx, int id, BOOL& value);
void DDX_Check(DataExchange* dx, int id, bool& value);

// A read-only log (a multi-line read-only edit) that must show exactly text, where text only grows
// or is reset. Showing appends what text gained since the last show, keeps the view at the end when
// it was there, and touches nothing else; saving copies nothing back. The dialog must call
// binding.Reset() whenever it empties text (a text that became shorter than what was shown is
// noticed anyway). Carriage returns are not put into the control, so CR LF shows as one line break.
// Showing also keeps the log within the binding's line limit: the oldest lines leave text and the
// control together, so the two always agree. The screen may follow a busy log a moment later than
// its text (see LogView).
void DDX_Log(DataExchange* dx, int id, WideString& text, LogBinding& binding);
