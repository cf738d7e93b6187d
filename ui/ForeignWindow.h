#pragma once

#include "ui/MessageTypes.h"
#include "ui/WideString.h"

#include <memory>

class QLocalSocket;

// A dialog found by its title, in this process or in another one of the same user. Every dialog
// answers for its title from creation until it is destroyed; the first of several with one title wins.
class ForeignWindow {
public:
    ForeignWindow();
    ForeignWindow(ForeignWindow&&) noexcept;
    ForeignWindow& operator=(ForeignWindow&&) noexcept;
    ~ForeignWindow();

    // Looks for a dialog titled title. Never blocks for long: a live dialog answers at once and an
    // absent one is known at once.
    static ForeignWindow Find(const WideString& title);

    bool IsFound() const { return found; }

    // Asks the window to come to the foreground. True when it confirmed (waits up to two seconds for
    // another process); false when nothing was found or the owner did not answer.
    bool SetForegroundWindow();

private:
    bool found = false;
    HWND localWindow = NullWindow;
    std::unique_ptr<QLocalSocket> socket;
};

// The classic lookup: className is not used (pass nullptr).
inline ForeignWindow FindWindow(const char16_t* className, const char16_t* title)
{
    (void)className;
    return ForeignWindow::Find(WideString(title));
}
