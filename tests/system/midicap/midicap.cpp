// A MIDI output driver that plays nothing and writes down everything it is sent.
//
// Built as midimap.dll and put beside the program under test, it takes the place of Wine's MIDI
// mapper when Wine runs with WINEDLLOVERRIDES=midimap=n: the program's midiOutOpen on the
// mapper then lands here. Each line of the log is
//
//     <milliseconds> <what> [bytes]
//
// with milliseconds from QueryPerformanceCounter (three decimals), and <what> one of
// LOAD, OPEN, OPEN-FAILED, OPEN-BUSY, DATA (status and data bytes, hex), RESET, CLOSE, FREE.
// The program sends channel messages only: system exclusive buffers and volume are refused as
// unsupported. Under Wine the counter is the Linux monotonic clock, so the harness can
// line these times up with the times at which it fed the microphone.
//
// Environment:
//   LYRIVOX_MIDI_LOG   where to write (a Windows path; Z:\... reaches any Unix path); without
//                      it, midicap.log beside this dll
//   LYRIVOX_MIDI_FAIL  when set and not "0", every open fails with MMSYSERR_ALLOCATED, as when
//                      no MIDI device can be had
//   LYRIVOX_MIDI_CLOSE_FAIL  when set and not "0", every close closes the device and then
//                      reports MMSYSERR_ERROR, so the program's stop shows its message box

#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <cstdio>
#include <cstring>

extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message,
                                      DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

namespace {

HMODULE thisModule = nullptr;
CRITICAL_SECTION logLock;
HANDLE logFile = INVALID_HANDLE_VALUE;
LARGE_INTEGER counterFrequency;

// One open of the device: what winmm gave us to call back with.
struct OpenDevice {
    MIDIOPENDESC desc;
    WORD callbackFlags;
    bool open;
};
OpenDevice device = {};

double nowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(counterFrequency.QuadPart);
}

void openLog() {
    if (logFile != INVALID_HANDLE_VALUE) return;
    char path[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableA("LYRIVOX_MIDI_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        n = GetModuleFileNameA(thisModule, path, MAX_PATH);
        char* slash = std::strrchr(path, '\\');
        if (slash == nullptr) slash = path - 1;
        std::strcpy(slash + 1, "midicap.log");
    }
    // Appending with sharing open so a test can read the log while the program still runs, and
    // so two opens in one run (or two runs) leave one growing record.
    logFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// One line a call, written at once, so that a reader never sees half of one.
void writeLine(const char* what, const unsigned char* bytes, size_t count) {
    EnterCriticalSection(&logLock);
    openLog();
    if (logFile != INVALID_HANDLE_VALUE) {
        char line[96];
        int length = std::snprintf(line, sizeof line, "%.3f %s", nowMs(), what);
        for (size_t i = 0; i < count; ++i)
            length += std::snprintf(line + length, sizeof line - static_cast<size_t>(length),
                                    " %02x", bytes[i]);
        line[length++] = '\n';
        DWORD written = 0;
        WriteFile(logFile, line, static_cast<DWORD>(length), &written, nullptr);
    }
    LeaveCriticalSection(&logLock);
}

void notify(DWORD message, DWORD_PTR param1) {
    DriverCallback(device.desc.dwCallback, device.callbackFlags, reinterpret_cast<HDRVR>(device.desc.hMidi), message,
                   device.desc.dwInstance, param1, 0);
}

bool switchedOn(const char* variable) {
    char value[16];
    DWORD n = GetEnvironmentVariableA(variable, value, sizeof value);
    return n > 0 && n < sizeof value && std::strcmp(value, "0") != 0;
}

DWORD getDevCaps(MIDIOUTCAPSA* caps, DWORD_PTR size) {
    if (caps == nullptr) return MMSYSERR_INVALPARAM;
    MIDIOUTCAPSA full = {};
    full.wMid = 0xFF;  // MM_UNMAPPED
    full.wPid = 0xFFFF;
    full.vDriverVersion = 0x0100;
    std::strcpy(full.szPname, "Lyrivox MIDI capture");
    full.wTechnology = MOD_MAPPER;
    full.wChannelMask = 0xFFFF;
    std::memcpy(caps, &full, size < sizeof full ? size : sizeof full);
    return MMSYSERR_NOERROR;
}

DWORD openDevice(MIDIOPENDESC* desc, DWORD flags) {
    if (switchedOn("LYRIVOX_MIDI_FAIL")) {
        writeLine("OPEN-FAILED", nullptr, 0);
        return MMSYSERR_ALLOCATED;
    }
    if (device.open) {
        writeLine("OPEN-BUSY", nullptr, 0);
        return MMSYSERR_ALLOCATED;
    }
    if (desc == nullptr) return MMSYSERR_INVALPARAM;
    device.desc = *desc;
    device.callbackFlags = HIWORD(flags & CALLBACK_TYPEMASK);
    device.open = true;
    writeLine("OPEN", nullptr, 0);
    notify(MOM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

DWORD closeDevice() {
    if (!device.open) return MMSYSERR_ERROR;
    writeLine("CLOSE", nullptr, 0);
    notify(MOM_CLOSE, 0);
    device.open = false;
    return switchedOn("LYRIVOX_MIDI_CLOSE_FAIL") ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

DWORD shortMessage(DWORD message) {
    unsigned char bytes[3] = {static_cast<unsigned char>(message & 0xFF),
                              static_cast<unsigned char>((message >> 8) & 0xFF),
                              static_cast<unsigned char>((message >> 16) & 0xFF)};
    // Program change and channel pressure carry one data byte, the rest of the channel
    // messages two; system messages are logged whole.
    size_t count = 3;
    unsigned char kind = bytes[0] & 0xF0;
    if (kind == 0xC0 || kind == 0xD0) count = 2;
    writeLine("DATA", bytes, count);
    return MMSYSERR_NOERROR;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        QueryPerformanceFrequency(&counterFrequency);
        InitializeCriticalSection(&logLock);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) LRESULT CALLBACK DriverProc(DWORD_PTR, HDRVR, UINT message, LPARAM, LPARAM) {
    switch (message) {
    case DRV_LOAD:
        writeLine("LOAD", nullptr, 0);
        return 1;
    case DRV_FREE:
        writeLine("FREE", nullptr, 0);
        return 1;
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_QUERYCONFIGURE:
    case DRV_INSTALL:
    case DRV_REMOVE:
        return 1;
    default:
        return 0;
    }
}

extern "C" __declspec(dllexport) DWORD APIENTRY modMessage(UINT deviceId, UINT message, DWORD_PTR, DWORD_PTR param1,
                                                           DWORD_PTR param2) {
    switch (message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
        return 1;
    case MODM_GETDEVCAPS:
        return deviceId == 0 || deviceId == MIDI_MAPPER ? getDevCaps(reinterpret_cast<MIDIOUTCAPSA*>(param1), param2)
                                                        : MMSYSERR_BADDEVICEID;
    case MODM_OPEN:
        return openDevice(reinterpret_cast<MIDIOPENDESC*>(param1), static_cast<DWORD>(param2));
    case MODM_CLOSE:
        return closeDevice();
    case MODM_DATA:
        return device.open ? shortMessage(static_cast<DWORD>(param1)) : MMSYSERR_INVALHANDLE;
    case MODM_RESET:
        writeLine("RESET", nullptr, 0);
        return MMSYSERR_NOERROR;
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}
