#pragma once
#include <QWidget>

// The list of folder jobs.
class frmFolders : public QWidget {
    Q_OBJECT
public:
    // Loads the one list window when it is not loaded, and shows it.
    static void ShowWindow();
};
