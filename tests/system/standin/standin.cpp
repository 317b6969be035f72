// The stand-in: a small Win32 program that does, in miniature, what the harness must be able to
// watch lyrivox.exe do. It lets the harness prove itself before (and apart from) the real
// program: a main window titled "Lyrivox" with a menu, MIDI sent on a 25 ms multimedia timer
// through the MIDI mapper, wave-in capture at 8000 Hz mono written to a WAV file, a message box
// and the common Open dialog.
//
// Menu commands (WM_COMMAND ids):
//   40001 Open...       GetOpenFileNameA; on OK a message box "Opened [<path>]." captioned "Stand-in"
//   40002 Play          opens the MIDI mapper and sends 15 messages, one per 25 ms tick, then
//                       resets and closes it; a message box "No MIDI output." when the open fails
//   40003 Record        starts wave-in capture (8000 Hz, mono, 16 bit); marks the item
//   40004 Stop Record   stops it, writes standin.wav beside the executable, clears the mark
//                       and greys itself until the next Record; standin-wim.log beside it
//                       has one line per buffer: QueryPerformanceCounter milliseconds at its
//                       WIM_DATA and the bytes it held
//   40005 Message       a message box "Hello from the stand-in.  Two blanks." captioned "Lyrivox"
//   40006 Exit
//   40007 Save As...    GetSaveFileNameA (with overwrite prompt); copies standin.wav to the chosen
//                       name and says "Saved [<path>]." captioned "Stand-in"
//
// The client area is painted dark blue with a yellow 100 x 50 rectangle at (20, 30), so a
// screenshot can be checked pixel by pixel.

#include <windows.h>
#include <commdlg.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

enum Command : WORD {
    cmdOpen = 40001,
    cmdPlay = 40002,
    cmdRecord = 40003,
    cmdStopRecord = 40004,
    cmdMessage = 40005,
    cmdExit = 40006,
    cmdSaveAs = 40007,
};
constexpr UINT playDone = WM_APP + 1;

HWND mainWindow = nullptr;

// ---- MIDI on a multimedia timer ----

HMIDIOUT midiOut = nullptr;
UINT midiTimer = 0;
volatile LONG midiStep = 0;
const DWORD midiScript[] = {
    0x0000C0,           // program change, channel 1, piano
    0x643C90, 0x003C80, // C4 on, off
    0x644090, 0x004080, // E4
    0x644390, 0x004380, // G4
    0x644891, 0x004881, // C5 on channel 2
    0x7F0BB0,           // expression
    0x642399, 0x002389, // a drum on channel 10
    0x643C90, 0x644090, 0x644390,  // a chord left sounding: the reset must end it
};
constexpr LONG midiScriptLength = sizeof midiScript / sizeof midiScript[0];

// LVX_STANDIN_TICKS=N plays N ticks in all, the ticks after the script each sending active
// sensing (0xFE): a long run to see how steady the timer is.
LONG tickCount = midiScriptLength;

void CALLBACK midiTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    LONG step = InterlockedIncrement(&midiStep) - 1;
    if (step < midiScriptLength) {
        midiOutShortMsg(midiOut, midiScript[step]);
    } else if (step < tickCount) {
        midiOutShortMsg(midiOut, 0xFE);
    } else if (step == tickCount) {
        PostMessageA(mainWindow, playDone, 0, 0);
    }
}

void startPlay(HWND window) {
    if (midiOut != nullptr) return;
    if (midiOutOpen(&midiOut, MIDI_MAPPER, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        midiOut = nullptr;
        MessageBoxA(window, "No MIDI output.", "Stand-in", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    midiStep = 0;
    char ticks[16];
    DWORD length = GetEnvironmentVariableA("LVX_STANDIN_TICKS", ticks, sizeof ticks);
    tickCount = length > 0 && length < sizeof ticks ? std::max(std::atol(ticks), midiScriptLength) : midiScriptLength;
    timeBeginPeriod(1);
    midiTimer = timeSetEvent(25, 1, midiTick, 0, TIME_PERIODIC);
}

void stopPlay() {
    if (midiTimer != 0) {
        timeKillEvent(midiTimer);
        timeEndPeriod(1);
        midiTimer = 0;
    }
    if (midiOut != nullptr) {
        midiOutReset(midiOut);
        midiOutClose(midiOut);
        midiOut = nullptr;
    }
}

// ---- wave-in capture ----

constexpr DWORD sampleRate = 8000;
constexpr DWORD bufferBytes = 1600;  // 100 ms
constexpr int bufferCount = 8;  // 800 ms of slack for a busy machine
HWAVEIN waveIn = nullptr;
WAVEHDR headers[bufferCount];
char buffers[bufferCount][bufferBytes];
std::vector<char> captured;
std::vector<double> arrivals;  // when each buffer came back, in QueryPerformanceCounter ms
std::vector<DWORD> arrivalBytes;
bool capturing = false;

double counterMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void startRecord(HWND window) {
    if (waveIn != nullptr) return;
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = sampleRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = sampleRate * 2;
    if (waveInOpen(&waveIn, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW) !=
        MMSYSERR_NOERROR) {
        waveIn = nullptr;
        MessageBoxA(window, "No microphone.", "Stand-in", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    captured.clear();
    arrivals.clear();
    arrivalBytes.clear();
    for (int i = 0; i < bufferCount; ++i) {
        headers[i] = WAVEHDR{};
        headers[i].lpData = buffers[i];
        headers[i].dwBufferLength = bufferBytes;
        waveInPrepareHeader(waveIn, &headers[i], sizeof(WAVEHDR));
        waveInAddBuffer(waveIn, &headers[i], sizeof(WAVEHDR));
    }
    capturing = true;
    waveInStart(waveIn);
    CheckMenuItem(GetMenu(window), cmdRecord, MF_BYCOMMAND | MF_CHECKED);
    EnableMenuItem(GetMenu(window), cmdStopRecord, MF_BYCOMMAND | MF_ENABLED);
}

void putLE(std::vector<char>& out, DWORD value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void pathBeside(char* path, const char* name) {
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = std::strrchr(path, '\\');
    std::strcpy(slash != nullptr ? slash + 1 : path, name);
}

void writeArrivals() {
    char path[MAX_PATH];
    pathBeside(path, "standin-wim.log");
    FILE* log = std::fopen(path, "w");
    if (log == nullptr) return;
    for (size_t i = 0; i < arrivals.size(); ++i) std::fprintf(log, "%.3f %lu\n", arrivals[i], arrivalBytes[i]);
    std::fclose(log);
}

void writeWave() {
    char path[MAX_PATH];
    pathBeside(path, "standin.wav");
    std::vector<char> file;
    const DWORD dataBytes = static_cast<DWORD>(captured.size());
    file.insert(file.end(), {'R', 'I', 'F', 'F'});
    putLE(file, 36 + dataBytes, 4);
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLE(file, 16, 4);
    putLE(file, WAVE_FORMAT_PCM, 2);
    putLE(file, 1, 2);
    putLE(file, sampleRate, 4);
    putLE(file, sampleRate * 2, 4);
    putLE(file, 2, 2);
    putLE(file, 16, 2);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    putLE(file, dataBytes, 4);
    file.insert(file.end(), captured.begin(), captured.end());
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
    CloseHandle(out);
}

void stopRecord() {
    CheckMenuItem(GetMenu(mainWindow), cmdRecord, MF_BYCOMMAND | MF_UNCHECKED);
    EnableMenuItem(GetMenu(mainWindow), cmdStopRecord, MF_BYCOMMAND | MF_GRAYED);
    if (waveIn == nullptr) return;
    capturing = false;
    waveInReset(waveIn);
    for (int i = 0; i < bufferCount; ++i) waveInUnprepareHeader(waveIn, &headers[i], sizeof(WAVEHDR));
    waveInClose(waveIn);
    waveIn = nullptr;
    writeArrivals();
    writeWave();  // last: a test waits for it
}

void onWaveData(WAVEHDR* header) {
    if (!capturing) return;
    arrivals.push_back(counterMs());
    arrivalBytes.push_back(header->dwBytesRecorded);
    captured.insert(captured.end(), header->lpData, header->lpData + header->dwBytesRecorded);
    waveInAddBuffer(waveIn, header, sizeof(WAVEHDR));
}

// ---- dialogs ----

void openFile(HWND window) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = "Midi Files\0*.mid;*.kar\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = "Load Midi/Karaoke File";
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;  // as the real program asks: no OFN_EXPLORER
    dialog.lpstrDefExt = ".mid";
    if (!GetOpenFileNameA(&dialog)) return;
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof text, "Opened [%s].", path);
    MessageBoxA(window, text, "Stand-in", MB_OK);
}

void saveAs(HWND window) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = "Wave Files\0*.wav\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = "Save Wave File";
    dialog.lpstrDefExt = ".wav";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN;
    if (!GetSaveFileNameA(&dialog)) return;
    char source[MAX_PATH];
    pathBeside(source, "standin.wav");
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof text, CopyFileA(source, path, FALSE) ? "Saved [%s]." : "Could not save [%s].", path);
    MessageBoxA(window, text, "Stand-in", MB_OK);
}

void paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH background = CreateSolidBrush(RGB(0, 0, 128));
    HBRUSH mark = CreateSolidBrush(RGB(255, 255, 0));
    FillRect(dc, &client, background);
    RECT box = {20, 30, 120, 80};
    FillRect(dc, &box, mark);
    DeleteObject(background);
    DeleteObject(mark);
    EndPaint(window, &ps);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case cmdOpen: openFile(window); return 0;
        case cmdPlay: startPlay(window); return 0;
        case cmdRecord: startRecord(window); return 0;
        case cmdStopRecord: stopRecord(); return 0;
        case cmdMessage:
            MessageBoxA(window, "Hello from the stand-in.  Two blanks.", "Lyrivox", MB_OK | MB_ICONINFORMATION);
            return 0;
        case cmdExit: DestroyWindow(window); return 0;
        case cmdSaveAs: saveAs(window); return 0;
        }
        break;
    case playDone:
        stopPlay();
        return 0;
    case MM_WIM_DATA:
        onWaveData(reinterpret_cast<WAVEHDR*>(lParam));
        return 0;
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_DESTROY:
        stopPlay();
        stopRecord();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HMENU buildMenu() {
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, cmdOpen, "&Open...");
    AppendMenuA(file, MF_STRING, cmdPlay, "&Play");
    AppendMenuA(file, MF_STRING, cmdRecord, "&Record");
    AppendMenuA(file, MF_STRING | MF_GRAYED, cmdStopRecord, "S&top Record");
    AppendMenuA(file, MF_STRING, cmdSaveAs, "Save &As...");
    AppendMenuA(file, MF_STRING, cmdMessage, "&Message");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, cmdExit, "E&xit");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    return bar;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "LyrivoxStandIn";
    RegisterClassA(&windowClass);

    HMENU menu = buildMenu();
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT outer = {0, 0, 640, 480};
    AdjustWindowRect(&outer, style, TRUE);
    mainWindow = CreateWindowA("LyrivoxStandIn", "Lyrivox", style, CW_USEDEFAULT, CW_USEDEFAULT,
                               outer.right - outer.left, outer.bottom - outer.top, nullptr, menu, instance, nullptr);
    if (mainWindow == nullptr) return 1;
    ShowWindow(mainWindow, show);
    UpdateWindow(mainWindow);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
