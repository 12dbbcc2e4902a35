#include "shell/ListWindow.h"

#include "base/EntryID.h"
#include "shell/WindowSupport.h"
#include "store/Store.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

ListWindow::ListWindow(const Layout& layout)
    : QWidget(nullptr, windows::kEditorWindowFlags | Qt::WindowMinimizeButtonHint) {
    setObjectName(layout.objectName);
    setWindowTitle(layout.caption);
    setAttribute(Qt::WA_DeleteOnClose);

    lstServers = new QListWidget(this);
    lstServers->setObjectName(QStringLiteral("lstServers"));
    lstServers->setSelectionMode(QAbstractItemView::SingleSelection);
    lstServers->setSortingEnabled(false);
    windows::PlaceTwips(lstServers, 30, 60, 7155, 3375);

    cmdAdd = new QPushButton(layout.addCaption, this);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    windows::PlaceTwips(cmdAdd, 30, 3480, 3525, 255);

    cmdDelete = new QPushButton(layout.deleteCaption, this);
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    windows::PlaceTwips(cmdDelete, 3600, 3480, 3585, 255);

    Label1 = new QLabel(layout.hint, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    windows::PlaceTwips(Label1, 60, layout.hintTopTwips, 7155, 285);

    setTabOrder(lstServers, cmdAdd);
    setTabOrder(cmdAdd, cmdDelete);

    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
    connect(lstServers, &QListWidget::itemDoubleClicked, this, [this] { lstServers_DblClick(); });

    windows::FitCaptions(this);
    windows::PlaceFixedWindow(this, 7215, layout.clientHeightTwips);
}

void ListWindow::ReloadList() {
    lstServers->clear();
    FillList();
    lstServers->setCurrentRow(-1);
}

void ListWindow::lstServers_DblClick() {
    if (const auto key = EntryKey(ListText().toStdString())) OpenInEditor(*key);
}

void ListWindow::cmdDelete_Click() {
    if (const auto key = EntryKey(ListText().toStdString())) {
        try {
            DeleteRecord(*key);
        } catch (const store::StoreError& e) {
            // The record is still there: keep the list and its selection.
            windows::ShowStoreError(e, this);
            return;
        }
    }
    ReloadList();
}

QString ListWindow::ListText() const {
    const QList<QListWidgetItem*> selected = lstServers->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void ListWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) Unloading();
}
