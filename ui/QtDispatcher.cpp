#include "ui/QtDispatcher.h"

#include <QMetaObject>

QtDispatcher::QtDispatcher()
    : context(std::make_unique<QObject>())
{
}

QtDispatcher::~QtDispatcher() = default;

void QtDispatcher::Post(std::function<void()> job)
{
    if (!context)
        return;
    {
        std::lock_guard guard(queue->lock);
        queue->jobs.push_back(std::move(job));
    }
    // One wake-up per job, so jobs run in order and one at a time, each from its own event.
    QMetaObject::invokeMethod(
        context.get(),
        [jobs = queue] {
            std::function<void()> next;
            {
                std::lock_guard guard(jobs->lock);
                if (jobs->jobs.empty())
                    return;
                next = std::move(jobs->jobs.front());
                jobs->jobs.pop_front();
            }
            next();
        },
        Qt::QueuedConnection);
}

void QtDispatcher::DeleteQueueLater()
{
    if (context)
        context.release()->deleteLater();
}
