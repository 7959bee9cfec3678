#include "framework/Palette.h"

COLORREF PALETTE::ButtonFaceColour = 0;
HBRUSH PALETTE::DialogBrush = nullptr;
HBRUSH PALETTE::ShadowBrush = nullptr;
HBRUSH PALETTE::HighlightBrush = nullptr;
HBRUSH PALETTE::RedBrush = nullptr;
HBRUSH PALETTE::BlueBrush = nullptr;
HBRUSH PALETTE::GreenBrush = nullptr;
HBRUSH PALETTE::ControlBrush = nullptr;
HBRUSH PALETTE::BlackBrush = nullptr;
COLORREF PALETTE::TextColour = 0;
COLORREF PALETTE::BackColour = 0;
HICON PALETTE::MainIcon = nullptr;
HICON PALETTE::ChildIcon = nullptr;
HCURSOR PALETTE::ArrowCursor = nullptr;
HPEN PALETTE::ButtonFacePen = nullptr;
HPEN PALETTE::ShadowPen1 = nullptr;
HPEN PALETTE::ShadowPen2 = nullptr;
HPEN PALETTE::FacePen1 = nullptr;
HPEN PALETTE::FacePen2 = nullptr;
HPEN PALETTE::HighlightPen1 = nullptr;
HPEN PALETTE::HighlightPen2 = nullptr;
HPEN PALETTE::WhitePen = nullptr;
HPEN PALETTE::BlackPen = nullptr;
HPEN PALETTE::HairlinePen = nullptr;
int32_t PALETTE::EditColouring = 0;
HFONT PALETTE::ControlFont = nullptr;
bool PALETTE::Released = false;

namespace {
// Created during static initialisation, after the application's static
// objects (see VEL_INIT_PRIORITY_PALETTE).
struct PaletteCreation {
    PaletteCreation() { PALETTE::CreatePalette(); }
};
PaletteCreation Creation __attribute__((init_priority(VEL_INIT_PRIORITY_PALETTE)));
}  // namespace

namespace {
void DeleteIfSet(HGDIOBJ object) {
    if (object != nullptr) DeleteObject(object);
}

void ColourDevice(HDC dc) {
    if (PALETTE::TextColour != 0) SetTextColor(dc, PALETTE::TextColour);
    if (PALETTE::BackColour != 0) SetBkColor(dc, PALETTE::BackColour);
}
}  // namespace

void PALETTE::CreatePalette() {
    ButtonFaceColour = GetSysColor(COLOR_BTNFACE);
    DialogBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    ShadowBrush = CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
    HighlightBrush = CreateSolidBrush(GetSysColor(COLOR_BTNHIGHLIGHT));
    RedBrush = CreateSolidBrush(RGB(255, 0, 0));
    BlueBrush = CreateSolidBrush(RGB(0, 0, 255));
    GreenBrush = CreateSolidBrush(RGB(0, 255, 0));
    // A brush of its own, not DialogBrush: the two are released separately.
    ControlBrush = CreateSolidBrush(ButtonFaceColour);
    BlackBrush = CreateSolidBrush(0);
    TextColour = GetSysColor(COLOR_BTNTEXT);
    BackColour = ButtonFaceColour;
    MainIcon = LoadIconA(nullptr, IDI_APPLICATION);
    ChildIcon = LoadIconA(nullptr, IDI_APPLICATION);
    ArrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    ButtonFacePen = CreatePen(PS_SOLID, 1, ButtonFaceColour);
    ShadowPen1 = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    ShadowPen2 = CreatePen(PS_SOLID, 2, GetSysColor(COLOR_BTNSHADOW));
    FacePen1 = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
    FacePen2 = CreatePen(PS_SOLID, 2, GetSysColor(COLOR_BTNFACE));
    HighlightPen1 = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    HighlightPen2 = CreatePen(PS_SOLID, 2, GetSysColor(COLOR_BTNHIGHLIGHT));
    WhitePen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    BlackPen = CreatePen(PS_SOLID, 1, 0);
    HairlinePen = CreatePen(PS_SOLID, 0, 0);
}

void PALETTE::ReleasePalette() {
    if (Released) return;
    Released = true;
    DeleteIfSet(DialogBrush);
    DeleteIfSet(ControlBrush);
    DeleteIfSet(ShadowBrush);
    DeleteIfSet(HighlightBrush);
    DeleteIfSet(BlackBrush);
    DeleteIfSet(RedBrush);
    DeleteIfSet(BlueBrush);
    DeleteIfSet(GreenBrush);
    if (MainIcon != nullptr) DestroyIcon(MainIcon);
    if (ChildIcon != nullptr) DestroyIcon(ChildIcon);
    if (ArrowCursor != nullptr) DestroyCursor(ArrowCursor);
    DeleteIfSet(ButtonFacePen);
    DeleteIfSet(ShadowPen1);
    DeleteIfSet(ShadowPen2);
    DeleteIfSet(FacePen1);
    DeleteIfSet(FacePen2);
    DeleteIfSet(HighlightPen1);
    DeleteIfSet(HighlightPen2);
    DeleteIfSet(WhitePen);
    DeleteIfSet(BlackPen);
    DeleteIfSet(HairlinePen);
}

HBRUSH PALETTE::ColourControl(HDC dc) {
    if (ControlFont != nullptr) SelectObject(dc, ControlFont);
    ColourDevice(dc);
    return ControlBrush;
}

UINT_PTR CALLBACK PALETTE::CommDlgHook(HWND, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_CTLCOLORDLG:
            return reinterpret_cast<UINT_PTR>(DialogBrush);
        case WM_CTLCOLORSTATIC:
            ColourDevice(reinterpret_cast<HDC>(wParam));
            return reinterpret_cast<UINT_PTR>(ControlBrush);
        default:
            return 0;
    }
}
