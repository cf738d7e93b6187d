#include "ui/DialogDriver.h"

#include "ui/Control.h"
#include "ui/Dialog.h"
#include "ui/MessageBox.h"
#include "ui/QtText.h"
#include "ui/Screenshot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

DialogDriver::DialogDriver(Dialog& dialogIn)
    : dialog(dialogIn)
{
    previousHook = SetMessageBoxHook([this](const WideString& text, const WideString&) {
        messageBoxes.push_back(text);
        if (whileShown && !runningWhileShown) {
            runningWhileShown = true;
            whileShown();
            runningWhileShown = false;
        }
        return IDOK;
    });
    if (!dialog.GetWindowWidget())
        created = dialog.Create();
}

DialogDriver::~DialogDriver()
{
    if (created)
        dialog.DestroyWindow();
    SetMessageBoxHook(std::move(previousHook));
}

int DialogDriver::RunModal(Dialog& dialog, const std::function<void(DialogDriver&)>& script)
{
    // The script's timer belongs to this call: if the dialog ends before its loop ever runs, the
    // timer dies here instead of firing later into a finished test.
    QObject scope;
    QTimer::singleShot(0, &scope, [&dialog, &script] {
        DialogDriver driver(dialog);
        script(driver);
        if (!dialog.IsEnded())
            dialog.EndDialog(-1);
    });
    return dialog.DoModal();
}

void DialogDriver::Click(int id)
{
    if (auto* button = qobject_cast<QAbstractButton*>(dialog.GetControlWidget(id)))
        button->click(); // does nothing on a disabled button, as a mouse click would
}

void DialogDriver::TypeText(int id, const WideString& text)
{
    QWidget* widget = dialog.GetControlWidget(id);
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->setText(ToQString(text));
    else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
        edit->setPlainText(ToQString(text));
}

void DialogDriver::PressOk()
{
    QWidget* window = dialog.GetWindowWidget();
    if (!window)
        return;
    if (auto* ok = window->findChild<QPushButton*>(QStringLiteral("captionOk"), Qt::FindDirectChildrenOnly))
        ok->click();
}

namespace {

void SendKey(QWidget* window, int key)
{
    if (!window)
        return;
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

} // namespace

void DialogDriver::PressReturn()
{
    SendKey(dialog.GetWindowWidget(), Qt::Key_Return);
}

void DialogDriver::PressEscape()
{
    SendKey(dialog.GetWindowWidget(), Qt::Key_Escape);
}

void DialogDriver::CloseButton()
{
    if (QWidget* window = dialog.GetWindowWidget())
        window->close();
}

bool DialogDriver::FireTimer(UINT_PTR id)
{
    if (!dialog.IsTimerRunning(id))
        return false;
    dialog.WindowProc(WM_TIMER, static_cast<WPARAM>(id), 0);
    return true;
}

WideString DialogDriver::Text(int id) const
{
    return dialog.GetDlgItemText(id);
}

bool DialogDriver::IsEnabled(int id) const
{
    const QWidget* widget = dialog.GetControlWidget(id);
    return widget && widget->isEnabled();
}

bool DialogDriver::IsVisible(int id) const
{
    const QWidget* widget = dialog.GetControlWidget(id);
    return widget && !widget->isHidden();
}

bool DialogDriver::IsChecked(int id) const
{
    const auto* button = qobject_cast<const QAbstractButton*>(dialog.GetControlWidget(id));
    return button && button->isChecked();
}

int DialogDriver::Position(int id) const
{
    const auto* bar = qobject_cast<const QProgressBar*>(dialog.GetControlWidget(id));
    return bar ? std::max(bar->value(), bar->minimum()) : 0;
}

int DialogDriver::RangeMinimum(int id) const
{
    const auto* bar = qobject_cast<const QProgressBar*>(dialog.GetControlWidget(id));
    return bar ? bar->minimum() : 0;
}

int DialogDriver::RangeMaximum(int id) const
{
    const auto* bar = qobject_cast<const QProgressBar*>(dialog.GetControlWidget(id));
    return bar ? bar->maximum() : 0;
}

bool DialogDriver::IsEnded() const
{
    return dialog.IsEnded();
}

int DialogDriver::Result() const
{
    return dialog.GetResult();
}

bool DialogDriver::WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    if (pred())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (pred())
            loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    // Checking every few milliseconds lets the loop sleep in between instead of spinning.
    poll.start(5);
    loop.exec();
    return pred();
}

void DialogDriver::ProcessEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

QImage DialogDriver::Grab() const
{
    return GrabDialog(dialog);
}
