#include "ui/DataExchange.h"

#include "ui/Control.h"
#include "ui/Dialog.h"
#include "ui/LogBinding.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/QtText.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>
#include <cassert>
#include <charconv>

namespace {

// True while a validation message is on screen. Saves that fail meanwhile (a refresh timer keeps
// saving while the user reads) still fail and still move the focus, but show nothing more.
bool validationMessageShowing = false;

// Decimal integer with optional blanks around it and an optional sign, fitting in 32 bits.
bool ParseInteger(std::u16string_view text, int& value)
{
    std::string ascii;
    for (const char16_t character : text) {
        if (character >= 0x80)
            return false;
        ascii.push_back(static_cast<char>(character));
    }
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t begin = 0;
    std::size_t end = ascii.size();
    while (begin < end && isBlank(ascii[begin]))
        ++begin;
    while (end > begin && isBlank(ascii[end - 1]))
        --end;
    // from_chars takes a '-' but not a '+'; after a '+' only digits may follow.
    if (begin < end && ascii[begin] == '+') {
        ++begin;
        if (begin == end || ascii[begin] < '0' || ascii[begin] > '9')
            return false;
    }
    if (begin == end)
        return false;
    int parsed = 0;
    const auto result = std::from_chars(ascii.data() + begin, ascii.data() + end, parsed);
    if (result.ec != std::errc {} || result.ptr != ascii.data() + end)
        return false;
    value = parsed;
    return true;
}

// Writing only what changed keeps a line edit's cursor and selection where the user left them.
void ShowInteger(Dialog* dialog, int id, int value)
{
    Control control;
    control.Attach(dialog, id);
    WideString text;
    text.Format(u"%d", value);
    if (!(control.GetWindowText() == text))
        control.SetWindowText(text);
}

QWidget* Prepare(DataExchange* dx, int id)
{
    dx->PrepareControl(id);
    QWidget* widget = dx->dialog->GetControlWidget(id);
    assert(widget && "data exchange with a control id that is not in the template");
    return widget;
}

} // namespace

DataExchange::DataExchange(Dialog* dialogIn, bool save)
    : dialog(dialogIn)
    , saveAndValidate(save)
{
}

void DataExchange::Fail(const WideString& message)
{
    if (failed)
        return;
    failed = true;
    // Before the message: its box runs events (timer ticks among them) that may use the member.
    if (integerMember)
        *integerMember = valueBeforeSave;
    const bool showing = !validationMessageShowing;
    if (showing) {
        validationMessageShowing = true;
        MessageBox(dialog, message, WideString(dialog->GetTemplate().title));
        validationMessageShowing = false;
    }
    QWidget* widget = dialog->GetControlWidget(lastControlId);
    if (!widget)
        return;
    if (showing && integerMember)
        ShowInteger(dialog, lastControlId, *integerMember);
    widget->setFocus(Qt::OtherFocusReason);
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->selectAll();
}

void DDX_Control(DataExchange* dx, int id, Control& control)
{
    control.Attach(dx->dialog, id);
}

void DDX_Text(DataExchange* dx, int id, WideString& value)
{
    if (dx->HasFailed())
        return;
    QWidget* widget = Prepare(dx, id);
    if (!widget)
        return;
    Control control;
    control.Attach(dx->dialog, id);
    if (dx->saveAndValidate) {
        value = control.GetWindowText();
        return;
    }
    // Writing only what changed keeps a line edit's cursor and selection where the user left them.
    if (!(control.GetWindowText() == value))
        control.SetWindowText(value);
}

void DDX_Text(DataExchange* dx, int id, int& value)
{
    if (dx->HasFailed())
        return;
    if (!Prepare(dx, id))
        return;
    if (!dx->saveAndValidate) {
        ShowInteger(dx->dialog, id, value);
        return;
    }
    Control control;
    control.Attach(dx->dialog, id);
    dx->RememberInteger(&value);
    int parsed = 0;
    if (!ParseInteger(control.GetWindowText().View(), parsed)) {
        dx->Fail(WideString(u"Please enter an integer."));
        return;
    }
    value = parsed;
}

void DDV_MinMaxInt(DataExchange* dx, int value, int minimum, int maximum)
{
    if (!dx->saveAndValidate || dx->HasFailed())
        return;
    if (value >= minimum && value <= maximum)
        return;
    WideString message;
    message.Format(u"Please enter an integer between %d and %d.", minimum, maximum);
    dx->Fail(message);
}

void DDX_Check(DataExchange* dx, int id, BOOL& value)
{
    bool checked = value != FALSE;
    DDX_Check(dx, id, checked);
    if (dx->saveAndValidate && !dx->HasFailed())
        value = checked ? TRUE : FALSE;
}

void DDX_Check(DataExchange* dx, int id, bool& value)
{
    if (dx->HasFailed())
        return;
    auto* button = qobject_cast<QAbstractButton*>(Prepare(dx, id));
    if (!button)
        return;
    if (dx->saveAndValidate)
        value = button->isChecked();
    else if (button->isChecked() != value)
        button->setChecked(value);
}

namespace {

// The log without carriage returns: CR LF becomes one line break and a lone CR shows as nothing.
QString LogPiece(const WideString& text, int from)
{
    QString piece;
    piece.reserve(text.GetLength() - from);
    const std::u16string_view view = text.View();
    for (std::size_t i = static_cast<std::size_t>(from); i < view.size(); ++i) {
        if (view[i] != u'\r')
            piece.append(QChar(view[i]));
    }
    return piece;
}

int CountLineBreaks(const WideString& text, int from)
{
    const std::u16string_view view = text.View().substr(static_cast<std::size_t>(from));
    return static_cast<int>(std::count(view.begin(), view.end(), u'\n'));
}

// Drops the oldest lines once the log holds a tenth more than its limit, down to the limit.
void TrimLog(WideString& text, int& shownLength, int& shownLineBreaks, int lineLimit, LogView* view)
{
    if (shownLineBreaks <= lineLimit + lineLimit / 10)
        return;
    const std::u16string_view all = text.View();
    const int wanted = shownLineBreaks - lineLimit;
    std::size_t cut = 0;
    int dropped = 0;
    while (dropped < wanted) {
        const std::size_t found = all.find(u'\n', cut);
        // Only a text changed behind the binding's back can hold fewer line breaks than counted.
        if (found == std::u16string_view::npos)
            break;
        cut = found + 1;
        ++dropped;
    }
    text.Delete(0, static_cast<int>(cut));
    shownLength -= static_cast<int>(cut);
    shownLineBreaks -= dropped;
    view->DropFirstLines(dropped);
}

} // namespace

void DDX_Log(DataExchange* dx, int id, WideString& text, LogBinding& binding)
{
    if (dx->HasFailed())
        return;
    auto* edit = qobject_cast<QPlainTextEdit*>(Prepare(dx, id));
    assert((edit || !dx->dialog->GetControlWidget(id)) && "DDX_Log needs a multi-line edit");
    // Saving copies nothing back: the log is read-only and its text is the program's.
    if (!edit || dx->saveAndValidate)
        return;
    LogView* view = LogView::Of(edit);
    if (binding.resetPending || text.GetLength() < binding.shownLength) {
        view->Replace(LogPiece(text, 0));
        binding.resetPending = false;
        binding.shownLineBreaks = CountLineBreaks(text, 0);
    } else if (text.GetLength() > binding.shownLength) {
        view->Append(LogPiece(text, binding.shownLength));
        binding.shownLineBreaks += CountLineBreaks(text, binding.shownLength);
    }
    binding.shownLength = text.GetLength();
    TrimLog(text, binding.shownLength, binding.shownLineBreaks, binding.lineLimit, view);
}
