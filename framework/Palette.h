// The drawing resources that every window and dialog of the process shares.
//
// The values are process-wide, like static members: they are created once,
// during static initialisation before the entry point (after the static group
// and the log channel), and released once, when the application deletes its
// main window. A failed creation leaves its value null. PALETTE adds no data
// to the objects that derive from it (every window object, through
// FEN_ATTRIB).
//
// A colour value of 0 (black) counts as not set in every colour answer: black
// text or backgrounds are never set explicitly.
#ifndef VEL_FRAMEWORK_PALETTE_H
#define VEL_FRAMEWORK_PALETTE_H

#include <windows.h>

#include <cstdint>

// The order of the objects built before the entry point, fixed across the
// whole program with init_priority (lower first, all before objects of
// ordinary priority): the application's static group and log channel take
// the numbers below this one.
#define VEL_INIT_PRIORITY_PALETTE 1020

class PALETTE {
public:
    // Creates the 24 values in their fixed order; the later ones use the
    // button-face colour stored first. Called by the static initialisation.
    static void CreatePalette();
    // Deletes the created values (each only when non-null). The handles keep
    // their values afterwards; a second call does nothing, so a handle value
    // that the system has since given to a new object is never deleted.
    static void ReleasePalette();

    // The control-colour answer of dialogs (and of windows' edit controls
    // when EditColouring is on): selects ControlFont, sets the text and
    // background colours that are set, and gives ControlBrush.
    static HBRUSH ColourControl(HDC dc);

    // Hook procedure for the system's common dialogs: WM_CTLCOLORDLG gives
    // DialogBrush, WM_CTLCOLORSTATIC colours the device context (without the
    // font) and gives ControlBrush, every other message 0.
    static UINT_PTR CALLBACK CommDlgHook(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam);

    // Created values, in creation order.
    static COLORREF ButtonFaceColour;
    static HBRUSH DialogBrush;
    static HBRUSH ShadowBrush;
    static HBRUSH HighlightBrush;
    static HBRUSH RedBrush;
    static HBRUSH BlueBrush;
    static HBRUSH GreenBrush;
    static HBRUSH ControlBrush;
    static HBRUSH BlackBrush;
    static COLORREF TextColour;
    static COLORREF BackColour;
    static HICON MainIcon;   // the launcher puts its own icon here before
                             // the window classes are registered
    static HICON ChildIcon;
    static HCURSOR ArrowCursor;
    static HPEN ButtonFacePen;
    static HPEN ShadowPen1;
    static HPEN ShadowPen2;
    static HPEN FacePen1;
    static HPEN FacePen2;
    static HPEN HighlightPen1;
    static HPEN HighlightPen2;
    static HPEN WhitePen;
    static HPEN BlackPen;
    static HPEN HairlinePen;

    // Fixed values. The class backgrounds are system colour indices + 1.
    static constexpr uintptr_t ChildClassBackground = COLOR_WINDOW + 1;
    static constexpr uintptr_t MainClassBackground = COLOR_APPWORKSPACE + 1;
    static int32_t EditColouring;  // 0: windows leave WM_CTLCOLOREDIT to default
    static HFONT ControlFont;      // null: the control's own font stays

    static bool Released;  // set by the first ReleasePalette
};

#endif
