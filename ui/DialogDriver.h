#pragma once

#include "ui/MessageTypes.h"
#include "ui/WideString.h"

#include <chrono>
#include <functional>
#include <vector>

class Dialog;
class QImage;

// Drives a dialog in a test (offscreen platform), through the same Qt events a user would cause, so
// every action passes the dialog's message map. Two ways in:
//
// Modeless:   MyDialog dialog;  DialogDriver driver(dialog);   // Create + OnInitDialog + show
//             driver.Click(IdDial); EXPECT_EQ(driver.Text(IdStatus), ...); driver.FireTimer(2);
//             driver.CloseButton(); EXPECT_EQ(driver.Result(), IDCANCEL);
// Modal:      int result = DialogDriver::RunModal(dialog, [](DialogDriver& d) { ...; d.PressOk(); });
//
// While a driver exists it records message boxes instead of showing them (MessageBoxes()).
class DialogDriver {
public:
    // Creates the dialog's window unless it exists already (as inside RunModal).
    explicit DialogDriver(Dialog& dialog);
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;
    // Destroys the window when this driver created it; restores the message box hook.
    ~DialogDriver();

    // Runs dialog.DoModal(); once its loop runs, script gets a driver. A script that returns without
    // ending the dialog gets it ended with -1, so a faulty test fails instead of hanging.
    static int RunModal(Dialog& dialog, const std::function<void(DialogDriver&)>& script);

    Dialog& GetDialog() { return dialog; }

    // A click on a push button or check box (a check box toggles first), as the mouse would.
    void Click(int id);
    // Replaces an edit's text as if typed (no message is sent, as with a real edit).
    void TypeText(int id, const WideString& text);
    // The caption strip's OK button; Return; Escape; the window manager's close button.
    void PressOk();
    void PressReturn();
    void PressEscape();
    void CloseButton();
    // Delivers WM_TIMER for id now, as a tick would; false (and nothing runs) when id is not running.
    bool FireTimer(UINT_PTR id);

    WideString Text(int id) const;
    bool IsEnabled(int id) const;
    bool IsVisible(int id) const;
    bool IsChecked(int id) const;
    // Progress bar position, range minimum and maximum.
    int Position(int id) const;
    int RangeMinimum(int id) const;
    int RangeMaximum(int id) const;
    bool IsEnded() const;
    int Result() const;

    // Processes events until pred holds or timeout passes; returns pred().
    bool WaitUntil(
        const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Lets pending events (paints, queued sends) run.
    void ProcessEvents();

    QImage Grab() const;

    // Message boxes shown while this driver exists, oldest first.
    const std::vector<WideString>& MessageBoxes() const { return messageBoxes; }
    // From now on runs action inside every message box, as whatever happens while the user reads one
    // (a timer's tick, say); an empty action ends that. A box shown by the action itself is recorded
    // but does not run the action again.
    void WhileMessageBoxShows(std::function<void()> action) { whileShown = std::move(action); }

private:
    Dialog& dialog;
    bool created = false;
    std::vector<WideString> messageBoxes;
    std::function<void()> whileShown;
    bool runningWhileShown = false;
    std::function<int(const WideString&, const WideString&)> previousHook;
};
