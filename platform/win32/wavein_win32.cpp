#include <windows.h>
#include <mmsystem.h>

#include <cstddef>

#include "platform/wavein.h"

namespace platform {
namespace {

static_assert(kWimOpen == WIM_OPEN && kWimClose == WIM_CLOSE && kWimData == WIM_DATA,
              "wave-in message numbers");
// The program's header is handed to the device as it is.
static_assert(sizeof(WaveHeader) == sizeof(WAVEHDR), "WaveHeader must be laid out as WAVEHDR");
static_assert(offsetof(WaveHeader, data) == offsetof(WAVEHDR, lpData), "lpData");
static_assert(offsetof(WaveHeader, bufferLength) == offsetof(WAVEHDR, dwBufferLength), "length");
static_assert(offsetof(WaveHeader, bytesRecorded) == offsetof(WAVEHDR, dwBytesRecorded), "bytes");
static_assert(offsetof(WaveHeader, flags) == offsetof(WAVEHDR, dwFlags), "dwFlags");
static_assert(offsetof(WaveHeader, next) == offsetof(WAVEHDR, lpNext), "lpNext");

// waveInOpen calls a WINAPI procedure; this one passes each message on to the program's
// callback with the instance data the program gave. One device is open at a time.
struct Route {
    WaveInCallback callback;
    uintptr_t instance;
};
Route route;

void CALLBACK waveInProc(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2) {
    const Route* to = reinterpret_cast<const Route*>(instance);
    if (to && to->callback)
        to->callback(reinterpret_cast<uintptr_t>(device), message, to->instance, param1, param2);
}

HWAVEIN handleOf(uintptr_t device) { return reinterpret_cast<HWAVEIN>(device); }
WAVEHDR* headerOf(WaveHeader* header) { return reinterpret_cast<WAVEHDR*>(header); }

class Win32WaveIn : public WaveInDevice {
public:
    uint32_t waveInOpen(uintptr_t* device, const WaveFormat& format, WaveInCallback callback,
                        uintptr_t instance) override {
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = format.formatTag;
        wfx.nChannels = format.channels;
        wfx.nSamplesPerSec = format.samplesPerSec;
        wfx.nAvgBytesPerSec = format.avgBytesPerSec;
        wfx.nBlockAlign = format.blockAlign;
        wfx.wBitsPerSample = format.bitsPerSample;
        wfx.cbSize = format.extraSize;
        route = Route{callback, instance};
        HWAVEIN handle = nullptr;
        MMRESULT result = ::waveInOpen(&handle, WAVE_MAPPER, &wfx,
                                       reinterpret_cast<DWORD_PTR>(&waveInProc),
                                       reinterpret_cast<DWORD_PTR>(&route),
                                       CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
        *device = result == MMSYSERR_NOERROR ? reinterpret_cast<uintptr_t>(handle) : 0;
        return result;
    }
    uint32_t waveInPrepareHeader(uintptr_t device, WaveHeader* header) override {
        return ::waveInPrepareHeader(handleOf(device), headerOf(header), sizeof(WAVEHDR));
    }
    uint32_t waveInUnprepareHeader(uintptr_t device, WaveHeader* header) override {
        return ::waveInUnprepareHeader(handleOf(device), headerOf(header), sizeof(WAVEHDR));
    }
    uint32_t waveInAddBuffer(uintptr_t device, WaveHeader* header) override {
        return ::waveInAddBuffer(handleOf(device), headerOf(header), sizeof(WAVEHDR));
    }
    uint32_t waveInStart(uintptr_t device) override { return ::waveInStart(handleOf(device)); }
    uint32_t waveInReset(uintptr_t device) override { return ::waveInReset(handleOf(device)); }
    uint32_t waveInClose(uintptr_t device) override { return ::waveInClose(handleOf(device)); }
};

}  // namespace

WaveInDevice& defaultWaveInDevice() {
    static Win32WaveIn device;
    return device;
}

}  // namespace platform
