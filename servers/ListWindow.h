#pragma once
// The frame the server list and the folder list share: a list of entries,
// an Add and a Delete button and a hint, filled when the window loads and
// refilled by ReloadList.

#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

class ListWindow : public QWidget {
    Q_OBJECT
public:
    struct Layout {
        QString objectName;
        QString caption;
        int clientHeightTwips;
        QString addCaption;
        QString deleteCaption;
        QString hint;
        int hintTopTwips;
    };

    // Empties the list and fills it again, which logs the listing line.
    void ReloadList();

    // The selected entry's text; empty when no entry is selected.
    QString ListText() const;

    virtual void cmdAdd_Click() = 0;
    virtual void lstServers_DblClick() = 0;
    virtual void cmdDelete_Click() = 0;

    QListWidget* lstServers = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdDelete = nullptr;
    QLabel* Label1 = nullptr;

protected:
    explicit ListWindow(const Layout& layout);

    // The load's steps: query, log the listing line, append an entry a row.
    // Filling only appends.
    virtual void FillList() = 0;
    // Called when the window is closed, which unloads it.
    virtual void Unloading() = 0;

    void closeEvent(QCloseEvent* event) override;
};
