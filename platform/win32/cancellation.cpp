// A request sets a manual-reset event, which every wait of a run waits on
// beside its own: the thread doing a blocking call (see stalling_io.h), a
// pause, the console.

#include "platform/cancellation.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/win32/stalling_io.h"

namespace vlt {

struct CancelSignal::Wake {
    HANDLE event = nullptr;  // set from the first request until Reset; null when there is none
};

namespace {

// Without an event (none could be made), waits look at the flag this often.
constexpr DWORD kWithoutWakeMs = 20;

}  // namespace

namespace win32 {

bool WaitWithCancel(HANDLE handle, const CancelSignal* cancel, DWORD timeoutMs) {
    const HANDLE wake = win32::WakeEvent(cancel);
    const HANDLE handles[2] = {handle, wake};
    const DWORD count = (handle != nullptr ? 1 : 0) + (wake != nullptr ? 1 : 0);
    const HANDLE* first = handle != nullptr ? handles : handles + 1;
    const bool slices = cancel != nullptr && wake == nullptr;
    for (;;) {
        if (cancel != nullptr) {
            cancel->ThrowIfRequested();
        }
        const DWORD slice = slices ? std::min(timeoutMs, kWithoutWakeMs) : timeoutMs;
        const DWORD result = count == 0 ? (::Sleep(slice), WAIT_TIMEOUT)
                                        : ::WaitForMultipleObjects(count, first, FALSE, slice);
        // Also when the handle came as well: a request that comes with the
        // data (Ctrl-C and the line it ends) wins.
        if (cancel != nullptr) {
            cancel->ThrowIfRequested();
        }
        if (result == WAIT_OBJECT_0 && handle != nullptr) {
            return true;
        }
        if (result == WAIT_FAILED) {
            return true;  // nothing to wait with: the caller's call blocks instead
        }
        if (result == WAIT_TIMEOUT) {
            if (timeoutMs != INFINITE) {
                if (slice == timeoutMs) {
                    return false;
                }
                timeoutMs -= slice;
            }
        }
    }
}

}  // namespace win32

CancelSignal::CancelSignal()
    : wake_(std::make_unique<Wake>(Wake{::CreateEventW(nullptr, TRUE, FALSE, nullptr)})) {}

CancelSignal::~CancelSignal() {
    if (wake_->event != nullptr) {
        ::CloseHandle(wake_->event);
    }
}

// Called from the console's control thread too: the flag and SetEvent are
// all it does.
void CancelSignal::Request() noexcept {
    requested_.store(true, std::memory_order_relaxed);
    if (wake_->event != nullptr) {
        ::SetEvent(wake_->event);
    }
}

void CancelSignal::Reset() noexcept {
    if (wake_->event != nullptr) {
        ::ResetEvent(wake_->event);
    }
    requested_.store(false, std::memory_order_relaxed);
}

void CancelSignal::Pause(std::chrono::milliseconds time) const {
    win32::WaitWithCancel(nullptr, this, static_cast<DWORD>(std::max<long long>(time.count(), 0)));
    ThrowIfRequested();
}

namespace win32 {

HANDLE WakeEvent(const CancelSignal* cancel) {
    return cancel != nullptr ? cancel->wake()->event : nullptr;
}

namespace {

// The most one call moves through the thread: bounds the copy, and the bytes
// a stopped write leaves uncounted.
constexpr std::size_t kChunk = 64 << 10;

}  // namespace

struct StallingIo::Shared {
    HANDLE handle = nullptr;  // the thread's own duplicate, closed by the thread
    HANDLE request = nullptr;
    HANDLE done = nullptr;
    std::mutex mutex;  // guards what follows
    enum class Op { Read, Write, Quit } op = Op::Read;
    bool busy = false;       // a call was asked for and has not returned
    bool abandoned = false;  // the owner is gone: the thread ends after its call
    std::vector<std::uint8_t> buffer;
    bool ok = false;
    DWORD moved = 0;
    DWORD error = 0;

    ~Shared() {
        for (HANDLE h : {handle, request, done}) {
            if (h != nullptr) {
                ::CloseHandle(h);
            }
        }
    }

    void Do() {
        DWORD n = 0;
        const auto size = static_cast<DWORD>(buffer.size());
        const BOOL result = op == Op::Read ? ::ReadFile(handle, buffer.data(), size, &n, nullptr)
                                           : ::WriteFile(handle, buffer.data(), size, &n, nullptr);
        ok = result != FALSE;
        error = ok ? 0 : ::GetLastError();
        moved = n;
    }

    static DWORD WINAPI Run(void* parameter) {
        const std::unique_ptr<std::shared_ptr<Shared>> own(
            static_cast<std::shared_ptr<Shared>*>(parameter));
        Shared& shared = **own;
        for (;;) {
            ::WaitForSingleObject(shared.request, INFINITE);
            {
                const std::lock_guard lock(shared.mutex);
                if (shared.op == Op::Quit) {
                    return 0;
                }
            }
            shared.Do();
            const std::lock_guard lock(shared.mutex);
            shared.busy = false;
            if (shared.abandoned) {
                return 0;
            }
            ::SetEvent(shared.done);
        }
    }
};

StallingIo::StallingIo(HANDLE handle) : shared_(std::make_shared<Shared>()) {
    Shared& shared = *shared_;
    const HANDLE process = ::GetCurrentProcess();
    shared.request = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    shared.done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // A handle of the thread's own: one the owner closes while the thread is
    // about to call cannot be reused by the next file the run opens.
    if (shared.request == nullptr || shared.done == nullptr ||
        !::DuplicateHandle(process, handle, process, &shared.handle, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        shared.handle = nullptr;
        shared_.reset();
        inline_ = handle;
        return;
    }
    auto* parameter = new std::shared_ptr<Shared>(shared_);
    thread_ = ::CreateThread(nullptr, 64 << 10, &Shared::Run, parameter,
                             STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread_ == nullptr) {
        delete parameter;
        shared_.reset();
        inline_ = handle;
    }
}

StallingIo::~StallingIo() {
    if (!shared_) {
        return;
    }
    bool busy = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->abandoned = true;
        busy = shared_->busy;
        if (!busy) {
            shared_->op = Shared::Op::Quit;
            ::SetEvent(shared_->request);
        }
    }
    // Where the system can, the call left waiting ends now (not under Wine 8,
    // where the thread stays until its call returns or the process ends).
    if (busy) {
        ::CancelSynchronousIo(thread_);
    } else {
        // An idle thread ends at once; it is waited for so that it is not
        // still ending when the process does: Wine 8 then now and then kills
        // the process with SIGSEGV (status 139) after all its work was done.
        ::WaitForSingleObject(thread_, INFINITE);
    }
    ::CloseHandle(thread_);
}

bool StallingIo::Call(const CancelSignal* cancel) {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->busy = true;
    }
    ::SetEvent(shared_->request);
    pending_ = true;
    WaitWithCancel(shared_->done, cancel, INFINITE);
    pending_ = false;
    return shared_->ok;
}

bool StallingIo::Read(std::span<std::uint8_t> buffer, DWORD& moved, DWORD& error,
                      const CancelSignal* cancel) {
    const std::size_t most = std::min(buffer.size(), kChunk);
    if (!shared_) {
        const BOOL ok =
            ::ReadFile(inline_, buffer.data(), static_cast<DWORD>(most), &moved, nullptr);
        error = ok ? 0 : ::GetLastError();
        return ok != FALSE;
    }
    WaitForEarlierCall(cancel);
    shared_->op = Shared::Op::Read;
    shared_->buffer.resize(most);
    const bool ok = Call(cancel);
    moved = shared_->moved;
    error = shared_->error;
    std::memcpy(buffer.data(), shared_->buffer.data(), moved);
    return ok;
}

bool StallingIo::Write(std::span<const std::uint8_t> data, DWORD& moved, DWORD& error,
                       const CancelSignal* cancel) {
    const std::size_t most = std::min(data.size(), kChunk);
    if (!shared_) {
        const BOOL ok =
            ::WriteFile(inline_, data.data(), static_cast<DWORD>(most), &moved, nullptr);
        error = ok ? 0 : ::GetLastError();
        return ok != FALSE;
    }
    WaitForEarlierCall(cancel);
    shared_->op = Shared::Op::Write;
    shared_->buffer.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(most));
    const bool ok = Call(cancel);
    moved = shared_->moved;
    error = shared_->error;
    return ok;
}

// A call a request interrupted may still be under way: the next waits for it first.
void StallingIo::WaitForEarlierCall(const CancelSignal* cancel) {
    if (pending_) {
        WaitWithCancel(shared_->done, cancel, INFINITE);
        pending_ = false;
    }
}

}  // namespace win32
}  // namespace vlt
