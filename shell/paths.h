#pragma once
// Paths of the files and folders that live beside the executable.

constexpr int kPathCapacity = 260;

// Writes "<folder of the executable>\<subfolder><fileName>" into `destination` (a buffer of
// kPathCapacity characters), cut to kPathCapacity - 1 characters and always terminated. Either
// argument may be empty (or null). The subfolder carries its own trailing backslash
// ("media\\images\\").
void pathBesideExecutable(char* destination, const char* fileName, const char* subfolder);

// Where a path's folder ends: the index of its last backslash, or -1 when it has none. A
// backslash that is the second byte of a double-byte character (0x5C trails many Shift-JIS
// characters) is part of a name, not a separator. The one rule for every cut at a folder.
int folderEnd(const char* path);
