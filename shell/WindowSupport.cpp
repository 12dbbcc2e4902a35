#include "shell/WindowSupport.h"

#include "shell/AppIcon.h"
#include "shell/MsgBox.h"
#include "shell/Twips.h"
#include "shell/frmMain.h"
#include "store/Store.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace windows {

void PlaceFixedWindow(QWidget* window, int widthTwips, int heightTwips) {
    window->setWindowIcon(AppIcon());
    window->setFixedSize(Px(widthTwips), Px(heightTwips));
    QRect around;
    if (const frmMain* main = frmMain::instance(); main && main->isVisible())
        around = main->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        around = screen->availableGeometry();
    if (around.isValid()) window->move(around.center() - window->rect().center());
}

namespace {

constexpr double kSmallestPoints = 7.0;
constexpr int kButtonPadding = 12;  // frame and margins around a button's caption

// A caption as drawn: "&" marks the access key, "&&" is a literal "&".
QString Drawn(QString caption) {
    caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    caption.remove(QLatin1Char('&'));
    return caption.replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

bool CaptionsFit(const QWidget* window, const QFont& font) {
    const QFontMetrics fm(font);
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (fm.horizontalAdvance(Drawn(label->text())) > label->width()) return false;
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (!button->text().isEmpty() && fm.horizontalAdvance(Drawn(button->text())) + kButtonPadding > button->width())
            return false;
    return true;
}

}  // namespace

void FitCaptions(QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>()) label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font = window->font();
    if (font.pointSizeF() <= 0) return;  // sized in pixels: leave it
    while (!CaptionsFit(window, font) && font.pointSizeF() - 0.5 >= kSmallestPoints)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    window->setFont(font);
}

void PlaceTwips(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QLabel* FieldLabel(QWidget* parent, const char* name, const QString& caption, int topTwips) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    PlaceTwips(label, 60, topTwips, 1305, 255);
    return label;
}

void ShowStoreError(const store::StoreError& error, QWidget* owner) {
    MsgBox(QString::fromStdString(error.what()), vbCritical, QString(), owner);
}

}  // namespace windows
