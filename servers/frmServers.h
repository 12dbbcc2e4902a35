#pragma once
// The list of server profiles: one line a profile, where profiles are
// added, opened in the server editor and deleted.

#include "shell/ListWindow.h"
#include "shell/WindowSupport.h"

class frmServers : public ListWindow, public SingleInstance<frmServers> {
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
    friend class SingleInstance<frmServers>;
    frmServers();
    void Form_Load();
};
