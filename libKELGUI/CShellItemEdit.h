/* The one edit path of the Program Registration page's two lists: the name-and-icon dialog on
 * the selected category or program, its answer tested against the item's neighbours, and the
 * item updated in the record and in its row. */
#ifndef CSHELL_ITEM_EDIT_H
#define CSHELL_ITEM_EDIT_H

#include <gtk/gtk.h>

#include <string>

#include "CShellPageHost.h"

namespace LibKELGUI {

class CChangeIconDlg;

class CShellItemEdit {
public:
    enum Target { CATEGORY, PROGRAM };
    /* Store columns of the two lists. */
    enum { CAT_COL_ICON, CAT_COL_NAME, CAT_COL_POINTER, CAT_N_COLS };
    enum { PROG_COL_SHOW, PROG_COL_ICON, PROG_COL_NAME, PROG_COL_POINTER, PROG_N_COLS };

    /* What the edit asks of the page that holds the lists. */
    class Lists {
    public:
        virtual ~Lists() {}
        /* A category row selected (its category read), and when programIter is given a program
         * row of it too (its program read). */
        virtual bool Selected(GtkTreeIter* categoryIter, LibKELData::CCategory** category, GtkTreeIter* programIter,
                              LibKELData::CApplicationInfo** program) = 0;
        virtual GtkListStore* Store(Target target) = 0;
    };

    CShellItemEdit(Lists& lists, CShellPageHost& host, CShellPolicy& policy);
    ~CShellItemEdit();

    /* Opens the dialog (deleting the one before) on the selected item; when it closes, Finish
     * takes its answer. */
    void OpenDialog(Target target);
    /* The dialog's answer, when it was OK. */
    void Finish(Target target);
    void Apply(Target target, const std::string& name, const std::string& icon);
    /* 1 done, -1 nothing done. An empty icon keeps the item without an icon of its own. */
    int Update(Target target, const std::string& name, const std::string& icon);
    void CloseDialog();

    /* The items' start values in the dialog, reachable as the window's members. */
    std::string m_CurCategoryName;
    std::string m_CurCategoryIcon;
    std::string m_CurProgramName;
    std::string m_CurProgramIcon;
    CChangeIconDlg* m_pIconDlg; /* owned; at most one */

private:
    /* The dialog asks before it closes, so a refused name is never lost. */
    static bool CheckDialogName(const std::string& name, std::string& reason, void* data);
    static void GtkOnDialogClosed(GtkWidget* dialog, gpointer data);

    Target m_EditTarget;
    Lists& m_Lists;
    CShellPageHost& m_Host;
    CShellPolicy& m_Policy;

    CShellItemEdit(const CShellItemEdit&);
    CShellItemEdit& operator=(const CShellItemEdit&);
};

} // namespace LibKELGUI

#endif
