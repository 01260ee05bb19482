#include <windows.h>

#include <exception>

#include "app/Application.h"
#include "common/DiagnosticLog.h"
#include "ui/MessageBox.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        sentrel::Application application;
        return application.Run();
    } catch (const std::exception& error) {
        sentrel::LogCaught("start-up");
        // Only start-up and teardown can get here; every event handler has its own catch-all.
        sentrel::ui::ShowError(std::string("Sentrel 4 could not start: ") + error.what());
        return 1;
    }
}
