#pragma once

#include "ui/MessageTypes.h"

// Anything that can receive window messages. WindowProc always runs on the thread that registered the
// window (see WindowRegistry), one message at a time.
class MessageWindow {
public:
    virtual ~MessageWindow() = default;
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};
