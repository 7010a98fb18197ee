/* The class search of the teacher's side: the request, the students' answers, the deadline. */
#include "TeacherBroker.h"

#include "BrokerClient.h"

#include <thread>

namespace IPCAPI {

void CBrokerTeacherService::SearchAnswered(const std::string& student, const ClassroomMessage& message)
{
    std::shared_ptr<RemoteSearch> s;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        s = m_Search;
    }
    if (!s || s->id != message.Get("id"))
        return;
    std::lock_guard<std::mutex> deliver(s->deliver);
    bool last = false;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (s->phase != RemoteSearch::RUNNING || s->waiting.erase(student) == 0)
            return;
        ++s->answered;
        last = s->waiting.empty();
        if (last)
            s->phase = RemoteSearch::DONE;
        name = DisplayName(s->names, student);
    }
    std::string result = PrintableText(message.Get("result"));
    if (result.compare(0, 6, "error:") == 0) {
        ClassroomFail("student " + name + " could not search: " + result.substr(6));
    } else if (!MergeAnswer(*s, message.body, result, message.Get("skipped"))) {
        ClassroomFail("student " + name + ": " + result.substr(7));
    }
    ForEachLink([&](const std::shared_ptr<CCallbackLink>& link) { DeliverSearchProgram(link, name, result); });
    if (last)
        EndSearch(s, true);
}

void CBrokerTeacherService::StudentLeft(const std::string& student)
{
    std::shared_ptr<RemoteSearch> s;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        s = m_Search;
    }
    if (!s)
        return;
    std::lock_guard<std::mutex> deliver(s->deliver);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (s->phase != RemoteSearch::RUNNING || s->waiting.erase(student) == 0)
            return;
        s->givenUp.push_back(DisplayName(s->names, student) + " (went offline)");
        if (!s->waiting.empty())
            return;
        s->phase = RemoteSearch::DONE;
    }
    EndSearch(s, false);
}

void CBrokerTeacherService::EndSearch(const std::shared_ptr<RemoteSearch>& s, bool lastAnswerDelivered)
{
    std::string summary;
    bool marker = true, givenUp = false;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        s->phase = RemoteSearch::DONE;
        /* The caller counted the students it was told of: its last answer ends the search there,
         * and a marker arriving later could end its next search. */
        marker = !(lastAnswerDelivered && s->givenUp.empty() && s->answered == s->listed);
        givenUp = !s->givenUp.empty();
        summary = std::to_string(s->answered) + " of " + std::to_string(s->answered + s->givenUp.size()) +
                  " students answered";
        for (size_t i = 0; i < s->givenUp.size(); ++i)
            summary += (i == 0 ? "; no answer from " : ", ") + s->givenUp[i];
    }
    if (givenUp) {
        ClassroomFail("class search: " + summary);
        Tell("Search program: " + summary + ".");
    }
    if (marker)
        ForEachLink([&](const std::shared_ptr<CCallbackLink>& link) { DeliverSearchProgram(link, "", summary); });
}

void CBrokerTeacherService::DeadlineLoop()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        if (m_RollCalling && Clock::now() >= m_RollCallEnd)
            EndRollCall();
        std::shared_ptr<RemoteSearch> s = m_Search;
        bool searching = s && s->phase == RemoteSearch::RUNNING;
        if (!searching || Clock::now() < s->deadline) {
            Clock::time_point wake = Clock::time_point::max();
            if (searching)
                wake = s->deadline;
            if (m_RollCalling && m_RollCallEnd < wake)
                wake = m_RollCallEnd;
            if (wake == Clock::time_point::max())
                m_Changed.wait(lock);
            else
                m_Changed.wait_until(lock, wake);
            continue;
        }
        lock.unlock();
        {
            std::lock_guard<std::mutex> deliver(s->deliver);
            bool end = false;
            {
                std::lock_guard<std::mutex> state(m_Mutex);
                if (s->phase == RemoteSearch::RUNNING) {
                    for (const std::string& id : s->waiting)
                        s->givenUp.push_back(DisplayName(s->names, id) + " (no answer in time)");
                    s->waiting.clear();
                    end = true;
                }
            }
            if (end)
                EndSearch(s, false);
        }
        lock.lock();
    }
}

int CBrokerTeacherService::SearchProgram(const std::string& path, int& op, int clear)
{
    op = 0;
    if (path.empty() || path[0] != '/' || path.find('\n') != std::string::npos)
        return IPC_ERR_INVALID_ARGUMENT;
    std::map<std::string, std::string> names = RosterNames();
    std::unique_lock<std::mutex> lock(m_Mutex);
    if (m_Search && m_Search->phase == RemoteSearch::RUNNING)
        return IPC_ERR_BUSY;
    int err = WaitReady(lock);
    if (err != IPC_OK)
        return err;
    auto s = std::make_shared<RemoteSearch>();
    s->op = CSearchWorkers::Instance().NextOperation();
    s->id = m_Token + "-s" + std::to_string(s->op);
    s->clear = clear ? 1 : 0;
    s->names = names;
    s->listed = m_LastListed;
    for (const auto& student : m_Online)
        s->waiting.insert(student.first);
    /* With nobody online the deadline thread ends the search at once with the marker. */
    s->deadline = Clock::now() + (s->waiting.empty() ? std::chrono::milliseconds(0)
                                                     : std::chrono::milliseconds(m_Settings.answerTimeoutMs));
    ClassroomMessage request;
    request.fields["id"] = s->id;
    request.body = path;
    int rc = Publish(topic::Make(m_Settings.className, topic::SEARCH_REQUEST), request.Encode(), false);
    if (rc != MOSQ_ERR_SUCCESS) {
        ClassroomFail(std::string("cannot send the search request: ") + Broker().strerror(rc));
        return IPC_ERR_NOT_RUNNING;
    }
    m_Search = s;
    op = s->op;
    m_Changed.notify_all();
    return IPC_OK;
}

int CBrokerTeacherService::CancelOperation(int op, int& err)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    std::shared_ptr<RemoteSearch> s = m_Search;
    if (!s || s->op != op) {
        err = IPC_ERR_NO_SUCH_OPERATION;
        return err;
    }
    lock.unlock();
    /* An answer being merged or delivered (it may wait for the GDK lock that our caller holds):
     * the caller tries again. */
    std::unique_lock<std::mutex> deliver(s->deliver, std::try_to_lock);
    if (!deliver.owns_lock()) {
        err = IPC_ERR_BUSY;
        return err;
    }
    lock.lock();
    if (s->phase != RemoteSearch::RUNNING) {
        err = IPC_ERR_NO_SUCH_OPERATION;
        return err;
    }
    s->phase = RemoteSearch::CANCELLED;
    /* The students stop their walks; answers that still come are not merged. */
    ClassroomMessage cancel;
    cancel.fields["id"] = s->id;
    if (m_Session)
        Publish(topic::Make(m_Settings.className, topic::CANCEL_REQUEST), cancel.Encode(), false);
    err = IPC_OK;
    return err;
}

} // namespace IPCAPI
