#include "voice/capture.h"

#include <mutex>
#include <new>
#include <vector>

#include "platform/post.h"
#include "shell/app_strings.h"
#include "shell/message.h"
#include "shell/settings.h"
#include "voice/pitch.h"
#include "voice/recording.h"

std::atomic<uintptr_t> waveIn{0};
std::atomic<uint8_t> capturing{0};
platform::WaveFormat captureFormat{};

// Open, start and close of one capture follow each other: the open and the start on the
// window thread when a run starts, the close on the timer thread when it stops, and a run
// starts only after the previous one has closed. So the state below needs no lock.
namespace {

char* bufferData = nullptr;  // one block holding every buffer, one after the other
uint32_t bufferBytes = 0;    // of each buffer
platform::WaveHeader* header[kCaptureBuffers] = {};
bool deviceOpen = false;                  // opened by this run and not yet closed
bool prepared[kCaptureBuffers] = {};      // prepared and not yet unprepared

bool anyPrepared() {
    for (bool p : prepared)
        if (p) return true;
    return false;
}

// Buffers that a device which would neither unprepare nor close may still write into. They
// are kept (and stay reachable) rather than freed under the device.
std::vector<void*>& abandonedMemory() {
    static auto* kept = new std::vector<void*>;
    return *kept;
}

platform::WaveInDevice& device() { return platform::waveInDevice(); }

// Held while the callback decides to queue a buffer again and queues it, and while the stop
// clears `capturing`: a buffer is either back on the device before the stop's reset (which
// returns it) or not queued at all. The reset itself runs outside it, since the device may
// call back from within the reset.
std::mutex& requeueLock() {
    static std::mutex lock;
    return lock;
}

// Unprepares what is prepared and closes the device, if this run has it open; all the calls
// are made. Returns false when any of them failed.
bool shutDevice() {
    const uintptr_t handle = waveIn.load();
    bool ok = true;
    if (deviceOpen) {
        for (uint32_t i = 0; i < kCaptureBuffers; ++i) {
            if (!prepared[i]) continue;
            if (device().waveInUnprepareHeader(handle, header[i]) == 0)
                prepared[i] = false;
            else
                ok = false;
        }
        if (device().waveInClose(handle) != 0) {
            ok = false;
            // The buffers stay with a device that would not close.
            if (anyPrepared()) {
                abandonedMemory().push_back(bufferData);
                bufferData = nullptr;
                for (auto*& h : header) {
                    abandonedMemory().push_back(h);
                    h = nullptr;
                }
            }
        }
        // Given up either way: a device that would not close is not tried again.
        deviceOpen = false;
    }
    for (bool& p : prepared) p = false;
    waveIn.store(0);
    return ok;
}

// Releases what this run allocated, each piece once.
void releaseMemory() {
    delete[] bufferData;
    bufferData = nullptr;
    bufferBytes = 0;
    for (auto*& h : header) {
        delete h;
        h = nullptr;
    }
}

}  // namespace

uint32_t captureBufferBytes() { return bufferData ? bufferBytes : 0; }

int OpenCapture() {
    const uint32_t channels = settings.channels;
    const uint32_t rate = settings.sampleRate;
    const uint32_t bits = settings.bitsPerSample;
    captureFormat = platform::WaveFormat{1,
                                         static_cast<uint16_t>(channels),
                                         rate,
                                         bits * rate * channels / 8,
                                         static_cast<uint16_t>(bits * channels / 8),
                                         static_cast<uint16_t>(bits),
                                         0};

    uintptr_t handle = 0;
    if (device().waveInOpen(&handle, captureFormat, CaptureCallback, 0) != 0) {
        waveIn.store(0);
        showMessage(appString(IDS_CANNOT_OPEN_WAVE_IN));
        return 0;
    }
    waveIn.store(handle);
    deviceOpen = true;

    // The same duration of sound in every quality: whole frames, so no sample straddles two
    // buffers.
    const uint32_t frames = rate * kCaptureBufferMs / 1000;
    const uint32_t each = frames * captureFormat.blockAlign;
    const uint32_t block = each * kCaptureBuffers;
    bufferData = new (std::nothrow) char[block > 0 ? block : 1]();
    bufferBytes = each;
    bool allocated = bufferData != nullptr;
    for (auto*& h : header) {
        h = new (std::nothrow) platform::WaveHeader{};
        allocated = allocated && h;
    }

    uint32_t failures = 1;
    if (allocated) {
        failures = 0;
        for (uint32_t i = 0; i < kCaptureBuffers; ++i) {
            *header[i] = platform::WaveHeader{bufferData + i * each, each, 0, 0, 0, 0, nullptr, 0};
            const uint32_t result = device().waveInPrepareHeader(handle, header[i]);
            prepared[i] = result == 0;
            failures += result != 0;
        }
    }
    if (failures == 0) return 1;

    // No capture this run: close the device now (its close notice finishes the recording and
    // ends the pitch worker's run) and let go of everything, so the stop has nothing to close.
    showMessage(appString(IDS_CANNOT_PREPARE_HEADER));
    const bool closed = shutDevice();
    releaseMemory();
    if (!closed) showMessage(appString(IDS_CANNOT_CLOSE_WAVE_IN));
    return 0;
}

void StartCapture() {
    const uintptr_t handle = waveIn.load();
    if (handle == 0) return;
    capturing.store(1);
    uint32_t failures = 0;
    for (auto* h : header) failures += device().waveInAddBuffer(handle, h) != 0;
    failures += device().waveInStart(handle) != 0;
    if (failures != 0) showMessage(appString(IDS_CANNOT_START_RECORDING));
}

void CloseCapture() {
    const bool closed = shutDevice();
    releaseMemory();
    if (!closed) showMessage(appString(IDS_CANNOT_CLOSE_WAVE_IN));
}

void StopCapturing() {
    std::lock_guard<std::mutex> hold(requeueLock());
    capturing.store(0);
}

void CaptureCallback(uintptr_t device, uint32_t message, uintptr_t, uintptr_t param1, uintptr_t) {
    switch (message) {
    case platform::kWimOpen:
        // A recording or a worker left behind by a device that never closed ends here.
        if (settings.record.load())
            CreateRecording();
        else
            FinishRecording();
        BeginPitchRun(settings.critique.load() != 0, settings.octaveLower.load());
        break;

    case platform::kWimData: {
        auto* returned = reinterpret_cast<platform::WaveHeader*>(param1);
        if (!returned) break;
        // Recorded whether or not capturing: the buffers a reset returns belong to the take.
        if (settings.record.load()) AppendRecording(returned);
        if (capturing.load() == 1) {
            if (settings.critique.load()) HandOverBlock(returned->data, returned->bytesRecorded, captureFormat.channels);
            std::lock_guard<std::mutex> hold(requeueLock());
            if (capturing.load() == 1) platform::waveInDevice().waveInAddBuffer(device, returned);
        }
        break;
    }

    case platform::kWimClose:
        if (settings.record.load()) FinishRecording();
        if (settings.critique.load())
            platform::messagePost().postMessageA(WM_VOICE, VOICE_END, static_cast<intptr_t>(pitchRun.load()));
        break;

    default:
        break;
    }
}
