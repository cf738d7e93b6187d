#pragma once

#include "ui/MessageTypes.h"
#include "ui/Rect.h"
#include "ui/WideString.h"

class Dialog;

// A dialog's control, reached by its id. Control objects are members of the dialog (bound with
// DDX_Control) or handed out by Dialog::GetDlgItem; they hold no widget themselves, so one stays safe
// to call after its dialog's window is gone: operations then do nothing and queries give 0, false or
// empty text. All calls belong on the UI thread.
class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    int GetDlgCtrlID() const { return id; }
    // True while the control is bound and its dialog's window exists.
    bool IsWindow() const;

    // Returns whether the control was disabled before the call, as the classic call does.
    BOOL EnableWindow(BOOL enable);
    bool IsWindowEnabled() const;
    bool IsWindowVisible() const;

    void SetWindowText(const WideString& text);
    WideString GetWindowText() const;

    // The control's window rectangle in its dialog's client coordinates, in pixels; empty when unbound.
    Rect GetWindowRect() const;

    // Check boxes: BST_UNCHECKED (0) or BST_CHECKED (1).
    int GetCheck() const;
    void SetCheck(int state);

    // Control messages. Progress bars take PBM_SETRANGE (lParam = MAKELPARAM(min, max), returns the old
    // range the same way) and PBM_SETPOS (wParam = position, clamped to the range, returns the old
    // position). Anything else returns 0.
    LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Gives the control object its place; DDX_Control and GetDlgItem do this.
    void Attach(Dialog* owner, int controlId);

private:
    Dialog* dialog = nullptr;
    int id = 0;
};

// The classic control classes differ only in which messages make sense; one type serves them all.
using Button = Control;
using StaticControl = Control;
using EditControl = Control;
using ProgressCtrl = Control;

constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
