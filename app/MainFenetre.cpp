#include "app/MainFenetre.h"

#include "app/AppliMsg.h"
#include "framework/MainInstance.h"

MAIN_FENETRE::MAIN_FENETRE(const char* title) : FENETRE(nullptr, title, nullptr) {
    style = WS_OVERLAPPEDWINDOW;
    isMain = true;
}

MAIN_FENETRE::~MAIN_FENETRE() { ReleasePalette(); }

LRESULT MAIN_FENETRE::Dispatch(MessageRecord* record) {
    if (DispatchChannels(record) != 0) return record->result;
    return FENETRE::Dispatch(record);
}

void MAIN_FENETRE::OnClose(MessageRecord*) {
    if (CurrentInstanceCanQuit() != 0) CloseTree(1);
}

void MAIN_FENETRE::OnDestroy(MessageRecord* record) {
    OnBeforeQuit();
    PostQuitMessage(0);
    SetWindowLongPtrA(record->window, 0, 0);
}

void MAIN_FENETRE::OnBeforeQuit() {}
