#include <cstring>

#include "shell/app_strings.h"

// The host has no resources: the built-in texts are the string table.
int loadStringResource(int id, char* buffer, int capacity) {
    if (capacity <= 0) return 0;
    const char* text = builtInString(id);
    int count = static_cast<int>(std::strlen(text));
    if (count > capacity - 1) count = capacity - 1;
    std::memcpy(buffer, text, static_cast<size_t>(count));
    buffer[count] = '\0';
    return count;
}
