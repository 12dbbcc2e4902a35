#include "folders/frmFolders.h"
void frmFolders::ShowWindow() {}
