// Waiting out another program that holds a file the launcher has just written.
//
// On-access scanners open a fresh file the moment its writer closes it, and may hold it for
// seconds with no sharing. A launcher that opens, deletes or starts that file meanwhile gets a
// sharing violation, a lock violation or access denied, though nothing is wrong that waiting
// does not cure. So such an operation is tried again after growing pauses: 100, 200, 400, 800,
// 1600 and 2000 ms, 5.1 s in all. That covers the holds seen in the field (a scanner's look at a
// new program takes up to about 3 s; installers of the same kind wait 1.5 to 6 s) and still
// ends a run whose file is held for good within seconds, not minutes.
//
// Only files the launcher made itself go through this: an installer's own members are read, not
// fought over.
#pragma once

#include <cstdint>

namespace platform {

// The pause before retry number retry (1 for the first), in milliseconds: doubling from 100,
// at most 2000. Computed rather than listed, which costs the launcher no table.
constexpr uint32_t RetryPause(int retry) {
  return retry > 5 ? 2000 : 100u << (retry - 1);
}
constexpr int kMostRetries = 6;

// Told about each retry before its pause: the retry's number (1 for the first), the error that
// failed the last try and the pause about to be taken. The launcher traces each.
struct RetryObserver {
  void (*retrying)(void* context, int retry, uint32_t error, uint32_t pause);
  void* context;
};

// What an attempt returns when it knows better than LastError that a holder refused it.
constexpr int kRefusedByHolder = -1;

// Calls attempt(context) until it returns a positive result, and returns that. While it fails
// with a refusal that waiting may cure (LastErrorIsTransientRefusal, or kRefusedByHolder), it
// pauses and tries again, at most kMostRetries times; any other failure, or the last refused try,
// returns 0 at once, with LastError telling why. observer may be null.
int RetryWhileHeld(int (*attempt)(void* context), void* context, const RetryObserver* observer);

}  // namespace platform
