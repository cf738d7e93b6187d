#include "ui/DialogWindow.h"

#include "ui/Dialog.h"
#include "ui/DialogState.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

DialogWindow::DialogWindow(Dialog* ownerIn)
    : owner(ownerIn)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
}

LRESULT DialogWindow::Deliver(UINT message, WPARAM wParam, LPARAM lParam)
{
    return owner ? owner->WindowProc(message, wParam, lParam) : 0;
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    // The window only goes through EndDialog; the close button just asks, as WM_CLOSE.
    event->ignore();
    if (owner && !owner->IsEnded())
        Deliver(WM_CLOSE, 0, 0);
}

void DialogWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        // A focused push button takes Return, as it does in classic dialogs; otherwise it means OK.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) {
            button->click();
            return;
        }
        Deliver(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    case Qt::Key_Escape:
        event->accept();
        Deliver(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void DialogWindow::reject()
{
    Deliver(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

bool DialogWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate && owner && isVisible()) {
        // Windows this dialog owns (its message boxes) may take the focus without it counting as lost:
        // otherwise a dialog that pulls itself back to the front would bury its own messages.
        const QWidget* next = QApplication::activeWindow();
        bool toOwnWindow = false;
        for (const QWidget* up = next ? next->parentWidget() : nullptr; up; up = up->parentWidget())
            toOwnWindow = toOwnWindow || up == this;
        if (!toOwnWindow)
            Deliver(WM_KILLFOCUS, 0, 0);
    }
    return QDialog::event(event);
}

ClientArea::ClientArea(Dialog* ownerIn, QWidget* parent)
    : QWidget(parent)
    , owner(ownerIn)
{
    setAutoFillBackground(true);
}

void ClientArea::paintEvent(QPaintEvent* event)
{
    if (!owner)
        return;
    DialogState& state = *owner->frameworkState;
    QPainter painter(this);
    state.painter = &painter;
    const QRect box = event->rect();
    state.paintClip = Rect { box.left(), box.top(), box.left() + box.width(), box.top() + box.height() };
    owner->WindowProc(WM_PAINT, 0, 0);
    state.painter = nullptr;
}
