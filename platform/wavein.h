#pragma once
// Wave-in capture of the default microphone (WINMM): open with a callback function, buffer
// headers prepared and queued, start, reset, close. The Windows program implements it on the
// real device (platform/win32); the host build has a fake device that runs its own delivery
// thread, is fed samples by the test and can be told to fail each call
// (platform/host/fake_wave_in.h).

#include <cstdint>

namespace platform {

// Wave-in messages delivered to the callback (WIM_OPEN, WIM_CLOSE, WIM_DATA).
constexpr uint32_t kWimOpen = 958;
constexpr uint32_t kWimClose = 959;
constexpr uint32_t kWimData = 960;

// The PCM format record (WAVEFORMATEX), field by field.
struct WaveFormat {
    uint16_t formatTag;  // 1: PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};

// A buffer header, laid out as the platform's WAVEHDR so that the Windows build hands it to
// the device as it is (32 bytes in the 32-bit build, 48 in the 64-bit one). The device fills in bytesRecorded and the flags.
struct WaveHeader {
    char* data;
    uint32_t bufferLength;
    uint32_t bytesRecorded;
    uintptr_t user;
    uint32_t flags;
    uint32_t loops;
    WaveHeader* next;
    uintptr_t reserved;
};

// The program's callback: device, message, instance data, first and second parameter. For
// WIM_DATA the first parameter is the returned buffer's WaveHeader.
using WaveInCallback = void (*)(uintptr_t device, uint32_t message, uintptr_t instance,
                                uintptr_t param1, uintptr_t param2);

class WaveInDevice {
public:
    virtual ~WaveInDevice() = default;

    // waveInOpen on the wave mapper with CALLBACK_FUNCTION | WAVE_ALLOWSYNC; WIM_OPEN reaches
    // the callback before it returns. The handle goes to *device. 0 on success.
    virtual uint32_t waveInOpen(uintptr_t* device, const WaveFormat& format,
                                WaveInCallback callback, uintptr_t instance) = 0;
    virtual uint32_t waveInPrepareHeader(uintptr_t device, WaveHeader* header) = 0;
    virtual uint32_t waveInUnprepareHeader(uintptr_t device, WaveHeader* header) = 0;
    // Queues a prepared buffer; it comes back full through WIM_DATA.
    virtual uint32_t waveInAddBuffer(uintptr_t device, WaveHeader* header) = 0;
    virtual uint32_t waveInStart(uintptr_t device) = 0;
    // Stops capturing and returns every queued buffer through WIM_DATA with what it holds.
    virtual uint32_t waveInReset(uintptr_t device) = 0;
    // Closes the device; WIM_CLOSE reaches the callback before it returns. 0 on success.
    virtual uint32_t waveInClose(uintptr_t device) = 0;
};

WaveInDevice& waveInDevice();
void installWaveInDevice(WaveInDevice* device);
WaveInDevice& defaultWaveInDevice();

}  // namespace platform
