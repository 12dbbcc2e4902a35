#include "servers/frmServers.h"
void frmServers::ShowWindow() {}
