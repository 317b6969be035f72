#include "shell/app_strings.h"

#include <cstring>

#include "resources/strings.h"

namespace {

struct Entry {
    int id;
    const char* text;
};

constexpr Entry kBuiltIn[] = {
    {103, LVX_STR_103}, {109, LVX_STR_109}, {104, LVX_STR_104}, {105, LVX_STR_105},
    {106, LVX_STR_106}, {107, LVX_STR_107}, {108, LVX_STR_108}, {110, LVX_STR_110},
    {111, LVX_STR_111}, {112, LVX_STR_112}, {113, LVX_STR_113}, {114, LVX_STR_114},
};
constexpr int kCount = sizeof(kBuiltIn) / sizeof(kBuiltIn[0]);

char loaded[kCount][kStringCapacity];
bool isLoaded = false;

int slotOf(int id) {
    for (int i = 0; i < kCount; ++i)
        if (kBuiltIn[i].id == id) return i;
    return -1;
}

}  // namespace

const char* builtInString(int id) {
    int slot = slotOf(id);
    return slot < 0 ? "" : kBuiltIn[slot].text;
}

void loadAppStrings() {
    for (int i = 0; i < kCount; ++i) loadStringResource(kBuiltIn[i].id, loaded[i], kStringCapacity);
    isLoaded = true;
}

const char* appString(int id) {
    int slot = slotOf(id);
    if (slot < 0) return "";
    return isLoaded ? loaded[slot] : kBuiltIn[slot].text;
}
