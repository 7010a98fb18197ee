/* The token shared by a callback object and the services that call it: counts calls in flight so that an
 * object is never destroyed under a running callback, without waiting for callbacks blocked on the GDK lock. */
#include "IPCAPI.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace IPCAPI {

struct CCallbackLink::Impl {
    struct Call {
        std::thread::id thread;
        bool waitingForGdk;
    };

    mutable std::mutex mutex;
    std::condition_variable changed;
    void* target = nullptr;
    Side side = SIDE_NONE;
    bool detached = false;
    std::vector<Call> calls;

    /* Calls that Detach must wait for: those neither blocked on the GDK lock (their thread
     * may need the lock the detaching thread holds) nor made by the detaching thread itself
     * (a callback that destroys its own object). */
    bool HasBlockingCalls(std::thread::id self) const
    {
        for (const Call& c : calls)
            if (!c.waitingForGdk && c.thread != self)
                return true;
        return false;
    }

    /* The innermost call of this thread, or null when the thread is not in a call. */
    Call* CallOf(std::thread::id thread)
    {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->thread == thread)
                return &*it;
        return nullptr;
    }
};

CCallbackLink::CCallbackLink()
    : m_pImpl(new Impl)
{
}

CCallbackLink::~CCallbackLink()
{
    delete m_pImpl;
}

bool CCallbackLink::BeginCall()
{
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    if (m_pImpl->detached)
        return false;
    m_pImpl->calls.push_back(Impl::Call{std::this_thread::get_id(), false});
    return true;
}

void CCallbackLink::EndCall()
{
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    std::thread::id self = std::this_thread::get_id();
    auto& calls = m_pImpl->calls;
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->thread == self) {
            calls.erase(std::next(it).base());
            break;
        }
    }
    m_pImpl->changed.notify_all();
}

void* CCallbackLink::Target() const
{
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    return m_pImpl->target;
}

void CCallbackLink::SetTarget(void* target)
{
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    m_pImpl->target = target;
}

void CCallbackLink::SetTarget(void* target, Side side)
{
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    m_pImpl->target = target;
    m_pImpl->side = side;
}

CCallbackLink::Side CCallbackLink::GetSide() const
{
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    return m_pImpl->side;
}

void CCallbackLink::Detach()
{
    std::unique_lock<std::mutex> lock(m_pImpl->mutex);
    m_pImpl->detached = true;
    m_pImpl->target = nullptr;
    std::thread::id self = std::this_thread::get_id();
    m_pImpl->changed.wait(lock, [this, self] { return !m_pImpl->HasBlockingCalls(self); });
}

bool CCallbackLink::IsDetached() const
{
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    return m_pImpl->detached;
}

bool CCallbackLink::EnterGdk()
{
    std::thread::id self = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> lock(m_pImpl->mutex);
        if (m_pImpl->detached)
            return false;
        if (Impl::Call* call = m_pImpl->CallOf(self))
            call->waitingForGdk = true;
        /* A Detach already waiting for this call may now return. */
        m_pImpl->changed.notify_all();
    }
    gdk_threads_enter();
    bool detached;
    {
        std::lock_guard<std::mutex> lock(m_pImpl->mutex);
        if (Impl::Call* call = m_pImpl->CallOf(self))
            call->waitingForGdk = false;
        detached = m_pImpl->detached;
    }
    if (detached) {
        gdk_threads_leave();
        return false;
    }
    /* Holding the GDK lock now: a destructor on the main thread cannot start until the
     * callback leaves it, and one on another thread waits for the call to end. */
    return true;
}

} // namespace IPCAPI
