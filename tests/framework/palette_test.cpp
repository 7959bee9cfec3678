#include "framework/Palette.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/StaticObjects.h"

namespace {

// What was there when each probe below was constructed: the static objects
// are constructed before these probes of ordinary priority, and the probes
// with their own priorities fall between them.
struct Snapshot {
    bool group;
    bool channel;
    bool palette;
};
// Plain arrays: ready before any constructor runs.
Snapshot Seen[8];
size_t SeenCount = 0;

struct Probe {
    Probe() {
        Seen[SeenCount++] = {BmpGroup.name[0] != 0, APPLI_MSG::NewestChannel == &LogChannel,
                             PALETTE::DialogBrush != nullptr};
    }
};

Probe beforeAll __attribute__((init_priority(VEL_INIT_PRIORITY_GROUP - 5)));
Probe afterGroup __attribute__((init_priority(VEL_INIT_PRIORITY_GROUP + 5)));
Probe afterChannel __attribute__((init_priority(VEL_INIT_PRIORITY_LOG_CHANNEL + 5)));
Probe afterPalette __attribute__((init_priority(VEL_INIT_PRIORITY_PALETTE + 5)));
Probe ordinary;

TEST(StaticObjects, AreCreatedInOrderBeforeEverythingElse) {
    ASSERT_EQ(SeenCount, 5u);
    const bool expected[5][3] = {
        {false, false, false}, {true, false, false}, {true, true, false},
        {true, true, true},    {true, true, true},
    };
    for (size_t i = 0; i < SeenCount; ++i) {
        EXPECT_EQ(Seen[i].group, expected[i][0]) << i;
        EXPECT_EQ(Seen[i].channel, expected[i][1]) << i;
        EXPECT_EQ(Seen[i].palette, expected[i][2]) << i;
    }
}

TEST(StaticObjects, TheGroupAndTheLogChannel) {
    EXPECT_STREQ(BmpGroup.name, "Groupe des BMPs");
    EXPECT_EQ(BmpGroup.isStatic, 1);
    EXPECT_EQ(BmpGroup.parent, nullptr);
    EXPECT_EQ(BmpGroup.newestChild, nullptr);
    EXPECT_EQ(BmpGroup.Close(), 1);  // static: stays
    EXPECT_STREQ(BmpGroup.name, "Groupe des BMPs");
    EXPECT_STREQ(LogChannel.name, "VelPassLogMess");
    EXPECT_EQ(LogChannel.messageNumber, RegisterWindowMessageA("VelPassLogMess"));
    EXPECT_EQ(APPLI_MSG::OldestChannel, &LogChannel);
}

COLORREF BrushColour(HBRUSH brush) {
    LOGBRUSH b = {};
    EXPECT_EQ(GetObjectA(brush, sizeof b, &b), static_cast<int>(sizeof b));
    EXPECT_EQ(b.lbStyle, static_cast<UINT>(BS_SOLID));
    return b.lbColor;
}

std::pair<int, COLORREF> PenOf(HPEN pen) {
    LOGPEN p = {};
    EXPECT_EQ(GetObjectA(pen, sizeof p, &p), static_cast<int>(sizeof p));
    EXPECT_EQ(p.lopnStyle, static_cast<UINT>(PS_SOLID));
    return {p.lopnWidth.x, p.lopnColor};
}

TEST(Palette, TheValuesAreMadeFromTheSystemColours) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    EXPECT_EQ(PALETTE::ButtonFaceColour, face);
    EXPECT_EQ(PALETTE::TextColour, GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(PALETTE::BackColour, face);
    EXPECT_EQ(BrushColour(PALETTE::DialogBrush), face);
    EXPECT_EQ(BrushColour(PALETTE::ShadowBrush), shadow);
    EXPECT_EQ(BrushColour(PALETTE::HighlightBrush), highlight);
    EXPECT_EQ(BrushColour(PALETTE::RedBrush), RGB(255, 0, 0));
    EXPECT_EQ(BrushColour(PALETTE::BlueBrush), RGB(0, 0, 255));
    EXPECT_EQ(BrushColour(PALETTE::GreenBrush), RGB(0, 255, 0));
    EXPECT_EQ(BrushColour(PALETTE::ControlBrush), face);
    EXPECT_EQ(BrushColour(PALETTE::BlackBrush), 0u);
    // Two brushes and two pens of the same colour, each of its own.
    EXPECT_NE(PALETTE::DialogBrush, PALETTE::ControlBrush);
    EXPECT_NE(PALETTE::ButtonFacePen, PALETTE::FacePen1);
    EXPECT_EQ(PenOf(PALETTE::ButtonFacePen), std::make_pair(1, face));
    EXPECT_EQ(PenOf(PALETTE::ShadowPen1), std::make_pair(1, shadow));
    EXPECT_EQ(PenOf(PALETTE::ShadowPen2), std::make_pair(2, shadow));
    EXPECT_EQ(PenOf(PALETTE::FacePen1), std::make_pair(1, face));
    EXPECT_EQ(PenOf(PALETTE::FacePen2), std::make_pair(2, face));
    EXPECT_EQ(PenOf(PALETTE::HighlightPen1), std::make_pair(1, highlight));
    EXPECT_EQ(PenOf(PALETTE::HighlightPen2), std::make_pair(2, highlight));
    EXPECT_EQ(PenOf(PALETTE::WhitePen), std::make_pair(1, RGB(255, 255, 255)));
    EXPECT_EQ(PenOf(PALETTE::BlackPen), std::make_pair(1, COLORREF(0)));
    EXPECT_EQ(PenOf(PALETTE::HairlinePen), std::make_pair(0, COLORREF(0)));
    EXPECT_EQ(PALETTE::MainIcon, LoadIconA(nullptr, IDI_APPLICATION));
    EXPECT_EQ(PALETTE::ChildIcon, LoadIconA(nullptr, IDI_APPLICATION));
    EXPECT_EQ(PALETTE::ArrowCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(PALETTE::ChildClassBackground, static_cast<uintptr_t>(COLOR_WINDOW + 1));
    EXPECT_EQ(PALETTE::MainClassBackground, static_cast<uintptr_t>(COLOR_APPWORKSPACE + 1));
    EXPECT_EQ(PALETTE::EditColouring, 0);
    EXPECT_EQ(PALETTE::ControlFont, nullptr);
}

// A memory device context whose colours are known beforehand.
class Device {
public:
    Device() : dc(CreateCompatibleDC(nullptr)) {
        SetTextColor(dc, RGB(9, 8, 7));
        SetBkColor(dc, RGB(1, 2, 3));
    }
    ~Device() { DeleteDC(dc); }
    HDC dc;
};

TEST(Palette, CommonDialogHook) {
    Device d;
    const WPARAM dc = reinterpret_cast<WPARAM>(d.dc);
    EXPECT_EQ(PALETTE::CommDlgHook(nullptr, WM_CTLCOLORDLG, dc, 0),
              reinterpret_cast<UINT_PTR>(PALETTE::DialogBrush));
    EXPECT_EQ(GetBkColor(d.dc), RGB(1, 2, 3));
    EXPECT_EQ(PALETTE::CommDlgHook(nullptr, WM_CTLCOLORSTATIC, dc, 0),
              reinterpret_cast<UINT_PTR>(PALETTE::ControlBrush));
    EXPECT_EQ(GetBkColor(d.dc), PALETTE::BackColour);
    // The button text is black here: a colour of 0 is never set.
    ASSERT_EQ(PALETTE::TextColour, 0u);
    EXPECT_EQ(GetTextColor(d.dc), RGB(9, 8, 7));
    for (UINT other : {static_cast<UINT>(WM_INITDIALOG), static_cast<UINT>(WM_CTLCOLORBTN),
                       static_cast<UINT>(WM_CTLCOLOREDIT), static_cast<UINT>(WM_COMMAND)}) {
        EXPECT_EQ(PALETTE::CommDlgHook(nullptr, other, dc, 0), 0u) << other;
    }
}

TEST(Palette, ControlColouringUsesTheFontWhenOneIsSet) {
    Device d;
    HFONT own = static_cast<HFONT>(GetCurrentObject(d.dc, OBJ_FONT));
    HFONT font = CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    EXPECT_EQ(PALETTE::ColourControl(d.dc), PALETTE::ControlBrush);
    EXPECT_EQ(GetCurrentObject(d.dc, OBJ_FONT), own);
    EXPECT_EQ(GetBkColor(d.dc), PALETTE::BackColour);
    PALETTE::ControlFont = font;
    EXPECT_EQ(PALETTE::ColourControl(d.dc), PALETTE::ControlBrush);
    PALETTE::ControlFont = nullptr;
    EXPECT_EQ(GetCurrentObject(d.dc, OBJ_FONT), font);
    SelectObject(d.dc, own);
    DeleteObject(font);
}

// Runs last: the palette is released once for the whole process.
TEST(Palette, ReleaseDeletesOnceAndKeepsTheValues) {
    const HBRUSH dialog = PALETTE::DialogBrush;
    const HPEN hairline = PALETTE::HairlinePen;
    ASSERT_EQ(GetObjectType(dialog), static_cast<DWORD>(OBJ_BRUSH));
    PALETTE::ReleasePalette();
    EXPECT_EQ(PALETTE::DialogBrush, dialog);
    EXPECT_EQ(PALETTE::HairlinePen, hairline);
    EXPECT_EQ(GetObjectType(dialog), 0u);
    EXPECT_EQ(GetObjectType(hairline), 0u);
    EXPECT_EQ(GetObjectType(PALETTE::GreenBrush), 0u);
    // A new brush may take a released handle's value; a second release
    // must not delete it.
    std::vector<HBRUSH> fresh;
    for (int i = 0; i < 64; ++i) fresh.push_back(CreateSolidBrush(RGB(i, i, i)));
    PALETTE::ReleasePalette();
    for (HBRUSH b : fresh) {
        EXPECT_EQ(GetObjectType(b), static_cast<DWORD>(OBJ_BRUSH));
        DeleteObject(b);
    }
}

}  // namespace
