/* Shell Settings windows opened to the tests, policy files written through the records (so the
 * tests follow the storage format), and helpers to find a window's hours, lists and buttons. */
#ifndef SHELLSETTING_FIXTURE_H
#define SHELLSETTING_FIXTURE_H

#include <gtk/gtk.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

#include "CShellPolicy.h"
#include "CShellSettingCtrl.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"

namespace keltest {

/* The frame alone: records the operations it leaves to the concrete windows. */
class CTestShellSetting : public LibKELGUI::CShellSettingCtrl {
public:
    std::vector<std::string> calls;
    int Init() override
    {
        int result = AttachBaseClassGTKHandler(this);
        if (result == 0)
            m_bInitialized = LoadXMLData() == 0;
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

/* Categories by name with their programs. */
inline bool WriteTabNavigation(
    const std::vector<std::pair<std::string, std::vector<LibKELData::CApplicationInfo>>>& categories)
{
    LibKELData::CategoryInfoList* list = new LibKELData::CategoryInfoList;
    for (const auto& spec : categories) {
        list->push_back(new LibKELData::CCategory);
        list->back()->SetName(spec.first);
        for (const LibKELData::CApplicationInfo& p : spec.second)
            list->back()->AddApplication(new LibKELData::CApplicationInfo(p));
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
inline std::vector<std::pair<int, int>> LockedHoursOnDisk()
{
    LibKELData::CLockScheduleData data;
    data.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE);
    std::vector<std::pair<int, int>> out;
    if (data.GetPAutomaticLockTimeList())
        for (const LibKELData::CLockTimeSection* s : *data.GetPAutomaticLockTimeList())
            for (int h = s->GetStartTime(); h < s->GetEndTime(); ++h)
                out.push_back({s->GetDayOfWeek(), h});
    return out;
}
inline bool LockedOnDisk(int day, int hour)
{
    auto hours = LockedHoursOnDisk();
    return std::find(hours.begin(), hours.end(), std::make_pair(day, hour)) != hours.end();
}

inline bool Active(GtkWidget* w) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)); }
inline void SetActive(GtkWidget* w, bool active) { gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), active); }
/* Builds and shows a window, as its host does. */
inline void Open(LibKELGUI::CShellSettingCtrl& w) { w.Init(), w.Show(), Drain(); }

/* The n-th button of the window with this label. */
inline GtkWidget* NthButton(GtkWidget* window, const char* label, size_t n)
{
    std::vector<GtkWidget*> all = FindAll(window, [label](GtkWidget* w) {
        return GTK_IS_BUTTON(w) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(w)), label) == 0;
    });
    return n < all.size() ? all[n] : NULL;
}

/* An hour of the grid by the name a screen reader reads, such as "Mon 08:00-09:00". */
inline GtkWidget* Hour(GtkWidget* window, const std::string& name)
{
    return FindWidget(window, [&name](GtkWidget* w) {
        return GTK_IS_TOGGLE_BUTTON(w) && g_strcmp0(name.c_str(), atk_object_get_name(gtk_widget_get_accessible(w))) == 0;
    });
}

/* The category list (0) or the program list (1). */
inline GtkTreeView* List(GtkWidget* window, int n) { return GTK_TREE_VIEW(FindByType(window, GTK_TYPE_TREE_VIEW, n)); }

/* A cell of a list's row (a pixbuf borrowed: the list keeps its own), and a column's texts. */
template <typename T, typename Model> T CellAt(Model* list, int row, int column)
{
    GtkTreeIter iter;
    T value = T();
    if (gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(list), &iter, NULL, row))
        gtk_tree_model_get(GTK_TREE_MODEL(list), &iter, column, &value, -1);
    if constexpr (std::is_same<T, GdkPixbuf*>::value)
        if (value)
            g_object_unref(value);
    return value;
}
inline std::vector<std::string> Names(GtkTreeView* view, int column)
{
    GtkTreeModel* list = gtk_tree_view_get_model(view);
    std::vector<std::string> out;
    for (int row = 0; row < gtk_tree_model_iter_n_children(GTK_TREE_MODEL(list), NULL); ++row) {
        gchar* text = CellAt<gchar*>(list, row, column);
        out.push_back(text ? text : "");
        g_free(text);
    }
    return out;
}

/* Moves a list's cursor to row n (on column, when given), as a click does. */
inline void SetCursorRow(GtkTreeView* view, int n, GtkTreeViewColumn* column = NULL)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(n, -1);
    gtk_tree_view_set_cursor(view, path, column, FALSE);
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
    /* Key bindings (a list's arrows) are looked up by the key's code. */
    GdkKeymapKey* keys = NULL;
    gint n = 0;
    if (gdk_keymap_get_entries_for_keyval(NULL, keyval, &keys, &n) && n > 0)
        event->key.hardware_keycode = keys[0].keycode, event->key.group = keys[0].group;
    g_free(keys);
    gtk_widget_event(widget, event);
    gdk_event_free(event);
    Drain();
}

} // namespace keltest

#endif
