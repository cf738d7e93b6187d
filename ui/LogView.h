#pragma once

#include <QObject>
#include <QTextCursor>
#include <QTimer>

#include <chrono>

class QPlainTextEdit;
class QString;

// The Qt side of a message log: a read-only multi-line edit whose text DDX_Log only ever extends at
// the end, cuts at the top or replaces. Its text always changes at once, so the control holds what the
// program put there at every moment; what this class saves is the work around it.
//
// - A cursor stays parked at the end and appends inside an edit block: looking for the end, or keeping
//   the cursor's column, would lay out the last line again at every append.
// - The edit keeps no undo history, which would hold every piece ever shown and keep dropped lines
//   alive, and it lays out its Latin text without shaping (no kerning), which is several times faster.
// - Repaints are held back while the log is busy. A log fed a piece every few tens of milliseconds
//   would otherwise repaint its text, its scroll bar and what lies under them for every piece, which
//   costs far more than keeping the text. A change after a quiet spell shows at once; changes that
//   follow within RepaintInterval are shown together when it has passed, with one new scroll bar range.
//   The user's own wheel, mouse and key input shows everything at once, and nothing is held back for
//   UserPause after it, so scrolling through a busy log stays smooth.
class LogView final : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds RepaintInterval { 1000 };
    static constexpr std::chrono::milliseconds UserPause { 1000 };

    // The view of edit, made on first use; it lives as long as the edit.
    static LogView* Of(QPlainTextEdit* edit);

    // The three changes a log knows. Each keeps the newest line in sight when it was in sight before.
    void Replace(const QString& text);
    void Append(const QString& piece);
    // Removes the first lines line breaks and what precedes them; a user who scrolled back keeps
    // looking at the same lines.
    void DropFirstLines(int lines);

    // Shows now whatever is held back (for screenshots and tests).
    void EndHold();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Clock = std::chrono::steady_clock;

    explicit LogView(QPlainTextEdit* edit);
    bool ShowsTheEnd() const;
    // Called before every change: starts holding repaints back unless the log has been quiet.
    void HoldRepaints();

    QPlainTextEdit* edit;
    QTextCursor end;
    QTimer holdTimer;
    bool holding = false;
    // Whether the newest line was in sight when the hold began, so that its end shows it again.
    bool followEndAfterHold = false;
    // A change from then on shows at once.
    Clock::time_point quietFrom {};
    Clock::time_point userActiveUntil {};
};
