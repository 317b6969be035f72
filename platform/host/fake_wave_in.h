#pragma once
// A fake wave-in device for host tests. Like a real one it fills the queued buffers in order
// and returns each through WIM_DATA on a thread of its own, returns every queued buffer (with
// what it holds) on reset, and delivers WIM_OPEN and WIM_CLOSE inside the open and close
// calls. The test plays the microphone by feeding it samples. It refuses what a device
// refuses (buffers not prepared, unpreparing or closing while buffers are queued, a closed
// handle), and each call can be made to fail.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/wavein.h"

namespace platform {

class FakeWaveIn : public WaveInDevice {
public:
    enum Call { kOpen, kPrepare, kUnprepare, kAddBuffer, kStart, kReset, kClose, kCallKinds };

    // Results as the platform gives them.
    static constexpr uint32_t kNoError = 0;
    static constexpr uint32_t kError = 1;           // MMSYSERR_ERROR
    static constexpr uint32_t kInvalidHandle = 5;   // MMSYSERR_INVALHANDLE
    static constexpr uint32_t kStillPlaying = 33;   // WAVERR_STILLPLAYING
    static constexpr uint32_t kUnprepared = 34;     // WAVERR_UNPREPARED
    // Header flags as the platform sets them.
    static constexpr uint32_t kDone = 0x01;
    static constexpr uint32_t kPrepared = 0x02;
    static constexpr uint32_t kInQueue = 0x10;

    FakeWaveIn();
    ~FakeWaveIn() override;
    FakeWaveIn(const FakeWaveIn&) = delete;
    FakeWaveIn& operator=(const FakeWaveIn&) = delete;

    uint32_t waveInOpen(uintptr_t* device, const WaveFormat& format, WaveInCallback callback,
                        uintptr_t instance) override;
    uint32_t waveInPrepareHeader(uintptr_t device, WaveHeader* header) override;
    uint32_t waveInUnprepareHeader(uintptr_t device, WaveHeader* header) override;
    uint32_t waveInAddBuffer(uintptr_t device, WaveHeader* header) override;
    uint32_t waveInStart(uintptr_t device) override;
    uint32_t waveInReset(uintptr_t device) override;
    uint32_t waveInClose(uintptr_t device) override;

    // Windows' drivers give the buffers back from within the reset, on the caller's thread,
    // even while a callback still runs on the device's thread; Wine's (the default here) gives
    // them back on the device's thread, after that callback. Switches to the Windows way.
    void resetFromCaller(bool fromCaller = true);

    // Makes every later call of that kind fail with kError (until switched off).
    void failCall(Call call, bool failing = true);

    // The microphone hears these samples (16-bit, interleaved as the format says). They go
    // into the queued buffers in order; what arrives while no buffer is queued is lost.
    void feed(const std::vector<int16_t>& samples);
    // Waits until the device can do nothing more without new samples or calls: everything fed
    // is placed, every full buffer delivered. False on timeout.
    bool waitUntilIdle(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    int calls(Call call) const;
    std::vector<std::string> log() const;  // "open", "prepare", ... in call order
    WaveFormat format() const;
    int queuedBuffers() const;
    int preparedHeaders() const;
    bool isOpen() const;
    int deliveries() const;     // WIM_DATA delivered
    size_t droppedBytes() const;

private:
    void run();
    // Gives every queued buffer back through WIM_DATA (the one being filled with what it
    // holds) and stops; called with the lock held, which it lets go around the callbacks.
    // One filled buffer handed to the callback (WIM_DATA), the lock released meanwhile.
    void giveBack(std::unique_lock<std::mutex>& lock, WaveHeader* header);
    void returnQueued(std::unique_lock<std::mutex>& lock);
    bool validLocked(uintptr_t device) const { return device != 0 && device == handle_; }
    uint32_t enter(Call call, const char* name);  // counts and logs; kError when failing

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    bool shutdown_ = false;

    uintptr_t handle_ = 0;
    uintptr_t nextHandle_ = 0x1000;
    WaveInCallback callback_ = nullptr;
    uintptr_t instance_ = 0;
    WaveFormat format_{};
    bool started_ = false;
    std::deque<WaveHeader*> queue_;
    uint32_t headFill_ = 0;  // bytes already in the buffer at the head of the queue
    std::set<WaveHeader*> prepared_;
    std::deque<uint8_t> pending_;
    size_t dropped_ = 0;
    bool resetRequested_ = false;
    bool resetFromCaller_ = false;
    bool delivering_ = false;
    int deliveries_ = 0;

    int calls_[kCallKinds] = {};
    bool failing_[kCallKinds] = {};
    std::vector<std::string> log_;
};

}  // namespace platform
