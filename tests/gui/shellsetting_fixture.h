/* Shell Settings windows opened to the tests, policy files written through the records (so the
 * tests follow the storage format), and list and toggle helpers. */
#ifndef SHELLSETTING_FIXTURE_H
#define SHELLSETTING_FIXTURE_H

#include <gtk/gtk.h>

#include <string>
#include <type_traits>
#include <vector>

#include "CShellSettingCtrl.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"

namespace keltest {

/* Any Shell Settings window with its protected records and widgets made public. */
template <class Base> class Exposed : public Base {
public:
    using Base::m_TabNavData;
    using Base::m_ScheduleData;
    using Base::m_SystemSettingData;
    using Base::m_bScheduleDirty;
    using Base::m_bTabNavDirty;
    using Base::m_bSystemSettingDirty;
    using Base::m_pAddApplicationWindow;
    using Base::m_pIconDlg;
    using Base::m_pNotebook;
    using Base::m_pButtonRow;
    using Base::m_pAutoLockCheckBox;
    using Base::m_TimeGrid;
    using Base::m_DayButtons;
    using Base::m_pCategoryView;
    using Base::m_pProgramView;
    using Base::m_pCategoryStore;
    using Base::m_pProgramStore;
    using Base::m_pAddCategoryBtn;
    using Base::m_pDeleteCategoryBtn;
    using Base::m_pEditCategoryBtn;
    using Base::m_pAddProgramBtn;
    using Base::m_pDeleteProgramBtn;
    using Base::m_pEditProgramBtn;
    using Base::m_pDefaultBtn;
    using Base::m_pSettingsRow;
    using Base::m_pUSBCheckBox;
    using Base::m_pNewStudentCheckBox;
    using Base::m_CurProgramName;
    using Base::m_CurCategoryName;
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
    int OnClose() override { return calls.push_back("OnClose"), Close(); }
    int OnApply() override { return calls.push_back("OnApply"), 0; }
    int OnAddProgram() override { return calls.push_back("OnAddProgram"), 0; }
    int LoadXMLData() override
    {
        calls.push_back("LoadXMLData");
        m_TabNavData.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION);
        m_ScheduleData.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE);
        m_SystemSettingData.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::KEL_SYSTEM_SETTING);
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

inline LibKELData::CategoryInfoList* NewCategoryList(const std::vector<CategorySpec>& categories)
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
    return list;
}

/* Writes the program policy, or with defaults set, the factory defaults. */
inline bool WriteTabNavigation(const std::vector<CategorySpec>& categories, bool defaults = false)
{
    if (defaults) {
        LibKELData::CDefaultConfigData data;
        data.SetPCategoryInfoList(NewCategoryList(categories));
        return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::DEFAULT_CONFIG) == 0;
    }
    LibKELData::CTabNavigationData data;
    data.SetPCategoryInfoList(NewCategoryList(categories));
    return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION) == 0;
}

struct SectionSpec {
    int day, start, end;
    bool operator==(const SectionSpec& o) const { return day == o.day && start == o.start && end == o.end; }
};

inline LibKELData::LockTimeSectionList* NewSectionList(const std::vector<SectionSpec>& sections)
{
    LibKELData::LockTimeSectionList* list = new LibKELData::LockTimeSectionList;
    for (const SectionSpec& s : sections)
        list->push_back(new LibKELData::CLockTimeSection(s.day, s.start, s.end));
    return list;
}

inline std::vector<SectionSpec> Sections(const LibKELData::LockTimeSectionList* list)
{
    std::vector<SectionSpec> out;
    if (list)
        for (const LibKELData::CLockTimeSection* s : *list)
            out.push_back({s->GetDayOfWeek(), s->GetStartTime(), s->GetEndTime()});
    return out;
}

inline bool WriteLockSchedule(int autoLock, int lockStatus, const std::vector<SectionSpec>& sections)
{
    LibKELData::CLockScheduleData data;
    data.SetAutoLock(autoLock);
    data.SetLockStatus(lockStatus);
    data.SetPAutomaticLockTimeList(NewSectionList(sections));
    return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE) == 0;
}

inline bool WriteSystemSetting(int usbEnabled, int newStudentDialog)
{
    LibKELData::CKELSystemSettingData data;
    data.SetUSBStorageenabled(usbEnabled);
    data.SetNewStudentConnectDialogEnable(newStudentDialog);
    return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::KEL_SYSTEM_SETTING) == 0;
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

/* Moves a list's cursor to row n, as a click does (emits "cursor-changed"). */
inline void SetCursorRow(GtkWidget* view, int n)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(n, -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), path, NULL, FALSE);
    gtk_tree_path_free(path);
    Drain();
}

inline int SelectedRow(GtkWidget* view)
{
    GtkTreeModel* model = NULL;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), &model, &iter))
        return -1;
    GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
    int row = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    return row;
}

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

template <typename Model> std::vector<std::string> ColumnTexts(Model* list, int column)
{
    std::vector<std::string> out;
    for (int row = 0; list && row < gtk_tree_model_iter_n_children(GTK_TREE_MODEL(list), NULL); ++row) {
        gchar* text = CellAt<gchar*>(list, row, column);
        out.push_back(text ? text : "");
        g_free(text);
    }
    return out;
}

inline LibKELData::CCategory* CategoryAt(const LibKELData::CTabNavigationData& data, size_t n)
{
    LibKELData::CategoryInfoList* list = data.GetPCategoryInfoList();
    if (!list || n >= list->size())
        return NULL;
    LibKELData::CategoryInfoList::iterator it = list->begin();
    std::advance(it, n);
    return *it;
}

inline std::vector<std::string> CategoryNames(const LibKELData::CTabNavigationData& data)
{
    std::vector<std::string> out;
    for (size_t i = 0; CategoryAt(data, i); ++i)
        out.push_back(CategoryAt(data, i)->GetName());
    return out;
}

inline std::vector<std::string> ProgramNames(const LibKELData::CCategory* category)
{
    std::vector<std::string> out;
    if (category && category->GetPApplicationInfoList())
        for (LibKELData::CApplicationInfo* a : *category->GetPApplicationInfoList())
            out.push_back(a->GetName());
    return out;
}

} // namespace keltest

#endif
