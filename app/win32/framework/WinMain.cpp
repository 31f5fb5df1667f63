// The program's entry point: hands over to the one application object.
#include "app/win32/framework/WinApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CWinApp* app = CWinApp::Current();
    return app != nullptr ? app->Run(instance) : 1;
}
