#pragma once

#include "ui/MessageTypes.h"

#include <QDialog>
#include <QWidget>

class Dialog;

// The layer's own Qt side of a Dialog (not for programs): the top-level window and the template area.
// Both forward what happens to them as window messages, and go quiet once the dialog lets go of them,
// so a window whose deletion had to wait never calls into a dialog that is gone.

class DialogWindow final : public QDialog {
public:
    explicit DialogWindow(Dialog* owner);

    void Detach() { owner = nullptr; }
    bool IsAttached() const { return owner != nullptr; }
    LRESULT Deliver(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    bool event(QEvent* event) override;

private:
    Dialog* owner;
};

class ClientArea final : public QWidget {
public:
    ClientArea(Dialog* owner, QWidget* parent);

    void Detach() { owner = nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Dialog* owner;
};
