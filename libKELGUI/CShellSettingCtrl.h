/* The Shell Settings window: a notebook of the Shell Lock Settings, Program Registration and
 * System Settings pages with OK, Apply and Cancel; the concrete windows load and save. */
#ifndef CSHELL_SETTING_CTRL_H
#define CSHELL_SETTING_CTRL_H

#include <gtk/gtk.h>

#include <list>
#include <string>
#include <vector>

#include "CKELWindowBase.h"
#include "KELData.h"

namespace LibKELGUI {

class CAddApplicationWindow;
class CChangeIconDlg;

class KELGUI_EXPORT CShellSettingCtrl : public CKELWindowBase {
public:
    CShellSettingCtrl();
    virtual ~CShellSettingCtrl();

    /* Builds the window and its three pages; 0, or -1 when owner is null. */
    virtual int AttachBaseClassGTKHandler(CShellSettingCtrl* owner);
    /* OnApply, then OnClose; always 0. */
    virtual int OnOK();
    /* OnClose; always 0. */
    virtual int OnCancel();
    /* Replaces the categories with the factory defaults; always 0. */
    virtual int OnDefaultBtnClicked();
    /* Opens the name-and-icon dialog on the shown category; always 0. */
    virtual int OnEditCategoryBtnClicked();
    /* Supplied by the concrete windows: bring the dirty flags up to date, maybe save, Close(). */
    virtual int OnClose() = 0;
    /* Supplied by the concrete windows: write or deploy the changed records. */
    virtual int OnApply() = 0;
    /* Supplied by the concrete windows: open the Add Application window. */
    virtual int OnAddProgram() = 0;
    /* Supplied by the concrete windows: load the records and show them on the pages. */
    virtual int LoadXMLData() = 0;

    bool IsDataDirty();
    /* Sensitivity of the Program Registration buttons. */
    void UpdateBtnStatus();

    /* Shell Lock Settings page. */
    int ShowSchedulePolicy();
    int FetchScheuleData();
    bool IsScheduleDataDirty();
    /* 0 (Monday) to 6 (Sunday) for a translated day button label, else -1. */
    int CalculateDay(const char* day);
    void OnWeekLabelClicked(GtkWidget* widget);

    /* Program Registration page: categories. */
    bool ShowTabNavPolicy();
    int FetchTabNavData();
    bool IsTabNavDataDirty();
    /* Always 1. */
    int BuildNewCategoryName(std::string base, std::string& name);
    void GetDataFromIconDlg();
    /* The dialog's answer for the selected category: refused when another category bears the name. */
    void ApplyCategoryEdit(const std::string& name, const std::string& icon);
    /* 1 done, -1 nothing done. An empty icon keeps the category without an icon of its own. */
    int UpdateCategory(std::string name, std::string icon);

    /* Program Registration page: programs. */
    int showPrograms(LibKELData::CCategory* category);
    void OnChangeProgrm();
    /* Adds the programs not yet in the selected category; 0, or -1 when nothing could be added. */
    int AddPrograms(const std::list<LibKELData::CApplicationInfo>& programs);
    /* Opens the name-and-icon dialog on the selected program. */
    void OnAddProgramButtonClicked();
    void GetDataFromEditIconDlg();
    /* The dialog's answer for the selected program: refused when another program of its category bears the name. */
    void ApplyProgramEdit(const std::string& name, const std::string& icon);
    /* 1 done, -1 nothing done. An empty icon keeps the program without an icon of its own. */
    int UpdateApplication(std::string name, std::string icon);

    /* System Settings page; every operation does nothing once the page is gone. */
    int ShowUSBPolicy();
    int FetchUSBData();
    int ShowTeacherPolicy();
    int FetchTeacherPolicy();
    bool IsSystemSettingDirty();
    void GTKShowDlgCheckBox();
    bool GTKHideUSBCheckBox();

    /* Signal handlers; data is the owner window. */
    static void OnOKBtnClicked(GtkWidget* widget, gpointer data);
    static void OnApplyBtnClicked(GtkWidget* widget, gpointer data);
    static void OnCancelBtnClicked(GtkWidget* widget, gpointer data);
    static gboolean OnCloseBtnClicked(GtkWidget* widget, GdkEvent* event, gpointer data);
    static void GtkOnWeekLabelClicked(GtkWidget* widget, gpointer data);
    static void GtkOnHourToggled(GtkToggleButton* button, gpointer data);
    static void ChangeCategory(GtkTreeView* view, gpointer data);
    static void AddCategory(GtkWidget* widget, gpointer data);
    static void DeleteCategory(GtkWidget* widget, gpointer data);
    static void GtkOnEditCateoryBtnClicked(GtkWidget* widget, gpointer data);
    static void GtkOnCategoryTreeRowActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column,
                                              gpointer data);
    static void GetDataFromIconDlgCallBack(GtkWidget* widget, gpointer data);
    static void GtkEditCategory(GtkCellRendererText* renderer, const gchar* path, const gchar* text, gpointer data);
    static void GtkOnDefaultBtnClicked(GtkWidget* widget, gpointer data);
    static void ChangeProgrm(GtkTreeView* view, gpointer data);
    static void EnableDisableProgram(GtkCellRendererToggle* renderer, gchar* path, gpointer data);
    static void GtkAddProgramBtnClicked(GtkWidget* widget, gpointer data);
    static void GtkDeleteProgramBtnClicked(GtkWidget* widget, gpointer data);
    static void GtkAddProgramButtonClicked(GtkWidget* widget, gpointer data);
    static void GtkOnApplicationTreeRowActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column,
                                                 gpointer data);
    static void GetDataFromEditIconDlgCallBack(GtkWidget* widget, gpointer data);
    static void GtkOnWindowDestroy(GtkWidget* widget, gpointer data);
    static void GtkOnLockPageDestroy(GtkWidget* widget, gpointer data);
    static void GtkOnProgramPageDestroy(GtkWidget* widget, gpointer data);
    static void GtkOnSystemPageDestroy(GtkWidget* widget, gpointer data);

protected:
    /* Builders, in the order AttachBaseClassGTKHandler runs them. */
    void initWindow();
    void initShellLockSetting();
    void initProgramRegistration();
    void initSystemSetting();

    /* The members the handlers call. */
    void OnHourToggled(GtkWidget* button);
    void OnChangeCategory();
    void OnAddCategory();
    void OnDeleteCategory();
    void OnEditCategoryRequested();
    void OnEditCategoryName(const gchar* path, const gchar* text);
    void OnRestoreDefaultRequested();
    void OnEnableDisableProgram(const gchar* path);
    void OnAddProgramRequested();
    void OnDeleteProgramRequested();
    void OnWindowDestroyed();
    void OnLockPageDestroyed();
    void OnProgramPageDestroyed();
    void OnSystemPageDestroyed();

    /* Helpers. */
    /* The concrete windows' adding of programs: a fresh Add Application window modal over
     * this one, and, when it has closed, its chosen programs added to the category. */
    void OpenAddApplicationWindow(bool remote, GCallback closeCallback);
    void AddProgramsChosenInAddApplicationWindow();
    int ShowMessage(const char* text, GtkMessageType type, GtkButtonsType buttons, GtkDialogFlags flags);
    bool GetSelectedCategory(GtkTreeIter* iter, LibKELData::CCategory** category);
    bool GetSelectedProgram(GtkTreeIter* iter, LibKELData::CApplicationInfo** program);
    void SelectCategoryRow(GtkTreeIter* iter);
    void AppendProgramRow(LibKELData::CApplicationInfo* program);
    void UpdateHourDescription(GtkWidget* button);
    void UpdateDayTooltip(int day);
    void TrackWidget(GtkWidget** slot, GtkWidget* widget);
    void ForgetWidget(GtkWidget** slot);

    /* Window and records. */
    CShellSettingCtrl* m_pOwner;
    LibKELData::CTabNavigationData m_TabNavData;
    LibKELData::CategoryInfoList* m_pCategoryList; /* the record's own list, not owned */
    LibKELData::CLockScheduleData m_ScheduleData;
    LibKELData::CKELSystemSettingData m_SystemSettingData;
    LibKELData::CDefaultConfigData m_DefaultConfigData;
    std::string m_CurCategoryName;
    std::string m_CurCategoryIcon;
    std::string m_CurProgramName;
    std::string m_CurProgramIcon;
    bool m_bScheduleDirty;
    bool m_bTabNavDirty;
    bool m_bSystemSettingDirty;
    CAddApplicationWindow* m_pAddApplicationWindow;
    CChangeIconDlg* m_pIconDlg;

    /* Frame. */
    GtkWidget* m_pMainBox;
    GtkWidget* m_pNotebook;
    GtkWidget* m_pButtonPanel;
    GtkWidget* m_pButtonRow;

    /* Shell Lock Settings page. */
    GtkWidget* m_pLockPageBox;
    GtkWidget* m_pLockHeadingLabel;
    GtkWidget* m_pAutoLockCheckBox;
    GtkWidget* m_pAutoLockLabel;
    GtkWidget* m_pLockLegendLabel;
    GtkWidget* m_pUnlockLegendLabel;
    GtkWidget* m_pLockLegendImage;
    GtkWidget* m_pUnlockLegendImage;
    GtkWidget* m_pGridTable;
    std::vector<GtkWidget*> m_DayButtons;
    std::vector<std::vector<GtkWidget*> > m_TimeGrid; /* [day][hour] toggle buttons */

    /* Program Registration page. */
    GtkWidget* m_pProgramPageBox;
    GtkWidget* m_pCategoryView;
    GtkWidget* m_pProgramView;
    GtkListStore* m_pCategoryStore; /* one reference of ours, dropped with the page */
    GtkListStore* m_pProgramStore;
    GtkCellRenderer* m_pCategoryNameRenderer;
    GtkWidget* m_pAddCategoryBtn;
    GtkWidget* m_pDeleteCategoryBtn;
    GtkWidget* m_pEditCategoryBtn;
    GtkWidget* m_pAddProgramBtn;
    GtkWidget* m_pDeleteProgramBtn;
    GtkWidget* m_pEditProgramBtn;
    GtkWidget* m_pDefaultBtn;
    GtkTreeIter m_RowIter;

    /* System Settings page; weak pointers, since a host may remove the page or a box. */
    GtkWidget* m_pSystemPageBox;
    GtkWidget* m_pSystemHeadingLabel;
    GtkWidget* m_pSettingsRow;
    GtkWidget* m_pUSBCheckBox;
    GtkWidget* m_pNewStudentCheckBox;

private:
    CShellSettingCtrl(const CShellSettingCtrl&);
    CShellSettingCtrl& operator=(const CShellSettingCtrl&);
};

} // namespace LibKELGUI

#endif
