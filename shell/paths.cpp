#include "shell/paths.h"

#include "platform/window.h"

int folderEnd(const char* path) {
    int cut = -1;
    for (int i = 0; path != nullptr && path[i] != '\0'; ++i) {
        if (platform::isLeadByte(static_cast<unsigned char>(path[i])) && path[i + 1] != '\0')
            ++i;
        else if (path[i] == '\\')
            cut = i;
    }
    return cut;
}

void pathBesideExecutable(char* destination, const char* fileName, const char* subfolder) {
    if (destination == nullptr) return;
    char folder[kPathCapacity];
    platform::executablePath(folder, kPathCapacity);

    const int cut = folderEnd(folder);
    if (cut >= 0) {
        folder[cut] = '\0';
    } else {
        // No folder in the path (only when the system could not tell us): the current one.
        folder[0] = '.';
        folder[1] = '\0';
    }

    // "<folder>\<subfolder><fileName>", cut where the buffer ends, always terminated.
    int used = 0;
    auto append = [&](const char* text) {
        while (text != nullptr && *text != '\0' && used < kPathCapacity - 1)
            destination[used++] = *text++;
    };
    append(folder);
    append("\\");
    append(subfolder);
    append(fileName);
    destination[used] = '\0';
}
