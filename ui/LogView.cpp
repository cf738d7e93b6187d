#include "ui/LogView.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFont>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

LogView* LogView::Of(QPlainTextEdit* edit)
{
    if (auto* view = edit->findChild<LogView*>(QString(), Qt::FindDirectChildrenOnly))
        return view;
    return new LogView(edit);
}

LogView::LogView(QPlainTextEdit* editIn)
    : QObject(editIn)
    , edit(editIn)
    , end(editIn->document())
{
    edit->setUndoRedoEnabled(false);
    QFont font = edit->font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    edit->setFont(font);
    end.movePosition(QTextCursor::End);
    holdTimer.setSingleShot(true);
    connect(&holdTimer, &QTimer::timeout, this, &LogView::EndHold);
    for (QObject* watched : { static_cast<QObject*>(edit), static_cast<QObject*>(edit->viewport()),
             static_cast<QObject*>(edit->verticalScrollBar()) })
        watched->installEventFilter(this);
}

bool LogView::ShowsTheEnd() const
{
    const QScrollBar* scroll = edit->verticalScrollBar();
    return scroll->value() >= scroll->maximum();
}

void LogView::Replace(const QString& text)
{
    HoldRepaints();
    edit->setPlainText(text);
    end = QTextCursor(edit->document());
    end.movePosition(QTextCursor::End);
    if (holding)
        followEndAfterHold = true;
    else
        edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

void LogView::Append(const QString& piece)
{
    HoldRepaints();
    const bool followEnd = !holding && ShowsTheEnd();
    // Inside an edit block the cursor only notes that its column is stale instead of laying out the
    // last line at once; the line is laid out when it is shown.
    end.beginEditBlock();
    end.insertText(piece);
    end.endEditBlock();
    // Like a log: keep showing the newest lines, unless the user scrolled back to read.
    if (followEnd)
        edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

void LogView::DropFirstLines(int lines)
{
    if (lines <= 0)
        return;
    HoldRepaints();
    QScrollBar* scroll = edit->verticalScrollBar();
    const bool followEnd = holding ? followEndAfterHold : ShowsTheEnd();
    const int firstShown = scroll->value();
    QTextCursor top(edit->document());
    const QTextBlock firstKept = edit->document()->findBlockByNumber(lines);
    top.setPosition(firstKept.isValid() ? firstKept.position() : end.position(), QTextCursor::KeepAnchor);
    top.removeSelectedText();
    if (!followEnd)
        scroll->setValue(std::max(0, firstShown - lines));
    else if (!holding)
        scroll->setValue(scroll->maximum());
}

void LogView::HoldRepaints()
{
    const Clock::time_point now = Clock::now();
    if (holding || now < userActiveUntil)
        return;
    if (now >= quietFrom) {
        quietFrom = now + RepaintInterval;
        return;
    }
    holding = true;
    followEndAfterHold = ShowsTheEnd();
    // The text area and its scroll bar only: the frame around them never changes.
    edit->viewport()->setUpdatesEnabled(false);
    edit->verticalScrollBar()->setUpdatesEnabled(false);
    // The layout's signals ask for repaints and for a new scroll bar range, which lays out the last
    // screenful again after every new line; the end of the hold does both once.
    edit->document()->documentLayout()->blockSignals(true);
    holdTimer.start(std::chrono::ceil<std::chrono::milliseconds>(quietFrom - now));
}

void LogView::EndHold()
{
    if (!holding)
        return;
    holding = false;
    holdTimer.stop();
    quietFrom = Clock::now() + RepaintInterval;
    QAbstractTextDocumentLayout* layout = edit->document()->documentLayout();
    layout->blockSignals(false);
    emit layout->documentSizeChanged(layout->documentSize());
    if (followEndAfterHold)
        edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
    // Enabling updates repaints what was held back, once.
    edit->viewport()->setUpdatesEnabled(true);
    edit->verticalScrollBar()->setUpdatesEnabled(true);
}

bool LogView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Wheel:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
        userActiveUntil = Clock::now() + UserPause;
        EndHold();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
