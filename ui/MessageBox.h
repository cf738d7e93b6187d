#pragma once

#include "ui/MessageTypes.h"
#include "ui/WideString.h"

#include <functional>

class Dialog;

// Shows text to the user in a modal message box with an OK button over owner (may be null), with
// caption as its title, and returns IDOK once it is dismissed. While it is open the UI thread's event
// loop keeps running, so timers and sends to open dialogs are still handled, as the classic framework
// does. With a hook installed the hook decides instead; with none on the offscreen platform (tests,
// headless runs) the text goes to stderr and the call returns IDOK at once, so nothing ever waits for
// a user who is not there.
int MessageBox(Dialog* owner, const WideString& text, const WideString& caption);

// Stands in for the box: sees the text and caption and returns the result. Hooks run on the UI thread.
using MessageBoxHook = std::function<int(const WideString& text, const WideString& caption)>;

// Installs hook (an empty one removes it) and returns the one it replaces.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
