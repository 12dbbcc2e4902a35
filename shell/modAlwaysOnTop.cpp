#include "shell/modAlwaysOnTop.h"

#include <QWidget>

void SetAlwaysOnTop(QWidget* window, bool on) {
    if (!window || window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
    // Changing a window's flags hides it; show it again where it was.
    const bool shown = window->isVisible();
    const QPoint place = window->pos();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (!shown) return;
    window->move(place);
    window->show();
    if (on) window->raise();
}
