// The list, editor and transfer windows as laid out: captions, client
// sizes, fixed borders, owners, and every control by name with its caption
// and place (twips at 15 a pixel).

#include "folders/frmFolderSettings.h"
#include "folders/frmFolders.h"
#include "ftp/frmFTP.h"
#include "servers/frmServerSettings.h"
#include "servers/frmServers.h"
#include "shell/Twips.h"
#include "tests/win_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <functional>

namespace {

struct Control {
    const char* name;
    QString caption;  // button or label caption, or the text a field starts with
    int left, top, width, height;  // twips
};

struct WindowLayout {
    const char* window;
    std::function<QWidget*()> load;
    QString caption;
    int width, height;  // twips
    QWidget* owner;
    std::vector<Control> controls;
    std::vector<const char*> tabOrder;
};

QString CaptionOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (auto* t = qobject_cast<const QPlainTextEdit*>(w)) return t->toPlainText();
    if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
    return {};
}

// Where Tab goes from a control: labels take no focus, and the parts of a
// control (scroll bars, a combo's line edit) are passed over.
const QWidget* NextTabStop(const QWidget* from) {
    for (QWidget* n = from->nextInFocusChain(); n && n != from; n = n->nextInFocusChain()) {
        if (from->isAncestorOf(n) || !(n->focusPolicy() & Qt::TabFocus)) continue;
        return n;
    }
    return nullptr;
}

class Layouts : public wintest::WindowTest {};

TEST_F(Layouts, WindowsAndControlsAsDesigned) {
    QWidget main;
    main.setGeometry(200, 150, 640, 480);
    main.show();
    frmFTP transfer(&main);
    const QString foldersHint =
        "Double click an entry to edit it, you can also clear the current file status for the selected folder.";
    const std::vector<WindowLayout> layouts{
        {"frmServers", [] { return &frmServers::Load(); }, "myServers", 7215, 3915, nullptr,
         {{"lstServers", "", 30, 60, 7155, 3375},
          {"cmdAdd", "&Add Server", 30, 3480, 3525, 255},
          {"cmdDelete", "&Delete Server", 3600, 3480, 3585, 255},
          {"Label1", "Double click an entry to edit it.", 60, 3720, 7155, 285}},
         {"lstServers", "cmdAdd", "cmdDelete"}},
        {"frmFolders", [] { return &frmFolders::Load(); }, "myFolders", 7215, 3945, nullptr,
         {{"lstServers", "", 30, 60, 7155, 3375},
          {"cmdAdd", "&Add Folder", 30, 3480, 3525, 255},
          {"cmdDelete", "&Delete Folder", 3600, 3480, 3585, 255},
          {"Label1", foldersHint, 60, 3750, 7155, 285}},
         {"lstServers", "cmdAdd", "cmdDelete"}},
        {"frmServerSettings", [] { return &frmServerSettings::Load(); }, "Server Settings", 4680, 3480, nullptr,
         {{"Label1", "Server Hostname:", 60, 120, 1305, 255},
          {"txtServer", "", 1440, 90, 3195, 285},
          {"Label2", "Server Port:", 60, 450, 1305, 255},
          {"txtPort", "21", 1440, 420, 3195, 285},
          {"Label3", "Username:", 60, 780, 1305, 255},
          {"txtUsername", "", 1440, 750, 3195, 285},
          {"Label4", "Password:", 60, 1110, 1305, 255},
          {"txtPassword", "", 1440, 1080, 3195, 285},
          {"Label5", "Remote Directory:", 60, 1440, 1305, 255},
          {"txtFolder", "", 1440, 1410, 3195, 285},
          {"txtNotes", "Notes for this server", 30, 1740, 4605, 1155},
          {"cmdClose", "&Save", 30, 2940, 4635, 255},
          {"cmdTestFTP", "&Test Connection", 30, 3240, 4635, 255}},
         {"txtServer", "txtPort", "txtUsername", "txtPassword", "txtFolder", "txtNotes", "cmdClose", "cmdTestFTP"}},
        {"frmFolderSettings", [] { return &frmFolderSettings::Load(); }, "Folder Settings", 4680, 1605, nullptr,
         {{"Folder", "Local Folder:", 60, 120, 1305, 255},
          {"txtFolder", "", 1440, 90, 3195, 285},
          {"Label2", "Use Server:", 60, 450, 1305, 255},
          {"cmbServers", "Server", 1440, 420, 3195, 315},
          {"Label3", "SubDirs?:", 60, 780, 1305, 255},
          {"chkSubDirs", "", 1470, 750, 645, 315},
          {"cmdClose", "&Save", 30, 1080, 4635, 255},
          {"cmdClearFolderInfo", "Clear file state information... Re-backup files under this folder", 30, 1350,
           4635, 255}},
         {"txtFolder", "cmdClose", "chkSubDirs", "cmbServers", "cmdClearFolderInfo"}},
        {"frmFTP", [&] { return &transfer; }, "", 4080, 1200, &main,
         {{"lblStatus", "Connecting.....", 30, 30, 4005, 645},
          {"cmdHide", "Hide", 120, 690, 3765, 225},
          {"lblCurrentFile", "", 30, 960, 4035, 255}},
         {}},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.window);
        QWidget* w = layout.load();
        if (!layout.owner) {
            EXPECT_EQ(w->objectName(), layout.window);
        }
        EXPECT_EQ(w->windowTitle(), layout.caption);
        EXPECT_EQ(w->size(), QSize(Px(layout.width), Px(layout.height)));
        EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "the user cannot resize it";
        EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_TRUE(w->isWindow());
        EXPECT_EQ(w->parentWidget(), layout.owner);
        if (layout.owner) {
            EXPECT_FALSE(w->windowIcon().isNull());
            EXPECT_LE((w->geometry().center() - layout.owner->frameGeometry().center()).manhattanLength(), 2)
                << "centred on its owner";
        }
        for (const auto& c : layout.controls) {
            SCOPED_TRACE(c.name);
            auto* control = w->findChild<QWidget*>(c.name);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(CaptionOf(control), c.caption);
            EXPECT_EQ(control->geometry(), QRect(Px(c.left), Px(c.top), Px(c.width), Px(c.height)));
            if (qobject_cast<QLabel*>(control)) {
                QString drawn = c.caption;
                EXPECT_LE(QFontMetrics(control->font()).horizontalAdvance(drawn.remove('&')), control->width())
                    << "the caption fits its label";
            }
        }
        for (std::size_t i = 1; i < layout.tabOrder.size(); ++i) {
            auto* from = w->findChild<QWidget*>(layout.tabOrder[i - 1]);
            auto* to = w->findChild<QWidget*>(layout.tabOrder[i]);
            ASSERT_TRUE(from && to);
            const QWidget* next = NextTabStop(from);
            EXPECT_TRUE(next == to || to->isAncestorOf(next))
                << layout.tabOrder[i - 1] << " -> " << layout.tabOrder[i] << ", found "
                << (next ? next->objectName().toStdString() : "none");
        }
    }
}

}  // namespace
