#include "ui/Dialog.h"

#include "ui/Control.h"
#include "ui/DataExchange.h"
#include "ui/DialogFont.h"
#include "ui/DialogState.h"
#include "ui/DialogUnits.h"
#include "ui/DialogWindow.h"
#include "ui/QtDispatcher.h"
#include "ui/WindowBeacon.h"
#include "ui/WindowRegistry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cassert>

namespace {

// The dialogs of this process that have a window, in creation order.
std::vector<Dialog*>& LiveDialogs()
{
    static std::vector<Dialog*> dialogs;
    return dialogs;
}

QString ToQString(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}

// Height of the strip that carries the caption's OK button, and the button's size, in dialog units.
constexpr int OkStripHeight = 16;
constexpr int OkButtonWidth = 30;
constexpr int OkButtonHeight = 12;
constexpr int OkButtonMargin = 2;

QRect ToQRect(const Rect& rect)
{
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

Qt::FocusPolicy FocusPolicyFor(const ControlTemplate& control, Qt::FocusPolicy natural)
{
    if (natural == Qt::NoFocus)
        return natural;
    return (control.style & TabStop) ? Qt::StrongFocus : Qt::ClickFocus;
}

QWidget* CreateStatic(const ControlTemplate& control, QWidget* parent)
{
    auto* label = new QLabel(ToQString(control.text), parent);
    label->setTextFormat(Qt::PlainText);
    const Qt::Alignment horizontal = (control.style & Centered) ? Qt::AlignHCenter : Qt::AlignLeft;
    label->setAlignment(horizontal | Qt::AlignVCenter);
    if (control.style & SunkenEdge)
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    else if (control.style & Border)
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

QWidget* CreateEdit(const ControlTemplate& control, QWidget* parent)
{
    const bool readOnly = control.style & ReadOnly;
    if (control.style & MultiLine) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setPlainText(ToQString(control.text));
        edit->setReadOnly(readOnly);
        edit->setLineWrapMode(
            (control.style & AutoHScroll) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy(
            (control.style & VerticalScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        if (!(control.style & Border))
            edit->setFrameStyle(QFrame::NoFrame);
        edit->setFocusPolicy(FocusPolicyFor(control, Qt::StrongFocus));
        return edit;
    }
    auto* edit = new QLineEdit(ToQString(control.text), parent);
    edit->setReadOnly(readOnly);
    edit->setFrame(control.style & Border);
    edit->setFocusPolicy(FocusPolicyFor(control, Qt::StrongFocus));
    return edit;
}

QWidget* CreateControlWidget(const ControlTemplate& control, QWidget* parent)
{
    switch (control.kind) {
    case ControlKind::Static:
        return CreateStatic(control, parent);
    case ControlKind::GroupBox:
        return new QGroupBox(ToQString(control.text), parent);
    case ControlKind::PushButton: {
        auto* button = new QPushButton(ToQString(control.text), parent);
        // Return belongs to the dialog (IDOK) unless a button has the focus; see DialogWindow.
        button->setAutoDefault(false);
        button->setFocusPolicy(FocusPolicyFor(control, Qt::StrongFocus));
        return button;
    }
    case ControlKind::CheckBox: {
        auto* box = new QCheckBox(ToQString(control.text), parent);
        box->setFocusPolicy(FocusPolicyFor(control, Qt::StrongFocus));
        return box;
    }
    case ControlKind::Edit:
        return CreateEdit(control, parent);
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    }
    return new QWidget(parent);
}

} // namespace

HWND FindLocalDialog(const WideString& title)
{
    for (Dialog* dialog : LiveDialogs()) {
        if (WideString(dialog->GetTemplate().title) == title)
            return dialog->GetSafeHwnd();
    }
    return NullWindow;
}

Dialog* LocalDialogFromHandle(HWND handle)
{
    for (Dialog* dialog : LiveDialogs()) {
        if (dialog->GetSafeHwnd() == handle)
            return dialog;
    }
    return nullptr;
}

Dialog::Dialog(const DialogTemplate& dialogTemplateIn)
    : frameworkTemplate(dialogTemplateIn)
    , frameworkState(std::make_unique<DialogState>())
{
}

Dialog::~Dialog()
{
    DestroyWindow();
}

namespace {

void BuildControls(Dialog& dialog, DialogState& state)
{
    for (const ControlTemplate& control : dialog.GetTemplate().controls) {
        QWidget* widget = CreateControlWidget(control, state.client);
        widget->setGeometry(
            ToQRect(DialogRectToPixels(control.x, control.y, control.cx, control.cy, state.logicalDpi)));
        if (control.style & Disabled)
            widget->setEnabled(false);
        if (control.style & Hidden)
            widget->hide();
        if (control.id == NoControlId)
            continue;
        state.controls.emplace(control.id, widget);
        const int id = control.id;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const bool manualCheck = control.kind == ControlKind::CheckBox && !(control.style & AutoCheck);
            DialogWindow* window = state.window;
            QObject::connect(button, &QAbstractButton::clicked, window, [window, button, id, manualCheck] {
                // A check box without AutoCheck leaves its state to the program.
                if (manualCheck)
                    button->setChecked(!button->isChecked());
                window->Deliver(WM_COMMAND, MAKEWPARAM(static_cast<std::uint16_t>(id), BN_CLICKED), 0);
            });
        }
    }
}

void BuildOkStrip(DialogState& state, int clientWidth)
{
    const double dpi = state.logicalDpi;
    auto* ok = new QPushButton(QStringLiteral("OK"), state.window);
    ok->setAutoDefault(false);
    ok->setObjectName(QStringLiteral("captionOk"));
    const int width = DialogUnitsToPixels(OkButtonWidth, dpi);
    const int height = DialogUnitsToPixels(OkButtonHeight, dpi);
    const int margin = DialogUnitsToPixels(OkButtonMargin, dpi);
    ok->setGeometry(
        clientWidth - margin - width, (DialogUnitsToPixels(OkStripHeight, dpi) - height) / 2, width, height);
    DialogWindow* window = state.window;
    QObject::connect(ok, &QPushButton::clicked, window,
        [window] { window->Deliver(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); });
}

} // namespace

bool Dialog::Create()
{
    DialogState& s = *frameworkState;
    if (s.window)
        return false;
    assert(QApplication::instance() && "a dialog needs the QApplication (ui_main or the test main makes it)");
    s.ended = false;
    s.result = 0;
    s.window = new DialogWindow(this);
    QScreen* screen = s.window->screen() ? s.window->screen() : QGuiApplication::primaryScreen();
    s.logicalDpi = screen ? screen->logicalDotsPerInch() : 96.0;
    s.window->setFont(DialogFont());
    s.window->setWindowTitle(ToQString(frameworkTemplate.title));

    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint;
    if (frameworkTemplate.style & NoSystemMenu)
        flags |= Qt::CustomizeWindowHint;
    else
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    s.window->setWindowFlags(flags);

    const int clientWidth = DialogUnitsToPixels(frameworkTemplate.cx, s.logicalDpi);
    const int clientHeight = DialogUnitsToPixels(frameworkTemplate.cy, s.logicalDpi);
    const int strip
        = (frameworkTemplate.style & CaptionOkButton) ? DialogUnitsToPixels(OkStripHeight, s.logicalDpi) : 0;
    s.window->setFixedSize(clientWidth, clientHeight + strip);
    s.client = new ClientArea(this, s.window);
    s.client->setGeometry(0, strip, clientWidth, clientHeight);
    if (strip)
        BuildOkStrip(s, clientWidth);
    BuildControls(*this, s);

    s.dispatcher = std::make_unique<QtDispatcher>();
    s.handle = WindowRegistry::Register(this, s.dispatcher.get());
    LiveDialogs().push_back(this);
    s.beacon = std::make_unique<WindowBeacon>(
        WideString(frameworkTemplate.title), [this] { SetForegroundWindow(); });

    OnInitDialog();
    if (!s.window)
        return true; // OnInitDialog destroyed the window
    s.window->show();
    if (frameworkTemplate.style & SetForeground)
        SetForegroundWindow();
    return true;
}

int Dialog::DoModal()
{
    DialogState& s = *frameworkState;
    if (s.window)
        return -1;
    Create();
    if (s.window && !s.ended) {
        s.window->setWindowModality(Qt::ApplicationModal);
        QEventLoop loop;
        s.modalLoop = &loop;
        loop.exec(QEventLoop::DialogExec);
        s.modalLoop = nullptr;
    }
    const int result = s.ended ? s.result : IDCANCEL;
    DestroyWindow();
    return result;
}

void Dialog::DestroyWindow()
{
    DialogState& s = *frameworkState;
    if (!s.window)
        return;
    s.destroying = true;
    // Unregistering first releases every thread still waiting in a send to this dialog, so nothing
    // below can leave a sender blocked or run a handler.
    WindowRegistry::Unregister(s.handle);
    s.handle = NullWindow;
    std::erase(LiveDialogs(), this);
    s.beacon.reset();
    for (auto& [id, slot] : s.timers)
        slot.timer->stop();
    s.timers.clear();
    s.controls.clear();
    s.window->Detach();
    s.client->Detach();
    s.window->hide();
    // A window or queue whose own event is on the stack right now is deleted once that event is done.
    if (s.dispatchDepth > 0) {
        s.window->deleteLater();
        s.dispatcher->DeleteQueueLater();
    } else {
        delete s.window;
    }
    s.window = nullptr;
    s.client = nullptr;
    s.dispatcher.reset();
    s.destroying = false;
}

void Dialog::EndDialog(int result)
{
    DialogState& s = *frameworkState;
    if (s.ended)
        return;
    s.ended = true;
    s.result = result;
    for (auto& [id, slot] : s.timers) {
        ++slot.generation;
        slot.timer->stop();
    }
    if (s.window)
        s.window->hide();
    if (s.modalLoop)
        s.modalLoop->exit(0);
}

bool Dialog::IsEnded() const
{
    return frameworkState->ended;
}

int Dialog::GetResult() const
{
    return frameworkState->result;
}

HWND Dialog::GetSafeHwnd() const
{
    return frameworkState->handle;
}

BOOL Dialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void Dialog::DoDataExchange(DataExchange*) { }

bool Dialog::UpdateData(BOOL saveAndValidate)
{
    if (!frameworkState->window)
        return false;
    DataExchange dx(this, saveAndValidate != FALSE);
    DoDataExchange(&dx);
    return !dx.HasFailed();
}

void Dialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void Dialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT Dialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogState& s = *frameworkState;
    if (!s.window || s.ended || s.destroying)
        return 0;
    s.current.push_back({ message, wParam, lParam });
    ++s.dispatchDepth;
    LRESULT result = 0;
    if (!DispatchMessageMap(message, wParam, lParam, result))
        result = DefaultHandling(message, wParam, lParam);
    --s.dispatchDepth;
    s.current.pop_back();
    return result;
}

bool Dialog::DispatchMessageMap(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

LRESULT Dialog::Default()
{
    if (frameworkState->current.empty())
        return 0;
    const DialogState::Message message = frameworkState->current.back();
    return DefaultHandling(message.message, message.wParam, message.lParam);
}

LRESULT Dialog::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        EndDialog(IDCANCEL);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            return 0;
        if (LOWORD(wParam) == IDOK)
            OnOK();
        else if (LOWORD(wParam) == IDCANCEL)
            OnCancel();
        return 0;
    case WM_SETICON:
        return static_cast<LRESULT>(SetIcon(static_cast<HICON>(lParam), wParam == ICON_BIG));
    default:
        return 0;
    }
}

void Dialog::CenterWindow()
{
    DialogWindow* window = frameworkState->window;
    if (!window)
        return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize frame = window->frameGeometry().size();
    const QSize size = frame.isValid() ? frame.expandedTo(window->size()) : window->size();
    window->move(
        area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

HICON Dialog::SetIcon(HICON icon, BOOL bigIcon)
{
    DialogState& s = *frameworkState;
    HICON& slot = bigIcon ? s.bigIcon : s.smallIcon;
    const HICON previous = slot;
    slot = icon;
    if (s.window) {
        // Qt keeps one icon per window with several sizes; both images go into it.
        QIcon combined;
        for (HICON each : { s.bigIcon, s.smallIcon }) {
            if (const char* path = IconPath(each))
                combined.addFile(QString::fromUtf8(path));
        }
        s.window->setWindowIcon(combined);
    }
    return previous;
}

HICON Dialog::GetIcon(BOOL bigIcon) const
{
    return bigIcon ? frameworkState->bigIcon : frameworkState->smallIcon;
}

void Dialog::SetForegroundWindow()
{
    DialogWindow* window = frameworkState->window;
    if (!window || frameworkState->ended)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}

bool Dialog::IsActiveWindow() const
{
    return frameworkState->window && frameworkState->window->isActiveWindow();
}

UINT_PTR Dialog::SetTimer(UINT_PTR id, UINT elapse)
{
    DialogState& s = *frameworkState;
    if (!s.window || id == 0)
        return 0;
    // A zero period would tick whenever the loop is idle; the classic minimum keeps it a timer.
    constexpr UINT MinimumPeriod = 10;
    const int period = static_cast<int>(std::clamp<UINT>(elapse, MinimumPeriod, 0x7FFFFFFF));
    DialogState::TimerSlot& slot = s.timers[id];
    ++slot.generation;
    if (!slot.timer) {
        slot.timer = new QTimer(s.window);
        slot.timer->setTimerType(Qt::PreciseTimer);
        DialogWindow* window = s.window;
        QObject::connect(slot.timer, &QTimer::timeout, window, [window, &s, id] {
            // The tick is handled from the event queue, not inside Qt's timer event: Qt holds a
            // timer back while its own event runs, and a handler that opens a message box must keep
            // receiving ticks, as it classically does. A tick queued before a SetTimer or KillTimer
            // of the same id is dropped, so no tick ever arrives early or after a kill.
            if (!window->IsAttached())
                return;
            const unsigned generation = s.timers.at(id).generation;
            QMetaObject::invokeMethod(
                window,
                [window, &s, id, generation] {
                    if (!window->IsAttached())
                        return; // the dialog let go of this window; s may be gone
                    auto found = s.timers.find(id);
                    if (found != s.timers.end() && found->second.generation == generation)
                        window->Deliver(WM_TIMER, static_cast<WPARAM>(id), 0);
                },
                Qt::QueuedConnection);
        });
    }
    // start() on a running timer restarts it, so the next tick is one full period away.
    slot.timer->start(period);
    return id;
}

BOOL Dialog::KillTimer(UINT_PTR id)
{
    auto found = frameworkState->timers.find(id);
    if (found == frameworkState->timers.end() || !found->second.timer->isActive())
        return FALSE;
    ++found->second.generation;
    // Stopped, not deleted: this may run inside the timer's own tick.
    found->second.timer->stop();
    return TRUE;
}

bool Dialog::IsTimerRunning(UINT_PTR id) const
{
    auto found = frameworkState->timers.find(id);
    return found != frameworkState->timers.end() && found->second.timer->isActive();
}

UINT Dialog::GetTimerPeriod(UINT_PTR id) const
{
    return IsTimerRunning(id) ? static_cast<UINT>(frameworkState->timers.at(id).timer->interval()) : 0;
}

void Dialog::InvalidateRect(const Rect* rect, BOOL)
{
    ClientArea* client = frameworkState->client;
    if (!client)
        return;
    if (rect)
        client->update(ToQRect(*rect));
    else
        client->update();
}

Rect Dialog::GetClientRect() const
{
    if (!frameworkState->client)
        return {};
    return Rect { 0, 0, frameworkState->client->width(), frameworkState->client->height() };
}

Control* Dialog::GetDlgItem(int id)
{
    if (!GetControlWidget(id))
        return nullptr;
    std::unique_ptr<Control>& item = frameworkState->itemObjects[id];
    if (!item) {
        item = std::make_unique<Control>();
        item->Attach(this, id);
    }
    return item.get();
}

void Dialog::SetDlgItemText(int id, const WideString& text)
{
    if (Control* item = GetDlgItem(id))
        item->SetWindowText(text);
}

WideString Dialog::GetDlgItemText(int id) const
{
    Control probe;
    probe.Attach(const_cast<Dialog*>(this), id);
    return probe.GetWindowText();
}

int Dialog::GetFocusedControlId() const
{
    if (!frameworkState->window)
        return NoControlId;
    const QWidget* focused = frameworkState->window->focusWidget();
    for (const auto& [id, widget] : frameworkState->controls) {
        if (widget == focused || (focused && widget->isAncestorOf(focused)))
            return id;
    }
    return NoControlId;
}

QWidget* Dialog::GetWindowWidget() const
{
    return frameworkState->window;
}

QWidget* Dialog::GetClientWidget() const
{
    return frameworkState->client;
}

QWidget* Dialog::GetControlWidget(int id) const
{
    auto found = frameworkState->controls.find(id);
    return found == frameworkState->controls.end() ? nullptr : found->second;
}
