// GoogleTest's port settings for MinGW's win32 thread model, which has no std::mutex and no
// std::condition_variable: GoogleTest's Notification (which only starts its own helper threads)
// becomes an atomic flag. Found before GoogleTest's own, empty, custom header.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : notified_(false) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { notified_ = true; }
  void WaitForNotification() {
    while (!notified_) {
    }
  }

 private:
  std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing
