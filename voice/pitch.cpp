#include "voice/pitch.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "platform/post.h"
#include "platform/thread.h"
#include "shell/settings.h"

std::atomic<int32_t> pitchSlot{0};
std::atomic<uint32_t> octaveLowerAtStart{0};
std::atomic<uint8_t> blockWanted{0};
std::atomic<int16_t*> analysisBlock{nullptr};
std::atomic<uintptr_t> wakeEvent{0};
std::atomic<uintptr_t> worker{0};
uint32_t workerId = 0;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Worker life: start, stop and the deferred release of the block are serialised here.
std::mutex workerLock;
// Keeps a hand-over (copy + signal) away from the event being closed or the block let go.
std::mutex handOverLock;
// Makes "stop requested" and "result published" exclusive, so that once StopPitchWorker has
// set the flag no result of the ended run reaches pitchSlot or the window.
std::mutex publishLock;
std::atomic<bool> stopRequested{false};

uint32_t workerRate = 8000;              // sample rate of the run the worker serves
int16_t* blockAwaitingRelease = nullptr;  // let go by the capture while a worker still lived

// Lower bounds in Hz of the lane slot ranges; each range ends where the next begins, the last
// at 860 Hz.
struct SlotRange {
    int32_t fromHz;
    int32_t slot;
};
constexpr SlotRange kSlotRanges[] = {
    {64, 0},   {68, 1},   {70, 2},   {75, 3},   {80, 4},   {85, 6},   {90, 7},   {95, 8},
    {100, 9},  {108, 10}, {113, 11}, {120, 12}, {128, 14}, {135, 15}, {140, 16}, {150, 17},
    {160, 18}, {170, 20}, {180, 21}, {190, 22}, {200, 23}, {215, 24}, {225, 25}, {240, 26},
    {255, 28}, {270, 29}, {280, 30}, {300, 31}, {320, 32}, {340, 34}, {360, 35}, {380, 36},
    {400, 37}, {430, 38}, {450, 39}, {480, 40}, {510, 42}, {540, 43}, {560, 44}, {600, 45},
    {640, 46}, {680, 48}, {720, 49}, {760, 50}, {800, 51},
};
constexpr int32_t kLaneTopHz = 860;

}  // namespace

void Fft(float* data, uint32_t n, int isign) {
    if (n < 2) return;
    // Bit-reversal permutation of the complex values.
    for (uint32_t i = 1, j = 0; i < n; ++i) {
        uint32_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j |= bit;
        if (i < j) {
            std::swap(data[2 * i], data[2 * j]);
            std::swap(data[2 * i + 1], data[2 * j + 1]);
        }
    }
    // Butterflies, span doubling each stage; the twiddle advances by a fixed rotation, kept in
    // double so that 512 steps do not drift.
    for (uint32_t half = 1; half < n; half <<= 1) {
        double theta = kPi / static_cast<double>(half);
        double rotRe = std::cos(theta);
        double rotIm = isign * std::sin(theta);
        double wRe = 1.0;
        double wIm = 0.0;
        for (uint32_t k = 0; k < half; ++k) {
            float fRe = static_cast<float>(wRe);
            float fIm = static_cast<float>(wIm);
            for (uint32_t i = k; i < n; i += 2 * half) {
                uint32_t j = i + half;
                float tRe = fRe * data[2 * j] - fIm * data[2 * j + 1];
                float tIm = fRe * data[2 * j + 1] + fIm * data[2 * j];
                data[2 * j] = data[2 * i] - tRe;
                data[2 * j + 1] = data[2 * i + 1] - tIm;
                data[2 * i] += tRe;
                data[2 * i + 1] += tIm;
            }
            double next = wRe * rotRe - wIm * rotIm;
            wIm = wRe * rotIm + wIm * rotRe;
            wRe = next;
        }
    }
}

int32_t EstimatePitchHz(const int16_t* block, uint32_t sampleRate, uint32_t octaveLower) {
    if (!block || sampleRate == 0) return 0;
    const float binHz = static_cast<float>(sampleRate) / kPitchBlockSamples;

    // A periodic Hann window over the block, samples scaled to -1..1.
    float points[2 * kPitchBlockSamples];
    for (int i = 0; i < kPitchBlockSamples; ++i) {
        float window = 0.5f - 0.5f * static_cast<float>(std::cos(2.0 * kPi * i / kPitchBlockSamples));
        points[2 * i] = window * (static_cast<float>(block[i]) / 32768.0f);
        points[2 * i + 1] = 0.0f;
    }
    Fft(points, kPitchBlockSamples, -1);

    const int32_t low = static_cast<int32_t>((octaveLower ? 64.0f : 128.0f) / binHz);
    int32_t high = static_cast<int32_t>(860.0f / binHz);
    if (high > kPitchBlockSamples / 2) high = kPitchBlockSamples / 2;
    float best = 0.0f;
    float frequency = 0.0f;
    for (int32_t k = low; k < high; ++k) {
        float re = points[2 * k];
        float im = points[2 * k + 1];
        float magnitude = 2.0f * std::sqrt(re * re + im * im);
        if (magnitude > best) {  // equal peaks keep the lower bin
            best = magnitude;
            frequency = static_cast<float>(k) * binHz;
        }
    }
    return static_cast<int32_t>(frequency);
}

int32_t EstimatePitchHz(uint32_t octaveLower) {
    return EstimatePitchHz(analysisBlock.load(std::memory_order_acquire), settings.sampleRate,
                           octaveLower);
}

int32_t HzToLaneSlot(int32_t hz) {
    if (hz < kSlotRanges[0].fromHz || hz >= kLaneTopHz) return -1;
    int32_t slot = -1;
    for (const SlotRange& range : kSlotRanges) {
        if (hz < range.fromHz) break;
        slot = range.slot;
    }
    return slot;
}

int32_t PublishedPitchSlot(const int16_t* block, uint32_t sampleRate, uint32_t octaveLower) {
    int32_t slot = HzToLaneSlot(EstimatePitchHz(block, sampleRate, octaveLower));
    // The lane is laid out for the melody; a singer an octave below it is shifted up by
    // choosing the option, everyone else is shown an octave down.
    return octaveLower ? slot : slot - 14;
}

void PitchWorker(void*) {
    const uint32_t octave = octaveLowerAtStart.exchange(0);
    const uintptr_t event = wakeEvent.load(std::memory_order_acquire);
    for (;;) {
        platform::threads().waitForSingleObject(event);
        if (stopRequested.load(std::memory_order_acquire)) return;
        const int16_t* block = analysisBlock.load(std::memory_order_acquire);
        if (!block) continue;
        int32_t slot = PublishedPitchSlot(block, workerRate, octave);
        std::lock_guard<std::mutex> guard(publishLock);
        if (stopRequested.load(std::memory_order_acquire)) return;
        pitchSlot.exchange(slot);
        platform::messagePost().postMessageA(WM_VOICE, VOICE_PITCH, 0);
    }
}

void StopPitchWorker() {
    std::lock_guard<std::mutex> guard(workerLock);
    const uintptr_t thread = worker.load();
    const uintptr_t event = wakeEvent.load();
    {
        std::lock_guard<std::mutex> handOver(handOverLock);
        blockWanted.store(0, std::memory_order_release);  // no block for a worker that is going
    }
    if (thread) {
        {
            std::lock_guard<std::mutex> publish(publishLock);
            stopRequested.store(true, std::memory_order_release);
        }
        platform::threads().setEvent(event);
        platform::threads().joinThread(thread);
        worker.store(0);
    }
    if (event) {
        std::lock_guard<std::mutex> handOver(handOverLock);
        wakeEvent.store(0);
        platform::threads().closeEvent(event);
    }
    delete[] blockAwaitingRelease;
    blockAwaitingRelease = nullptr;
}

bool StartPitchWorker(uint8_t octaveLower) {
    StopPitchWorker();  // one left behind by a device that never closed
    std::lock_guard<std::mutex> guard(workerLock);
    octaveLowerAtStart.store(octaveLower ? 1u : 0u);
    blockWanted.store(0, std::memory_order_release);
    stopRequested.store(false);
    workerRate = settings.sampleRate;
    const uintptr_t event = platform::threads().createEvent();
    if (!event) return false;
    wakeEvent.store(event, std::memory_order_release);
    const uintptr_t thread = platform::threads().createThread(PitchWorker, &workerId, &workerId);
    if (!thread) {
        wakeEvent.store(0);
        platform::threads().closeEvent(event);
        octaveLowerAtStart.store(0);
        return false;
    }
    worker.store(thread);
    blockWanted.store(1, std::memory_order_release);
    return true;
}

bool TakePitchResult(int32_t* slot) {
    if (worker.load() == 0) return false;
    *slot = pitchSlot.load(std::memory_order_acquire);
    blockWanted.store(1, std::memory_order_release);
    return true;
}

bool AcquireAnalysisBlock() {
    std::lock_guard<std::mutex> handOver(handOverLock);
    if (analysisBlock.load()) return true;  // still held from a capture that was not closed
    auto* block = new (std::nothrow) int16_t[kPitchBlockSamples]();
    if (!block) return false;
    analysisBlock.store(block, std::memory_order_release);
    return true;
}

void ReleaseAnalysisBlock() {
    std::lock_guard<std::mutex> guard(workerLock);
    int16_t* block;
    {
        std::lock_guard<std::mutex> handOver(handOverLock);
        block = analysisBlock.exchange(nullptr);
    }
    if (!block) return;
    if (worker.load() == 0) {
        delete[] block;
        return;
    }
    // The worker may be reading it. Each worker serves one capture run (a new device open
    // stops the old one first), so at most one block ever waits here.
    delete[] blockAwaitingRelease;
    blockAwaitingRelease = block;
}

bool HandOverBlock(const void* samples, uint32_t bytes) {
    if (blockWanted.load(std::memory_order_acquire) != 1) return false;
    std::lock_guard<std::mutex> handOver(handOverLock);
    int16_t* block = analysisBlock.load(std::memory_order_relaxed);
    const uintptr_t event = wakeEvent.load();
    if (!block || !event || blockWanted.load(std::memory_order_acquire) != 1) return false;
    blockWanted.store(0, std::memory_order_relaxed);
    const uint32_t blockBytes = kPitchBlockSamples * sizeof(int16_t);
    const uint32_t copied = bytes < blockBytes ? bytes : blockBytes;
    std::memcpy(block, samples, copied);
    std::memset(reinterpret_cast<char*>(block) + copied, 0, blockBytes - copied);
    platform::threads().setEvent(event);
    return true;
}
