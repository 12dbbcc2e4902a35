#include "ftp/frmFTP.h"
frmFTP::frmFTP(QWidget* owner) : QWidget(owner, Qt::Window) {}
