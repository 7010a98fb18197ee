/* The teacher's side of the classroom from a terminal: who is online, a class search, deploying
 * this machine's policy files. Uses the same API as the teacher's windows. */
#include "CSearchProgramForShellController.h"
#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"

#include <gtk/gtk.h>

#include <algorithm>
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
        Print(student, "tab navigation " + result, m_Deployed, false);
    }
    void DeploySchedulePolicyCallBack(std::string student, std::string result) override
    {
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
    bool Await(int* counter, int count, int ms)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return *counter >= count || m_Ended; });
    }

    int m_Searched = 0, m_Deployed = 0, m_Messages = 0, m_Locked = 0;

private:
    void Print(const std::string& who, const std::string& what, int& counter, bool end)
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

int Usage()
{
    fprintf(stderr, "usage: kel-classroom list | search FOLDER [--clear] | deploy | dialog FOLDER PNG\n"
                    "       kel-classroom lock [STUDENT...] | unlock [STUDENT...] | notice [--to STUDENT...] TEXT\n"
                    "  (students by machine; none: the whole class)\n"
                    "  Settings: %sclassroom.conf\n", LibKELData::CONFIG_FILE_DIR.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    if (argc == 4 && strcmp(argv[1], "dialog") == 0)
        return Dialog(argc, argv, argv[2], argv[3]);
    CClassPrinter printer;
    IPCAPI::IPCTeacherAPI* api = printer.GetTeacherAPIObject();
    std::list<IPCAPI::tagStudent_t> students;
    int err = 0;
    if (api->GetStudentList(students, err) != 0) {
        fprintf(stderr, "kel-classroom: the class cannot be reached (error %d, see the log)\n", err);
        return 1;
    }
    const int wait = 60000;
    std::string command = argv[1];
    if (command == "list" && argc == 2) {
        for (const auto& s : students)
            printf("%s\t%s\n", s.name.c_str(), s.address.c_str());
    } else if (command == "search" && (argc == 3 || (argc == 4 && strcmp(argv[3], "--clear") == 0))) {
        int op = 0;
        err = api->SearchProgram(argv[2], op, argc == 4);
        if (err != 0) {
            fprintf(stderr, "kel-classroom: the search did not start (error %d)\n", err);
            return 1;
        }
        printer.Await(&printer.m_Searched, static_cast<int>(students.size()), wait);
    } else if (command == "deploy" && argc == 2) {
        LibKELData::CTabNavigationData tabs;
        LibKELData::CLockScheduleData schedule;
        std::string tabText, scheduleText;
        if (tabs.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION) != 0 ||
            schedule.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE) != 0 ||
            tabs.Save2String(tabText) != 0 || schedule.Save2String(scheduleText) != 0 ||
            api->DeployTabNavPolicy(tabText, err) != 0 || api->DeploySchedulePolicy(scheduleText, err) != 0) {
            fprintf(stderr, "kel-classroom: the policy could not be deployed (error %d)\n", err);
            return 1;
        }
        printer.Await(&printer.m_Deployed, 2 * static_cast<int>(students.size()), wait);
    } else if ((command == "lock" || command == "unlock") && argc >= 2) {
        std::list<std::string> names(argv + 2, argv + argc);
        bool lock = command == "lock";
        if ((lock ? api->LockStudents(names, err) : api->UnlockStudents(names, err)) != 0) {
            fprintf(stderr, "kel-classroom: the %s was not sent (error %d)\n", command.c_str(), err);
            return 1;
        }
        /* The online ones answer now; the others when they come online. */
        int online = 0;
        for (const auto& s : students)
            online += names.empty() || std::find(names.begin(), names.end(), s.address) != names.end();
        printer.Await(&printer.m_Locked, online, 10000);
    } else if (command == "notice" && argc >= 3) {
        std::list<std::string> names;
        int i = 2;
        if (strcmp(argv[i], "--to") == 0)
            for (++i; i < argc - 1; ++i)
                names.push_back(argv[i]);
        if (i != argc - 1 || (strcmp(argv[2], "--to") == 0 && names.empty()))
            return Usage();
        if (api->SendNotice(names, argv[i], err) != 0) {
            fprintf(stderr, "kel-classroom: the notice was not sent (error %d)\n", err);
            return 1;
        }
    } else {
        return Usage();
    }
    return 0;
}
