#pragma once

#include "ui/Control.h"
#include "ui/Icon.h"
#include "ui/MessageTypes.h"
#include "ui/Rect.h"

#include <map>
#include <memory>
#include <vector>

class ClientArea;
class Dialog;
class DialogWindow;
class QEventLoop;
class QPainter;
class QTimer;
class QWidget;
class QtDispatcher;
class WindowBeacon;

// A dialog's window-side state, kept out of Dialog.h so programs do not compile against it.
struct DialogState {
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    // Owned, but deleted by hand: a window (or dispatcher) whose own event is being handled must be
    // deleted later, not at once.
    DialogWindow* window = nullptr;
    ClientArea* client = nullptr;
    std::unique_ptr<QtDispatcher> dispatcher;
    std::unique_ptr<WindowBeacon> beacon;
    HWND handle = NullWindow;
    double logicalDpi = 96.0;

    std::map<int, QWidget*> controls; // children of client, by id
    std::map<int, std::unique_ptr<Control>> itemObjects; // handed out by GetDlgItem
    struct TimerSlot {
        QTimer* timer = nullptr; // a child of window
        unsigned generation = 0; // changes with every SetTimer and KillTimer of this id
    };
    std::map<UINT_PTR, TimerSlot> timers; // the dialog's timer ids; Qt's own ids never show

    bool ended = false;
    int result = 0;
    bool destroying = false;
    QEventLoop* modalLoop = nullptr;
    std::vector<Message> current; // messages being handled, innermost last
    int dispatchDepth = 0;

    QPainter* painter = nullptr; // set during WM_PAINT
    Rect paintClip;

    HICON bigIcon = NullIcon;
    HICON smallIcon = NullIcon;
};

// Live dialogs of this process by title, for ForeignWindow's local lookup. UI thread only.
HWND FindLocalDialog(const class WideString& title);
Dialog* LocalDialogFromHandle(HWND handle);
