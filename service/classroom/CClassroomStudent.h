/* The student machine's side of the classroom: presence, class searches and deployed policy,
 * through the class's broker. */
#ifndef KEL_CCLASSROOM_STUDENT_H
#define KEL_CCLASSROOM_STUDENT_H

#include "CClassroomNotebook.h"
#include "Classroom.h"
#include "ProgramSearch.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace KelService {

class CClassroomStudent {
public:
    /* Searches a folder of this machine as a local search does; a CProgramSearch result. */
    typedef std::function<int(const std::string& folder, const std::atomic<bool>* cancel,
                              std::vector<IPCAPI::FoundProgram>& found, IPCAPI::SkippedEntries& skipped)>
        SearchFn;
    /* Validates and saves a policy ("tabnav" or "schedule") through the service's own save
     * path; an IPC error code. */
    typedef std::function<int(const std::string& kind, const std::string& xml)> SaveFn;

    CClassroomStudent(const IPCAPI::ClassroomSettings& settings, SearchFn search, SaveFn save);
    ~CClassroomStudent();

    /* Connects in the background and keeps connecting; false when the session cannot be made. */
    bool Start(std::string& reason);
    /* Says goodbye (offline), stops a running search and the session. */
    void Stop();

    /* The local program search, in a folder below KEL_ROOT. */
    static SearchFn LocalSearch();

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m);

    void Connected(int rc);
    /* Logs a failure to connect once, not on every try. */
    void Failed(const std::string& reason);
    void Received(const std::string& topic, const std::string& payload);
    void Search(const std::string& id, const std::string& folder);
    void Deploy(const std::string& kind, const IPCAPI::ClassroomMessage& policy);
    void Publish(const std::string& topic, const std::string& payload, bool retain);
    /* "online", with the policies this machine holds. */
    void SayOnline();

    IPCAPI::ClassroomSettings m_Settings;
    SearchFn m_Search;
    SaveFn m_Save;
    mosquitto* m_Session;
    IPCAPI::CSessionLoop m_Loop;
    CClassroomNotebook m_Notebook; /* the teacher's lock and notices */

    std::mutex m_Mutex;
    /* The session's thread hands its work to these and never waits for a walk or a save. */
    IPCAPI::CJobQueue m_Searches;
    IPCAPI::CJobQueue m_Deploys;
    std::string m_LastFailure;
    std::string m_SearchId;
    std::shared_ptr<std::atomic<bool> > m_Cancel;
    std::map<std::string, std::string> m_Applied; /* policy kind -> id last saved */
    bool m_Stopping;

    CClassroomStudent(const CClassroomStudent&);
    CClassroomStudent& operator=(const CClassroomStudent&);
};

} // namespace KelService

#endif
