// The program's entry: the one application object. Start-up itself is CDelvaneApp::InitInstance.
#include "app/startup.h"

CDelvaneApp theApp;
