/* The notebook's side of the teacher's lock, notices and presence. */
#include "CClassroomNotebook.h"

#include "ClassroomService.h"
#include "IPCAPI.h"
#include "KELLog.h"
#include "TeacherClass.h"

#include <glib.h>
#include <mosquitto.h>

#include <cstdlib>

using IPCAPI::ClassroomMessage;
using LibKELData::CKELLog;
namespace topic = IPCAPI::topic;

namespace KelService {

namespace {
std::mutex g_CurrentMutex;
CClassroomNotebook* g_Current = nullptr;
} // namespace

void ClassroomLockStatusChanged()
{
    std::lock_guard<std::mutex> lock(g_CurrentMutex);
    if (g_Current)
        g_Current->LockStatusChanged();
}

CClassroomNotebook::CClassroomNotebook(const IPCAPI::ClassroomSettings& settings, PublishFn publish)
    : m_Settings(settings)
    , m_Publish(publish)
    , m_LastLock(0)
    , m_Told(-1)
    , m_Teacher(-1)
{
    std::lock_guard<std::mutex> lock(g_CurrentMutex);
    g_Current = this;
}

CClassroomNotebook::~CClassroomNotebook()
{
    Detach();
}

void CClassroomNotebook::Detach()
{
    std::lock_guard<std::mutex> lock(g_CurrentMutex);
    if (g_Current == this)
        g_Current = nullptr;
}

void CClassroomNotebook::Connected(mosquitto* session)
{
    const std::string& cls = m_Settings.className;
    const std::string& me = m_Settings.user;
    for (const std::string& name : {topic::Lock(cls, ""), topic::Lock(cls, me), topic::Notice(cls, ""),
                                    topic::Notice(cls, me), topic::Make(cls, topic::TEACHER)})
        mosquitto_subscribe(session, NULL, name.c_str(), 1);
    LockStatusChanged(true);
}

void CClassroomNotebook::LockStatusChanged(bool always)
{
    NotebookHooks hooks = GetNotebookHooks();
    int bits = hooks.lockStatus ? hooks.lockStatus() : 0;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (bits == m_Told && !always)
            return;
        m_Told = bits;
    }
    ClassroomMessage state;
    state.fields["lock"] = std::to_string(bits);
    m_Publish(topic::Make(m_Settings.className, topic::STATE, m_Settings.user), state.Encode(), true);
}

bool CClassroomNotebook::Received(const topic::Parsed& t, const ClassroomMessage& message)
{
    /* The class's, or this machine's own; another's never reaches it (the broker's ACL). */
    bool mine = t.word.empty() || t.word == m_Settings.user;
    if ((t.kind == topic::CLASS_LOCK || t.kind == topic::LOCK) && mine)
        Lock(message);
    else if ((t.kind == topic::CLASS_NOTICE || t.kind == topic::NOTICE) && mine)
        Notice(message);
    else if (t.kind == topic::TEACHER) {
        int online = message.Get("state") == "online" ? 1 : 0;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (online == m_Teacher)
                return true;
            m_Teacher = online;
        }
        NotebookHooks hooks = GetNotebookHooks();
        if (hooks.teacherStatus)
            hooks.teacherStatus(online == 1, message.Get("name"));
    } else {
        return false;
    }
    return true;
}

void CClassroomNotebook::Lock(const ClassroomMessage& message)
{
    long long id = atoll(message.Get("id").c_str());
    {
        /* The class's and this machine's kept messages both arrive on connecting: the newest
         * stands, and one already acted on is not acted on again. */
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (id <= m_LastLock)
            return;
        m_LastLock = id;
    }
    std::string mode = message.Get("mode"), result = "ok";
    NotebookHooks hooks = GetNotebookHooks();
    if (!hooks.teacherLock)
        result = "error: this notebook cannot lock its screen";
    else if (mode == "lock")
        hooks.teacherLock(1);
    else if (mode == "unlock")
        /* Over the timetable's lock, an unlock by hand; else the teacher's lock is lifted. */
        hooks.teacherLock(hooks.lockStatus && (hooks.lockStatus() & IPCAPI::STUDENT_LOCKED_BY_TIMETABLE) ? 2 : 0);
    else
        result = "error: unknown request " + mode;
    if (result != "ok")
        CKELLog::WriteLine("Classroom: the teacher's " + mode + " was not done: " + result, 2, "", false);
    ClassroomMessage answer;
    answer.fields["id"] = message.Get("id");
    answer.fields["mode"] = mode;
    answer.fields["result"] = result;
    m_Publish(topic::Answer(m_Settings.className, m_Settings.user, "lock"), answer.Encode(), false);
    LockStatusChanged();
}

void CClassroomNotebook::Notice(const ClassroomMessage& message)
{
    std::string id = message.Get("id");
    long long sent = atoll(message.Get("time").c_str());
    long long now = g_get_real_time() / G_USEC_PER_SEC;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (id.empty() || !m_Shown.insert(id).second)
            return;
    }
    /* Kept for a notebook that was off, but not past the lesson it was meant for. */
    if (now - sent > IPCAPI::NOTICE_LIFETIME_S || message.body.empty() ||
        message.body.size() > IPCAPI::NOTICE_MAX)
        return;
    NotebookHooks hooks = GetNotebookHooks();
    if (hooks.notice)
        hooks.notice(message.body);
}

} // namespace KelService
