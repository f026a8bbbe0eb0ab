// Frames through several workers with results taken in frame order.
//
// One thread reads the inputs of frame 0, 1, 2, ... in order (a video can
// only be read forwards), the workers run the effect on whichever frames
// are ready, and the calling thread takes the results in frame order (a
// video is written forwards). At most `window` frames are between reading
// and taking at any time, so memory stays at a few frames per worker
// however long the run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace seqfx_cli {

// The processors this process may run on (a batch scheduler's share, not
// the whole machine's); at least 1.
int usable_cores();

// Keeps the memory of finished frames in the process for the next ones.
// Frames of a run come and go at the same size; left to the allocator's
// defaults, each one is handed back to the system and the next is faulted
// in and cleared page by page, which costs about as much as the pipes
// that carry it. Call once before a run; frame_bytes is the largest plane.
void keep_frame_memory(std::size_t frame_bytes);

template <class Work>
class OrderedRun {
 public:
  using Read = std::function<Work(std::size_t k)>;
  using Process = std::function<void(int worker, std::size_t k, Work &w)>;
  using Take = std::function<void(std::size_t k, Work &w)>;

  // Runs frames 0..count-1. The first failure (the lowest frame's, as a
  // run on one worker would meet it) stops the run and is rethrown here
  // once every thread has ended.
  static void run(std::size_t count, int workers, std::size_t window, const Read &read, const Process &process,
                  const Take &take) {
    OrderedRun r;
    r.count_ = count;
    r.window_ = window < (std::size_t)workers ? (std::size_t)workers : window;
    std::vector<std::thread> threads;
    threads.emplace_back([&] { r.reader(read); });
    for (int i = 0; i < workers; ++i) threads.emplace_back([&, i] { r.worker(i, process); });
    r.taker(take);
    {
      std::lock_guard<std::mutex> lock(r.m_);
      r.stop_ = true;
    }
    r.cv_.notify_all();
    for (std::thread &t : threads) t.join();
    if (r.error_) std::rethrow_exception(r.error_);
  }

 private:
  void fail(std::size_t k, std::exception_ptr e) {
    std::lock_guard<std::mutex> lock(m_);
    if (!error_ || k < error_frame_) {
      error_ = e;
      error_frame_ = k;
    }
    stop_ = true;
    cv_.notify_all();
  }

  void reader(const Read &read) {
    for (std::size_t k = 0; k < count_; ++k) {
      {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return stop_ || k < taken_ + window_; });
        if (stop_) return;
      }
      try {
        Work w = read(k);
        std::lock_guard<std::mutex> lock(m_);
        ready_.emplace_back(k, std::move(w));
      } catch (...) {
        fail(k, std::current_exception());
        return;
      }
      cv_.notify_all();
    }
  }

  void worker(int index, const Process &process) {
    for (;;) {
      std::pair<std::size_t, Work> job;
      {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return stop_ || !ready_.empty(); });
        if (stop_) return;
        job = std::move(ready_.front());
        ready_.pop_front();
      }
      try {
        process(index, job.first, job.second);
        std::lock_guard<std::mutex> lock(m_);
        done_.emplace(job.first, std::move(job.second));
      } catch (...) {
        fail(job.first, std::current_exception());
        return;
      }
      cv_.notify_all();
    }
  }

  void taker(const Take &take) {
    for (std::size_t k = 0; k < count_; ++k) {
      Work w;
      {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return stop_ || done_.count(k) != 0; });
        if (done_.count(k) == 0) return;  // stopped by a failure
        if (error_ && error_frame_ < k) return;
        auto it = done_.find(k);
        w = std::move(it->second);
        done_.erase(it);
      }
      try {
        take(k, w);
      } catch (...) {
        fail(k, std::current_exception());
        return;
      }
      {
        std::lock_guard<std::mutex> lock(m_);
        ++taken_;
      }
      cv_.notify_all();
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::size_t count_ = 0, window_ = 1, taken_ = 0;
  bool stop_ = false;
  std::deque<std::pair<std::size_t, Work>> ready_;
  std::map<std::size_t, Work> done_;
  std::exception_ptr error_;
  std::size_t error_frame_ = 0;
};

}  // namespace seqfx_cli
