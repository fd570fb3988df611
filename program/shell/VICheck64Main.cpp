// Entry point of VICheck64 and its one application object.
#include "DaVIdevaRez.h"

CDaVIdevaRezApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nCmdShow) { return KvUi::AfxWinMain(hInstance, nCmdShow); }
