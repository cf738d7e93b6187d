#include "ui/QtDispatcher.h"

#include <QMetaObject>

QtDispatcher::QtDispatcher()
    : context(std::make_unique<QObject>())
{
}

QtDispatcher::~QtDispatcher() = default;

void QtDispatcher::Post(std::function<void()> job)
{
    if (context)
        QMetaObject::invokeMethod(context.get(), std::move(job), Qt::QueuedConnection);
}

void QtDispatcher::DeleteQueueLater()
{
    if (context)
        context.release()->deleteLater();
}
