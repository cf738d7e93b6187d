#pragma once

#include "ui/ThreadDispatcher.h"

#include <QObject>

#include <deque>
#include <memory>
#include <mutex>

// Runs WindowRegistry's queued sends on the thread that created it (the UI thread) through Qt's event
// queue. Jobs still queued when it goes are dropped; WindowRegistry has released their senders by
// then, since a dialog unregisters before its dispatcher goes.
class QtDispatcher final : public ThreadDispatcher {
public:
    QtDispatcher();
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;
    ~QtDispatcher() override;

    void Post(std::function<void()> job) override;

    // For a dispatcher that goes while one of its own jobs runs: its Qt object is deleted once control
    // is back in the event loop instead of under the running job.
    void DeleteQueueLater();

private:
    // The jobs themselves travel through a queue of ours rather than inside Qt's events, so that the
    // hand-over between threads is visible to the thread sanitizer (Qt's own locks are not).
    struct JobQueue {
        std::mutex lock;
        std::deque<std::function<void()>> jobs;
    };

    std::unique_ptr<QObject> context;
    std::shared_ptr<JobQueue> queue = std::make_shared<JobQueue>();
};
