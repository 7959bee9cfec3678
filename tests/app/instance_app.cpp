// A program for the single-instance tests: a copy that finds an earlier copy
// running asks it to show itself ("instance_app") or hands it the value 33
// ("instance_app handover"), and ends with exit code 20. The earlier copy
// ends with 11 after a show request and with the handed value after a
// hand-over. A copy that hears nothing closes itself after 20 seconds with 0.
#include <windows.h>

#include <cstring>

#include "app/Main.h"
#include "app/MainFenetre.h"

namespace {

class InstanceApp final : public MAIN {
public:
    InstanceApp(HINSTANCE instance, const char* commandLine, int show)
        : MAIN("VelInstanceTest", instance, nullptr, commandLine, show),
          handOver(std::strstr(commandLine, "handover") != nullptr) {}
    int32_t WantsSingleInstance() override { return 1; }
    int32_t PrepareHandOver(uint32_t* value) override {
        if (!handOver) return 0;
        *value = 33;
        return 1;
    }
    void ShowMainWindow(uint32_t value) override {
        MAIN::ShowMainWindow(value);
        resultCode = 11;
        PostMessageA(mainWindow->window, WM_CLOSE, 0, 0);
    }
    void TakeHandOver(uint32_t value) override {
        resultCode = static_cast<int32_t>(value);
        PostMessageA(mainWindow->window, WM_CLOSE, 0, 0);
    }
    bool handOver;
};

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) {
    PostMessageA(MAIN::CurrentApplication->mainWindow->window, WM_CLOSE, 0, 0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    InstanceApp app(instance, commandLine, show);
    SetTimer(nullptr, 0, 20000, GiveUp);
    app.Run();
    return app.earlierWindow != nullptr ? 20 : app.resultCode;
}
