#include <windows.h>

#include "shell/app_strings.h"

int loadStringResource(int id, char* buffer, int capacity) {
    return LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), buffer, capacity);
}
