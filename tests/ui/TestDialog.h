#pragma once

#include "ui/Control.h"
#include "ui/DataExchange.h"
#include "ui/Dialog.h"
#include "ui/LogBinding.h"
#include "ui/MessageMap.h"

#include <functional>
#include <string>
#include <vector>

// A small dialog that uses every part of the layer the programs use.
namespace testdialog {

constexpr int IdName = 1001;
constexpr int IdRate = 1002;
constexpr int IdCheck = 1003;
constexpr int IdLabel = 1004;
constexpr int IdButton = 1005;
constexpr int IdOther = 1006;
constexpr int IdLog = 1007;
constexpr int IdBar = 1008;
constexpr int IdPlaceholder = 1009;
constexpr int IdAfter = 1010;

constexpr ControlTemplate Controls[] = {
    { NoControlId, ControlKind::GroupBox, u"", 4, 4, 150, 100 },
    { IdName, ControlKind::Edit, u"", 10, 10, 80, 12, Border | TabStop | AutoHScroll },
    { IdRate, ControlKind::Edit, u"", 10, 26, 30, 12, Border },
    { IdCheck, ControlKind::CheckBox, u"Check", 10, 42, 60, 10, AutoCheck | TabStop },
    { IdLabel, ControlKind::Static, u"Initial", 10, 56, 50, 11, Centered | SunkenEdge },
    { IdButton, ControlKind::PushButton, u"Button", 100, 10, 50, 14, TabStop },
    { IdOther, ControlKind::PushButton, u"Other", 100, 28, 50, 14, TabStop | Disabled },
    { IdLog, ControlKind::Edit, u"", 4, 110, 150, 40, MultiLine | ReadOnly | VerticalScroll | Border },
    { IdBar, ControlKind::ProgressBar, u"Progress1", 100, 46, 32, 11, Border },
    { IdPlaceholder, ControlKind::Static, u"", 10, 70, 58, 9, Hidden },
    { IdAfter, ControlKind::Edit, u"", 10, 84, 40, 12, Border },
};

constexpr DialogTemplate Template { 102, u"Layer test dialog", 160, 156, CaptionOkButton, Controls };

class TestDialog : public Dialog {
public:
    explicit TestDialog(const DialogTemplate& layout = Template)
        : Dialog(layout)
    {
    }

    WideString name;
    int rate = 1;
    bool checked = false;
    WideString label;
    WideString after;
    WideString log;
    LogBinding logBinding;
    Button button;
    ProgressCtrl bar;
    StaticControl placeholder;

    std::vector<std::string> calls;
    std::function<void(UINT_PTR)> onTimer;
    std::function<void()> onPaint;
    std::function<LRESULT(WPARAM, LPARAM)> onUser;
    std::function<void()> onKillFocus;
    bool closeGoesToDefault = true;

    void DoDataExchange(DataExchange* dx) override
    {
        DDX_Control(dx, IdButton, button);
        DDX_Control(dx, IdBar, bar);
        DDX_Control(dx, IdPlaceholder, placeholder);
        DDX_Text(dx, IdName, name);
        DDX_Text(dx, IdLabel, label);
        DDX_Check(dx, IdCheck, checked);
        DDX_Text(dx, IdRate, rate);
        DDV_MinMaxInt(dx, rate, 1, 60);
        DDX_Text(dx, IdAfter, after);
        DDX_Log(dx, IdLog, log, logBinding);
    }

private:
    void OnButton() { calls.push_back("button"); }
    void OnButtonAgain() { calls.push_back("button again"); }
    void OnCheck() { calls.push_back("check"); }
    void OnTimer(UINT_PTR id)
    {
        calls.push_back("timer " + std::to_string(id));
        if (onTimer)
            onTimer(id);
    }
    void OnPaint()
    {
        calls.push_back("paint");
        if (onPaint)
            onPaint();
    }
    void OnClose()
    {
        calls.push_back("close");
        if (closeGoesToDefault)
            Default();
    }
    void OnKillFocus(HWND)
    {
        calls.push_back("killfocus");
        if (onKillFocus)
            onKillFocus();
    }
    LRESULT OnUser(WPARAM wParam, LPARAM lParam)
    {
        calls.push_back("user");
        return onUser ? onUser(wParam, lParam) : 0;
    }

    static const MessageMapEntry<TestDialog> messageMap[];
    bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

inline const MessageMapEntry<TestDialog> TestDialog::messageMap[] = {
    MapClicked(IdButton, &TestDialog::OnButton),
    MapClicked(IdButton, &TestDialog::OnButtonAgain),
    MapClicked(IdCheck, &TestDialog::OnCheck),
    MapTimer(&TestDialog::OnTimer),
    MapPaint(&TestDialog::OnPaint),
    MapClose(&TestDialog::OnClose),
    MapKillFocus(&TestDialog::OnKillFocus),
    MapMessage(WM_USER + 1, &TestDialog::OnUser),
};

// Defined after the table: only then is its length known.
inline bool TestDialog::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return RunMessageMap(*this, messageMap, message, wParam, lParam, result);
}

} // namespace testdialog
