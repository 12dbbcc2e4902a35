#pragma once
// Message boxes. Every box of the program goes through MsgBox, so tests
// can answer boxes in advance and read back what was shown.

#include <QString>

#include <vector>

// Styles and answers.
constexpr int vbOKOnly = 0;
constexpr int vbYesNo = 4;
constexpr int vbCritical = 16;     // OK with a stop icon
constexpr int vbInformation = 64;  // OK with an information icon
constexpr int vbOK = 1;
constexpr int vbYes = 6;
constexpr int vbNo = 7;

class QWidget;

// Shows a modal box and returns the answer. An empty title shows "Tessary".
// The box belongs to `owner` when given and stays above every window (a
// job's transfer window among them) until it is answered.
int MsgBox(const QString& text, int style = vbOKOnly, const QString& title = QString(), QWidget* owner = nullptr);

namespace msgbox {

struct Shown {
    QString text;
    int style;
    QString title;  // as shown: "Tessary" for an empty title
    const QWidget* owner;
};

// Test seam: while enabled no box is shown; each box takes the next queued
// answer (OK or No when none is queued) and is recorded.
void EnableTestMode(bool on);
void QueueAnswer(int answer);
const std::vector<Shown>& ShownBoxes();
void ClearShown();

// In an unattended run nobody answers a box: none is shown, its text is
// written as a status line and it answers OK or No.
void SetHeadless(bool on);

}  // namespace msgbox
