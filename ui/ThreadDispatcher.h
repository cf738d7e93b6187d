#pragma once

#include <functional>

// Runs jobs on one owner thread: the UI thread's event loop in the programs, a plain worker loop in
// tests. Post may be called from any thread and must never run the job inline; a job posted to a
// dispatcher whose thread has stopped is simply never run. Post must not call into WindowRegistry,
// and a dispatcher must outlive the windows registered with it.
class ThreadDispatcher {
public:
    virtual ~ThreadDispatcher() = default;
    virtual void Post(std::function<void()> job) = 0;
};
