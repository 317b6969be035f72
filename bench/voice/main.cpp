// voice-bench [--report FILE]: sings a grid of vowels (a e i o u; men, women, low voices with
// Singing Octave Lower; notes across each range, with vibrato, jitter, shimmer, breath and a
// microphone noise floor) and records quiet microphones (white and pink noise, dither, breath),
// cuts them into the detector's 1024-sample blocks and compares the lane slot the program
// would publish for each with the slot of the note sung. The strongest-peak method the
// detector used before runs on the same blocks, side by side.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "voice-gen/voice_gen.h"
#include "voice/pitch.h"

namespace {

constexpr uint32_t kRate = 8000;

// The method before: the strongest bin of the windowed spectrum in the range, no voicing.
int32_t strongestPeakHz(const int16_t* block, uint32_t octaveLower) {
    float points[2 * kPitchBlockSamples];
    for (int i = 0; i < kPitchBlockSamples; ++i) {
        float window = 0.5f - 0.5f * static_cast<float>(std::cos(2.0 * voicegen::kPi * i / kPitchBlockSamples));
        points[2 * i] = window * (static_cast<float>(block[i]) / 32768.0f);
        points[2 * i + 1] = 0.0f;
    }
    Fft(points, kPitchBlockSamples, -1);
    const float binHz = static_cast<float>(kRate) / kPitchBlockSamples;
    const int32_t low = static_cast<int32_t>((octaveLower ? 64.0f : 128.0f) / binHz);
    const int32_t high = static_cast<int32_t>(860.0f / binHz);
    float best = 0.0f, frequency = 0.0f;
    for (int32_t k = low; k < high; ++k) {
        float magnitude = std::hypot(points[2 * k], points[2 * k + 1]);
        if (magnitude > best) {
            best = magnitude;
            frequency = static_cast<float>(k) * binHz;
        }
    }
    return static_cast<int32_t>(frequency);
}

int32_t published(int32_t hz, uint32_t octaveLower) {
    int32_t slot = HzToLaneSlot(hz);
    return octaveLower ? slot : slot - 14;
}

struct Block {
    std::vector<int16_t> samples;
    int32_t expected;  // published slot of the note sung; -100 for a quiet block
};

struct Set {
    std::string name;
    uint32_t octaveLower;
    std::vector<Block> blocks;
};

struct Tally {
    int blocks = 0, exact = 0, withinOne = 0, octave = 0, noPitch = 0;
    double microseconds = 0;
};

template <typename Method>
Tally run(const Set& set, Method method) {
    Tally t;
    std::vector<int32_t> slots(set.blocks.size());
    auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < set.blocks.size(); ++i)
        slots[i] = published(method(set.blocks[i].samples.data(), set.octaveLower), set.octaveLower);
    t.microseconds = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() /
                     double(set.blocks.size());
    for (size_t i = 0; i < set.blocks.size(); ++i) {
        const int32_t slot = slots[i], expected = set.blocks[i].expected;
        ++t.blocks;
        if (slot < 0) ++t.noPitch;
        if (expected == -100) continue;
        const int32_t off = std::abs(slot - expected);
        t.exact += off == 0;
        t.withinOne += off <= 1;
        t.octave += off >= 10;
    }
    return t;
}

// A note of every vowel on every semitone from `lowKey` to `highKey`; each rendered for
// 1.1 s, the first 100 ms (the onset) left out, then cut into whole blocks.
Set sung(const std::string& name, bool female, int lowKey, int highKey, uint32_t octaveLower,
         uint32_t seed) {
    Set set{name, octaveLower, {}};
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> between(0.0, 1.0);
    for (int key = lowKey; key <= highKey; ++key) {
        for (voicegen::Vowel vowel : voicegen::kVowels) {
            voicegen::Singer singer;
            singer.female = female;
            singer.vibratoCents = 20 + 20 * between(random);
            singer.vibratoHz = 5.0 + between(random);
            singer.jitter = 0.003 + 0.007 * between(random);
            singer.shimmer = 0.03 + 0.07 * between(random);
            singer.breath = 0.01 + 0.05 * between(random);
            singer.levelDbfs = -36 + 24 * between(random);
            singer.noiseDbfs = -70 + 10 * between(random);
            singer.seed = static_cast<uint32_t>(random());
            const double hz = 440.0 * std::pow(2.0, (key - 69) / 12.0);
            auto pcm = voicegen::toPcm(voicegen::sing(hz, vowel, singer, kRate * 11 / 10, kRate));
            const int32_t expected = published(static_cast<int32_t>(std::lround(hz)), octaveLower);
            for (size_t at = kRate / 10; at + kPitchBlockSamples <= pcm.size(); at += kPitchBlockSamples)
                set.blocks.push_back(Block{std::vector<int16_t>(pcm.begin() + at, pcm.begin() + at + kPitchBlockSamples), expected});
        }
    }
    return set;
}

Set quiet(const std::string& name, const std::vector<double>& sound) {
    Set set{name, 0, {}};
    auto pcm = voicegen::toPcm(sound);
    for (size_t at = 0; at + kPitchBlockSamples <= pcm.size(); at += kPitchBlockSamples)
        set.blocks.push_back(Block{std::vector<int16_t>(pcm.begin() + at, pcm.begin() + at + kPitchBlockSamples), -100});
    return set;
}

std::string percent(int part, int whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", whole ? 100.0 * part / whole : 0.0);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const char* reportPath = nullptr;
    if (argc == 3 && std::string(argv[1]) == "--report") {
        reportPath = argv[2];
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: voice-bench [--report FILE]\n");
        return 2;
    }

    std::vector<Set> sets;
    sets.push_back(sung("men, C3..G4", false, 48, 67, 0, 11));
    sets.push_back(sung("women, G3..G#5", true, 55, 80, 0, 12));
    sets.push_back(sung("low men, E2..C4, octave lower", false, 40, 60, 1, 13));
    sets.push_back(sung("low women, C3..C5, octave lower", true, 48, 72, 1, 14));
    const size_t quietFrom = sets.size();
    const size_t quietLength = kRate * 30;  // 234 blocks each
    for (double level : {-70.0, -60.0, -50.0, -40.0}) {
        char name[64];
        std::snprintf(name, sizeof name, "white noise %.0f dBFS", level);
        sets.push_back(quiet(name, voicegen::noise(false, level, quietLength, 21)));
        std::snprintf(name, sizeof name, "pink noise %.0f dBFS", level);
        sets.push_back(quiet(name, voicegen::noise(true, level, quietLength, 22)));
    }
    sets.push_back(quiet("dither +-1 LSB", voicegen::dither(quietLength, 23)));
    std::vector<double> breath;
    for (voicegen::Vowel vowel : voicegen::kVowels) {
        auto part = voicegen::breathe(vowel, vowel == voicegen::Vowel::E, -40, quietLength / 5, kRate, 24);
        breath.insert(breath.end(), part.begin(), part.end());
    }
    sets.push_back(quiet("breath alone -40 dBFS", breath));

    auto now = [](const int16_t* block, uint32_t octaveLower) { return EstimatePitchHz(block, kRate, octaveLower); };
    auto before = [](const int16_t* block, uint32_t octaveLower) { return strongestPeakHz(block, octaveLower); };

    std::string table =
        "| set | blocks | exact slot | within one | octave errors | no pitch | µs/block |\n"
        "|---|---:|---:|---:|---:|---:|---:|\n";
    Tally sungNow, sungBefore;
    bool met = true;
    double worstTime = 0;
    for (size_t i = 0; i < sets.size(); ++i) {
        const Set& set = sets[i];
        const bool isQuiet = i >= quietFrom;
        Tally a = run(set, now), b = run(set, before);
        worstTime = std::max(worstTime, a.microseconds);
        for (auto [tally, label] : {std::pair<Tally*, const char*>{&a, "now"}, {&b, "before"}}) {
            char line[256];
            if (isQuiet)
                std::snprintf(line, sizeof line, "| %s, %s | %d | | | | %s | %.0f |\n", set.name.c_str(), label,
                              tally->blocks, percent(tally->noPitch, tally->blocks).c_str(), tally->microseconds);
            else
                std::snprintf(line, sizeof line, "| %s, %s | %d | %s | %s | %s | %s | %.0f |\n", set.name.c_str(),
                              label, tally->blocks, percent(tally->exact, tally->blocks).c_str(),
                              percent(tally->withinOne, tally->blocks).c_str(),
                              percent(tally->octave, tally->blocks).c_str(),
                              percent(tally->noPitch, tally->blocks).c_str(), tally->microseconds);
            table += line;
        }
        if (isQuiet) {
            met = met && a.noPitch == a.blocks;
        } else {
            for (auto [sum, t] : {std::pair<Tally*, Tally*>{&sungNow, &a}, {&sungBefore, &b}}) {
                sum->blocks += t->blocks;
                sum->exact += t->exact;
                sum->withinOne += t->withinOne;
                sum->octave += t->octave;
                sum->noPitch += t->noPitch;
            }
        }
    }
    char totals[512];
    std::snprintf(totals, sizeof totals,
                  "| all sung vowels, now | %d | %s | %s | %s | %s | |\n"
                  "| all sung vowels, before | %d | %s | %s | %s | %s | |\n",
                  sungNow.blocks, percent(sungNow.exact, sungNow.blocks).c_str(),
                  percent(sungNow.withinOne, sungNow.blocks).c_str(), percent(sungNow.octave, sungNow.blocks).c_str(),
                  percent(sungNow.noPitch, sungNow.blocks).c_str(), sungBefore.blocks,
                  percent(sungBefore.exact, sungBefore.blocks).c_str(),
                  percent(sungBefore.withinOne, sungBefore.blocks).c_str(),
                  percent(sungBefore.octave, sungBefore.blocks).c_str(),
                  percent(sungBefore.noPitch, sungBefore.blocks).c_str());
    table += totals;
    met = met && sungNow.withinOne * 100 >= 97 * sungNow.blocks && sungNow.exact * 100 >= 90 * sungNow.blocks &&
          sungNow.octave * 100 <= sungNow.blocks && worstTime <= 2000;
    std::fputs(table.c_str(), stdout);
    std::printf("targets %s\n", met ? "met" : "NOT met");

    if (reportPath) {
        std::FILE* report = std::fopen(reportPath, "w");
        if (!report) return 1;
        std::fprintf(report,
                     "# Voice benchmark\n\n"
                     "Written by `voice-bench --report bench/voice/REPORT.md` (host build, RelWithDebInfo).\n"
                     "Synthetic singers from `tools/voice-gen/voice_gen.h`: a Rosenberg glottal pulse with\n"
                     "jitter (0.3-1 %%) and shimmer (3-10 %%), vibrato of 20-40 cents at 5-6 Hz, breath noise, the\n"
                     "formants of a, e, i, o, u for men and women, a level of -36 to -12 dBFS RMS over a white\n"
                     "noise floor of -70 to -60 dBFS. Every vowel on every semitone of each range, 1.1 s each, the\n"
                     "first 100 ms left out, cut into 1024-sample blocks at 8000 Hz. A block's expected slot is\n"
                     "the published slot of the note's own frequency; *octave errors* are 10 or more slots off;\n"
                     "*no pitch* is a negative published slot. The quiet sets must give no pitch in every block.\n"
                     "*now* is `EstimatePitchHz`, *before* the strongest spectral peak it replaced.\n\n"
                     "Targets: sung vowels at least 97 %% within one slot, 90 %% exact, at most 1 %% octave\n"
                     "errors; quiet sets 100 %% no pitch; at most 2 ms a block. Targets %s.\n\n%s",
                     met ? "met" : "NOT met", table.c_str());
        std::fclose(report);
    }
    return met ? 0 : 1;
}
