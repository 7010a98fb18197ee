/* Callbacks racing the destruction of their callback objects: no call into a dead object, no deadlock. */
#include <gtest/gtest.h>

#include <gdk/gdk.h>

#include <atomic>
#include <memory>
#include <thread>

#include "IPCAPI.h"
#include "KelTest.h"

using namespace IPCAPI;
using keltest::WaitUntil;

namespace {

const int kCanary = 0x5EA7C4;

/* Outlives the callback objects, so the tests can look at what happened after a delete. */
struct Probe {
    std::atomic<int> calls{0}, enterGdkResult{-1};
    std::atomic<bool> gateOpen{false}, sawLiveObject{false}, destroyed{false};
};

enum class Mode { Count, TakeGdk, WaitForGate, DeleteSelf };

class StudentProbe : public CStudentAPICallbackBase {
public:
    StudentProbe(std::shared_ptr<Probe> probe, Mode mode)
        : m_Probe(probe)
        , m_Mode(mode)
    {
    }
    ~StudentProbe() override
    {
        DetachCallBacks();
        m_Canary = 0;
        m_Probe->destroyed = true;
    }

    void SearchLocalProgramCallBack(std::string) override
    {
        std::shared_ptr<Probe> probe = m_Probe;
        probe->calls++;
        keltest::Notify();
        if (m_Mode == Mode::TakeGdk) {
            if (!(probe->enterGdkResult = EnterGdkForCallBack()))
                return; /* the object may be gone: touch nothing */
            gdk_threads_leave();
        } else if (m_Mode == Mode::WaitForGate) {
            WaitUntil([&] { return probe->gateOpen.load(); });
        } else if (m_Mode == Mode::DeleteSelf) {
            delete this;
            return;
        }
        probe->sawLiveObject = m_Canary == kCanary && !probe->destroyed;
    }

private:
    std::shared_ptr<Probe> m_Probe;
    Mode m_Mode;
    int m_Canary = kCanary;
};

bool DeliverFromWorker(const std::shared_ptr<CCallbackLink>& link)
{
    bool delivered = false;
    std::thread worker([&] { delivered = DeliverSearchLocalProgram(link, "done"); });
    worker.join();
    return delivered;
}

} // namespace

/* The main thread holds the GDK lock, as every signal handler does. While it pumps, a callback
 * that waits for the lock gets it and finds its object alive. When the main thread instead deletes
 * the object, the delete must not wait for the worker, and the worker must give up without
 * touching the object once it gets the lock. */
TEST(IpcCallback, DeleteWhileCallbackWaitsForGdkLockNeitherDeadlocksNorReachesDeadObject)
{
    auto probe = std::make_shared<Probe>();
    StudentProbe* object = new StudentProbe(probe, Mode::TakeGdk);
    std::shared_ptr<CCallbackLink> link = object->GetCallbackLink();
    std::thread first([link] { DeliverSearchLocalProgram(link, "done"); });
    ASSERT_TRUE(keltest::PumpUntil([&] { return probe->enterGdkResult >= 0; }, 20000));
    first.join();
    EXPECT_EQ(1, probe->enterGdkResult);
    EXPECT_TRUE(probe->sawLiveObject);

    probe->sawLiveObject = false;
    std::thread second([link] { DeliverSearchLocalProgram(link, "done"); });
    ASSERT_TRUE(WaitUntil([&] { return probe->calls == 2; }));
    delete object; /* GDK lock held by this thread throughout */
    EXPECT_TRUE(probe->destroyed);
    gdk_threads_leave();
    second.join();
    gdk_threads_enter();
    EXPECT_EQ(0, probe->enterGdkResult);
    EXPECT_FALSE(probe->sawLiveObject);
    EXPECT_TRUE(link->IsDetached());
}

/* A callback running on the worker (not waiting for the GDK lock) keeps the object alive: a
 * destructor started meanwhile on another thread returns only after the callback ends. */
TEST(IpcCallback, RunningCallbackDelaysTheDestructorUntilItEnds)
{
    auto probe = std::make_shared<Probe>();
    StudentProbe* object = new StudentProbe(probe, Mode::WaitForGate);
    std::shared_ptr<CCallbackLink> link = object->GetCallbackLink();
    std::thread worker([link] { DeliverSearchLocalProgram(link, "done"); });
    ASSERT_TRUE(WaitUntil([&] { return probe->calls == 1; }));
    std::thread deleter([object] { delete object; });
    ASSERT_TRUE(WaitUntil([&] { return link->IsDetached(); }));
    /* The callback is still held at the gate, so the destructor must still be waiting. */
    EXPECT_FALSE(probe->destroyed);
    probe->gateOpen = true;
    keltest::Notify();
    worker.join();
    deleter.join();
    EXPECT_TRUE(probe->sawLiveObject);
    EXPECT_FALSE(DeliverFromWorker(link));
}

TEST(IpcCallback, NoDeliveryAfterDetachOrDeleteOrToTheWrongSide)
{
    auto probe = std::make_shared<Probe>();
    StudentProbe* student = new StudentProbe(probe, Mode::Count);
    std::shared_ptr<CCallbackLink> studentLink = student->GetCallbackLink();
    EXPECT_TRUE(DeliverFromWorker(studentLink));
    EXPECT_TRUE(probe->sawLiveObject);
    /* A student object must never be called through the teacher's table. */
    EXPECT_FALSE(DeliverSearchProgram(studentLink, "anna", "done"));
    /* Detached by the destructor: nothing gets through afterwards. */
    delete student;
    EXPECT_FALSE(DeliverFromWorker(studentLink));
    EXPECT_EQ(1, probe->calls);

    /* A callback may end its own object's life; the detach in the destructor must not wait for
     * the very call it runs in. */
    auto selfProbe = std::make_shared<Probe>();
    std::shared_ptr<CCallbackLink> selfLink = (new StudentProbe(selfProbe, Mode::DeleteSelf))->GetCallbackLink();
    EXPECT_TRUE(DeliverFromWorker(selfLink));
    EXPECT_TRUE(selfProbe->destroyed);
    EXPECT_FALSE(DeliverFromWorker(selfLink));
}
