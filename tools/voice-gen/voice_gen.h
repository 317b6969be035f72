#pragma once
// A synthetic singer that sounds like a person rather than a tone generator: a glottal pulse
// train with the natural fall of its harmonics, jitter and shimmer, vibrato, a little breath,
// shaped by the formants of a sung vowel, over a microphone's noise floor. Shared by the voice
// benchmark, the unit tests and lvx-sing, so that all three hear the same singer.
//
// Header-only and self-contained (no program code), so that what it sings does not agree with
// the detector by construction.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace voicegen {

constexpr double kPi = 3.14159265358979323846;

enum class Vowel { A, E, I, O, U };
constexpr Vowel kVowels[] = {Vowel::A, Vowel::E, Vowel::I, Vowel::O, Vowel::U};
inline const char* vowelName(Vowel v) {
    static const char* names[] = {"a", "e", "i", "o", "u"};
    return names[static_cast<int>(v)];
}

// First three formants (Hz) of the vowels as men and women sing them ("father", "bed",
// "beet", "bought", "boot"), from classic measurements of American English vowels.
struct Formants {
    double hz[3];
    double bandwidth[3];
};
inline Formants formantsOf(Vowel v, bool female) {
    static const double men[5][3] = {
        {730, 1090, 2440}, {530, 1840, 2480}, {270, 2290, 3010}, {570, 840, 2410}, {300, 870, 2240}};
    static const double women[5][3] = {
        {850, 1220, 2810}, {610, 2330, 2990}, {310, 2790, 3310}, {590, 920, 2710}, {370, 950, 2670}};
    const double* f = female ? women[static_cast<int>(v)] : men[static_cast<int>(v)];
    return Formants{{f[0], f[1], f[2]}, {80, 100, 140}};
}

struct Singer {
    bool female = false;
    double vibratoCents = 30;  // depth, either side of the note
    double vibratoHz = 5.5;
    double jitter = 0.005;     // relative random change of each period
    double shimmer = 0.05;     // relative random change of each period's strength
    double breath = 0.03;      // aspiration noise against the pulses' level
    double levelDbfs = -18;    // RMS of the sung note
    double noiseDbfs = -70;    // the microphone's noise floor (white), RMS; below -150 none
    uint32_t seed = 1;
};

// Klatt's two-pole resonator, unity gain at 0 Hz.
class Resonator {
  public:
    Resonator(double hz, double bandwidth, double rate) {
        double r = std::exp(-kPi * bandwidth / rate);
        b1_ = 2 * r * std::cos(2 * kPi * hz / rate);
        b2_ = -r * r;
        a0_ = 1 - b1_ - b2_;
    }
    double operator()(double x) {
        double y = a0_ * x + b1_ * y1_ + b2_ * y2_;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

  private:
    double a0_, b1_, b2_, y1_ = 0, y2_ = 0;
};

inline double dbToAmplitude(double dbfs) { return 32768.0 * std::pow(10.0, dbfs / 20.0); }

// Lowers a sound made at `factor` times the rate to the rate, through a windowed-sinc low-pass
// at 0.45 of the rate: what a sound card's anti-alias filter leaves of it.
inline std::vector<double> decimate(const std::vector<double>& fast, size_t factor, size_t count) {
    const int half = 24 * static_cast<int>(factor);
    std::vector<double> taps(2 * half + 1);
    double total = 0;
    for (int i = -half; i <= half; ++i) {
        const double x = 0.9 * kPi * i / double(factor);
        const double sinc = i == 0 ? 1.0 : std::sin(x) / x;
        const double blackman = 0.42 + 0.5 * std::cos(kPi * i / half) + 0.08 * std::cos(2 * kPi * i / half);
        taps[i + half] = sinc * blackman;
        total += taps[i + half];
    }
    std::vector<double> out(count, 0.0);
    for (size_t n = 0; n < count; ++n) {
        const long centre = static_cast<long>(n * factor);
        double sum = 0;
        for (int i = -half; i <= half; ++i) {
            const long at = centre + i;
            if (at >= 0 && at < static_cast<long>(fast.size())) sum += taps[i + half] * fast[at];
        }
        out[n] = sum / total;
    }
    return out;
}

// `count` samples of `vowel` sung at `hz` (the note's centre), as doubles in 16-bit units.
// The glottal flow is a Rosenberg pulse (open 60 %, closing 25 % of each period); its
// derivative, which is what the lips radiate, falls about 6 dB an octave above the first
// harmonics. Each period draws its own length (jitter) and strength (shimmer). The voice is
// made at four times the rate and filtered down, so that the sharp closure of each pulse does
// not fold back into the band as partials no voice has.
inline std::vector<double> sing(double hz, Vowel vowel, const Singer& singer, size_t count,
                                uint32_t rate) {
    std::mt19937 random(singer.seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const size_t factor = 4;
    const double fastRate = double(rate) * factor;
    const Formants f = formantsOf(vowel, singer.female);
    Resonator formant[3] = {{f.hz[0], f.bandwidth[0], fastRate},
                            {f.hz[1], f.bandwidth[1], fastRate},
                            {f.hz[2], f.bandwidth[2], fastRate}};
    const double vibratoPhase = 2 * kPi * uniform(random);

    std::vector<double> fast(count * factor, 0.0);
    double phase = uniform(random);  // within the period, 0..1
    double periodScale = 1.0, strength = 1.0, previousFlow = 0.0;
    for (size_t i = 0; i < fast.size(); ++i) {
        const double t = double(i) / fastRate;
        const double cents =
            singer.vibratoCents * std::sin(2 * kPi * singer.vibratoHz * t + vibratoPhase);
        const double f0 = hz * std::pow(2.0, cents / 1200.0) / periodScale;
        phase += f0 / fastRate;
        if (phase >= 1.0) {
            phase -= std::floor(phase);
            periodScale = 1.0 + singer.jitter * gauss(random);
            strength = 1.0 + singer.shimmer * gauss(random);
        }
        // Rosenberg glottal flow over one period.
        double flow = 0.0;
        if (phase < 0.6)
            flow = 0.5 * (1 - std::cos(kPi * phase / 0.6));
        else if (phase < 0.85)
            flow = std::cos(0.5 * kPi * (phase - 0.6) / 0.25);
        const double source = strength * (flow - previousFlow) * fastRate / hz;
        previousFlow = flow;
        double x = source + singer.breath * gauss(random);
        for (Resonator& r : formant) x = r(x);
        fast[i] = x;
    }
    std::vector<double> out = decimate(fast, factor, count);
    // Bring the note to its level; the noise floor is added after.
    double power = 0;
    for (double x : out) power += x * x;
    const double rms = std::sqrt(power / double(count ? count : 1));
    const double gain = rms > 0 ? dbToAmplitude(singer.levelDbfs) / rms : 0.0;
    const double noise = singer.noiseDbfs > -150 ? dbToAmplitude(singer.noiseDbfs) : 0.0;
    for (double& x : out) x = x * gain + noise * gauss(random);
    return out;
}

// Breath alone: aspiration noise shaped by a vowel's formants, at `levelDbfs` RMS.
inline std::vector<double> breathe(Vowel vowel, bool female, double levelDbfs, size_t count,
                                   uint32_t rate, uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const Formants f = formantsOf(vowel, female);
    // An open glottis damps the formants: they are wider than in the sung vowel.
    Resonator formant[3] = {{f.hz[0], 3 * f.bandwidth[0], double(rate)},
                            {f.hz[1], 3 * f.bandwidth[1], double(rate)},
                            {f.hz[2], 3 * f.bandwidth[2], double(rate)}};
    std::vector<double> out(count);
    double power = 0;
    for (double& x : out) {
        x = gauss(random);
        for (Resonator& r : formant) x = r(x);
        power += x * x;
    }
    const double gain = dbToAmplitude(levelDbfs) / std::sqrt(power / double(count ? count : 1));
    for (double& x : out) x *= gain;
    return out;
}

// White (pink = false) or pink noise at `levelDbfs` RMS. Pink is Paul Kellet's filter of white.
inline std::vector<double> noise(bool pink, double levelDbfs, size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<double> out(count);
    double b[7] = {0, 0, 0, 0, 0, 0, 0};
    double power = 0;
    for (double& x : out) {
        double w = gauss(random);
        if (pink) {
            b[0] = 0.99886 * b[0] + w * 0.0555179;
            b[1] = 0.99332 * b[1] + w * 0.0750759;
            b[2] = 0.96900 * b[2] + w * 0.1538520;
            b[3] = 0.86650 * b[3] + w * 0.3104856;
            b[4] = 0.55000 * b[4] + w * 0.5329522;
            b[5] = -0.7616 * b[5] - w * 0.0168980;
            x = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
            b[6] = w * 0.115926;
        } else {
            x = w;
        }
        power += x * x;
    }
    const double gain = dbToAmplitude(levelDbfs) / std::sqrt(power / double(count ? count : 1));
    for (double& x : out) x *= gain;
    return out;
}

// Dither alone: each sample -1, 0 or +1 LSB, triangular.
inline std::vector<double> dither(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> lsb(0, 1);
    std::vector<double> out(count);
    for (double& x : out) x = double(lsb(random) - lsb(random));
    return out;
}

// Rounded and clipped to 16-bit samples.
inline std::vector<int16_t> toPcm(const std::vector<double>& samples) {
    std::vector<int16_t> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        double v = std::round(samples[i]);
        pcm[i] = static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    }
    return pcm;
}

}  // namespace voicegen
