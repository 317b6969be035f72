#pragma once
// Paths of the files and folders that live beside the executable.

constexpr int kPathCapacity = 260;

// Writes "<folder of the executable>\<subfolder><fileName>" into `destination` (a buffer of
// kPathCapacity characters), cut to kPathCapacity - 1 characters and always terminated. Either
// argument may be empty (or null). The subfolder carries its own trailing backslash
// ("media\\images\\").
void pathBesideExecutable(char* destination, const char* fileName, const char* subfolder);
