#include "office/package/background.h"

#include "office/package/xml.h"

namespace office::package::detail {

void PendingPart::make() {
    try {
        if (tree) {
            deflated = deflateXml(*tree);
            return;
        }
        contents = maker->contents();
        if (deflate) {
            deflated = deflatePart(contents);
        }
    } catch (...) {
        error = std::current_exception();
    }
}

Background::Background() : thread_([this] { run(); }) {}

Background::~Background() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_one();
    thread_.join();
}

void Background::post(std::shared_ptr<PendingPart> job) {
    std::promise<void> finished;
    job->done = finished.get_future();
    {
        std::lock_guard lock(mutex_);
        queue_.emplace_back(std::move(job), std::move(finished));
    }
    wake_.notify_one();
}

void Background::run() {
    for (;;) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        auto [job, finished] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        job->make();
        // The caller is the last to hold the job once it is told it is done, so that what the
        // job made and owned goes on the caller's thread.
        job.reset();
        finished.set_value();
    }
}

}  // namespace office::package::detail
