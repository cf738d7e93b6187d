#pragma once

#include "ui/WideString.h"

#include <QLocalServer>
#include <QString>

#include <functional>

// The layer's own part of finding a dialog by its title across processes: while a dialog exists it
// listens on a local socket named after its title and comes to the front when asked. The socket lives
// in the abstract namespace, so it vanishes with the process and a second listener cannot take over
// a live one (a filesystem socket would be silently replaced).
class WindowBeacon {
public:
    WindowBeacon(const WideString& title, std::function<void()> onRaise);
    WindowBeacon(const WindowBeacon&) = delete;
    WindowBeacon& operator=(const WindowBeacon&) = delete;

    // False when another dialog (here or in another process) already answers for this title.
    bool IsListening() const { return server.isListening(); }

    // The socket name for a title: per user and session (XDG_RUNTIME_DIR), fixed length whatever the
    // title holds.
    static QString SocketName(const WideString& title);

    static constexpr const char* RaiseRequest = "raise\n";
    static constexpr const char* RaiseReply = "raised\n";

private:
    QLocalServer server;
    std::function<void()> onRaise;
};
