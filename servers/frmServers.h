#pragma once
#include <QWidget>

// The list of server profiles.
class frmServers : public QWidget {
    Q_OBJECT
public:
    // Loads the one list window when it is not loaded, and shows it.
    static void ShowWindow();
};
