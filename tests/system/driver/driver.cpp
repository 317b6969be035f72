// lvx-driver: drives another program's windows from the outside, for shell scripts.
//
// Runs under the same Wine prefix and display as the program under test. Every subcommand
// prints its result on stdout (one item a line, Unix line ends) and exits 0 on success, 1 on a
// usage error, 2 when what it waited for did not come in time, 3 when an action did not take.
//
// A WINDOW argument is a handle ("0x1a2b", as printed by `wait`), "class=<name>", or a title.
//
//   wait WINDOW [SECONDS]              wait for a visible top-level window; prints its handle
//   wait-close WINDOW [SECONDS]        wait until the window is gone
//   command WINDOW ID                  post WM_COMMAND with the id (a menu command)
//   send WINDOW MSG WPARAM LPARAM [SECONDS]
//                                      send a message (numbers: decimal or 0x hex) and wait (10 s
//                                      unless told) for the window's answer, as Windows sends the
//                                      end-of-session messages; prints the result; exit 2 when
//                                      none came
//   close WINDOW                       post WM_CLOSE
//   show WINDOW normal|minimize|maximize|restore
//   move WINDOW X Y WIDTH HEIGHT       set the outer rectangle
//   client-size WINDOW                 prints "<width> <height>" of the client area
//   window-rect WINDOW                 prints "<x> <y> <width> <height>" of the outer rectangle
//   title WINDOW                       prints the window text
//   fill-dialog PATH [SECONDS]         find an open/save dialog, type PATH as the file name, press
//                                      OK; prints "closed" (exit 0), or "open" (exit 3) when the
//                                      dialog stays, e.g. behind a question of its own (answer it
//                                      with message-box)
//   message-box [SECONDS] [--press ID|--keep]
//                                      find a message box, print its caption on the first line
//                                      and its text after it; then press OK (or button ID), or
//                                      leave it open with --keep
//   dialog [TITLE] [SECONDS]           find a dialog (by title, or any), print "<handle> <title>"
//                                      and then one line per control: "<id> <class> <text>"
//   press DIALOG ID                    press a dialog's button (posts WM_COMMAND ID, BN_CLICKED)
//   keys WINDOW KEY...                 bring the window to the front and type keys through the
//                                      input queue, as a user would: each KEY is a name (a-z, 0-9,
//                                      f1-f12, enter, escape, up, down, left, right, / or ?) with
//                                      optional modifiers, e.g. alt+f, ctrl+o, alt+shift+/
//   menu WINDOW                        the window's menu as its owner sees it, one item a line,
//                                      depth first: "<id> <state> <text>", state "enabled" or
//                                      "grayed" with "+checked" when marked (through lvx-hook.dll,
//                                      which must sit beside this program)
//   screenshot WINDOW FILE.bmp [--whole]
//                                      copy the client area (or the whole window) from the
//                                      screen to a 24-bit BMP

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int exitUsage = 1;
constexpr int exitTimeout = 2;
constexpr int exitFailed = 3;

constexpr int fileNameCombo = 1148;  // cmb13, the file-name box of the (explorer-style) dialogs
constexpr int messageTextId = 0xFFFF;
constexpr int messageIconId = 1088;

void out(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void fail(const std::string& message) {
    std::fprintf(stderr, "lvx-driver: %s\n", message.c_str());
}

std::string handleText(HWND window) {
    char text[32];
    // long is 32 bits even in 64-bit Windows: a handle is printed at its full pointer width.
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

std::string windowText(HWND window) {
    // WM_GETTEXT crosses processes; GetWindowText would not read another process's controls.
    char text[4096] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        nullptr);
    return text;
}

std::string className(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

long number(const char* text) {
    return std::strtol(text, nullptr, 0);
}

double seconds(int argc, char** argv, int index, double fallback) {
    return index < argc && argv[index][0] != '-' ? std::atof(argv[index]) : fallback;
}

// Polls until found() returns non-null or the time runs out.
template <typename Find>
HWND poll(double timeoutSeconds, Find found) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = found()) return window;
        if (GetTickCount() - start > static_cast<DWORD>(timeoutSeconds * 1000.0)) return nullptr;
        Sleep(50);
    }
}

struct Spec {
    HWND handle = nullptr;
    std::string className;
    std::string title;
};

Spec parseSpec(const std::string& text) {
    Spec spec;
    if (text.rfind("0x", 0) == 0) {
        spec.handle = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text.c_str(), nullptr, 16)));
    } else if (text.rfind("class=", 0) == 0) {
        spec.className = text.substr(6);
    } else {
        spec.title = text;
    }
    return spec;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// Top-level windows, topmost first.
std::vector<HWND> topLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND findWindow(const Spec& spec) {
    if (spec.handle != nullptr) return IsWindow(spec.handle) ? spec.handle : nullptr;
    for (HWND window : topLevelWindows()) {
        if (!IsWindowVisible(window)) continue;
        if (!spec.className.empty()) {
            if (className(window) == spec.className) return window;
            continue;
        }
        if (windowText(window) == spec.title) return window;
    }
    return nullptr;
}

HWND requireWindow(const char* text) {
    HWND window = findWindow(parseSpec(text));
    if (window == nullptr) fail(std::string("no window ") + text);
    return window;
}

bool isDialog(HWND window) {
    return IsWindowVisible(window) && className(window) == "#32770";
}

HWND fileNameBox(HWND dialog) {
    return GetDlgItem(dialog, fileNameCombo);
}

HWND findFileDialog() {
    for (HWND window : topLevelWindows())
        if (isDialog(window) && fileNameBox(window) != nullptr) return window;
    return nullptr;
}

// A message box, as Wine builds it: the text in static 0xFFFF and an icon control 1088 (there
// even when the box shows no icon). Dialogs of the program may also have a static 0xFFFF (the
// About box does) but not the icon control.
HWND findMessageBox() {
    for (HWND window : topLevelWindows()) {
        if (!isDialog(window) || fileNameBox(window) != nullptr) continue;
        HWND text = GetDlgItem(window, messageTextId);
        if (text != nullptr && className(text) == "Static" && GetDlgItem(window, messageIconId) != nullptr)
            return window;
    }
    return nullptr;
}

void pressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool waitGone(HWND window, double timeoutSeconds) {
    return poll(timeoutSeconds, [&]() -> HWND { return IsWindow(window) && IsWindowVisible(window) ? nullptr : window; }) !=
           nullptr;
}

// ---- subcommands ----

int wait(int argc, char** argv) {
    if (argc < 1) return exitUsage;
    const Spec spec = parseSpec(argv[0]);
    HWND window = poll(seconds(argc, argv, 1, 20), [&] { return findWindow(spec); });
    if (window == nullptr) {
        fail(std::string("no window ") + argv[0] + " in time");
        return exitTimeout;
    }
    out(handleText(window));
    return 0;
}

int waitClose(int argc, char** argv) {
    if (argc < 1) return exitUsage;
    const Spec spec = parseSpec(argv[0]);
    HWND window = findWindow(spec);
    if (window == nullptr) return 0;
    if (!waitGone(window, seconds(argc, argv, 1, 20))) {
        fail(std::string("window ") + argv[0] + " still there");
        return exitTimeout;
    }
    return 0;
}

int post(HWND window, UINT message, WPARAM wParam) {
    if (!PostMessageA(window, message, wParam, 0)) {
        fail("PostMessage failed");
        return exitFailed;
    }
    return 0;
}

int send(HWND window, int argc, char** argv) {
    const UINT seconds = argc >= 5 ? static_cast<UINT>(number(argv[4])) : 10;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, static_cast<UINT>(number(argv[1])), static_cast<WPARAM>(number(argv[2])),
                             static_cast<LPARAM>(number(argv[3])), SMTO_NORMAL, seconds * 1000, &result)) {
        fail("no answer to the message");
        return exitTimeout;
    }
    out(std::to_string(static_cast<unsigned long>(result)));
    return 0;
}

int show(HWND window, int, char** argv) {
    const std::string how = argv[1];
    int command = how == "minimize" ? SW_MINIMIZE
                  : how == "maximize" ? SW_MAXIMIZE
                  : how == "restore"  ? SW_RESTORE
                                      : SW_SHOWNORMAL;
    ShowWindowAsync(window, command);
    return 0;
}

int move(HWND window, int, char** argv) {
    if (!SetWindowPos(window, nullptr, static_cast<int>(number(argv[1])), static_cast<int>(number(argv[2])),
                      static_cast<int>(number(argv[3])), static_cast<int>(number(argv[4])),
                      SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS))
        return exitFailed;
    return 0;
}

int clientSize(HWND window, int, char**) {
    RECT client;
    if (!GetClientRect(window, &client)) return exitFailed;
    out(std::to_string(client.right) + " " + std::to_string(client.bottom));
    return 0;
}

int windowRect(HWND window, int, char**) {
    RECT outer;
    if (!GetWindowRect(window, &outer)) return exitFailed;
    out(std::to_string(outer.left) + " " + std::to_string(outer.top) + " " + std::to_string(outer.right - outer.left) +
        " " + std::to_string(outer.bottom - outer.top));
    return 0;
}

int fillDialog(int argc, char** argv) {
    if (argc < 1) return exitUsage;
    HWND dialog = poll(seconds(argc, argv, 1, 20), findFileDialog);
    if (dialog == nullptr) {
        fail("no open/save dialog in time");
        return exitTimeout;
    }
    HWND box = fileNameBox(dialog);
    SendMessageTimeoutA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[0]), SMTO_ABORTIFHUNG, 5000, nullptr);
    if (windowText(box) != argv[0]) {
        fail("the file name did not take");
        return exitFailed;
    }
    pressButton(dialog, IDOK);
    // Either the dialog goes, or it stays behind a question or complaint of its own (a file
    // that exists, a folder that does not): that shows as a message box owned by the dialog.
    HWND outcome = poll(5, [&]() -> HWND {
        if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return dialog;
        HWND question = findMessageBox();
        return question != nullptr && GetWindow(question, GW_OWNER) == dialog ? question : nullptr;
    });
    if (outcome != dialog) {
        out("open");
        return exitFailed;
    }
    out("closed");
    return 0;
}

int messageBox(int argc, char** argv) {
    double timeout = 20;
    int press = IDOK;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0) press = 0;
        else if (std::strcmp(argv[i], "--press") == 0 && i + 1 < argc) press = static_cast<int>(number(argv[++i]));
        else timeout = std::atof(argv[i]);
    }
    HWND box = poll(timeout, findMessageBox);
    if (box == nullptr) {
        fail("no message box in time");
        return exitTimeout;
    }
    out(windowText(box));
    out(windowText(GetDlgItem(box, messageTextId)));
    if (press == 0) return 0;
    pressButton(box, press);
    if (!waitGone(box, 5)) {
        fail("the message box stayed");
        return exitFailed;
    }
    return 0;
}

int dialog(int argc, char** argv) {
    std::string title;
    double timeout = 20;
    if (argc >= 1) title = argv[0];
    if (argc >= 2) timeout = std::atof(argv[1]);
    HWND found = poll(timeout, [&]() -> HWND {
        for (HWND window : topLevelWindows())
            if (isDialog(window) && (title.empty() || windowText(window) == title)) return window;
        return nullptr;
    });
    if (found == nullptr) {
        fail("no dialog in time");
        return exitTimeout;
    }
    out(handleText(found) + " " + windowText(found));
    for (HWND child = GetWindow(found, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        out(std::to_string(GetDlgCtrlID(child) & 0xFFFF) + " " + className(child) + " " + windowText(child));
    }
    return 0;
}

int screenshot(HWND window, int argc, char** argv) {
    const bool whole = argc >= 3 && std::strcmp(argv[2], "--whole") == 0;
    RECT area;
    if (whole) {
        GetWindowRect(window, &area);
    } else {
        GetClientRect(window, &area);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&area), 2);
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        fail("the window has no area");
        return exitFailed;
    }
    // The pixels are taken from the screen: the window belongs to another process, so its own
    // device context cannot be painted into from here, but the X server holds what it shows.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    // A 24-bit bottom-up BMP: the header GetDIBits fills the pixels by is the file's.
    const DWORD bytes = static_cast<DWORD>(((width * 3 + 3) & ~3) * height);
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, bytes, 0, 0, 0, 0};
    const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof info;
    BITMAPFILEHEADER file = {0x4D42, headers + bytes, 0, 0, headers};
    std::vector<unsigned char> pixels(bytes);
    const int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    FILE* f = std::fopen(argv[1], "wb");
    const bool written = f != nullptr && std::fwrite(&file, sizeof file, 1, f) == 1 &&
                         std::fwrite(&info, sizeof info, 1, f) == 1 && std::fwrite(pixels.data(), 1, bytes, f) == bytes;
    if (f != nullptr && std::fclose(f) != 0) return exitFailed;
    if (lines != height || !written) {
        fail("could not grab or write the picture");
        return exitFailed;
    }
    out(std::to_string(width) + " " + std::to_string(height));
    return 0;
}

WORD keyCode(const std::string& name) {
    struct Named {
        const char* name;
        WORD key;
    };
    static const Named table[] = {{"enter", VK_RETURN}, {"escape", VK_ESCAPE}, {"up", VK_UP},   {"down", VK_DOWN},
                                  {"left", VK_LEFT},    {"right", VK_RIGHT},    {"/", VK_OEM_2}, {"?", VK_OEM_2}};
    for (const Named& entry : table)
        if (name == entry.name) return entry.key;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return static_cast<WORD>(std::toupper(static_cast<unsigned char>(name[0])));
    if (name.size() >= 2 && name[0] == 'f' && std::isdigit(static_cast<unsigned char>(name[1]))) {
        const int n = std::atoi(name.c_str() + 1);
        if (n >= 1 && n <= 12) return static_cast<WORD>(VK_F1 + n - 1);
    }
    return 0;
}

INPUT keyInput(WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

int keys(HWND window, int argc, char** argv) {
    SetForegroundWindow(window);
    Sleep(100);
    for (int i = 1; i < argc; ++i) {
        // "alt+shift+/": modifiers down in order, the key down and up, modifiers up in reverse.
        std::vector<WORD> held;
        std::string rest = argv[i];
        for (;;) {
            const size_t plus = rest.find('+', 1);
            if (plus == std::string::npos) break;
            const std::string modifier = rest.substr(0, plus);
            rest = rest.substr(plus + 1);
            if (modifier == "alt") held.push_back(VK_MENU);
            else if (modifier == "ctrl") held.push_back(VK_CONTROL);
            else if (modifier == "shift") held.push_back(VK_SHIFT);
            else {
                fail("unknown modifier " + modifier);
                return exitUsage;
            }
        }
        const WORD key = keyCode(rest);
        if (key == 0) {
            fail("unknown key " + rest);
            return exitUsage;
        }
        std::vector<INPUT> inputs;
        for (WORD modifier : held) inputs.push_back(keyInput(modifier, false));
        inputs.push_back(keyInput(key, false));
        inputs.push_back(keyInput(key, true));
        for (auto it = held.rbegin(); it != held.rend(); ++it) inputs.push_back(keyInput(*it, true));
        if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
            fail("SendInput failed");
            return exitFailed;
        }
        Sleep(50);
    }
    return 0;
}

// Wine does not let another process read a menu, so the question is asked from inside: a
// message hook in lvx-hook.dll, loaded into the program's GUI thread, answers into shared memory.
int menu(HWND window, int, char**) {
    DWORD targetPid = 0;
    const DWORD targetThread = GetWindowThreadProcessId(window, &targetPid);

    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = std::strrchr(path, '\\');
    std::strcpy(slash != nullptr ? slash + 1 : path, "lvx-hook.dll");
    HMODULE hookModule = LoadLibraryA(path);
    auto hookProc = hookModule != nullptr
                        ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hookModule, "lvxGetMessageHook")))
                        : nullptr;
    if (hookProc == nullptr) {
        fail(std::string("cannot load ") + path);
        return exitFailed;
    }
    const std::string suffix = std::to_string(GetCurrentProcessId());
    constexpr DWORD answerBytes = 64 * 1024;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, answerBytes,
                                        ("lvx-query-" + suffix).c_str());
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, ("lvx-query-done-" + suffix).c_str());
    auto* answer = mapping != nullptr ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, answerBytes))
                                      : nullptr;
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, hookProc, hookModule, targetThread);
    int status = exitFailed;
    if (answer == nullptr || done == nullptr || hook == nullptr) {
        fail("cannot set up the query");
    } else {
        PostMessageA(window, RegisterWindowMessageA("LvxDriverQuery"), GetCurrentProcessId(), 0);
        if (WaitForSingleObject(done, 5000) == WAIT_OBJECT_0) {
            std::fputs(answer, stdout);
            std::fflush(stdout);
            status = 0;
        } else {
            fail("no answer from inside the program");
            status = exitTimeout;
        }
    }
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    return status;  // the mapping and the event go with this process
}

int usage() {
    fail("usage: lvx-driver wait|wait-close|command|close|show|move|client-size|window-rect|title|"
         "fill-dialog|message-box|dialog|press|keys|menu|screenshot ...");
    return exitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string verb = argv[1];
    argc -= 2;
    argv += 2;
    if (verb == "wait") return wait(argc, argv);
    if (verb == "wait-close") return waitClose(argc, argv);
    if (verb == "fill-dialog") return fillDialog(argc, argv);
    if (verb == "message-box") return messageBox(argc, argv);
    if (verb == "dialog") return dialog(argc, argv);
    // The verbs that work one window, named by their first argument: found once, here.
    using WindowVerb = int (*)(HWND, int, char**);
    static const struct {
        const char* name;
        int arguments;
        WindowVerb run;
    } windowVerbs[] = {
        {"command", 2, [](HWND w, int, char** a) { return post(w, WM_COMMAND, static_cast<WPARAM>(number(a[1]))); }},
        {"close", 1, [](HWND w, int, char**) { return post(w, WM_CLOSE, 0); }},
        {"title", 1, [](HWND w, int, char**) { return out(windowText(w)), 0; }},
        {"press", 2, [](HWND w, int, char** a) { return pressButton(w, static_cast<int>(number(a[1]))), 0; }},
        {"send", 4, send}, {"show", 2, show}, {"move", 5, move}, {"client-size", 1, clientSize},
        {"window-rect", 1, windowRect}, {"menu", 1, menu}, {"keys", 2, keys}, {"screenshot", 2, screenshot},
    };
    for (const auto& windowVerb : windowVerbs) {
        if (verb != windowVerb.name) continue;
        if (argc < windowVerb.arguments) return exitUsage;
        HWND window = requireWindow(argv[0]);
        return window == nullptr ? exitFailed : windowVerb.run(window, argc, argv);
    }
    return usage();
}
