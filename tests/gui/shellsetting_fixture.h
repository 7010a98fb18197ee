/* Shell Settings windows opened to the tests, policy files written through the records (so the
 * tests follow the storage format), and helpers to find a window's hours, lists and buttons. */
#ifndef SHELLSETTING_FIXTURE_H
#define SHELLSETTING_FIXTURE_H

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "CShellSettingCtrl.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"

namespace keltest {

/* Any Shell Settings window with the few members screenshots and translations reach for. */
template <class Base> class Exposed : public Base {
public:
    using Base::m_pNotebook;
    using Base::m_TimeGrid;
    using Base::m_pCategoryView;
    using Base::m_pProgramView;
};

/* The frame alone: records the operations it leaves to the concrete windows. */
class CTestShellSetting : public Exposed<LibKELGUI::CShellSettingCtrl> {
public:
    std::vector<std::string> calls;
    int Init() override
    {
        int result = AttachBaseClassGTKHandler(this);
        if (result == 0) {
            LoadXMLData();
            m_bInitialized = true;
        }
        return result;
    }
    const LibKELData::CKELSystemSettingData& System() const { return m_SystemSettingData; }
    int OnClose() override { return calls.push_back("OnClose"), Close(); }
    int OnApply() override { return calls.push_back("OnApply"), 0; }
    int OnAddProgram() override { return calls.push_back("OnAddProgram"), 0; }
    int LoadXMLData() override
    {
        calls.push_back("LoadXMLData");
        LoadPolicy(LibKELGUI::CShellPolicy::ALL_RECORDS);
        ShowTabNavPolicy();
        ShowSchedulePolicy();
        ShowUSBPolicy();
        return 0;
    }
};

struct ProgramSpec {
    std::string name, path, icon;
    int enable;
};
struct CategorySpec {
    std::string name, icon;
    std::vector<ProgramSpec> programs;
};

inline bool WriteTabNavigation(const std::vector<CategorySpec>& categories)
{
    LibKELData::CategoryInfoList* list = new LibKELData::CategoryInfoList;
    for (const CategorySpec& spec : categories) {
        LibKELData::CCategory* category = new LibKELData::CCategory;
        category->SetName(spec.name);
        category->SetCategoryIcon(spec.icon);
        for (const ProgramSpec& p : spec.programs)
            category->AddApplication(new LibKELData::CApplicationInfo(p.name, p.path, p.icon, p.enable));
        list->push_back(category);
    }
    LibKELData::CTabNavigationData data;
    data.SetPCategoryInfoList(list);
    return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION) == 0;
}

/* Locked hours as (day, hour) pairs, each written as a section of its own. */
inline bool WriteLockSchedule(int autoLock, int lockStatus, const std::vector<std::pair<int, int>>& hours,
                              int manualLock = 0)
{
    LibKELData::CLockScheduleData data;
    data.SetAutoLock(autoLock);
    data.SetLockStatus(lockStatus);
    data.SetManualLock(manualLock);
    LibKELData::LockTimeSectionList* list = new LibKELData::LockTimeSectionList;
    for (const auto& h : hours)
        list->push_back(new LibKELData::CLockTimeSection(h.first, h.second, h.second + 1));
    data.SetPAutomaticLockTimeList(list);
    return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE) == 0;
}

inline bool WriteSystemSetting(int usbEnabled, int newStudentDialog)
{
    LibKELData::CKELSystemSettingData data;
    data.SetUSBStorageenabled(usbEnabled);
    data.SetNewStudentConnectDialogEnable(newStudentDialog);
    return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::KEL_SYSTEM_SETTING) == 0;
}

/* The locked hours of the schedule file, as (day, hour) pairs. */
inline std::vector<std::pair<int, int>> LockedHoursOnDisk(int* autoLock = nullptr)
{
    LibKELData::CLockScheduleData data;
    data.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE);
    if (autoLock)
        *autoLock = data.GetAutoLock();
    std::vector<std::pair<int, int>> out;
    if (data.GetPAutomaticLockTimeList())
        for (const LibKELData::CLockTimeSection* s : *data.GetPAutomaticLockTimeList())
            for (int h = s->GetStartTime(); h < s->GetEndTime(); ++h)
                out.push_back({s->GetDayOfWeek(), h});
    return out;
}

inline bool Sensitive(GtkWidget* w)
{
    return w && GTK_WIDGET_SENSITIVE(w);
}
inline bool Active(GtkWidget* w)
{
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w));
}
inline void SetActive(GtkWidget* w, bool active)
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), active);
}

/* An hour of the grid by the name a screen reader reads, such as "Mon 08:00-09:00". */
inline GtkWidget* Hour(GtkWidget* window, const std::string& name)
{
    return FindWidget(window, [&name](GtkWidget* w) {
        return GTK_IS_TOGGLE_BUTTON(w) && g_strcmp0(name.c_str(), atk_object_get_name(gtk_widget_get_accessible(w))) == 0;
    });
}

/* The category list (0) or the program list (1). */
inline GtkTreeView* List(GtkWidget* window, int n)
{
    return GTK_TREE_VIEW(FindByType(window, GTK_TYPE_TREE_VIEW, n));
}

/* The texts of a list's name column (1 for categories, 2 for programs). */
inline std::vector<std::string> Names(GtkTreeView* view, int column)
{
    std::vector<std::string> out;
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreeIter iter;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok; ok = gtk_tree_model_iter_next(model, &iter)) {
        gchar* text = NULL;
        gtk_tree_model_get(model, &iter, column, &text, -1);
        out.push_back(text ? text : "");
        g_free(text);
    }
    return out;
}

/* Moves a list's cursor to row n, as a click does (emits "cursor-changed"). */
inline void SetCursorRow(GtkTreeView* view, int n)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(n, -1);
    gtk_tree_view_set_cursor(view, path, NULL, FALSE);
    gtk_tree_path_free(path);
    Drain();
}

/* Sends a key press to a widget, as the keyboard does. */
inline void PressKey(GtkWidget* widget, guint keyval, guint state = 0)
{
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(widget->window));
    event->key.keyval = keyval;
    event->key.state = state;
    event->key.send_event = TRUE;
    gtk_widget_event(widget, event);
    gdk_event_free(event);
    Drain();
}

} // namespace keltest

#endif
