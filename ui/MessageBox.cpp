#include "ui/MessageBox.h"

#include "ui/Dialog.h"
#include "ui/QtText.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

} // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

int MessageBox(Dialog* owner, const WideString& text, const WideString& caption)
{
    if (const MessageBoxHook& hook = Hook())
        return hook(text, caption);
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "message box \"%s\": %s\n", caption.ToAscii().c_str(), text.ToAscii().c_str());
        return IDOK;
    }
    QMessageBox box(QMessageBox::Warning, ToQString(caption), ToQString(text), QMessageBox::Ok,
        owner ? owner->GetWindowWidget() : nullptr);
    box.exec();
    return IDOK;
}
