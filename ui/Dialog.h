#pragma once

#include "ui/DialogTemplate.h"
#include "ui/Icon.h"
#include "ui/MessageWindow.h"
#include "ui/Rect.h"
#include "ui/WideString.h"

#include <memory>

class Control;
class DataExchange;
class QWidget;
struct DialogState;

// A dialog built from a template, on Qt Widgets. Everything it does goes through WindowProc, one
// message at a time on the UI thread: button clicks arrive as WM_COMMAND/BN_CLICKED, timer ticks as
// WM_TIMER with the dialog's own timer id, repaints as WM_PAINT, the window manager's close button as
// WM_CLOSE, losing the foreground to another program as WM_KILLFOCUS, and messages sent from other
// threads through WindowRegistry::SendMessage(GetSafeHwnd(), ...) as themselves. A subclass binds
// them to handlers with a message map (MessageMap.h); what no entry claims gets the default handling.
//
// Window layout: with CaptionOkButton the window has an "OK" strip on top (Linux window managers have
// no OK button in the caption; Return does the same); the template area below it is the client area
// and all client coordinates are relative to it.
//
// Every operation belongs on the UI thread (the thread that created the QApplication).
class Dialog : public MessageWindow {
public:
    explicit Dialog(const DialogTemplate& dialogTemplate);
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    // Destroys the window if it still exists; no handler of a subclass runs from here on.
    ~Dialog() override;

    // Creates the window, runs OnInitDialog, shows the dialog and runs a nested event loop until
    // EndDialog; then destroys the window and returns EndDialog's result (-1 when the window exists
    // already).
    int DoModal();

    // Creates the window modelessly: builds the controls, registers with WindowRegistry (so
    // GetSafeHwnd is valid inside OnInitDialog), starts answering for its title (ForeignWindow), runs
    // OnInitDialog and shows the window. For tests and tools; returns false when it exists already.
    bool Create();

    // Unregisters (releasing waiting senders with 0), stops all timers and deletes the window. Safe
    // to call when there is none.
    void DestroyWindow();

    // Ends the dialog with result: from here on no message reaches a handler, timers stop, the window
    // hides, and DoModal returns once control is back in its loop.
    void EndDialog(int result);
    bool IsEnded() const;
    int GetResult() const;

    // Handle of the window in WindowRegistry; NullWindow while there is no window.
    HWND GetSafeHwnd() const;
    const DialogTemplate& GetTemplate() const { return frameworkTemplate; }

    // Runs once when the window and controls exist, before the dialog is shown. The framework's part
    // (call it first in overrides) shows the members in the controls with UpdateData(FALSE). Return
    // TRUE to let the framework place the focus.
    virtual BOOL OnInitDialog();

    // Binds controls and members; see DataExchange.h. Called by UpdateData.
    virtual void DoDataExchange(DataExchange* dx);

    // TRUE: saves controls into members in binding order and validates; false when a field failed
    // (its message was shown and the focus moved there). FALSE: shows members in controls.
    bool UpdateData(BOOL saveAndValidate = TRUE);

    // IDOK (caption OK, Return): UpdateData(TRUE), then EndDialog(IDOK) only when that passed.
    virtual void OnOK();
    // IDCANCEL (Escape): EndDialog(IDCANCEL).
    virtual void OnCancel();

    // Dispatches through the message map, then the default handling.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // From inside a handler: gives the message being handled to the default handling and returns its
    // result. Defaults: WM_CLOSE ends the dialog with IDCANCEL; WM_COMMAND IDOK / IDCANCEL run OnOK /
    // OnCancel; WM_SETICON sets the icon (wParam ICON_BIG or ICON_SMALL, lParam an HICON) and returns
    // the previous one; everything else does nothing and returns 0.
    LRESULT Default();

    // Centres the window in the work area of its screen.
    void CenterWindow();
    // Sets the window's large or small icon; returns the previous one.
    HICON SetIcon(HICON icon, BOOL bigIcon);
    HICON GetIcon(BOOL bigIcon) const;
    // Raises and activates the window (as far as the window manager allows).
    void SetForegroundWindow();
    bool IsActiveWindow() const;

    // Starts timer id with a period of elapse ms (at least 10), replacing a running timer of the same
    // id so that its next tick comes one full new period from now. Ticks arrive as WM_TIMER with
    // wParam = id. Returns id, or 0 when there is no window or id is 0.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse);
    // Stops timer id; no tick of it arrives afterwards. False when it was not running.
    BOOL KillTimer(UINT_PTR id);
    bool IsTimerRunning(UINT_PTR id) const;
    // Period of a running timer in ms, 0 when not running.
    UINT GetTimerPeriod(UINT_PTR id) const;

    // Marks rect (client coordinates; nullptr for the whole client area) for repainting. The area is
    // always repainted from the background first, so erase only documents the caller's intent.
    void InvalidateRect(const Rect* rect, BOOL erase = TRUE);
    // The template area: 0, 0, width, height in pixels.
    Rect GetClientRect() const;

    // A control object for id, owned by the dialog, or nullptr when no control has that id.
    Control* GetDlgItem(int id);
    void SetDlgItemText(int id, const WideString& text);
    WideString GetDlgItemText(int id) const;
    // Id of the control that has (or will have, once the window is active) the keyboard focus;
    // NoControlId when none.
    int GetFocusedControlId() const;

    // The Qt widgets behind the dialog, for the layer's own parts, screenshots and tests: the top-level
    // window, the template area, and a control by id (nullptr when absent).
    QWidget* GetWindowWidget() const;
    QWidget* GetClientWidget() const;
    QWidget* GetControlWidget(int id) const;

protected:
    // Overridden by a subclass with a message map (see MessageMap.h); true when an entry handled the
    // message, with its result in result.
    virtual bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    friend class PaintDC;
    friend class ClientArea;
    friend struct DialogState;
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

    const DialogTemplate& frameworkTemplate;
    std::unique_ptr<DialogState> frameworkState;
};
