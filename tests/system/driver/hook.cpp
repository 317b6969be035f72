// lvx-hook.dll: the test driver's hands inside the program under test.
//
// Some things a window's owner can see and no other process can: under Wine, GetMenuState on
// another process's menu fails. So the driver hooks the program's GUI thread (WH_GETMESSAGE with
// this DLL, which Wine loads into the program), posts it the registered message
// "LvxDriverQuery" with its own process id, and this hook answers from inside: it writes the
// answer into the shared memory "lvx-query-<pid>" and sets the event "lvx-query-done-<pid>".
//
// The answer: the menu bar of the window the message went to, one line per item, depth first:
// "<id> <state> <text>" with state "enabled" or "grayed", "+checked" when marked; popups have id
// "popup", separators "separator".

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD answerBytes = 64 * 1024;

// Appends to the answer, a string that must stay within answerBytes.
void append(char* answer, const char* line) {
    if (std::strlen(answer) + std::strlen(line) < answerBytes) std::strcat(answer, line);
}

void describeMenu(char* answer, HMENU menu, int depth) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &item)) continue;
        char id[16];
        if (item.hSubMenu != nullptr) std::strcpy(id, "popup");
        else if (item.fType & MFT_SEPARATOR) std::strcpy(id, "separator");
        else std::snprintf(id, sizeof id, "%u", item.wID);
        char line[400];
        std::snprintf(line, sizeof line, "%*s%s %s%s %s\n", depth * 2, "", id,
                      (item.fState & MFS_GRAYED) ? "grayed" : "enabled", (item.fState & MFS_CHECKED) ? "+checked" : "",
                      text);
        append(answer, line);
        if (item.hSubMenu != nullptr) describeMenu(answer, item.hSubMenu, depth + 1);
    }
}

void answerQuery(HWND window, DWORD driverPid) {
    char name[64];
    std::snprintf(name, sizeof name, "lvx-query-%lu", static_cast<unsigned long>(driverPid));
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (mapping == nullptr) return;
    auto* text = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, answerBytes));
    if (text != nullptr) {
        text[0] = '\0';
        if (HMENU menu = GetMenu(window)) describeMenu(text, menu, 0);
        else append(text, "no menu\n");
        UnmapViewOfFile(text);
    }
    CloseHandle(mapping);
    std::snprintf(name, sizeof name, "lvx-query-done-%lu", static_cast<unsigned long>(driverPid));
    if (HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, name)) {
        SetEvent(done);
        CloseHandle(done);
    }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK lvxGetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    const UINT queryMessage = RegisterWindowMessageA("LvxDriverQuery");
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        if (message->message == queryMessage)
            answerQuery(message->hwnd, static_cast<DWORD>(message->wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
