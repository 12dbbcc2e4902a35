#pragma once
class QWidget;

// Keeps the window above all others (on) or lets it fall back among them
// (off). A shown window stays shown, in its place and at its size.
void SetAlwaysOnTop(QWidget* window, bool on);
