#pragma once

#include "ui/MessageTypes.h"

#include <cstddef>

// A dialog's message map: one constant table that binds messages (and, for button clicks, control
// ids) to the dialog's handlers. The first entry that matches a message handles it; a message no
// entry matches goes to the default handling. Build entries with the Map* functions below:
//
//   // in the class:      static const MessageMapEntry<MyDialog> messageMap[];
//   //                    bool DispatchMessageMap(UINT, WPARAM, LPARAM, LRESULT&) override;
//   const MessageMapEntry<MyDialog> MyDialog::messageMap[] = {
//       MapClose(&MyDialog::OnClose),
//       MapClicked(IdDial, &MyDialog::OnDial),
//       MapTimer(&MyDialog::OnTimer),
//       MapMessage(WM_USER + 1, &MyDialog::OnSerialData),
//   };
//   bool MyDialog::DispatchMessageMap(UINT m, WPARAM w, LPARAM l, LRESULT& result)
//   {
//       return RunMessageMap(*this, messageMap, m, w, l, result);
//   }
template <class D> struct MessageMapEntry {
    enum class Shape : unsigned char { NoArguments, TimerId, FocusWindow, Raw };

    UINT message;
    int controlId; // WM_COMMAND entries only
    UINT code; // WM_COMMAND entries only: the notification (BN_CLICKED)
    Shape shape;
    void (D::*noArguments)() = nullptr;
    void (D::*timerId)(UINT_PTR) = nullptr;
    void (D::*focusWindow)(HWND) = nullptr;
    LRESULT (D::*raw)(WPARAM, LPARAM) = nullptr;
};

// BN_CLICKED of a push button or check box: void OnX().
template <class D> constexpr MessageMapEntry<D> MapClicked(int controlId, void (D::*handler)())
{
    return { WM_COMMAND, controlId, BN_CLICKED, MessageMapEntry<D>::Shape::NoArguments, handler };
}

// WM_TIMER of any timer: void OnTimer(UINT_PTR timerId).
template <class D> constexpr MessageMapEntry<D> MapTimer(void (D::*handler)(UINT_PTR))
{
    return { WM_TIMER, 0, 0, MessageMapEntry<D>::Shape::TimerId, nullptr, handler };
}

// WM_PAINT: void OnPaint(), which opens a PaintDC.
template <class D> constexpr MessageMapEntry<D> MapPaint(void (D::*handler)())
{
    return { WM_PAINT, 0, 0, MessageMapEntry<D>::Shape::NoArguments, handler };
}

// WM_CLOSE (the window manager's close button): void OnClose(). Call Default() to end as cancelled.
template <class D> constexpr MessageMapEntry<D> MapClose(void (D::*handler)())
{
    return { WM_CLOSE, 0, 0, MessageMapEntry<D>::Shape::NoArguments, handler };
}

// WM_KILLFOCUS (the dialog's window lost the keyboard focus to another program's window):
// void OnKillFocus(HWND newFocus); newFocus is NullWindow, the other window being foreign.
template <class D> constexpr MessageMapEntry<D> MapKillFocus(void (D::*handler)(HWND))
{
    return { WM_KILLFOCUS, 0, 0, MessageMapEntry<D>::Shape::FocusWindow, nullptr, nullptr, handler };
}

// Any other message, such as WM_USER + 1: LRESULT OnX(WPARAM, LPARAM); its result goes to the sender.
template <class D>
constexpr MessageMapEntry<D> MapMessage(UINT message, LRESULT (D::*handler)(WPARAM, LPARAM))
{
    return { message, 0, 0, MessageMapEntry<D>::Shape::Raw, nullptr, nullptr, nullptr, handler };
}

// Finds the first entry for the message and runs it. Returns false when none matches.
template <class D, std::size_t N>
bool RunMessageMap(D& dialog, const MessageMapEntry<D> (&table)[N], UINT message, WPARAM wParam,
    LPARAM lParam, LRESULT& result)
{
    using Shape = typename MessageMapEntry<D>::Shape;
    for (const MessageMapEntry<D>& entry : table) {
        if (entry.message != message)
            continue;
        if (message == WM_COMMAND && (entry.controlId != LOWORD(wParam) || entry.code != HIWORD(wParam)))
            continue;
        result = 0;
        switch (entry.shape) {
        case Shape::NoArguments:
            (dialog.*entry.noArguments)();
            break;
        case Shape::TimerId:
            (dialog.*entry.timerId)(static_cast<UINT_PTR>(wParam));
            break;
        case Shape::FocusWindow:
            (dialog.*entry.focusWindow)(static_cast<HWND>(static_cast<std::uint32_t>(wParam)));
            break;
        case Shape::Raw:
            result = (dialog.*entry.raw)(wParam, lParam);
            break;
        }
        return true;
    }
    return false;
}
