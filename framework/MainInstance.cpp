#include "framework/MainInstance.h"

#include "services/Text.h"

MAIN_INSTANCE* MAIN_INSTANCE::Current = nullptr;

namespace {
char MessageBuffer[256];

const char* CurrentName() {
    return MAIN_INSTANCE::Current != nullptr ? MAIN_INSTANCE::Current->name : nullptr;
}
}  // namespace

MAIN_INSTANCE::MAIN_INSTANCE(HINSTANCE instance) : instance(instance), name{}, resultCode(0) {
    if (Current != nullptr) {
        AppMessageBox("Cr\xE9" "ation multiple MAIN_INSTANCE ", MB_OK, nullptr);
    }
    Current = this;
}

MAIN_INSTANCE::~MAIN_INSTANCE() { Current = nullptr; }

void MAIN_INSTANCE::PumpFor(int32_t) {}

int32_t MAIN_INSTANCE::CanQuit() { return 1; }

HINSTANCE CurrentInstanceHandle() {
    return MAIN_INSTANCE::Current != nullptr ? MAIN_INSTANCE::Current->instance : nullptr;
}

int32_t CurrentInstanceCanQuit() {
    return MAIN_INSTANCE::Current != nullptr ? MAIN_INSTANCE::Current->CanQuit() : 1;
}

int32_t AppMessageBox(const char* text, uint32_t type, HWND owner) {
    return MessageBoxA(owner, text, CurrentName(), type);
}

int32_t ShowMessage(HWND window, const char* text, uint32_t type) {
    if (text != nullptr) TextCopy(MessageBuffer, text, sizeof MessageBuffer, nullptr);
    return MessageBoxA(window, MessageBuffer, CurrentName(), type);
}
