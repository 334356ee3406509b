#pragma once

// One thread that runs jobs in the order they were posted, while the thread that posts them goes
// on: the office host makes on it what a run needs only later (deflated parts, the pictures of
// filled objects), so that the second core does that work while the first fills the next object.
// A job owns what it works on; nothing else is shared with it but the queue.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace office {

class Worker {
public:
    // Fails with std::system_error when no thread can be started.
    Worker();
    // Waits for the job that runs; the ones still queued are dropped without running.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues the job. It is destroyed on the worker's thread once it has run, so a job that tells
    // its poster it is done lets go of what it holds first.
    void post(std::function<void()> job);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread thread_;  // last: started once the members above exist
};

}  // namespace office
