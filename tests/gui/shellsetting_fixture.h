/* A concrete Shell Settings window for the tests: counts the calls of the operations the frame
 * leaves open, and loads its records from the sandbox root. */
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

class CTestShellSetting : public LibKELGUI::CShellSettingCtrl {
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
    int OnClose() override
    {
        calls.push_back("OnClose");
        return Close();
    }
    int OnApply() override
    {
        calls.push_back("OnApply");
        return 0;
    }
    int OnAddProgram() override
    {
        calls.push_back("OnAddProgram");
        return 0;
    }
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

    int Count(const std::string& call) const
    {
        int n = 0;
        for (const std::string& c : calls)
            n += c == call;
        return n;
    }

    using CShellSettingCtrl::m_TabNavData;
    using CShellSettingCtrl::m_ScheduleData;
    using CShellSettingCtrl::m_SystemSettingData;
    using CShellSettingCtrl::m_bScheduleDirty;
    using CShellSettingCtrl::m_bTabNavDirty;
    using CShellSettingCtrl::m_bSystemSettingDirty;
    using CShellSettingCtrl::m_pAddApplicationWindow;
    using CShellSettingCtrl::m_pIconDlg;
    using CShellSettingCtrl::m_pNotebook;
    using CShellSettingCtrl::m_pButtonRow;
    using CShellSettingCtrl::m_pAutoLockCheckBox;
    using CShellSettingCtrl::m_TimeGrid;
    using CShellSettingCtrl::m_DayButtons;
    using CShellSettingCtrl::m_pCategoryView;
    using CShellSettingCtrl::m_pProgramView;
    using CShellSettingCtrl::m_pCategoryStore;
    using CShellSettingCtrl::m_pProgramStore;
    using CShellSettingCtrl::m_pAddCategoryBtn;
    using CShellSettingCtrl::m_pDeleteCategoryBtn;
    using CShellSettingCtrl::m_pEditCategoryBtn;
    using CShellSettingCtrl::m_pAddProgramBtn;
    using CShellSettingCtrl::m_pDeleteProgramBtn;
    using CShellSettingCtrl::m_pEditProgramBtn;
    using CShellSettingCtrl::m_pDefaultBtn;
    using CShellSettingCtrl::m_pSettingsRow;
    using CShellSettingCtrl::m_pUSBCheckBox;
    using CShellSettingCtrl::m_pNewStudentCheckBox;
    using CShellSettingCtrl::m_CurProgramName;
    using CShellSettingCtrl::m_CurCategoryName;
};

/* ---- policy files written through the records, so the tests follow the storage format */

struct ProgramSpec {
    std::string name;
    std::string path;
    std::string icon;
    int enable;
};

struct CategorySpec {
    std::string name;
    std::string icon;
    std::vector<ProgramSpec> programs;
};

inline LibKELData::CategoryInfoList* NewCategoryList(const std::vector<CategorySpec>& categories)
{
    LibKELData::CategoryInfoList* list = new LibKELData::CategoryInfoList;
    for (const CategorySpec& spec : categories) {
        LibKELData::CCategory* category = new LibKELData::CCategory;
        category->SetName(spec.name);
        category->SetCategoryIcon(spec.icon);
        if (!spec.programs.empty()) {
            for (const ProgramSpec& p : spec.programs)
                category->AddApplication(new LibKELData::CApplicationInfo(p.name, p.path, p.icon, p.enable));
        }
        list->push_back(category);
    }
    return list;
}

inline bool WriteTabNavigation(const std::vector<CategorySpec>& categories)
{
    LibKELData::CTabNavigationData data;
    data.SetPCategoryInfoList(NewCategoryList(categories));
    return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION) == 0;
}

inline bool WriteDefaultConfig(const std::vector<CategorySpec>& categories)
{
    LibKELData::CDefaultConfigData data;
    data.SetPCategoryInfoList(NewCategoryList(categories));
    return data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::DEFAULT_CONFIG) == 0;
}

struct SectionSpec {
    int day;
    int start;
    int end;
};

inline bool operator==(const SectionSpec& a, const SectionSpec& b)
{
    return a.day == b.day && a.start == b.start && a.end == b.end;
}

inline LibKELData::LockTimeSectionList* NewSectionList(const std::vector<SectionSpec>& sections)
{
    LibKELData::LockTimeSectionList* list = new LibKELData::LockTimeSectionList;
    for (const SectionSpec& s : sections)
        list->push_back(new LibKELData::CLockTimeSection(s.day, s.start, s.end));
    return list;
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

/* ---- widgets */

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

inline std::vector<std::string> ColumnTexts(GtkListStore* store, int column)
{
    std::vector<std::string> out;
    GtkTreeIter iter;
    GtkTreeModel* model = GTK_TREE_MODEL(store);
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok; ok = gtk_tree_model_iter_next(model, &iter)) {
        gchar* text = NULL;
        gtk_tree_model_get(model, &iter, column, &text, -1);
        out.push_back(text ? text : "");
        g_free(text);
    }
    return out;
}

inline std::vector<std::string> CategoryNames(const LibKELData::CTabNavigationData& data)
{
    std::vector<std::string> out;
    if (data.GetPCategoryInfoList())
        for (LibKELData::CCategory* c : *data.GetPCategoryInfoList())
            out.push_back(c->GetName());
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

inline LibKELData::CCategory* CategoryAt(const LibKELData::CTabNavigationData& data, size_t n)
{
    LibKELData::CategoryInfoList* list = data.GetPCategoryInfoList();
    if (!list || n >= list->size())
        return NULL;
    LibKELData::CategoryInfoList::iterator it = list->begin();
    std::advance(it, n);
    return *it;
}

} // namespace keltest

#endif
