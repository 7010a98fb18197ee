/* Callbacks racing the destruction of their callback objects: no call into a dead object, no deadlock. */
#include <gtest/gtest.h>

#include <gdk/gdk.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "IPCAPI.h"
#include "KelTest.h"

using namespace IPCAPI;

namespace {

const int kCanary = 0x5EA7C4;

/* Outlives the callback objects, so the tests can look at what happened after a delete. */
struct Probe {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool gateOpen = false;
    std::atomic<int> calls{0};
    std::atomic<int> enterGdkResult{-1};
    std::atomic<bool> sawLiveObject{false};
    std::atomic<bool> destroyed{false};

    void Signal(bool Probe::*flag)
    {
        std::lock_guard<std::mutex> lock(mutex);
        this->*flag = true;
        changed.notify_all();
    }
    /* Bounded: a lost signal fails the test instead of hanging it. */
    bool WaitFor(bool Probe::*flag)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [this, flag] { return this->*flag; });
    }
};

enum class Mode { Count, TakeGdk, WaitForGate, DeleteSelf };

class StudentProbe : public CStudentAPICallbackBase {
public:
    StudentProbe(std::shared_ptr<Probe> probe, Mode mode)
        : m_Probe(probe)
        , m_Mode(mode)
        , m_Canary(kCanary)
    {
    }
    ~StudentProbe() override
    {
        DetachCallBacks();
        m_Canary = 0;
        m_Probe->destroyed = true;
    }
    void Detach() { DetachCallBacks(); }

    void SearchLocalProgramCallBack(std::string) override
    {
        std::shared_ptr<Probe> probe = m_Probe;
        probe->calls++;
        switch (m_Mode) {
        case Mode::Count:
            probe->sawLiveObject = m_Canary == kCanary;
            break;
        case Mode::TakeGdk: {
            probe->Signal(&Probe::entered);
            bool ok = EnterGdkForCallBack();
            probe->enterGdkResult = ok ? 1 : 0;
            if (!ok)
                return; /* the object may be gone: touch nothing */
            probe->sawLiveObject = m_Canary == kCanary;
            gdk_threads_leave();
            break;
        }
        case Mode::WaitForGate:
            probe->Signal(&Probe::entered);
            probe->WaitFor(&Probe::gateOpen);
            probe->sawLiveObject = m_Canary == kCanary && !probe->destroyed;
            break;
        case Mode::DeleteSelf:
            delete this;
            break;
        }
    }

private:
    std::shared_ptr<Probe> m_Probe;
    Mode m_Mode;
    int m_Canary;
};

class TeacherProbe : public CTeacherAPICallbackBase {
public:
    explicit TeacherProbe(std::shared_ptr<Probe> probe)
        : m_Probe(probe)
    {
    }
    ~TeacherProbe() override { DetachCallBacks(); }
    void SearchProgramCallBack(std::string student, std::string) override
    {
        m_Probe->calls++;
        m_Students += student + ";";
    }
    std::string m_Students;

private:
    std::shared_ptr<Probe> m_Probe;
};

bool DeliverFromWorker(const std::shared_ptr<CCallbackLink>& link)
{
    bool delivered = false;
    std::thread worker([&] { delivered = DeliverSearchLocalProgram(link, "done"); });
    worker.join();
    return delivered;
}

} // namespace

/* The main thread holds the GDK lock (as every signal handler does) and deletes the object while
 * the worker's callback waits for that lock: the delete must not wait for the worker, and the
 * worker must give up without touching the object once it gets the lock. */
TEST(IpcCallback, DeleteWhileCallbackWaitsForGdkLockNeitherDeadlocksNorReachesDeadObject)
{
    auto probe = std::make_shared<Probe>();
    StudentProbe* object = new StudentProbe(probe, Mode::TakeGdk);
    std::shared_ptr<CCallbackLink> link = object->GetCallbackLink();

    std::thread worker([link] { DeliverSearchLocalProgram(link, "done"); });
    ASSERT_TRUE(probe->WaitFor(&Probe::entered));
    delete object; /* GDK lock held by this thread throughout */
    EXPECT_TRUE(probe->destroyed);

    gdk_threads_leave();
    worker.join();
    gdk_threads_enter();

    EXPECT_EQ(0, probe->enterGdkResult.load());
    EXPECT_FALSE(probe->sawLiveObject);
    EXPECT_TRUE(link->IsDetached());
}

TEST(IpcCallback, CallbackThatGetsTheGdkLockRunsOnLiveObject)
{
    auto probe = std::make_shared<Probe>();
    StudentProbe object(probe, Mode::TakeGdk);
    std::shared_ptr<CCallbackLink> link = object.GetCallbackLink();
    std::thread worker([link] { DeliverSearchLocalProgram(link, "done"); });
    ASSERT_TRUE(keltest::PumpUntil([&] { return probe->enterGdkResult.load() >= 0; }, 20000));
    worker.join();
    EXPECT_EQ(1, probe->enterGdkResult.load());
    EXPECT_TRUE(probe->sawLiveObject);
}

TEST(IpcCallback, NoDeliveryAfterDetachOrToTheWrongSide)
{
    auto probe = std::make_shared<Probe>();
    StudentProbe* student = new StudentProbe(probe, Mode::Count);
    std::shared_ptr<CCallbackLink> studentLink = student->GetCallbackLink();

    EXPECT_TRUE(DeliverFromWorker(studentLink));
    EXPECT_EQ(1, probe->calls.load());
    EXPECT_TRUE(probe->sawLiveObject);

    /* A student object must never be called through the teacher's table, nor the reverse. */
    EXPECT_FALSE(DeliverSearchProgram(studentLink, "anna", "done"));
    EXPECT_FALSE(DeliverSearchLocalProgram(nullptr, "done"));
    EXPECT_EQ(1, probe->calls.load());

    /* Detaching twice is harmless; afterwards nothing gets through, and the destructor's own
     * detach finds nothing to wait for. */
    student->Detach();
    student->Detach();
    EXPECT_FALSE(DeliverFromWorker(studentLink));
    EXPECT_EQ(1, probe->calls.load());
    delete student;
    EXPECT_FALSE(DeliverFromWorker(studentLink));
    EXPECT_EQ(1, probe->calls.load());

    auto teacherProbe = std::make_shared<Probe>();
    TeacherProbe* teacher = new TeacherProbe(teacherProbe);
    std::shared_ptr<CCallbackLink> teacherLink = teacher->GetCallbackLink();
    EXPECT_FALSE(DeliverSearchLocalProgram(teacherLink, "done"));
    std::thread worker([&] {
        DeliverSearchProgram(teacherLink, "anna", "ok");
        DeliverSearchProgram(teacherLink, "", "end");
    });
    worker.join();
    EXPECT_EQ("anna;;", teacher->m_Students);
    delete teacher;
    EXPECT_FALSE(DeliverSearchProgram(teacherLink, "ben", "ok"));
    EXPECT_EQ(2, teacherProbe->calls.load());
}

/* A callback running on the worker (not waiting for the GDK lock) keeps the object alive: a
 * destructor started meanwhile on another thread returns only after the callback ends. */
TEST(IpcCallback, RunningCallbackDelaysTheDestructorUntilItEnds)
{
    auto probe = std::make_shared<Probe>();
    StudentProbe* object = new StudentProbe(probe, Mode::WaitForGate);
    std::shared_ptr<CCallbackLink> link = object->GetCallbackLink();

    std::thread worker([link] { DeliverSearchLocalProgram(link, "done"); });
    ASSERT_TRUE(probe->WaitFor(&Probe::entered));

    std::atomic<bool> deleted(false);
    std::thread deleter([&] {
        delete object;
        deleted = true;
    });
    ASSERT_TRUE(keltest::PumpUntil([&] { return link->IsDetached(); }, 20000));
    /* The callback is still held at the gate, so the destructor must still be waiting. */
    EXPECT_FALSE(deleted.load());
    EXPECT_FALSE(probe->destroyed.load());

    probe->Signal(&Probe::gateOpen);
    worker.join();
    deleter.join();
    EXPECT_TRUE(probe->sawLiveObject);
    EXPECT_TRUE(deleted.load());
    EXPECT_FALSE(DeliverFromWorker(link));
}

/* A callback may end its own object's life; the detach in the destructor must not wait for the
 * very call it runs in. */
TEST(IpcCallback, CallbackDeletingItsOwnObjectDoesNotWaitForItself)
{
    auto probe = std::make_shared<Probe>();
    StudentProbe* object = new StudentProbe(probe, Mode::DeleteSelf);
    std::shared_ptr<CCallbackLink> link = object->GetCallbackLink();
    EXPECT_TRUE(DeliverFromWorker(link));
    EXPECT_TRUE(probe->destroyed);
    EXPECT_FALSE(DeliverFromWorker(link));
}
