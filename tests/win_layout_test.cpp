// The list, editor and transfer windows as laid out: captions, client sizes, tab order, and every control
// by name with its caption and place (twips at 15 a pixel).

#include "shell/frmFTP.h"
#include "shell/Twips.h"
#include "tests/win_fixture.h"

#include <QFontMetrics>
#include <QLabel>

namespace {

struct Control {
    const char* name;
    QString caption;  // a button's or label's caption, or the text a field starts with
    int left, top, width, height;  // twips
};

QString CaptionOf(const QWidget* w) {
    for (const char* property : {"text", "plainText", "currentText"})
        if (const QVariant v = w->property(property); v.isValid()) return v.toString();
    return {};
}

// Where Tab goes from a control: past labels and a control's own parts.
const QWidget* NextTabStop(const QWidget* from) {
    for (QWidget* n = from->nextInFocusChain(); n && n != from; n = n->nextInFocusChain())
        if (!from->isAncestorOf(n) && (n->focusPolicy() & Qt::TabFocus)) return n;
    return nullptr;
}

class Layouts : public wintest::WindowTest {};

TEST_F(Layouts, WindowsAndControlsAsDesigned) {
    QWidget main;
    frmFTP transfer(&main);
    const struct {
        QWidget* window;
        QString caption;
        int width, height;  // twips
        std::vector<Control> controls;
        QStringList tabOrder;
    } layouts[] = {
        {&frmServers::Load(), "myServers", 7215, 3915,
         {{"lstServers", "", 30, 60, 7155, 3375}, {"cmdAdd", "&Add Server", 30, 3480, 3525, 255},
          {"cmdDelete", "&Delete Server", 3600, 3480, 3585, 255},
          {"Label1", "Double click an entry to edit it.", 60, 3720, 7155, 285}},
         {"lstServers", "cmdAdd", "cmdDelete"}},
        {&frmFolders::Load(), "myFolders", 7215, 3945,
         {{"lstServers", "", 30, 60, 7155, 3375}, {"cmdAdd", "&Add Folder", 30, 3480, 3525, 255},
          {"cmdDelete", "&Delete Folder", 3600, 3480, 3585, 255},
          {"Label1", "Double click an entry to edit it, you can also clear the current file status for the selected "
                     "folder.", 60, 3750, 7155, 285}},
         {"lstServers", "cmdAdd", "cmdDelete"}},
        {&frmServerSettings::Load(), "Server Settings", 4680, 3810,
         {{"Label1", "Server Hostname:", 60, 120, 1305, 255}, {"txtServer", "", 1440, 90, 3195, 285},
          {"Label2", "Server Port:", 60, 450, 1305, 255},     {"txtPort", "21", 1440, 420, 3195, 285},
          {"Label3", "Username:", 60, 780, 1305, 255},        {"txtUsername", "", 1440, 750, 3195, 285},
          {"Label4", "Password:", 60, 1110, 1305, 255},       {"txtPassword", "", 1440, 1080, 3195, 285},
          {"Label5", "Remote Directory:", 60, 1440, 1305, 255}, {"txtFolder", "", 1440, 1410, 3195, 285},
          {"Label6", "Connections:", 60, 1770, 1305, 255}, {"txtConnections", "4", 1440, 1740, 3195, 285},
          {"txtNotes", "Notes for this server", 30, 2070, 4605, 1155}, {"cmdClose", "&Save", 30, 3270, 4635, 255},
          {"cmdTestFTP", "&Test Connection", 30, 3570, 4635, 255}},
         {"txtServer", "txtPort", "txtUsername", "txtPassword", "txtFolder", "txtConnections", "txtNotes", "cmdClose",
          "cmdTestFTP"}},
        {&frmFolderSettings::Load(), "Folder Settings", 4680, 1605,
         {{"Folder", "Local Folder:", 60, 120, 1305, 255}, {"txtFolder", "", 1440, 90, 3195, 285},
          {"Label2", "Use Server:", 60, 450, 1305, 255},   {"cmbServers", "Server", 1440, 420, 3195, 315},
          {"Label3", "SubDirs?:", 60, 780, 1305, 255},     {"chkSubDirs", "", 1470, 750, 645, 315},
          {"cmdClose", "&Save", 30, 1080, 4635, 255},
          {"cmdClearFolderInfo", "Clear file state information... Re-backup files under this folder", 30, 1350, 4635,
           255}},
         {"txtFolder", "cmdClose", "chkSubDirs", "cmbServers", "cmdClearFolderInfo"}},
        {&transfer, "", 4080, 1200,
         {{"lblStatus", "Connecting.....", 30, 30, 4005, 645}, {"cmdHide", "Hide", 120, 690, 3765, 225},
          {"lblCurrentFile", "", 30, 960, 4035, 255}},
         {}},
    };
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.caption.toStdString());
        QWidget* w = l.window;
        EXPECT_EQ(w->windowTitle(), l.caption);
        EXPECT_EQ(w->size(), QSize(Px(l.width), Px(l.height)));
        for (const auto& c : l.controls) {
            SCOPED_TRACE(c.name);
            auto* control = w->findChild<QWidget*>(c.name);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(CaptionOf(control), c.caption);
            EXPECT_EQ(control->geometry(), QRect(Px(c.left), Px(c.top), Px(c.width), Px(c.height)));
            const int captionWidth = QFontMetrics(control->font()).horizontalAdvance(QString(c.caption).remove('&'));
            EXPECT_TRUE(!qobject_cast<QLabel*>(control) || captionWidth <= control->width()) << "the caption fits";
        }
        for (qsizetype i = 1; i < l.tabOrder.size(); ++i) {
            const QWidget* to = w->findChild<QWidget*>(l.tabOrder[i]);
            const QWidget* next = NextTabStop(w->findChild<QWidget*>(l.tabOrder[i - 1]));
            EXPECT_TRUE(to && next && (next == to || to->isAncestorOf(next))) << l.tabOrder[i].toStdString();
        }
    }
}

}  // namespace
