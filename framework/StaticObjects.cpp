#include "framework/StaticObjects.h"

#include "framework/Palette.h"

// The palette's values live here, beside their creation, so that every
// program that uses one of them links this unit, and with it the group and
// the log channel.
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
struct PaletteCreation {
    PaletteCreation() { PALETTE::CreatePalette(); }
};
}  // namespace

AUTO_OBJET BmpGroup __attribute__((init_priority(VEL_INIT_PRIORITY_GROUP)))(
    nullptr, "Groupe des BMPs");
HWND_REC_LOG LogChannel __attribute__((init_priority(VEL_INIT_PRIORITY_LOG_CHANNEL)));
static PaletteCreation Palette __attribute__((init_priority(VEL_INIT_PRIORITY_PALETTE)));
