#pragma once
// The frame the server list and the folder list share: a list of entries,
// an Add and a Delete button and a hint, filled when the window loads and
// refilled by ReloadList.

#include <QString>

#include <cstdint>
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
    // Opens the selected entry's record in the editor; with nothing
    // selected (or a line that names no record) nothing happens.
    void lstServers_DblClick();
    // Deletes the selected entry's record, then reloads the list in every
    // case; a statement the store refuses keeps the list as it was.
    void cmdDelete_Click();

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
    // Shows the editor (loading it resets it to a new record) and has it
    // fetch the record.
    virtual void OpenInEditor(std::int64_t id) = 0;
    // Runs the record's delete statements; throws store::StoreError.
    virtual void DeleteRecord(std::int64_t id) = 0;

    void closeEvent(QCloseEvent* event) override;
};
