#pragma once
// The program's texts from the string table, loaded once at start-up into 100-character
// buffers (ids 103 to 114).

constexpr int kStringCapacity = 100;

// The ids IDS_TITLE to IDS_CANNOT_START_TIMER, from the resource script's own list.
#include "resources/resource_ids.h"

// Fills every buffer, in the order 103, 109, 104, 105, 106, 107, 108, 110, 111, 112, 113, 114.
void loadAppStrings();

// The loaded text of a string id (103 to 114); before loading, the built-in text, so code that
// runs without the start-up (tests, tools) shows the same words. Unknown ids give "".
const char* appString(int id);

// The text a string id has in the program's string table, whatever was loaded.
const char* builtInString(int id);

// Where the loaded texts come from: LoadStringA on Windows, the built-in table elsewhere.
// Copies at most capacity - 1 characters and terminates. Returns the number copied.
int loadStringResource(int id, char* buffer, int capacity);
