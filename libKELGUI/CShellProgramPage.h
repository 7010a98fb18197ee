/* The Program Registration page: categories and their programs, with one edit path for both. */
#ifndef CSHELL_PROGRAM_PAGE_H
#define CSHELL_PROGRAM_PAGE_H

#include <gtk/gtk.h>

#include <list>
#include <string>

#include "CShellItemEdit.h"
#include "CShellPageHost.h"

namespace LibKELGUI {

class CShellProgramPage : private CShellItemEdit::Lists {
public:
    CShellProgramPage(CShellPageHost& host, CShellPolicy& policy);
    ~CShellProgramPage();

    /* Appends the page to the notebook; its widgets call the page's own handlers, which leave
     * what the window decides to it through the host. */
    void Build(GtkWidget* notebook);
    /* Stops calling back into the window; deletes the edit dialog. */
    void Detach();

    /* Categories. */
    bool ShowTabNavPolicy();
    void Fetch();
    void UpdateBtnStatus();
    void OnChangeCategory();
    void OnAddCategory();
    void OnDeleteCategory();
    void OnEditCategoryName(const gchar* path, const gchar* text);
    void RestoreDefaults();
    int BuildNewCategoryName(const std::string& base, std::string& name);

    /* Programs. */
    int ShowPrograms(LibKELData::CCategory* category);
    void OnChangeProgram();
    void OnEnableDisableProgram(const gchar* path);
    int AddPrograms(const std::list<LibKELData::CApplicationInfo>& programs);
    void OnDeleteProgram();

    /* State and widgets, reachable as the window's members. */
    LibKELData::CategoryInfoList* m_pCategoryList; /* the record's own list, not owned */
    CShellItemEdit m_Edit; /* the edit path of both lists, with the items' start values */
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

private:
    bool Selected(GtkTreeIter* categoryIter, LibKELData::CCategory** category, GtkTreeIter* programIter,
                  LibKELData::CApplicationInfo** program);
    GtkListStore* Store(CShellItemEdit::Target target);
    static void GtkOnPageDestroy(GtkWidget* widget, gpointer data);
    static gboolean GtkOnProgramKey(GtkWidget* view, GdkEventKey* event, gpointer data);
    static void GtkOnButtonClicked(GtkWidget* button, gpointer data);
    static void GtkOnRowActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column, gpointer data);
    static void GtkOnCategoryCursor(GtkTreeView* view, gpointer data);
    static void GtkOnProgramCursor(GtkTreeView* view, gpointer data);
    static void GtkOnProgramToggled(GtkCellRendererToggle* renderer, gchar* path, gpointer data);
    static void GtkOnCategoryNameEdited(GtkCellRendererText* renderer, const gchar* path, const gchar* text,
                                        gpointer data);

    GtkWidget* BuildCategoryList();
    GtkWidget* BuildProgramList();
    void BuildButtons();
    GtkWidget* NewList(GtkListStore* store, int width, GtkWidget* box);
    void AppendCategoryRow(LibKELData::CCategory* category, const std::string& iconPath);
    void AppendProgramRow(LibKELData::CApplicationInfo* program);
    void SelectCategoryRow(GtkTreeIter* iter);
    bool GetSelectedCategory(GtkTreeIter* iter, LibKELData::CCategory** category);
    bool GetSelectedProgram(GtkTreeIter* iter, LibKELData::CApplicationInfo** program);
    int ShowMessage(const char* text, GtkMessageType type, GtkButtonsType buttons, GtkDialogFlags flags);
    void OnPageDestroyed();

    CShellPageHost& m_Host;
    CShellPolicy& m_Policy;
};

} // namespace LibKELGUI

#endif
