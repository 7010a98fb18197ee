/* The Shell Settings window: a notebook of the Shell Lock Settings, Program Registration and
 * System Settings pages with OK, Apply and Cancel; the concrete windows load and save. */
#ifndef CSHELL_SETTING_CTRL_H
#define CSHELL_SETTING_CTRL_H

#include <gtk/gtk.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "CKELWindowBase.h"
#include "KELData.h"

namespace LibKELGUI {

class CAddApplicationWindow;
class CChangeIconDlg;
/* The pages and the policy are the library's own: a host compiles without their headers. */
class CShellLockPage;
class CShellPageHost;
class CShellPolicy;
class CShellPolicySink;
class CShellProgramPage;
class CShellSystemPage;

class KELGUI_EXPORT CShellSettingCtrl : public CKELWindowBase {
public:
    CShellSettingCtrl();
    virtual ~CShellSettingCtrl();

    /* Builds the window and its three pages; 0, or -1 when owner is null. */
    virtual int AttachBaseClassGTKHandler(CShellSettingCtrl* owner);
    /* OnApply, then OnClose unless the apply failed (the window then keeps the edits); always 0. */
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
    /* Hours and automatic locking against the file; not the lock status or manual lock. */
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
    /* TRUE (the window stays) when OnClose kept the window open. */
    static gboolean OnCloseBtnClicked(GtkWidget* widget, GdkEvent* event, gpointer data);
    static void GtkOnWeekLabelClicked(GtkWidget* widget, gpointer data);
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
    /* Escape closes through OnClose; Alt and a label's letter presses that button or box. */
    static gboolean GtkOnWindowKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data);

protected:
    /* Builders, in the order AttachBaseClassGTKHandler runs them. */
    void initWindow();
    void initShellLockSetting();
    void initProgramRegistration();
    void initSystemSetting();

    /* What the concrete windows share. */
    /* Loads the records of mask through the policy, remembering what the files held. */
    void LoadPolicy(unsigned mask);
    /* Saves the dirty records of mask through sink; a failure is told in one box and leaves the
     * window with its edits and flags (m_bApplyFailed). */
    void ApplyPolicy(CShellPolicySink& sink, unsigned mask);
    /* Asks question when something is unsaved; Yes applies. Closes unless that apply failed. */
    int CloseAsking(const char* question);
    /* A fresh Add Application window modal over this one, and, when it has closed, its chosen
     * programs added to the category. */
    void OpenAddApplicationWindow(bool remote, GCallback closeCallback);
    void AddProgramsChosenInAddApplicationWindow();
    int ShowMessage(const char* text, GtkMessageType type, GtkButtonsType buttons, GtkDialogFlags flags);

    /* How the pages reach the window, and what holds the pages and the policy (both defined
     * where the window is built). */
    class PageHost;
    struct Parts;

    CShellSettingCtrl* m_pOwner;
    std::unique_ptr<Parts> m_pParts;
    CShellPolicy& m_Policy;
    CShellPageHost& m_PageHost;
    CShellLockPage& m_LockPage;
    CShellProgramPage& m_ProgramPage;
    CShellSystemPage& m_SystemPage;
    bool m_bApplyFailed; /* the last apply left something unsaved */
    bool m_bShowing;     /* the pages are being set from the records: no edit */
    GtkWidget* m_pApplyBtn;
    GtkWidget* m_pSavedLabel; /* "Saved", from a successful save to the next edit */
    guint m_NoticeSource; /* the damaged-policy notice waiting for the window to be shown */
    bool m_bDamageTold;

    /* The records and flags, held by the policy. */
    LibKELData::CTabNavigationData& m_TabNavData;
    LibKELData::CategoryInfoList*& m_pCategoryList; /* the record's own list, not owned */
    LibKELData::CLockScheduleData& m_ScheduleData;
    LibKELData::CKELSystemSettingData& m_SystemSettingData;
    LibKELData::CDefaultConfigData& m_DefaultConfigData;
    std::string& m_CurCategoryName;
    std::string& m_CurCategoryIcon;
    std::string& m_CurProgramName;
    std::string& m_CurProgramIcon;
    bool& m_bScheduleDirty;
    bool& m_bTabNavDirty;
    bool& m_bSystemSettingDirty;
    CAddApplicationWindow* m_pAddApplicationWindow;
    CChangeIconDlg*& m_pIconDlg;

    /* Frame. */
    GtkWidget* m_pMainBox;
    GtkWidget* m_pNotebook;
    GtkWidget* m_pButtonPanel;
    GtkWidget* m_pButtonRow;

    /* The pages' widgets, held by the pages. */
    GtkWidget*& m_pLockPageBox;
    GtkWidget*& m_pAutoLockCheckBox;
    std::vector<GtkWidget*>& m_DayButtons;
    std::vector<std::vector<GtkWidget*> >& m_TimeGrid; /* [day][hour] toggle buttons */
    GtkWidget*& m_pProgramPageBox;
    GtkWidget*& m_pCategoryView;
    GtkWidget*& m_pProgramView;
    GtkListStore*& m_pCategoryStore;
    GtkListStore*& m_pProgramStore;
    GtkCellRenderer*& m_pCategoryNameRenderer;
    GtkWidget*& m_pAddCategoryBtn;
    GtkWidget*& m_pDeleteCategoryBtn;
    GtkWidget*& m_pEditCategoryBtn;
    GtkWidget*& m_pAddProgramBtn;
    GtkWidget*& m_pDeleteProgramBtn;
    GtkWidget*& m_pEditProgramBtn;
    GtkWidget*& m_pDefaultBtn;
    GtkTreeIter& m_RowIter;
    GtkWidget*& m_pSystemPageBox;
    GtkWidget*& m_pSettingsRow;
    GtkWidget*& m_pUSBCheckBox;
    GtkWidget*& m_pNewStudentCheckBox;

private:
    static void GtkOnWindowDestroy(GtkWidget* widget, gpointer data);
    static void GtkOnWindowMap(GtkWidget* widget, gpointer data);
    static gboolean GtkTellDamage(gpointer data);
    static void GtkOnCloseDestroyed(GtkWidget* widget, gpointer data);
    void OnWindowDestroyed();
    GtkWidget* MnemonicTarget(guint keyval);
    /* Apply only while there is something to save. */
    void UpdateApplyBtn();

    CShellSettingCtrl(const CShellSettingCtrl&);
    CShellSettingCtrl& operator=(const CShellSettingCtrl&);
};

} // namespace LibKELGUI

#endif
