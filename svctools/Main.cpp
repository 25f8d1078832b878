#include "svctools/ControlDlg.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR cmdLine, int) { return RunServiceTool(cmdLine); }
