#pragma once

// How the Windows side waits on a file that may keep a run waiting (a pipe, a
// console) together with a CancelSignal (in platform/win32/cancellation.cpp).
//
// A blocking ReadFile or WriteFile cannot be woken in general: anonymous
// pipes take no overlapped I/O, and under Wine CancelSynchronousIo finds
// nothing to cancel. So each such file has a thread of its own that does the
// blocking call, while the run waits for it or for the cancel signal's event,
// whichever comes first. A run that stops leaves the thread in its call; it
// holds what it needs and ends with the call or with the process.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <span>

#include "platform/cancellation.h"

namespace vlt::win32 {

// The event a request sets, or null when the signal has none (or is null).
HANDLE WakeEvent(const CancelSignal* cancel);

// Waits for `handle` (may be null: only the time) or until `timeoutMs` has
// passed (INFINITE: no limit). Returns whether the handle came; throws
// Cancelled as soon as `cancel` (may be null) is requested.
bool WaitWithCancel(HANDLE handle, const CancelSignal* cancel, DWORD timeoutMs);

class StallingIo {
  public:
    // The handle stays the caller's to close, even while a call is left in.
    explicit StallingIo(HANDLE handle);
    ~StallingIo();
    StallingIo(const StallingIo&) = delete;
    StallingIo& operator=(const StallingIo&) = delete;

    // What ReadFile and WriteFile return, the bytes moved in `moved` and the
    // failure in `error`; throws Cancelled as soon as `cancel` is requested.
    bool Read(std::span<std::uint8_t> buffer, DWORD& moved, DWORD& error,
              const CancelSignal* cancel);
    bool Write(std::span<const std::uint8_t> data, DWORD& moved, DWORD& error,
               const CancelSignal* cancel);

  private:
    struct Shared;
    bool Call(const CancelSignal* cancel);
    void WaitForEarlierCall(const CancelSignal* cancel);
    std::shared_ptr<Shared> shared_;  // null when no thread could be had: calls block here
    HANDLE thread_ = nullptr;
    HANDLE inline_ = nullptr;  // the handle itself when calls block here
    bool pending_ = false;     // a call was interrupted and may still be under way
};

}  // namespace vlt::win32
