#pragma once
// The program's texts from the string table, loaded once at start-up into 100-character
// buffers (ids 103 to 114).

constexpr int kStringCapacity = 100;

constexpr int IDS_TITLE = 103;
constexpr int IDS_CANNOT_CREATE_RECORDING = 104;
constexpr int IDS_CANNOT_OPEN_WAVE_IN = 105;
constexpr int IDS_CANNOT_PREPARE_HEADER = 106;
constexpr int IDS_CANNOT_CLOSE_WAVE_IN = 107;
constexpr int IDS_CANNOT_START_RECORDING = 108;
constexpr int IDS_CLASS_NAME = 109;
constexpr int IDS_CANNOT_LOAD_GRAPHICS = 110;
constexpr int IDS_BUFFER_LIMITS = 111;
constexpr int IDS_CANNOT_KILL_TIMER = 112;
constexpr int IDS_CANNOT_CLOSE_MIDI = 113;
constexpr int IDS_CANNOT_START_TIMER = 114;

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
