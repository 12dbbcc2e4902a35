#include "shell/MsgBox.h"

#include "base/StatusLog.h"

#include <QApplication>
#include <QMessageBox>

#include <deque>

namespace msgbox {
namespace {

struct State {
    bool testMode = false;
    bool headless = false;
    std::deque<int> answers;
    std::vector<Shown> shown;
};

State& S() {
    static State s;
    return s;
}

}  // namespace

void EnableTestMode(bool on) {
    S().testMode = on;
    S().answers.clear();
    S().shown.clear();
}
void QueueAnswer(int answer) { S().answers.push_back(answer); }
const std::vector<Shown>& ShownBoxes() { return S().shown; }
void ClearShown() { S().shown.clear(); }
void SetHeadless(bool on) { S().headless = on; }

}  // namespace msgbox

int MsgBox(const QString& text, int style, const QString& title, QWidget* owner) {
    using namespace msgbox;
    const QString caption = title.isEmpty() ? QStringLiteral("Tessary") : title;
    const int buttons = style & 0xF;
    const int fallback = buttons == vbYesNo ? vbNo : vbOK;

    if (S().testMode) {
        S().shown.push_back({text, style, caption, owner});
        if (S().answers.empty()) return fallback;
        const int answer = S().answers.front();
        S().answers.pop_front();
        return answer;
    }
    if (S().headless || !qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // Nobody is there to answer: the text becomes a status line, which
        // an unattended run also writes to standard output.
        ::LogStatus(text.toStdString());
        return fallback;
    }

    QMessageBox box(owner);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (style & 0xF0) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if (buttons == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
}
