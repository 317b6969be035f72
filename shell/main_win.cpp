// The Windows entry: window class, main window, message loop, the window procedure's message
// cracking and the About box. Everything a message does lives in shell/commands.cpp.
#include <windows.h>

#include "platform/window.h"
#include "shell/app_strings.h"
#include "shell/command_ids.h"
#include "shell/commands.h"
#include "shell/settings.h"
#include "stage/painter.h"
#include "stage/stage.h"
#include "voice/pitch.h"

namespace {

HINSTANCE instance;

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    WORD id = LOWORD(wParam);
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(dialog, id);
        return TRUE;
    }
    if (id == kMakerLineControl) onMakerLine(HIWORD(wParam));
    return FALSE;
}

void paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    paintStage(PaintRequest{reinterpret_cast<platform::Surface>(dc),
                            Rect{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom}});
    EndPaint(window, &ps);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETMINMAXINFO:
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{100, 100};
            return 0;
        case WM_DESTROY:
            releaseResources();
            PostQuitMessage(0);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) endSession();
            return 0;
        case WM_SIZE:
            onSize(static_cast<unsigned>(wParam));
            return 0;
        case WM_PAINT:
            paint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the back buffer covers everything
        case WM_COMMAND:
            if (LOWORD(wParam) == kCmdAbout) {
                DialogBoxParamA(instance, MAKEINTRESOURCEA(kAboutDialogResource), window, aboutProcedure, 0);
                return 0;
            }
            if (handleCommand(LOWORD(wParam))) return 0;
            break;
        case WM_ENTERSIZEMOVE:
            onEnterSizeMove();
            return 0;
        case WM_EXITSIZEMOVE:
            onExitSizeMove();
            return 0;
        case WM_VOICE:
            handleVoice(LOWORD(wParam), static_cast<uint32_t>(lParam));
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerWindowClass(HINSTANCE inst) {
    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProcedure;
    wc.hInstance = inst;
    wc.hIcon = LoadIconA(inst, MAKEINTRESOURCEA(kLargeIconResource));
    wc.hIconSm = LoadIconA(inst, MAKEINTRESOURCEA(kSmallIconResource));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(kMenuResource);
    wc.lpszClassName = appString(IDS_CLASS_NAME);
    RegisterClassExA(&wc);
}

// Gives the window the client size asked for, measured on the window itself: AdjustWindowRect
// counts a menu bar of one row, and a narrow window's menu wraps onto more. The window is kept
// inside the work area, whatever size the options ask for. Twice, since a window cut to the
// screen's width may wrap its menu anew.
void placeWindow(HWND window, int32_t clientWidth, int32_t clientHeight) {
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return;
    for (int pass = 0; pass < 2; ++pass) {
        RECT outer, client;
        if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client)) return;
        LONG width = outer.right - outer.left + clientWidth - client.right;
        LONG height = outer.bottom - outer.top + clientHeight - client.bottom;
        if (width > work.right - work.left) width = work.right - work.left;
        if (height > work.bottom - work.top) height = work.bottom - work.top;
        LONG x = outer.left, y = outer.top;
        if (x + width > work.right) x = work.right - width;
        if (y + height > work.bottom) y = work.bottom - height;
        if (x < work.left) x = work.left;
        if (y < work.top) y = work.top;
        SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

int createMainWindow(HINSTANCE inst, int showState) {
    loadOptions();
    instance = inst;

    // The saved sizes are client sizes: the frame and the menu are added around them so the
    // window opens exactly as large as it was closed. (The sizing at creation already
    // overwrites the settings with what came out.)
    const int32_t clientWidth = settings.windowWidth;
    const int32_t clientHeight = settings.windowHeight;
    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, TRUE);
    HWND window = CreateWindowExA(0, appString(IDS_CLASS_NAME), appString(IDS_TITLE),
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                  nullptr, inst, nullptr);
    if (!window) return 0;
    platform::setMainWindow(window);
    placeWindow(window, clientWidth, clientHeight);

    createStageSurfaces();
    chooseFirstBackground();

    ShowWindow(window, showState);
    UpdateWindow(window);
    postMenuMarks();
    return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int showState) {
    buildFixedPaths();
    loadAppStrings();
    registerWindowClass(inst);
    if (!createMainWindow(inst, showState)) return 0;

    HACCEL accelerators = LoadAcceleratorsA(inst, MAKEINTRESOURCEA(kAcceleratorResource));
    // GetMessageA gives -1 when it fails, even on its first call: the loop ends then too, and
    // only a WM_QUIT's code is returned.
    MSG msg{};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return got == 0 ? static_cast<int>(msg.wParam) : 1;
}
