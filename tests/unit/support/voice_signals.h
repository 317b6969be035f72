#pragma once
// Test signals for the voice tests: tones as a microphone would deliver them.

#include <cmath>
#include <cstdint>
#include <vector>

namespace voicetest {

// `count` samples of a sine at `hz`, sampled at `rate`, peak `amplitude`.
inline std::vector<int16_t> tone(double hz, uint32_t rate, size_t count = 1024,
                                 double amplitude = 32767.0) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2.0 * 3.14159265358979323846 * hz * static_cast<double>(i) / rate)));
    return samples;
}

}  // namespace voicetest
