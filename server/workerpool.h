#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of threads running posted tasks in order of posting. The HTTP server runs
// handlers here, so that a slow one (a key pair made, a photo scaled) holds up no
// connection but its own.
class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    // Runs the tasks still queued, then ends the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void post(std::function<void()> task);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_; // under mutex_
    bool stopping_ = false;                   // under mutex_
    std::vector<std::thread> threads_;
};
