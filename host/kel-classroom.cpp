/* The teacher's side of the classroom from a terminal: who is online, a class search, deploying
 * this machine's policy files. Uses the same API as the teacher's windows. */
#include "CSearchProgramForShellController.h"
#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

class CClassPrinter : public IPCAPI::CTeacherAPICallbackBase {
public:
    CClassPrinter()
    {
        int err = 0;
        GetTeacherAPIObject()->RegisterCallBack(this, err);
    }
    ~CClassPrinter() override { DetachCallBacks(); }

    void SearchProgramCallBack(std::string student, std::string result) override
    {
        Print(student.empty() ? "end of search" : student, result, m_Searched, student.empty());
    }
    void DeployTabNavPolicyCallBack(std::string student, std::string result) override
    {
        m_Refused += result != "ok";
        Print(student, "tab navigation " + result, m_Deployed, false);
    }
    void DeploySchedulePolicyCallBack(std::string student, std::string result) override
    {
        m_Refused += result != "ok";
        Print(student, "lock schedule " + result, m_Deployed, false);
    }
    void OnMessage(std::string message) override { Print("message", message, m_Messages, false); }
    void ManualLockRemotStudentCallBack(std::string student, std::string result) override
    {
        Print(student, "lock " + result, m_Locked, false);
    }
    void ManualUnLockRemotStudentCallBack(std::string student, std::string result) override
    {
        Print(student, "unlock " + result, m_Locked, false);
    }

    /* Until count answers of the kind (or the end of the search) arrived, at most ms. */
    bool Await(std::atomic<int>* counter, int count, int ms)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return *counter >= count || m_Ended; });
    }

    std::atomic<int> m_Searched{0}, m_Deployed{0}, m_Messages{0}, m_Refused{0}, m_Locked{0};

private:
    void Print(const std::string& who, const std::string& what, std::atomic<int>& counter, bool end)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        printf("%s: %s\n", who.c_str(), what.c_str());
        fflush(stdout);
        ++counter;
        m_Ended = m_Ended || end;
        m_Changed.notify_all();
    }
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    bool m_Ended = false;
};

/* The first widget of a type in a window. */
GtkWidget* Find(GtkWidget* widget, GType type)
{
    if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type))
        return widget;
    GtkWidget* found = NULL;
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* l = children; l && !found; l = l->next)
            found = Find(GTK_WIDGET(l->data), type);
        g_list_free(children);
    }
    return found;
}

/* The teacher's Search Program dialog searching the class; its picture once the search is done. */
int Dialog(int argc, char** argv, const char* folder, const char* png)
{
    gdk_threads_init();
    if (!gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "kel-classroom: no display\n");
        return 1;
    }
    gdk_threads_enter();
    LibKELGUI::CSearchProgramForShellController dialog(1);
    dialog.Init();
    dialog.Show();
    GtkWidget* window = dialog.GetWindow();
    gtk_entry_set_text(GTK_ENTRY(Find(window, GTK_TYPE_ENTRY)), folder);
    dialog.OnSearchBtnClicked();
    GtkProgressBar* bar = GTK_PROGRESS_BAR(Find(window, GTK_TYPE_PROGRESS_BAR));
    /* The answers take the GDK lock on the broker client's thread: the loop runs without it,
     * as gtk_main does. */
    gint64 until = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    for (bool done = false; !done && g_get_monotonic_time() < until;) {
        gdk_threads_leave();
        if (!g_main_context_iteration(NULL, FALSE))
            g_usleep(10000);
        gdk_threads_enter();
        done = gtk_progress_bar_get_fraction(bar) >= 1.0;
    }
    gdk_threads_leave();
    while (g_main_context_iteration(NULL, FALSE)) {
    }
    gdk_threads_enter();
    gdk_window_process_all_updates();
    gint width = 0, height = 0;
    gdk_drawable_get_size(window->window, &width, &height);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(NULL, window->window, NULL, 0, 0, 0, 0, width, height);
    bool saved = shot && gdk_pixbuf_save(shot, png, "png", NULL, NULL);
    if (shot)
        g_object_unref(shot);
    dialog.Close();
    gdk_threads_leave();
    printf("screenshot: %s\n", png);
    return saved ? 0 : 1;
}

int Usage(FILE* out, int code)
{
    fprintf(out, "usage: kel-classroom list | search FOLDER [--clear] | deploy | dialog FOLDER PNG | --help\n"
                 "       kel-classroom lock [STUDENT...] | unlock [STUDENT...] | notice [--to STUDENT...] TEXT\n"
                 "  list     the students online now\n"
                 "  search   a search of FOLDER on every student's machine, merged into the results\n"
                 "  deploy   this machine's tab navigation and lock schedule policy to the whole class\n"
                 "  lock, unlock, notice  the named students (by machine), or the whole class\n"
                 "  Settings: %sclassroom.conf\n", LibKELData::CONFIG_FILE_DIR.c_str());
    return code;
}

/* Why the class cannot be reached, as the broker client knows it. */
int Unreachable(IPCAPI::IPCTeacherAPI* api, const char* what, int err)
{
    std::string reason;
    int state = 0;
    api->GetConnectionState(reason, state);
    fprintf(stderr, "kel-classroom: %s: %s (error %d)\n", what, reason.c_str(), err);
    return 1;
}

int Deploy(CClassPrinter& printer, IPCAPI::IPCTeacherAPI* api, int students)
{
    LibKELData::CTabNavigationData tabs;
    LibKELData::CLockScheduleData schedule;
    std::string tabText, scheduleText;
    const std::string dir = LibKELData::CONFIG_FILE_DIR;
    if (tabs.LoadFromFile(dir + LibKELData::TAB_NAVIGATION) != 0 || tabs.Save2String(tabText) != 0 ||
        schedule.LoadFromFile(dir + LibKELData::LOCK_SCHEDULE) != 0 || schedule.Save2String(scheduleText) != 0) {
        fprintf(stderr, "kel-classroom: the policy files in %s cannot be read\n", dir.c_str());
        return 1;
    }
    int err = 0;
    if (api->DeployTabNavPolicy(tabText, err) != 0 || api->DeploySchedulePolicy(scheduleText, err) != 0)
        return Unreachable(api, "the policy was not deployed", err);
    /* Each student answers once for each of the two policies. */
    printer.Await(&printer.m_Deployed, 2 * students, 30000);
    if (printer.m_Deployed < 2 * students || printer.m_Refused > 0) {
        fprintf(stderr, "kel-classroom: %d of %d students confirmed the policy\n",
                (printer.m_Deployed - printer.m_Refused) / 2, students);
        return 1;
    }
    return 0;
}

int LockOrUnlock(CClassPrinter& printer, IPCAPI::IPCTeacherAPI* api, const std::list<IPCAPI::tagStudent_t>& students,
                 const std::string& command, const std::list<std::string>& names)
{
    int err = 0;
    bool lock = command == "lock";
    if ((lock ? api->LockStudents(names, err) : api->UnlockStudents(names, err)) != 0)
        return Unreachable(api, ("the " + command + " was not sent").c_str(), err);
    /* The online ones answer now; the others when they come online. */
    int online = 0;
    for (const auto& s : students)
        online += names.empty() || std::find(names.begin(), names.end(), s.address) != names.end();
    printer.Await(&printer.m_Locked, online, 10000);
    return 0;
}

/* notice [--to STUDENT...] TEXT: the machines named, or none for the whole class; -1 when malformed. */
int NoticeArgs(int argc, char** argv, std::list<std::string>& names)
{
    int i = 2;
    if (i < argc && strcmp(argv[i], "--to") == 0)
        for (++i; i < argc - 1; ++i)
            names.push_back(argv[i]);
    if (i != argc - 1 || (strcmp(argv[2], "--to") == 0 && names.empty()))
        return -1;
    return i;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage(stderr, 2);
    std::string command = argv[1];
    if (command == "--help" || command == "-h")
        return Usage(stdout, 0);
    if (argc == 4 && command == "dialog")
        return Dialog(argc, argv, argv[2], argv[3]);
    bool search = command == "search" && (argc == 3 || (argc == 4 && strcmp(argv[3], "--clear") == 0));
    bool locking = command == "lock" || command == "unlock";
    std::list<std::string> noticeTo;
    int noticeText = command == "notice" ? NoticeArgs(argc, argv, noticeTo) : -1;
    if (!search && !locking && noticeText < 0 && !((command == "list" || command == "deploy") && argc == 2))
        return Usage(stderr, 2);
    CClassPrinter printer;
    IPCAPI::IPCTeacherAPI* api = printer.GetTeacherAPIObject();
    std::list<IPCAPI::tagStudent_t> students;
    int err = 0;
    if (api->GetStudentList(students, err) != 0)
        return Unreachable(api, "the class cannot be reached", err);
    if (command == "list") {
        for (const auto& s : students)
            printf("%s\t%s\n", s.name.c_str(), s.address.c_str());
    } else if (search) {
        int op = 0;
        err = api->SearchProgram(argv[2], op, argc == 4);
        if (err != 0)
            return Unreachable(api, "the search did not start", err);
        printer.Await(&printer.m_Searched, static_cast<int>(students.size()), 60000);
    } else if (locking) {
        return LockOrUnlock(printer, api, students, command, std::list<std::string>(argv + 2, argv + argc));
    } else if (noticeText > 0) {
        if (api->SendNotice(noticeTo, argv[noticeText], err) != 0)
            return Unreachable(api, "the notice was not sent", err);
    } else {
        return Deploy(printer, api, static_cast<int>(students.size()));
    }
    return 0;
}
