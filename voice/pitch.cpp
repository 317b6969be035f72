#include "voice/pitch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/post.h"
#include "platform/thread.h"
#include "shell/settings.h"

std::atomic<int32_t> pitchSlot{0};
std::atomic<uint32_t> octaveLowerAtStart{0};
std::atomic<uint8_t> blockWanted{0};
std::atomic<uintptr_t> wakeEvent{0};
std::atomic<uintptr_t> worker{0};
uint32_t workerId = 0;
std::atomic<uint32_t> pitchRun{0};

namespace {

constexpr double kPi = 3.14159265358979323846;

// The worker's block. The capture callback writes it only while blockWanted is 1, the worker
// reads it after being woken; it lives as long as the program, so no run's end has to wait
// for the worker before letting go of it.
int16_t analysisBlock[kPitchBlockSamples];

// The latest block's worth of bytes the callback handed in, a ring whose oldest byte is at
// `heardAt`. Written by the capture callback under handOverLock; cleared when a worker starts.
constexpr uint32_t kBlockBytes = kPitchBlockSamples * sizeof(int16_t);
char heard[kBlockBytes];
uint32_t heardAt = 0;

// One lock for the three crossings between threads: a hand-over (copy and signal) against the
// event's closing, a result's publication against the stop, and the window's re-arming after
// the worker's last read of the block.
std::mutex handOverLock;
std::atomic<bool> stopRequested{false};

uint32_t workerRate = 8000;  // sample rate of the run the worker serves
uint32_t workerRun = 0;      // the capture run the worker serves

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

// The analysis: the block padded to twice its length, the singing range's lower ends, the
// level below which a block is taken for the microphone's own noise (-48 dBFS RMS; a quiet
// voice at a normal distance is well above it), how high the normalised autocorrelation at
// the period must reach for a voice, how much weaker than the strongest candidate a shorter
// period may be and still be taken, and how far the correlation must have dipped before a
// period.
constexpr int kSpectrumPoints = 2 * kPitchBlockSamples;
constexpr double kLowestHz = 125.0;
constexpr double kLowestHzOctaveLower = 62.5;
constexpr double kFloorRms = 32768.0 * 0.003981;  // -48 dBFS
constexpr double kVoicingThreshold = 0.55;
constexpr double kNearlyAsStrong = 0.1;
constexpr double kDipDepth = 0.5;
// The harmonics weighed for the octave check and the fine estimate lie below this; the odd
// ones of a period twice too long hold less than this share of the even ones' power.
constexpr double kHarmonicsBelowHz = 2000.0;
constexpr double kOddHarmonicShare = 0.05;

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
    const double rate = static_cast<double>(sampleRate);
    const double lowHz = octaveLower ? kLowestHzOctaveLower : kLowestHz;

    // The block's level, without any offset the microphone adds: below the floor there is
    // no voice to follow, only the room and the converter.
    double sum = 0.0;
    for (int i = 0; i < kPitchBlockSamples; ++i) sum += block[i];
    const float mean = static_cast<float>(sum / kPitchBlockSamples);
    double power = 0.0;
    for (int i = 0; i < kPitchBlockSamples; ++i) {
        const double x = block[i] - mean;
        power += x * x;
    }
    if (power < kFloorRms * kFloorRms * kPitchBlockSamples) return 0;

    // A periodic Hann window over the block, samples scaled to -1..1, padded with as many zeros
    // so that the autocorrelation below does not wrap around.
    float points[2 * kSpectrumPoints];
    for (int i = 0; i < kPitchBlockSamples; ++i) {
        float window = 0.5f - 0.5f * static_cast<float>(std::cos(2.0 * kPi * i / kPitchBlockSamples));
        points[2 * i] = window * ((static_cast<float>(block[i]) - mean) / 32768.0f);
        points[2 * i + 1] = 0.0f;
    }
    std::memset(points + 2 * kPitchBlockSamples, 0,
                sizeof(float) * 2 * (kSpectrumPoints - kPitchBlockSamples));
    Fft(points, kSpectrumPoints, -1);

    // The magnitudes, kept for the fine estimate; the power spectrum transformed back is the
    // autocorrelation, a sum over every partial of cos(2 pi f lag), so a lag scores high only
    // when all the partials are whole multiples of 1 / lag: the harmonic evidence for that
    // fundamental, whichever harmonic the vowel's formant makes loudest.
    float magnitude[kSpectrumPoints / 2 + 1];
    for (int k = 0; k < kSpectrumPoints; ++k) {
        const float re = points[2 * k];
        const float im = points[2 * k + 1];
        const float p = re * re + im * im;
        if (k <= kSpectrumPoints / 2) magnitude[k] = std::sqrt(p);
        points[2 * k] = p;
        points[2 * k + 1] = 0.0f;
    }
    Fft(points, kSpectrumPoints, 1);
    const double zeroLag = points[0];
    if (!(zeroLag > 0.0)) return 0;

    // Normalised by the window's own autocorrelation, a periodic block gives close to 1 at its
    // period (and its multiples), noise and breath give little anywhere (Boersma 1993).
    const int32_t shortest = static_cast<int32_t>(rate / kLaneTopHz);
    const int32_t longest = static_cast<int32_t>(rate / lowHz) + 1;
    if (shortest < 2 || longest + 1 >= kPitchBlockSamples / 2) return 0;
    auto correlation = [&](int32_t lag) {
        const double x = 2.0 * kPi * lag / kPitchBlockSamples;
        const double window = (1.0 - static_cast<double>(lag) / kPitchBlockSamples) *
                                  (2.0 / 3.0 + std::cos(x) / 3.0) +
                              std::sin(x) / (2.0 * kPi);
        return points[2 * lag] / zeroLag / window;
    };

    // The same at a lag between samples, summed straight from the power spectrum, so that each
    // candidate is weighed at its own period rather than at the nearest whole lag: at the
    // short periods of high notes the two differ by as much as candidates differ.
    auto correlationAt = [&](double lag) {
        const double step = 2.0 * kPi * lag / kSpectrumPoints;
        const double rotRe = std::cos(step), rotIm = std::sin(step);
        double wRe = rotRe, wIm = rotIm, total = 0.0;
        for (int k = 1; k < kSpectrumPoints / 2; ++k) {
            total += static_cast<double>(magnitude[k]) * magnitude[k] * wRe;
            const double next = wRe * rotRe - wIm * rotIm;
            wIm = wRe * rotIm + wIm * rotRe;
            wRe = next;
        }
        const double zero = static_cast<double>(magnitude[0]) * magnitude[0];
        const double nyquist = static_cast<double>(magnitude[kSpectrumPoints / 2]) *
                               magnitude[kSpectrumPoints / 2] * std::cos(kPi * lag);
        const double x = 2.0 * kPi * lag / kPitchBlockSamples;
        const double window = (1.0 - lag / kPitchBlockSamples) * (2.0 / 3.0 + std::cos(x) / 3.0) +
                              std::sin(x) / (2.0 * kPi);
        return (zero + 2.0 * total + nyquist) / zeroLag / window;
    };

    // Every local maximum in the range is a candidate period. A period's multiples correlate
    // about as well as the period itself, and jitter or vibrato can even favour a multiple by
    // a hair; so the shortest candidate nearly as strong as the strongest is the period.
    struct Candidate {
        double period, strength;
    };
    Candidate candidates[kPitchBlockSamples / 4];
    int32_t found = 0;
    double strongest = 0.0;
    // Noise that is mostly low frequencies (pink noise, rumble) correlates well at short lags
    // without repeating: a period must rise from a clear dip in the correlation before it.
    double dip = 1.0;
    for (int32_t lag = 1; lag < shortest; ++lag) dip = std::min(dip, correlation(lag));
    double before = correlation(shortest - 1), here = correlation(shortest);
    for (int32_t lag = shortest; lag <= longest; ++lag) {
        const double after = correlation(lag + 1);
        dip = std::min(dip, here);
        if (here > before && here >= after && here - dip >= kDipDepth) {
            const double curve = before - 2.0 * here + after;
            const double shift = curve < 0.0 ? 0.5 * (before - after) / curve : 0.0;
            const double period = lag + shift;
            const double strength = correlationAt(period);
            const double hz = rate / period;
            if (hz >= lowHz && hz < kLaneTopHz && found < kPitchBlockSamples / 4) {
                candidates[found++] = Candidate{period, strength};
                if (strength > strongest) strongest = strength;
            }
        }
        before = here;
        here = after;
    }
    double bestStrength = 0.0, bestLag = 0.0;
    for (int32_t i = 0; i < found; ++i) {
        if (candidates[i].strength >= strongest - kNearlyAsStrong) {
            bestStrength = candidates[i].strength;
            bestLag = candidates[i].period;
            break;
        }
    }
    // Noise, breath and clicks have no period that repeats through the block.
    if (bestLag <= 0.0 || bestStrength < kVoicingThreshold) return 0;

    // A period twice the true one passes the test above when something else in the block
    // (breath rung by a formant below the note, vibrato) happens to favour it. Its odd
    // harmonics then hold next to nothing: the note is an octave higher.
    const double binHz = rate / kSpectrumPoints;
    auto partialPower = [&](double partialHz) {
        const int32_t centre = static_cast<int32_t>(std::lround(partialHz / binHz));
        const int32_t reach = 1 + static_cast<int32_t>(0.03 * partialHz / binHz);
        double most = 0.0;
        for (int32_t k = centre - reach; k <= centre + reach; ++k)
            if (k >= 0 && k <= kSpectrumPoints / 2 && magnitude[k] > most) most = magnitude[k];
        return most * most;
    };
    for (;;) {
        double odd = 0.0, even = 0.0;
        for (int h = 1; h * rate / bestLag < kHarmonicsBelowHz; ++h)
            (h % 2 ? odd : even) += partialPower(h * rate / bestLag);
        if (odd >= kOddHarmonicShare * even) break;
        bestLag /= 2.0;
        if (rate / bestLag >= kLaneTopHz) return 0;  // a tone above the range
    }

    // The fine estimate: the loudest harmonic below 2 kHz, its peak placed between bins by a
    // parabola on the log magnitude, divided by its number. Kept only when it agrees with
    // the period.
    double hz = rate / bestLag;
    double loudest = 0.0, fine = 0.0;
    for (int h = 1; h * hz < kHarmonicsBelowHz && h * hz < rate / 2 - 2 * binHz; ++h) {
        const int32_t centre = static_cast<int32_t>(std::lround(h * hz / binHz));
        const int32_t reach = 1 + static_cast<int32_t>(0.03 * h * hz / binHz);
        for (int32_t k = centre - reach; k <= centre + reach; ++k) {
            if (k < 1 || k >= kSpectrumPoints / 2) continue;
            if (magnitude[k] > loudest && magnitude[k] >= magnitude[k - 1] &&
                magnitude[k] >= magnitude[k + 1]) {
                const double a = std::log(magnitude[k - 1] + 1e-20);
                const double b = std::log(magnitude[k] + 1e-20);
                const double c = std::log(magnitude[k + 1] + 1e-20);
                const double curve = a - 2.0 * b + c;
                const double shift = curve < 0.0 ? 0.5 * (a - c) / curve : 0.0;
                loudest = magnitude[k];
                fine = (k + shift) * binHz / h;
            }
        }
    }
    if (fine > 0.0 && std::fabs(fine / hz - 1.0) < 0.03) hz = fine;
    if (hz < lowHz || hz >= kLaneTopHz) return 0;
    return static_cast<int32_t>(std::lround(hz));
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
    const uintptr_t event = wakeEvent.load();
    for (;;) {
        platform::threads().waitForSingleObject(event);
        if (stopRequested.load()) return;
        const int32_t slot = PublishedPitchSlot(analysisBlock, workerRate, octave);
        std::lock_guard<std::mutex> guard(handOverLock);
        if (stopRequested.load()) return;
        pitchSlot.exchange(slot);
        platform::messagePost().postMessageA(WM_VOICE, VOICE_PITCH, static_cast<intptr_t>(workerRun));
    }
}

void StopPitchWorker() {
    {
        std::lock_guard<std::mutex> guard(handOverLock);
        blockWanted.store(0);  // no block for a worker that is going
        stopRequested.store(true);
    }
    const uintptr_t thread = worker.load();
    if (thread) {
        platform::threads().setEvent(wakeEvent.load());
        platform::threads().joinThread(thread);
        worker.store(0);
    }
    uintptr_t event;
    {
        std::lock_guard<std::mutex> guard(handOverLock);
        event = wakeEvent.exchange(0);
    }
    if (event) platform::threads().closeEvent(event);
}

bool StartPitchWorker(uint8_t octaveLower) {
    StopPitchWorker();  // one left behind by a device that never closed
    octaveLowerAtStart.store(octaveLower ? 1u : 0u);
    stopRequested.store(false);
    workerRate = settings.sampleRate;
    workerRun = pitchRun.load();
    {
        std::lock_guard<std::mutex> guard(handOverLock);
        std::memset(heard, 0, sizeof heard);  // no sound of an earlier run in this one's blocks
        heardAt = 0;
    }
    const uintptr_t event = platform::threads().createEvent();
    if (!event) return false;
    wakeEvent.store(event);
    const uintptr_t thread = platform::threads().createThread(PitchWorker, &workerId, &workerId);
    if (!thread) {
        wakeEvent.store(0);
        platform::threads().closeEvent(event);
        octaveLowerAtStart.store(0);
        return false;
    }
    worker.store(thread);
    blockWanted.store(1);
    return true;
}

void BeginPitchRun(bool critique, uint8_t octaveLower) {
    pitchRun.fetch_add(1);
    if (critique)
        StartPitchWorker(octaveLower);
    else
        StopPitchWorker();
}

bool EndPitchRun(uint32_t run) {
    if (run != pitchRun.load()) return false;
    StopPitchWorker();
    return true;
}

bool TakePitchResult(int32_t* slot, uint32_t run) {
    if (worker.load() == 0 || run != pitchRun.load()) return false;
    // Taken under the lock the worker published under: its reads of the block come before
    // the re-arming lets the callback write it again.
    std::lock_guard<std::mutex> guard(handOverLock);
    *slot = pitchSlot.load();
    blockWanted.store(1);
    return true;
}

namespace {

// Adds bytes to the end of the sound heard; the caller holds handOverLock.
void appendHeard(const char* from, uint32_t bytes) {
    const uint32_t toEnd = kBlockBytes - heardAt;
    const uint32_t first = bytes < toEnd ? bytes : toEnd;
    std::memcpy(heard + heardAt, from, first);
    std::memcpy(heard, from + first, bytes - first);
    heardAt = (heardAt + bytes) % kBlockBytes;
}

}  // namespace

bool HandOverBlock(const void* samples, uint32_t bytes, uint32_t channels) {
    std::lock_guard<std::mutex> guard(handOverLock);
    // Only the last block's worth of a long buffer can be part of the latest block.
    const char* from = static_cast<const char*>(samples);
    const uint32_t frameBytes = static_cast<uint32_t>(sizeof(int16_t)) * (channels > 1 ? channels : 1);
    uint32_t frames = bytes / frameBytes;
    if (frames > kPitchBlockSamples) {
        from += static_cast<size_t>(frames - kPitchBlockSamples) * frameBytes;
        frames = kPitchBlockSamples;
    }
    if (channels <= 1) {
        appendHeard(from, frames * frameBytes);
    } else {
        // The detector hears one voice: the channels of a stereo microphone are mixed to one,
        // a stretch at a time, so nothing is allocated here.
        int16_t mixed[256];
        for (uint32_t done = 0; done < frames;) {
            uint32_t count = 0;
            for (; count < 256 && done < frames; ++count, ++done) {
                const char* at = from + static_cast<size_t>(done) * frameBytes;
                int32_t sum = 0;
                for (uint32_t c = 0; c < channels; ++c) {
                    int16_t sample;
                    std::memcpy(&sample, at + c * sizeof(int16_t), sizeof sample);
                    sum += sample;
                }
                mixed[count] = static_cast<int16_t>(sum / static_cast<int32_t>(channels));
            }
            appendHeard(reinterpret_cast<const char*>(mixed), count * static_cast<uint32_t>(sizeof(int16_t)));
        }
    }

    const uintptr_t event = wakeEvent.load();
    if (!event || blockWanted.load() != 1) return false;
    blockWanted.store(0);
    char* block = reinterpret_cast<char*>(analysisBlock);
    std::memcpy(block, heard + heardAt, kBlockBytes - heardAt);
    std::memcpy(block + kBlockBytes - heardAt, heard, heardAt);
    platform::threads().setEvent(event);
    return true;
}
