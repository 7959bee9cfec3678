#include "framework/Fenetre.h"

#include "framework/MainInstance.h"
#include "services/Text.h"

const char kMainClassName[] = "OW_MAIN";
const char kChildClassName[] = "OW_CHILD";

FEN_OBJ* FEN_OBJ::OldestWindow = nullptr;
FEN_OBJ* FEN_OBJ::NewestWindow = nullptr;

namespace {
// WS_CHILD | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU: what a FENETRE is
// unless told otherwise.
const uint32_t kChildWindowStyle = 0x44C80000;

// The window object behind a handle of the framework's classes. A dialog
// object keeps its handle after its run, and handle values come back, so a
// dialog found here is not taken for a window.
FENETRE* FindWindowForProcedure(HWND window) {
    for (FEN_OBJ* w = FEN_OBJ::NewestWindow; w != nullptr; w = w->olderWindow) {
        if (w->window == window && w->IsDialog() == 0) return static_cast<FENETRE*>(w);
    }
    return nullptr;
}
}  // namespace

FEN_ATTRIB::FEN_ATTRIB()
    : style(WS_OVERLAPPEDWINDOW),
      x(CW_USEDEFAULT),
      y(CW_USEDEFAULT),
      width(CW_USEDEFAULT),
      height(CW_USEDEFAULT),
      identifier(0),
      creationParameter(nullptr) {}

FEN_OBJ::FEN_OBJ(FEN_OBJ* parent)
    : OBJET(parent, 0),
      olderWindow(NewestWindow),
      newerWindow(nullptr),
      window(nullptr),
      parentWindow(parent != nullptr ? parent->window : nullptr) {
    NewestWindow = this;
    if (OldestWindow == nullptr) {
        OldestWindow = this;
    } else {
        olderWindow->newerWindow = this;
    }
}

FEN_OBJ::~FEN_OBJ() {
    if (olderWindow != nullptr) {
        olderWindow->newerWindow = newerWindow;
    } else {
        OldestWindow = newerWindow;
    }
    if (newerWindow != nullptr) {
        newerWindow->olderWindow = olderWindow;
    } else {
        NewestWindow = olderWindow;
    }
}

int32_t FEN_OBJ::HasId(int32_t identifier) { return identifier == this->identifier ? 1 : 0; }
int32_t FEN_OBJ::IsDialog() { return 0; }
void FEN_OBJ::OnMeasureItem(MessageRecord*) {}
void FEN_OBJ::OnDrawItem(MessageRecord*) {}
void FEN_OBJ::OnRoutedCommand(MessageRecord*) {}

int32_t FEN_OBJ::RouteCommand(MessageRecord* record) {
    const int32_t command = LOWORD(record->wParam);
    for (OBJET* child = oldestChild; child != nullptr; child = child->newerSibling) {
        if (child->HasId(command) == 0) continue;
        // Only window objects take routed commands; a plain object that
        // claims one is passed over. Every window object is in the window
        // list, which tells them apart without run-time type information.
        for (FEN_OBJ* w = NewestWindow; w != nullptr; w = w->olderWindow) {
            if (static_cast<OBJET*>(w) == child) {
                w->OnRoutedCommand(record);
                return 1;
            }
        }
    }
    return 0;
}

int32_t FEN_OBJ::ShowMessage(const char* text, uint32_t type) {
    return ::ShowMessage(window, text, type);
}

void FEN_OBJ::Centre(int32_t dx, int32_t dy) {
    RECT r = {0, 0, 0, 0};
    GetWindowRect(window, &r);
    const int32_t w = r.right - r.left;
    const int32_t h = r.bottom - r.top;
    // Signed divisions: a window larger than the screen gets a negative
    // position, truncated towards zero.
    const int32_t x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2 + dx;
    const int32_t y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2 + dy;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

FEN_OBJ* FindWindowObject(HWND window) {
    for (FEN_OBJ* w = FEN_OBJ::NewestWindow; w != nullptr; w = w->olderWindow) {
        if (w->window == window) return w;
    }
    return nullptr;
}

FENETRE::FENETRE(FEN_OBJ* parent, const char* title, HINSTANCE instance)
    : FEN_OBJ(parent), instance(CurrentInstanceHandle()), isMain(false), title{} {
    style = kChildWindowStyle;
    TextCopy(this->title, title, sizeof this->title, nullptr);
    if (instance != nullptr) this->instance = instance;
}

FENETRE::~FENETRE() {
    if (window != nullptr &&
        GetWindowLongPtrA(window, 0) == reinterpret_cast<LONG_PTR>(this)) {
        SetWindowLongPtrA(window, 0, 0);
    }
}

int32_t FENETRE::Close() {
    if (CanClose() == 0) return 0;
    DestroyWindow(window);
    return 1;
}

HWND FENETRE::Create() {
    if (window != nullptr) return nullptr;
    window = CreateWindowExA(0, isMain ? kMainClassName : kChildClassName, title, style, x, y,
                             width, height, parentWindow,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(identifier)),
                             instance, creationParameter);
    // OnCreated may destroy the window, and with it this object.
    HWND created = window;
    OnCreated();
    return created;
}

LRESULT CALLBACK FENETRE::PasseWndProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
    MessageRecord record = {window, message, wParam, lParam, 0, false};
    FENETRE* object = reinterpret_cast<FENETRE*>(GetWindowLongPtrA(window, 0));
    if (object == nullptr) {
        object = FindWindowForProcedure(window);
        if (object == nullptr) return DefWindowProcA(window, message, wParam, lParam);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(object));
    }
    return object->Dispatch(&record);
}

LRESULT FENETRE::Dispatch(MessageRecord* record) {
    switch (record->message) {
        case WM_CREATE: OnCreate(record); break;
        case WM_DESTROY: OnDestroy(record); break;
        case WM_MOVE: OnMove(record); break;
        case WM_SIZE: OnSize(record); break;
        case WM_ACTIVATE: OnActivate(record); break;
        case WM_SETFOCUS: OnSetFocus(record); break;
        case WM_KILLFOCUS: OnKillFocus(record); break;
        case WM_PAINT: OnPaint(record); break;
        case WM_CLOSE: OnClose(record); break;
        case WM_QUERYENDSESSION: OnQueryEndSession(record); break;
        case WM_DRAWITEM: OnDrawItem(record); break;
        case WM_MEASUREITEM: OnMeasureItem(record); break;
        case WM_SETFONT: OnSetFont(record); break;
        case WM_NCPAINT: OnNcPaint(record); break;
        case WM_GETDLGCODE: OnGetDlgCode(record); break;
        case WM_NCLBUTTONDOWN: OnNcLButtonDown(record); break;
        case WM_NCLBUTTONUP: OnNcLButtonUp(record); break;
        case WM_NCLBUTTONDBLCLK: OnNcLButtonDblClk(record); break;
        case WM_KEYDOWN: OnKeyDown(record); break;
        case WM_KEYUP: OnKeyUp(record); break;
        case WM_CHAR: OnChar(record); break;
        case WM_COMMAND: OnCommand(record); break;
        case WM_SYSCOMMAND:
            // System commands are carried out unless the handler says no.
            record->callDefault = true;
            OnSysCommand(record);
            break;
        case WM_TIMER: OnTimer(record); break;
        case WM_HSCROLL: OnHScroll(record); break;
        case WM_VSCROLL: OnVScroll(record); break;
        case WM_MENUCHAR: OnMenuChar(record); break;
        case WM_CTLCOLOREDIT: OnCtlColorEdit(record); break;
        case WM_MOUSEMOVE: OnMouseMove(record); break;
        case WM_LBUTTONDOWN: OnLButtonDown(record); break;
        case WM_LBUTTONUP: OnLButtonUp(record); break;
        case WM_LBUTTONDBLCLK: OnLButtonDblClk(record); break;
        case WM_RBUTTONDOWN: OnRButtonDown(record); break;
        case WM_RBUTTONUP: OnRButtonUp(record); break;
        case WM_PARENTNOTIFY: OnParentNotify(record); break;
        default: OnOtherMessage(record); break;
    }
    // The handler may have deleted this object: only the record is read.
    if (record->callDefault) {
        return DefWindowProcA(record->window, record->message, record->wParam, record->lParam);
    }
    return record->result;
}

void FENETRE::OnPaint(MessageRecord* record) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(record->window, &paint);
    Draw(dc, &paint);
    EndPaint(record->window, &paint);
}

void FENETRE::OnClose(MessageRecord*) { CloseTree(1); }

void FENETRE::OnDestroy(MessageRecord* record) {
    SetWindowLongPtrA(record->window, 0, 0);
    window = nullptr;
    delete this;
}

void FENETRE::OnTimer(MessageRecord*) {}
void FENETRE::OnCreate(MessageRecord*) {}
void FENETRE::OnSetFocus(MessageRecord*) {}
void FENETRE::OnKillFocus(MessageRecord*) {}
void FENETRE::OnMouseMove(MessageRecord*) {}
void FENETRE::OnNcLButtonDown(MessageRecord* record) { record->callDefault = true; }
void FENETRE::OnNcLButtonUp(MessageRecord* record) { record->callDefault = true; }
void FENETRE::OnNcLButtonDblClk(MessageRecord* record) { record->callDefault = true; }
void FENETRE::OnNcPaint(MessageRecord* record) { record->callDefault = true; }
void FENETRE::OnLButtonDblClk(MessageRecord*) {}
void FENETRE::OnLButtonDown(MessageRecord*) {}
void FENETRE::OnLButtonUp(MessageRecord*) {}
void FENETRE::OnRButtonDown(MessageRecord*) {}
void FENETRE::OnRButtonUp(MessageRecord*) {}
void FENETRE::OnKeyUp(MessageRecord*) {}
void FENETRE::OnKeyDown(MessageRecord*) {}
void FENETRE::OnChar(MessageRecord*) {}

// Scroll messages: the code in wParam's low word, the thumb position in its
// high word, the scroll bar in lParam. SB_TOP, SB_BOTTOM and SB_ENDSCROLL
// call nothing.
void FENETRE::OnHScroll(MessageRecord* record) {
    const uint32_t position = HIWORD(record->wParam);
    HWND bar = reinterpret_cast<HWND>(record->lParam);
    switch (LOWORD(record->wParam)) {
        case SB_LINELEFT: OnLineLeft(position); break;
        case SB_LINERIGHT: OnLineRight(position); break;
        case SB_PAGELEFT: OnPageLeft(position); break;
        case SB_PAGERIGHT: OnPageRight(position); break;
        case SB_THUMBPOSITION: OnThumbPositionH(position, bar); break;
        case SB_THUMBTRACK: OnThumbTrackH(position, bar); break;
        default: break;
    }
}

void FENETRE::OnVScroll(MessageRecord* record) {
    const uint32_t position = HIWORD(record->wParam);
    HWND bar = reinterpret_cast<HWND>(record->lParam);
    switch (LOWORD(record->wParam)) {
        case SB_LINEUP: OnLineUp(position); break;
        case SB_LINEDOWN: OnLineDown(position); break;
        case SB_PAGEUP: OnPageUp(position); break;
        case SB_PAGEDOWN: OnPageDown(position); break;
        case SB_THUMBPOSITION: OnThumbPositionV(position, bar); break;
        case SB_THUMBTRACK: OnThumbTrackV(position, bar); break;
        default: break;
    }
}

void FENETRE::OnLineLeft(uint32_t) {}
void FENETRE::OnLineRight(uint32_t) {}
void FENETRE::OnPageLeft(uint32_t) {}
void FENETRE::OnPageRight(uint32_t) {}
void FENETRE::OnThumbTrackH(uint32_t, HWND) {}
void FENETRE::OnThumbPositionH(uint32_t, HWND) {}
void FENETRE::OnLineUp(uint32_t) {}
void FENETRE::OnLineDown(uint32_t) {}
void FENETRE::OnPageUp(uint32_t) {}
void FENETRE::OnPageDown(uint32_t) {}
void FENETRE::OnThumbTrackV(uint32_t, HWND) {}
void FENETRE::OnThumbPositionV(uint32_t, HWND) {}
void FENETRE::OnSize(MessageRecord*) {}
void FENETRE::OnMove(MessageRecord*) {}

void FENETRE::OnCommand(MessageRecord* record) {
    if (RouteCommand(record) == 0) DoCommand(record);
}

void FENETRE::DoCommand(MessageRecord*) {}
void FENETRE::OnSysCommand(MessageRecord*) {}
void FENETRE::OnParentNotify(MessageRecord*) {}

void FENETRE::OnCtlColorEdit(MessageRecord* record) {
    if (EditColouring == 0) {
        record->callDefault = true;
        return;
    }
    record->result =
        reinterpret_cast<LRESULT>(ColourControl(reinterpret_cast<HDC>(record->wParam)));
}

void FENETRE::OnActivate(MessageRecord*) {}
void FENETRE::OnMenuChar(MessageRecord* record) { record->result = 0; }
void FENETRE::OnGetDlgCode(MessageRecord*) {}
void FENETRE::OnSetFont(MessageRecord*) {}

// Log-off and shutdown: allowed only when the application agrees and the
// whole window tree closes.
void FENETRE::OnQueryEndSession(MessageRecord* record) {
    if (CurrentInstanceCanQuit() == 0) return;
    if (CloseTree(1) != 0) record->result = 1;
}

void FENETRE::OnOtherMessage(MessageRecord* record) { record->callDefault = true; }
void FENETRE::OnCreated() {}
void FENETRE::Draw(HDC, PAINTSTRUCT*) {}

int32_t RegisterWindowClasses(HINSTANCE instance) {
    WNDCLASSA c = {};
    c.style = CS_DBLCLKS;
    c.lpfnWndProc = FENETRE::PasseWndProc;
    // One pointer to the bound object: 4 bytes in 32-bit programs, 8 in
    // 64-bit ones.
    c.cbWndExtra = sizeof(LONG_PTR);
    c.hInstance = instance;
    c.hIcon = PALETTE::ChildIcon;
    c.hCursor = PALETTE::ArrowCursor;
    c.hbrBackground = reinterpret_cast<HBRUSH>(PALETTE::ChildClassBackground);
    c.lpszClassName = kChildClassName;
    if (RegisterClassA(&c) == 0) return 0;
    c.style = 0;
    c.hIcon = PALETTE::MainIcon;
    c.hbrBackground = reinterpret_cast<HBRUSH>(PALETTE::MainClassBackground);
    c.lpszClassName = kMainClassName;
    return RegisterClassA(&c) != 0 ? 1 : 0;
}
