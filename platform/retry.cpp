#include "platform/retry.h"

#include "platform/launcher_windows.h"

namespace platform {

int RetryWhileHeld(int (*attempt)(void* context), void* context, const RetryObserver* observer) {
  for (int retry = 0;; ++retry) {
    const int done = attempt(context);
    const bool refused = done == kRefusedByHolder || (done == 0 && LastErrorIsTransientRefusal());
    if (!refused || retry == kMostRetries) return refused ? 0 : done;
    const uint32_t error = LastError();
    const uint32_t pause = RetryPause(retry + 1);
    if (observer != nullptr) observer->retrying(observer->context, retry + 1, error, pause);
    Pause(pause);
  }
}

}  // namespace platform
