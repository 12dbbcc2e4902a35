#pragma once
#include <QIcon>

// The application's icon (16 and 32 pixels), drawn at run time.
QIcon AppIcon();
