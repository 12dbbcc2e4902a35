#pragma once
// The list of folder jobs: one line a job, where jobs are added, opened in
// the folder editor and deleted together with their file-state records.

#include "shell/ListWindow.h"
#include "shell/WindowSupport.h"

class frmFolders : public ListWindow, public SingleInstance<frmFolders> {
    Q_OBJECT
public:
    // Loads the one list window when it is not loaded, and shows it; an
    // open window is only brought forward.
    static void ShowWindow();

    void cmdAdd_Click() override;

protected:
    void FillList() override;
    void Unloading() override;
    void OpenInEditor(std::int64_t id) override;
    void DeleteRecord(std::int64_t id) override;

private:
    friend class SingleInstance<frmFolders>;
    frmFolders();
    void Form_Load();
};
