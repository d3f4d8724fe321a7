#pragma once

// A one-shot wake-up for coroutines that wait on a dock: whoever learns the outcome calls
// wake(); the waiting coroutine is resumed from the event loop (never from inside the caller of
// wake(), so a handler that completes a wait does not run the waiter's continuation nested in
// itself).

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>
#include <memory>
#include <utility>

namespace vx8::dock {

struct WakeState
{
    bool fired = false;
    bool result = false;
    std::coroutine_handle<> handle;
};

using WakePtr = std::shared_ptr<WakeState>;

inline WakePtr makeWake()
{
    return std::make_shared<WakeState>();
}

// Fires the wake once; later calls do nothing.
inline void wake(const WakePtr& w, bool result = true)
{
    if (!w || w->fired)
        return;
    w->fired = true;
    w->result = result;
    if (auto h = std::exchange(w->handle, {})) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [h] { h.resume(); }, Qt::QueuedConnection);
    }
}

struct WakeAwaiter
{
    WakePtr w;
    bool await_ready() const noexcept { return w->fired; }
    void await_suspend(std::coroutine_handle<> h) noexcept { w->handle = h; }
    bool await_resume() const noexcept { return w->result; }
};

// co_await awaitWake(w) suspends until wake(w) and yields its result.
inline WakeAwaiter awaitWake(WakePtr w)
{
    return WakeAwaiter{std::move(w)};
}

} // namespace vx8::dock
