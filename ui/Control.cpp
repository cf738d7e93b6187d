#include "ui/Control.h"

#include "ui/Dialog.h"
#include "ui/QtText.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QWidget>

#include <algorithm>

namespace {

QWidget* WidgetOf(Dialog* dialog, int id)
{
    return dialog ? dialog->GetControlWidget(id) : nullptr;
}

} // namespace

void Control::Attach(Dialog* owner, int controlId)
{
    dialog = owner;
    id = controlId;
}

bool Control::IsWindow() const
{
    return WidgetOf(dialog, id) != nullptr;
}

BOOL Control::EnableWindow(BOOL enable)
{
    QWidget* widget = WidgetOf(dialog, id);
    if (!widget)
        return FALSE;
    const BOOL wasDisabled = widget->isEnabled() ? FALSE : TRUE;
    widget->setEnabled(enable != FALSE);
    return wasDisabled;
}

bool Control::IsWindowEnabled() const
{
    const QWidget* widget = WidgetOf(dialog, id);
    return widget && widget->isEnabled();
}

bool Control::IsWindowVisible() const
{
    const QWidget* widget = WidgetOf(dialog, id);
    return widget && !widget->isHidden();
}

void Control::SetWindowText(const WideString& text)
{
    QWidget* widget = WidgetOf(dialog, id);
    const QString value = ToQString(text);
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(value);
    else if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->setText(value);
    else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
        edit->setPlainText(value);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(value);
    else if (widget)
        widget->setWindowTitle(value);
}

WideString Control::GetWindowText() const
{
    QWidget* widget = WidgetOf(dialog, id);
    if (auto* label = qobject_cast<QLabel*>(widget))
        return FromQString(label->text());
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        return FromQString(line->text());
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
        return FromQString(edit->toPlainText());
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return FromQString(button->text());
    return widget ? FromQString(widget->windowTitle()) : WideString();
}

Rect Control::GetWindowRect() const
{
    const QWidget* widget = WidgetOf(dialog, id);
    if (!widget)
        return {};
    // Controls are children of the template area, so their geometry is already in client coordinates.
    const QRect box = widget->geometry();
    return Rect { box.left(), box.top(), box.left() + box.width(), box.top() + box.height() };
}

int Control::GetCheck() const
{
    const auto* button = qobject_cast<QAbstractButton*>(WidgetOf(dialog, id));
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void Control::SetCheck(int checkState)
{
    if (auto* button = qobject_cast<QAbstractButton*>(WidgetOf(dialog, id)))
        button->setChecked(checkState == BST_CHECKED);
}

LRESULT Control::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* bar = qobject_cast<QProgressBar*>(WidgetOf(dialog, id));
    if (!bar)
        return 0;
    switch (message) {
    case PBM_SETRANGE: {
        const LRESULT previous = MAKELPARAM(
            static_cast<std::uint16_t>(bar->minimum()), static_cast<std::uint16_t>(bar->maximum()));
        const int low = LOWORD(static_cast<std::uintptr_t>(lParam));
        const int high = HIWORD(static_cast<std::uintptr_t>(lParam));
        // The classic bar keeps its position inside a new range; Qt would reset it to empty instead.
        const int position = bar->value();
        bar->setRange(low, std::max(low, high));
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
        return previous;
    }
    case PBM_SETPOS: {
        const LRESULT previous = bar->value() < bar->minimum() ? bar->minimum() : bar->value();
        bar->setValue(std::clamp(static_cast<int>(wParam), bar->minimum(), bar->maximum()));
        return previous;
    }
    default:
        return 0;
    }
}
