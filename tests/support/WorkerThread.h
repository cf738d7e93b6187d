#pragma once

#include "ui/ThreadDispatcher.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// A thread with a job queue that stands in for a UI thread in tests: windows registered from a job
// running here receive their synchronous sends here.
class WorkerThread final : public ThreadDispatcher {
public:
    WorkerThread()
        : thread([this] { Loop(); })
    {
    }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() override
    {
        {
            std::lock_guard guard(lock);
            stopping = true;
        }
        wake.notify_all();
        thread.join();
    }

    void Post(std::function<void()> job) override
    {
        {
            std::lock_guard guard(lock);
            jobs.push_back(std::move(job));
        }
        wake.notify_all();
    }

    // Runs job on the worker and waits for it to finish.
    void Run(const std::function<void()>& job)
    {
        std::mutex doneLock;
        std::condition_variable doneSignal;
        bool done = false;
        Post([&] {
            job();
            std::lock_guard guard(doneLock);
            done = true;
            doneSignal.notify_all();
        });
        std::unique_lock guard(doneLock);
        doneSignal.wait(guard, [&] { return done; });
    }

    std::thread::id Id() const { return thread.get_id(); }

private:
    void Loop()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock guard(lock);
                wake.wait(guard, [this] { return stopping || !jobs.empty(); });
                if (jobs.empty())
                    return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job();
        }
    }

    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;
    std::thread thread;
};
