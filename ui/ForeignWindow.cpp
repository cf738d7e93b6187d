#include "ui/ForeignWindow.h"

#include "ui/Dialog.h"
#include "ui/DialogState.h"
#include "ui/WindowBeacon.h"

#include <QLocalSocket>

namespace {

constexpr int AnswerTimeoutMs = 2000;

} // namespace

ForeignWindow::ForeignWindow() = default;
ForeignWindow::ForeignWindow(ForeignWindow&&) noexcept = default;
ForeignWindow& ForeignWindow::operator=(ForeignWindow&&) noexcept = default;
ForeignWindow::~ForeignWindow() = default;

ForeignWindow ForeignWindow::Find(const WideString& title)
{
    ForeignWindow result;
    // A dialog of this very process cannot answer while this thread waits for it, so look here first.
    result.localWindow = FindLocalDialog(title);
    if (result.localWindow != NullWindow) {
        result.found = true;
        return result;
    }
    auto socket = std::make_unique<QLocalSocket>();
    socket->setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket->connectToServer(WindowBeacon::SocketName(title));
    // A listening socket accepts at once and a missing one fails at once; the wait is only a bound.
    if (!socket->waitForConnected(AnswerTimeoutMs))
        return result;
    result.found = true;
    result.socket = std::move(socket);
    return result;
}

bool ForeignWindow::SetForegroundWindow()
{
    if (!found)
        return false;
    if (localWindow != NullWindow) {
        Dialog* dialog = LocalDialogFromHandle(localWindow);
        if (!dialog)
            return false;
        dialog->SetForegroundWindow();
        return true;
    }
    if (!socket || socket->state() != QLocalSocket::ConnectedState)
        return false;
    socket->write(WindowBeacon::RaiseRequest);
    if (!socket->waitForBytesWritten(AnswerTimeoutMs))
        return false;
    while (!socket->canReadLine()) {
        if (!socket->waitForReadyRead(AnswerTimeoutMs))
            return false;
    }
    return socket->readLine() == WindowBeacon::RaiseReply;
}
