// Windows bound to objects of the object tree, and the dispatch of window
// messages to virtual handlers.
//
// FEN_OBJ is the base of every window object (windows and dialogs): a tree
// node with creation attributes, listed in the process-wide window list
// through which a native handle is mapped back to its object. FENETRE is a
// window of the framework's classes "OW_MAIN" and "OW_CHILD", whose procedure
// FENETRE::PasseWndProc turns each message into one virtual call.
//
// Binding: the object is not findable while CreateWindowExA runs (its handle
// is still null), so the messages of creation get DefWindowProcA and OnCreate
// is never called for windows made by Create; OnCreated is the place for
// set-up. The first message after Create finds the object through the window
// list and stores its address in the window's extra bytes (one pointer-sized
// value at offset 0); later messages read it from there.
//
// Handlers may pump messages, so Dispatch is re-entered; a handler may also
// delete its object (OnDestroy does), after which the dispatcher reads only
// the record.
#ifndef VEL_FRAMEWORK_FENETRE_H
#define VEL_FRAMEWORK_FENETRE_H

#include <windows.h>

#include <cstdint>

#include "framework/MessageRecord.h"
#include "framework/Objet.h"
#include "framework/Palette.h"

// Creation attributes of a window.
class FEN_ATTRIB : public PALETTE {
public:
    FEN_ATTRIB();

    uint32_t style;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    int32_t identifier;  // child-window identifier; what HasId compares with
    void* creationParameter;
};

class FEN_OBJ : public OBJET, public FEN_ATTRIB {
public:
    // parent may be null; its window handle (as it is now) becomes this
    // object's parent window.
    explicit FEN_OBJ(FEN_OBJ* parent);
    ~FEN_OBJ() override;
    int32_t HasId(int32_t identifier) override;

    // Operations appended to OBJET's, in order.
    virtual int32_t IsDialog();
    virtual void OnMeasureItem(MessageRecord* record);
    virtual void OnDrawItem(MessageRecord* record);
    // Called on the child that claimed a command (RouteCommand).
    virtual void OnRoutedCommand(MessageRecord* record);

    // The first child, from the oldest, whose HasId claims the command
    // identifier in wParam's low word gets OnRoutedCommand. 1 when one did.
    int32_t RouteCommand(MessageRecord* record);
    // Message box owned by this window (see ShowMessage in MainInstance.h).
    int32_t ShowMessage(const char* text, uint32_t type);
    // Centres the window on the screen, shifted by dx and dy.
    void Centre(int32_t dx, int32_t dy);

    FEN_OBJ* olderWindow;
    FEN_OBJ* newerWindow;
    HWND window;        // null without native window; (HWND)-1 while a dialog starts
    HWND parentWindow;

    static FEN_OBJ* OldestWindow;
    static FEN_OBJ* NewestWindow;
};

// The newest listed object whose window handle is window, or null.
FEN_OBJ* FindWindowObject(HWND window);

class FENETRE : public FEN_OBJ {
public:
    // parent may be null; when given, its window becomes the parent window.
    // Instance 0 means the application's instance handle.
    FENETRE(FEN_OBJ* parent, const char* title, HINSTANCE instance);
    // Leaves the native window alone but unbinds it, so that a window that
    // outlives its object gets default handling instead of a dangling object.
    ~FENETRE() override;
    // Asks CanClose, then destroys the native window; the object is deleted
    // by its own OnDestroy during that call.
    int32_t Close() override;

    // Operations appended, in order (the reserved ones are left out).
    virtual LRESULT Dispatch(MessageRecord* record);
    virtual void OnPaint(MessageRecord* record);
    virtual void OnClose(MessageRecord* record);
    virtual void OnDestroy(MessageRecord* record);
    virtual void OnTimer(MessageRecord* record);
    virtual void OnCreate(MessageRecord* record);
    virtual void OnSetFocus(MessageRecord* record);
    virtual void OnKillFocus(MessageRecord* record);
    virtual void OnMouseMove(MessageRecord* record);
    virtual void OnNcLButtonDown(MessageRecord* record);
    virtual void OnNcLButtonUp(MessageRecord* record);
    virtual void OnNcLButtonDblClk(MessageRecord* record);
    virtual void OnNcPaint(MessageRecord* record);
    virtual void OnLButtonDblClk(MessageRecord* record);
    virtual void OnLButtonDown(MessageRecord* record);
    virtual void OnLButtonUp(MessageRecord* record);
    virtual void OnRButtonDown(MessageRecord* record);
    virtual void OnRButtonUp(MessageRecord* record);
    virtual void OnKeyUp(MessageRecord* record);
    virtual void OnKeyDown(MessageRecord* record);
    virtual void OnChar(MessageRecord* record);
    virtual void OnHScroll(MessageRecord* record);
    virtual void OnVScroll(MessageRecord* record);
    virtual void OnLineLeft(uint32_t position);
    virtual void OnLineRight(uint32_t position);
    virtual void OnPageLeft(uint32_t position);
    virtual void OnPageRight(uint32_t position);
    virtual void OnThumbTrackH(uint32_t position, HWND scrollBar);
    virtual void OnThumbPositionH(uint32_t position, HWND scrollBar);
    virtual void OnLineUp(uint32_t position);
    virtual void OnLineDown(uint32_t position);
    virtual void OnPageUp(uint32_t position);
    virtual void OnPageDown(uint32_t position);
    virtual void OnThumbTrackV(uint32_t position, HWND scrollBar);
    virtual void OnThumbPositionV(uint32_t position, HWND scrollBar);
    virtual void OnSize(MessageRecord* record);
    virtual void OnMove(MessageRecord* record);
    virtual void OnCommand(MessageRecord* record);
    virtual void DoCommand(MessageRecord* record);
    virtual void OnSysCommand(MessageRecord* record);
    virtual void OnParentNotify(MessageRecord* record);
    virtual void OnCtlColorEdit(MessageRecord* record);
    virtual void OnActivate(MessageRecord* record);
    virtual void OnMenuChar(MessageRecord* record);
    virtual void OnGetDlgCode(MessageRecord* record);
    virtual void OnSetFont(MessageRecord* record);
    virtual void OnQueryEndSession(MessageRecord* record);
    virtual void OnOtherMessage(MessageRecord* record);
    virtual void OnCreated();
    virtual void Draw(HDC dc, PAINTSTRUCT* paint);
    // Creates the native window; null, doing nothing, when one exists.
    virtual HWND Create();

    // The window procedure of both framework classes.
    static LRESULT CALLBACK PasseWndProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam);

    HINSTANCE instance;
    bool isMain;     // class "OW_MAIN" rather than "OW_CHILD"
    char title[80];
};

// Registers "OW_CHILD" then "OW_MAIN". 1 when both were registered; when the
// first fails the second is not attempted.
int32_t RegisterWindowClasses(HINSTANCE instance);

extern const char kMainClassName[];   // "OW_MAIN"
extern const char kChildClassName[];  // "OW_CHILD"

#endif
