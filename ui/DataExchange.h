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
    // forgets the integer that an earlier call saved.
    void PrepareControl(int controlId)
    {
        lastControlId = controlId;
        savedInteger = nullptr;
    }
    int LastControlId() const { return lastControlId; }

    // The integer member that DDX_Text just saved and the value it held before, so that a range check
    // that fails can put the old value back: a number the check refuses never stays in the member.
    void RememberSavedInteger(int* member, int previous)
    {
        savedInteger = member;
        valueBeforeSave = previous;
    }
    void TakeBackSavedInteger();

    // Reports a failed validation of the last prepared control: shows message (unless a validation
    // message of this program is still on screen, so a timer that saves every second never stacks
    // them), moves the focus to the control and ends the pass.
    void Fail(const WideString& message);

private:
    bool failed = false;
    int lastControlId = 0;
    int* savedInteger = nullptr;
    int valueBeforeSave = 0;
};

// Binds a control object to the control with this id (both directions; it never fails).
void DDX_Control(DataExchange* dx, int id, Control& control);

// The text of a static, button, check box or edit, as is. No validation.
void DDX_Text(DataExchange* dx, int id, WideString& value);

// An edit holding a decimal integer. Saving accepts optional blanks around an optional sign and at
// least one digit that fit in 32 bits; anything else fails with "Please enter an integer.".
void DDX_Text(DataExchange* dx, int id, int& value);

// After DDX_Text of an int: when saving, a value outside min..max fails with
// "Please enter an integer between <min> and <max>." and the member keeps the value it had before the
// save, so a refused number is never shown back or used later.
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
