#pragma once
// What every list and editor window shares: one instance per process,
// placement in twips, and the box that reports a refused statement.

#include <QPointer>
#include <QWidget>

namespace store {
class StoreError;
}

// One window of a kind per process. Load() creates the window (running its
// load steps) when it is not loaded, without showing it; Show() loads it
// when needed and brings it forward. Closing unloads it: the window calls
// Release() from its close handling and the next Load() starts anew.
template <class W>
class SingleInstance {
public:
    static W* Loaded() { return Slot().data(); }
    static W& Load() {
        if (!Slot()) Slot() = new W();
        return *Slot();
    }
    static W& Show() {
        W& w = Load();
        if (!w.isVisible()) {
            w.show();  // a window that comes up is on top already
            return w;
        }
        w.setWindowState(w.windowState() & ~Qt::WindowMinimized);
        w.raise();
        w.activateWindow();
        return w;
    }

protected:
    static void Release(const W* w) {
        if (Slot() == w) Slot() = nullptr;
    }

private:
    static QPointer<W>& Slot() {
        static QPointer<W> slot;
        return slot;
    }
};

class QLabel;

namespace windows {

// A top-level window of fixed size with a title and a close button only.
inline constexpr Qt::WindowFlags kEditorWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

// The caption in front of an editor's field, in the label column.
QLabel* FieldLabel(QWidget* parent, const char* name, const QString& caption, int topTwips);

// Makes a top-level window of the given client size (twips) that the user
// cannot resize, and centres it on the main window (or the screen).
void PlaceFixedWindow(QWidget* window, int widthTwips, int heightTwips);
// Captions keep their designed places, drawn from the top left. Fonts here
// run wider than the ones the layout was drawn for, so the window's font
// shrinks (to 7 points at the least) until every caption fits its control.
void FitCaptions(QWidget* window);
// Places a control by its position and size in twips.
void PlaceTwips(QWidget* control, int left, int top, int width, int height);
// A statement the store refused: its message in a stop box over `owner`,
// the window whose work it was.
void ShowStoreError(const store::StoreError& error, QWidget* owner);

}  // namespace windows
