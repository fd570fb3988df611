// The new-model setup and the Windows-templates operation of the main window.
#pragma once

#include <memory>

class CMainFrame;
class IModelSetupDialog;
class dlgPrepareControl;

// The setup dialog over the frame (the setting UpdatePresent gives its clear choice).
std::unique_ptr<IModelSetupDialog> MakeModelSetupDialog(CMainFrame* frame);
// The setup dialog behind the interface; null for another kind of object.
dlgPrepareControl* GetPrepareControl(IModelSetupDialog* dialog);
// Background operation 4: the Windows templates and the chosen programs' tasks into the frame's
// model, from the confirmed setup dialog; always 1.
int CreateOsTemplates(CMainFrame* frame, IModelSetupDialog* dialog);
// Makes the setup and the operation known to the main window (the program calls it at start-up).
void RegisterOsTemplates();
