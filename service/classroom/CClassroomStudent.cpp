/* The student machine's side of the classroom: presence, class searches and deployed policy. */
#include "CClassroomStudent.h"

#include "IPCAPI.h"
#include "KELPaths.h"
#include "KELData.h"
#include "KELLog.h"
#include "LocalService.h"
#include "SearchWalk.h"

#include <mosquitto.h>

using IPCAPI::ClassroomFail;
using IPCAPI::ClassroomMessage;
using IPCAPI::CProgramSearch;
using IPCAPI::FoundProgram;
namespace topic = IPCAPI::topic;

namespace KelService {

namespace {

const char* const ONLINE = "online";
const char* const OFFLINE = "offline";

} // namespace

CClassroomStudent::CClassroomStudent(const IPCAPI::ClassroomSettings& settings, SearchFn search, SaveFn save)
    : m_Settings(settings)
    , m_Search(search)
    , m_Save(save)
    , m_Session(nullptr)
    , m_Notebook(settings, [this](const std::string& t, const std::string& p, bool r) { Publish(t, p, r); })
    , m_Stopping(false)
{
}

CClassroomStudent::~CClassroomStudent()
{
    Stop();
    m_Notebook.Detach();
    if (m_Session)
        mosquitto_destroy(m_Session);
}

bool CClassroomStudent::Start(std::string& reason)
{
    /* The broker ties a notebook's client id to its login: the id is the login. */
    m_Session = IPCAPI::NewClassroomSession(m_Settings, m_Settings.user, this, reason);
    if (!m_Session)
        return false;
    std::string presence = topic::Presence(m_Settings.className, m_Settings.user);
    /* The broker says it for us when we vanish (power off, crash, network gone). */
    int rc = mosquitto_will_set(m_Session, presence.c_str(), 7, OFFLINE, 1, true);
    if (rc != MOSQ_ERR_SUCCESS) {
        reason = std::string("cannot set the last will: ") + mosquitto_strerror(rc);
        return false;
    }
    mosquitto_connect_callback_set(m_Session, OnConnect);
    mosquitto_message_callback_set(m_Session, OnMessage);
    /* Its thread connects again by itself after every failure. */
    return m_Loop.Start(m_Session, m_Settings, [this](const std::string& why) { Failed(why); }, reason);
}

void CClassroomStudent::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Stopping || !m_Session)
            return;
        m_Stopping = true;
        if (m_Cancel)
            *m_Cancel = true;
    }
    Publish(topic::Presence(m_Settings.className, m_Settings.user), OFFLINE, true);
    /* After this no request starts a search any more. */
    m_Loop.Stop();
    m_Searches.Stop();
    m_Deploys.Stop();
}

void CClassroomStudent::OnConnect(mosquitto*, void* self, int rc)
{
    static_cast<CClassroomStudent*>(self)->Connected(rc);
}

void CClassroomStudent::OnMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    if (!m->topic || m->payloadlen < 0)
        return;
    static_cast<CClassroomStudent*>(self)->Received(
        m->topic, std::string(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen)));
}

void CClassroomStudent::Failed(const std::string& reason)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (reason != m_LastFailure)
        ClassroomFail(reason);
    m_LastFailure = reason;
}

void CClassroomStudent::Connected(int rc)
{
    if (rc != 0) {
        Failed(IPCAPI::RefusalText(m_Settings, m_Loop.Current(), rc));
        return;
    }
    m_Loop.Connected();
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!m_LastFailure.empty())
            ClassroomFail("connected to the classroom broker " + m_Loop.Current().Name());
        m_LastFailure.clear();
    }
    /* Retained policies: what the teacher deployed while this machine was off arrives now. */
    for (topic::Kind kind : {topic::SEARCH_REQUEST, topic::CANCEL_REQUEST, topic::ROLL_CALL, topic::POLICY})
        mosquitto_subscribe(m_Session, NULL, topic::Filter(m_Settings.className, kind).c_str(), 1);
    m_Notebook.Connected(m_Session);
    SayOnline();
}

void CClassroomStudent::SayOnline()
{
    ClassroomMessage presence;
    presence.fields["state"] = ONLINE;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        for (const auto& applied : m_Applied)
            presence.fields[applied.first] = applied.second;
    }
    Publish(topic::Presence(m_Settings.className, m_Settings.user), presence.Encode(), true);
}

void CClassroomStudent::Received(const std::string& name, const std::string& payload)
{
    topic::Parsed t;
    ClassroomMessage message;
    if (!topic::Parse(m_Settings.className, name, t) || !ClassroomMessage::Decode(payload, message) ||
        m_Notebook.Received(t, message))
        return;
    if (t.kind == topic::SEARCH_REQUEST) {
        Search(message.Get("id"), message.body);
    } else if (t.kind == topic::CANCEL_REQUEST) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Cancel && m_SearchId == message.Get("id"))
            *m_Cancel = true;
    } else if (t.kind == topic::ROLL_CALL) {
        SayOnline();
    } else if (t.kind == topic::POLICY && (t.word == IPCAPI::POLICY_TABNAV || t.word == IPCAPI::POLICY_SCHEDULE)) {
        std::string kind = t.word;
        m_Deploys.Post([this, kind, message] { Deploy(kind, message); });
    }
}

void CClassroomStudent::Search(const std::string& id, const std::string& folder)
{
    /* A new request replaces the running search, which answers nothing more. */
    auto cancel = std::make_shared<std::atomic<bool> >(false);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Stopping)
            return;
        if (m_Cancel)
            *m_Cancel = true;
        m_SearchId = id;
        m_Cancel = cancel;
    }
    m_Searches.Post([this, id, folder, cancel] {
        if (*cancel)
            return;
        std::vector<FoundProgram> found;
        IPCAPI::SkippedEntries skipped;
        int rc = folder.empty() || folder[0] != '/' ? CProgramSearch::FOLDER_UNUSABLE
                                                     : m_Search(folder, cancel.get(), found, skipped);
        if (rc == CProgramSearch::CANCELLED || *cancel)
            return;
        ClassroomMessage answer;
        answer.fields["id"] = id;
        if (rc == CProgramSearch::FOLDER_UNUSABLE) {
            answer.fields["result"] = std::string("error: ") + IPCAPI::SEARCH_ERR_FOLDER + " " + IPCAPI::PrintableText(folder);
        } else {
            LibKELData::CSearchResultData programs;
            std::vector<LibKELData::CApplicationInfo> apps;
            apps.reserve(found.size());
            LibKELData::ApplicationInfoList list;
            for (const FoundProgram& p : found) {
                apps.push_back(LibKELData::CApplicationInfo(p.name, p.command, p.icon, 1));
                list.push_back(&apps.back());
            }
            programs.SetPApplicationInfoList(new LibKELData::ApplicationInfoList);
            programs.MergeUnique(list);
            if (programs.Save2String(answer.body) != 0) {
                answer.body.clear();
                answer.fields["result"] = std::string("error: ") + IPCAPI::SEARCH_ERR_SEND;
            } else {
                answer.fields["result"] = "found " + std::to_string(found.size());
                /* ", skipped K CODE L" without its word: the teacher's side adds it to the count. */
                const std::string suffix = skipped.ResultSuffix();
                if (!suffix.empty())
                    answer.fields["skipped"] = suffix.substr(suffix.find(' ', 2) + 1);
            }
        }
        Publish(topic::Make(m_Settings.className, topic::SEARCH_ANSWER, m_Settings.user), answer.Encode(), false);
    });
}

void CClassroomStudent::Deploy(const std::string& kind, const ClassroomMessage& policy)
{
    std::string id = policy.Get("id");
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        /* The broker hands the retained policy again on every reconnect. */
        if (m_Applied[kind] == id)
            return;
    }
    int err = m_Save(kind, policy.body);
    ClassroomMessage answer;
    answer.fields["kind"] = kind;
    answer.fields["id"] = id;
    if (err == IPCAPI::IPC_OK) {
        answer.fields["result"] = "ok";
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Applied[kind] = id;
    } else {
        answer.fields["result"] = err == IPCAPI::IPC_ERR_PARSE ? "error: the policy is not valid"
                                                               : "error: the policy cannot be saved";
        ClassroomFail("the deployed " + kind + " policy was refused: " + answer.fields["result"]);
    }
    Publish(topic::Make(m_Settings.className, topic::DEPLOY_ANSWER, m_Settings.user), answer.Encode(), false);
    /* A teacher's console that starts later learns from the presence what this machine holds. */
    if (err == IPCAPI::IPC_OK)
        SayOnline();
}

void CClassroomStudent::Publish(const std::string& name, const std::string& payload, bool retain)
{
    int rc = mosquitto_publish(m_Session, NULL, name.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                               retain);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
        ClassroomFail("cannot publish to " + name + ": " + mosquitto_strerror(rc));
}

CClassroomStudent::SearchFn CClassroomStudent::LocalSearch()
{
    return [](const std::string& folder, const std::atomic<bool>* cancel, std::vector<FoundProgram>& found,
              IPCAPI::SkippedEntries& skipped) {
        /* The teacher names the folder, not this machine's administrator: the walk runs like a
         * local search, in kel-walk, bounded in time, as the user made for class searches (as
         * this service's own user when that is not root). The folder is moved below KEL_ROOT. */
        walk::Identity id;
        if (geteuid() == 0 && !walk::IdentityOf(walk::CLASS_SEARCH_USER, id)) {
            ClassroomFail(std::string("no class search without the system user ") + walk::CLASS_SEARCH_USER);
            return static_cast<int>(CProgramSearch::FOLDER_UNUSABLE);
        }
        static const std::string walker = walk::BesideSelf();
        std::string why;
        int rc = walk::RunAndWait(walker, LibKELData::detail::Rooted(folder.c_str()),
                                  IPCAPI::ProgramSearchEnvironment::FromProcess().svgLoadable, id, cancel,
                                  walk::TimeLimit(), found, why, &skipped);
        if (rc == walk::DONE)
            return static_cast<int>(CProgramSearch::DONE);
        if (cancel && *cancel)
            return static_cast<int>(CProgramSearch::CANCELLED);
        if (rc != walk::FOLDER_UNUSABLE)
            ClassroomFail("the class search of " + folder + " failed: " + why);
        return static_cast<int>(CProgramSearch::FOLDER_UNUSABLE);
    };
}

} // namespace KelService
