// The one-slot hand-over of frames from the program thread to the
// front-end thread. A newer frame overwrites one not yet taken, so a
// terminal that stopped reading gets the newest screen when it reads again,
// never a backlog. Bells and the few requests that need the terminal itself
// (hand it to an external program, take it back, shut down) travel here too;
// a request waits until the front end has carried it out.
#pragma once
#include <condition_variable>
#include <mutex>
#include <optional>

#include "console/screen.hpp"

namespace qb7 {

enum class FrontendRequest { None, Release, Retake, Shutdown };

class FrameMailbox {
 public:
  // What the front end finds at one look.
  struct Post {
    std::optional<Screen> frame;
    int bells = 0;
    FrontendRequest request = FrontendRequest::None;
  };

  // Program thread.
  void PutFrame(const Screen& screen) {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_ = screen;
  }
  void PutBell() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++bells_;
  }
  // Posts a request; the caller then wakes the front end and calls Await.
  void PutRequest(FrontendRequest request) {
    std::lock_guard<std::mutex> lock(mutex_);
    request_ = request;
    done_ = false;
  }
  void AwaitDone() {
    std::unique_lock<std::mutex> lock(mutex_);
    doneChanged_.wait(lock, [this] { return done_; });
  }

  // Front-end thread.
  Post Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    Post post;
    post.frame.swap(frame_);
    post.bells = bells_;
    bells_ = 0;
    post.request = request_;
    request_ = FrontendRequest::None;
    return post;
  }
  void Done() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    doneChanged_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable doneChanged_;
  std::optional<Screen> frame_;
  int bells_ = 0;
  FrontendRequest request_ = FrontendRequest::None;
  bool done_ = true;
};

}  // namespace qb7
