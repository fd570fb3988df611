// Entry point of VICheck64 and its one application object.
#include "DaVIdevaRez.h"
#include "OsTemplatesCommands.h"

CDaVIdevaRezApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nCmdShow) {
    // The new-model setup and the Windows templates: offered by command and on a start without a store.
    RegisterOsTemplates();
    return KvUi::AfxWinMain(hInstance, nCmdShow);
}
