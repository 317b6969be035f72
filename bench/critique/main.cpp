// critique-bench [--report FILE]: a perfect singer through the program's own capture, pitch
// worker and judging, on a simulated clock. Each song's melody falls as bars in the note lane
// while a synthetic voice (tools/voice-gen: a sung vowel, male or female) sings every note
// exactly in time into the fake wave-in device; the capture callback, the hand-over and the
// worker run as in the program, the window thread's part (taking each result, frames at 60 a
// second) in time order. Buffers come back every 64 ms of simulated time; the bench waits for
// the worker where a real machine would have let it finish long before the next buffer. A
// microphone noise floor alone, under the same bars, is the score nobody should get.
//
// Printed (and written to REPORT.md beside FILE): the score per song and voice, and for each
// quality the published-pitch cadence, the span of sound each result describes and how long
// after a note's onset its first right result came.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/host/fake_clock.h"
#include "platform/host/fake_wave_in.h"
#include "platform/host/host_threads.h"
#include "platform/host/recording_post.h"
#include "platform/host/recording_window.h"
#include "platform/host/software_drawing.h"
#include "platform/post.h"
#include "platform/thread.h"
#include "platform/wavein.h"
#include "platform/window.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "shell/paths.h"
#include "shell/settings.h"
#include "stage/critique_tally.h"
#include "stage/note_lane.h"
#include "stage/painter.h"
#include "stage/stage.h"
#include "voice-gen/voice_gen.h"
#include "voice/capture.h"
#include "voice/pitch.h"

namespace {

constexpr int32_t kWidth = 640, kHeight = 480;
constexpr uint32_t kLeadMs = 4500;   // bars fall four seconds before their note
constexpr uint32_t kTailMs = 6000;   // until the last bar has left the lane
constexpr uint32_t kBufferMs = kCaptureBufferMs;

struct Note {
    uint32_t onsetMs, endMs;
    uint8_t key;
};

// Quarters, eighths, halves: the eighths are the shortest notes, 250 ms at 120 bpm. The same
// tune at every tempo, 28 notes inside A3..A4, where men and women both sing.
std::vector<Note> melody(uint32_t bpm) {
    static const uint8_t keys[] = {60, 60, 67, 67, 69, 69, 67, 65, 65, 64, 64, 62, 62, 60,
                                   67, 65, 64, 62, 57, 59, 60, 62, 64, 65, 67, 69, 67, 60};
    static const double beats[] = {1, 1, 1, 1, 0.5, 0.5, 2, 1, 1, 0.5, 0.5, 0.5, 0.5, 2,
                                   1, 0.5, 0.5, 1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 1, 2};
    std::vector<Note> notes;
    double at = kLeadMs;
    const double beatMs = 60000.0 / bpm;
    for (size_t i = 0; i < sizeof keys; ++i) {
        const double end = at + beats[i] * beatMs;
        notes.push_back(Note{uint32_t(std::lround(at)), uint32_t(std::lround(end)), keys[i]});
        at = end;
    }
    return notes;
}

enum class Voice { Male, Female, Noise };
const char* voiceName(Voice v) { return v == Voice::Male ? "male" : v == Voice::Female ? "female" : "noise -55 dBFS"; }

// The microphone: a -70 dBFS floor under every note sung (10 ms fades, vowels in turn), or a
// -55 dBFS floor alone.
std::vector<int16_t> performance(const std::vector<Note>& notes, Voice voice, uint32_t rate, uint32_t channels) {
    const uint32_t totalMs = notes.back().endMs + kTailMs;
    const size_t count = size_t(totalMs) * rate / 1000;
    std::vector<double> sound = voicegen::noise(false, voice == Voice::Noise ? -55 : -70, count, 7);
    if (voice != Voice::Noise) {
        voicegen::Singer singer;
        singer.female = voice == Voice::Female;
        singer.noiseDbfs = -200;
        const size_t fade = rate / 100;
        for (size_t i = 0; i < notes.size(); ++i) {
            const Note& n = notes[i];
            const size_t from = size_t(n.onsetMs) * rate / 1000, to = size_t(n.endMs) * rate / 1000;
            const double hz = 440.0 * std::pow(2.0, (n.key - 69) / 12.0);
            singer.seed = uint32_t(i + 1);
            const auto sung = voicegen::sing(hz, voicegen::kVowels[i % 5], singer, to - from, rate);
            for (size_t k = 0; k < sung.size(); ++k) {
                const double edge = std::min<double>(1.0, double(std::min(k, sung.size() - 1 - k)) / double(fade));
                sound[from + k] += sung[k] * edge;
            }
        }
    }
    const std::vector<int16_t> mono = voicegen::toPcm(sound);
    std::vector<int16_t> out;
    out.reserve(mono.size() * channels);
    for (int16_t s : mono)
        for (uint32_t c = 0; c < channels; ++c) out.push_back(s);
    return out;
}

struct Outcome {
    uint32_t hits = 0, possible = 0;
    uint32_t results = 0;
    double seconds = 0;                 // of capture
    std::vector<int32_t> firstRightMs;  // per note, onset to its first right result; -1 never
    std::vector<int32_t> judgedMs;      // per note, onset to its bar's hit; -1 missed
};

// One song through capture, worker and painter. The window thread's work runs on this thread
// in simulated time order: bar pushes, buffer returns (with the result they lead to), frames.
Outcome perform(const std::vector<Note>& notes, Voice voice, uint32_t rate, uint32_t channels) {
    Outcome out;
    const std::vector<int16_t> sound = performance(notes, voice, rate, channels);

    platform::FakeWaveIn device;
    platform::HostThreads threads;
    platform::RecordingPost post;
    platform::RecordingWindowSide window;
    platform::FakeClock clock;
    platform::installWaveInDevice(&device);
    platform::installThreads(&threads);
    platform::installMessagePost(&post);
    platform::installWindow(&window);
    platform::installClock(&clock);
    settings.sampleRate = rate;
    settings.channels = channels;
    settings.bitsPerSample = 16;
    settings.record = 0;
    settings.critique = 1;
    settings.octaveLower = 0;
    settings.windowWidth = kWidth;
    settings.windowHeight = kHeight;

    platform::SoftwareDrawing& drawing = platform::hostDrawing();
    drawing.setClientSize(kWidth, kHeight);
    createStageSurfaces();
    chooseFirstBackground();
    rebuildStage();
    platform::Surface screen = drawing.createWindowSurface(kWidth, kHeight);
    const PaintRequest whole{screen, Rect{0, 0, kWidth, kHeight}};
    tally = CritiqueTally{};
    noteBars.clear();
    playback.playing = 1;
    playback.drawnLine = -1;
    const uint32_t start = 100000;
    clock.set(start);
    noteLane.restart(start);
    markerX = 0.0f;
    markerTargetX = -1;

    if (OpenCapture()) StartCapture();
    const float fall = float(kHeight - stripHeight.load()) / 4.0f;
    const size_t perBuffer = size_t(rate) * kBufferMs / 1000 * channels;
    const uint32_t endMs = notes.back().endMs + kTailMs;
    size_t nextBar = 0, nextBuffer = 0;
    uint32_t nextFrame = 0;
    int frameIndex = 0;
    uint32_t lastFrame = 0;
    std::vector<std::pair<uint32_t, int32_t>> published;  // time, slot
    std::vector<std::pair<NoteBar*, size_t>> falling;     // bars still in the list, their notes
    out.judgedMs.assign(notes.size(), -1);
    for (;;) {
        const uint32_t barAt = nextBar < notes.size() ? notes[nextBar].onsetMs - 4000 : UINT32_MAX;
        const uint32_t bufferAt = uint32_t((nextBuffer + 1) * kBufferMs);
        const uint32_t now = std::min({barAt, bufferAt, nextFrame});
        if (now > endMs) break;
        clock.set(start + now);
        if (now == barAt) {
            noteBars.push(float(noteLaneX(notes[nextBar].key)), -96.0f, 32, 64, 0.0f, fall);
            falling.push_back({noteBars.head, nextBar});
            ++nextBar;
        } else if (now == bufferAt) {
            const size_t from = nextBuffer * perBuffer;
            ++nextBuffer;
            device.feed(std::vector<int16_t>(sound.begin() + long(from), sound.begin() + long(from + perBuffer)));
            device.waitUntilIdle();
            platform::RecordingPost::Posted p{};
            if (post.take(&p, std::chrono::milliseconds(2000)) && p.wParam == VOICE_PITCH) {
                int32_t slot = 0;
                if (TakePitchResult(&slot, uint32_t(p.lParam))) {
                    markerTargetX = slot >= 0 ? laneSlotX(slot, kWidth) : slot;
                    published.push_back({now, slot});
                }
            }
        } else {
            // A bar that leaves the list before falling out of the window was hit.
            std::vector<float> yBefore;
            for (const auto& bar : falling) yBefore.push_back(bar.first->y);
            paintStage(whole);
            const float moved = fall * float(now - lastFrame) / 1000.0f;
            lastFrame = now;
            for (size_t i = falling.size(); i-- > 0;) {
                bool listed = false;
                for (NoteBar* b = noteBars.head; b && !listed; b = b->next) listed = b == falling[i].first;
                if (listed) continue;
                const Note& n = notes[falling[i].second];
                if (yBefore[i] + moved <= float(kHeight)) out.judgedMs[falling[i].second] = int32_t(now - n.onsetMs);
                falling.erase(falling.begin() + long(i));
            }
            nextFrame = uint32_t(std::lround(++frameIndex * 1000.0 / 60.0));
        }
    }
    StopCapturing();
    if (waveIn.load() != 0) device.waveInReset(waveIn.load());
    CloseCapture();
    platform::RecordingPost::Posted p{};
    while (post.take(&p, std::chrono::milliseconds(500)))
        if (p.wParam == VOICE_END) EndPitchRun(uint32_t(p.lParam));
    StopPitchWorker();

    out.hits = tally.hits;
    out.possible = tally.possible;
    out.results = uint32_t(published.size());
    out.seconds = double(nextBuffer * kBufferMs) / 1000.0;
    for (const Note& n : notes) {
        int32_t first = -1;
        for (const auto& r : published)
            if (r.first >= n.onsetMs && r.first < n.endMs + 200 && r.second == noteLaneSlot(n.key)) {
                first = int32_t(r.first - n.onsetMs);
                break;
            }
        out.firstRightMs.push_back(first);
    }

    noteBars.clear();
    drawing.releaseWindowSurface(screen);
    releaseStage();
    playback.playing = 0;
    platform::installClock(nullptr);
    platform::installWindow(nullptr);
    platform::installMessagePost(nullptr);
    platform::installThreads(nullptr);
    platform::installWaveInDevice(nullptr);
    return out;
}

uint32_t score(const Outcome& o) { return o.possible ? o.hits * 10 / o.possible : 0; }

// Median and largest of per-note times after the onset, and how many notes have none.
std::string spread(const std::vector<int32_t>& ms, const char* none) {
    std::vector<int32_t> known;
    for (int32_t m : ms)
        if (m >= 0) known.push_back(m);
    if (known.empty()) return "none";
    std::sort(known.begin(), known.end());
    char text[96];
    const size_t missing = ms.size() - known.size();
    std::snprintf(text, sizeof text, "%d / %d ms", known[known.size() / 2], known.back());
    return missing ? std::string(text) + ", " + std::to_string(missing) + " " + none : std::string(text);
}

// Wall time of one analysis at the device's rate: what the worker adds between a buffer's
// return and its result.
double analysisMicroseconds(uint32_t rate) {
    const std::vector<int16_t> block = voicegen::toPcm(voicegen::sing(220.0, voicegen::Vowel::A, {}, kPitchBlockSamples, rate));
    int32_t sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) sink += PublishedPitchSlot(block.data(), rate, 0);
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / 200;
    return sink == INT32_MIN ? 0 : us;
}

}  // namespace

int main(int argc, char** argv) {
    std::string reportPath;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--report" && i + 1 < argc) {
            reportPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: critique-bench [--report FILE]\n");
            return 2;
        }
    }
    platform::setHostExecutablePath("/tmp/lyrivox-critique-bench\\lyrivox.exe");
    pathBesideExecutable(backgroundPattern, "*.bmp", "media\\images\\");
    platform::SoftwareDrawing& drawing = platform::hostDrawing();
    drawing.setResource(kKeyboardBitmap, 640, 64, true, std::vector<platform::Colour>(640 * 64, 0xFFFFFF));
    drawing.setResource(kNoteBitmap, 32, 64, true, std::vector<platform::Colour>(32 * 64, 0));
    drawing.setResource(kMarkerBitmap, 32, 32, false, std::vector<platform::Colour>(32 * 32, 0xFF0000));

    std::string report;
    auto line = [&](const std::string& text) {
        std::printf("%s\n", text.c_str());
        report += text + "\n";
    };
    char row[256];
    line("## Score of a perfect singer, AM (8000 Hz mono, the quality Critique records in)");
    line("");
    line("| song | voice | hits / possible | score | onset to first right result, median / max | onset to hit, median / max |");
    line("|---|---|---|---|---|---|");
    bool expected = true;
    std::vector<std::string> missed;
    auto misses = [&](const std::vector<Note>& notes, const Outcome& o, uint32_t bpm, const char* who) {
        for (size_t i = 0; i < notes.size(); ++i) {
            if (o.judgedMs[i] >= 0) continue;
            char text[200];
            std::snprintf(text, sizeof text,
                          "- %u bpm, %s: note %zu (key %u, %u ms, after key %u), first right result %d ms after its onset",
                          bpm, who, i + 1, notes[i].key, notes[i].endMs - notes[i].onsetMs,
                          i ? notes[i - 1].key : 0u, o.firstRightMs[i]);
            missed.push_back(text);
        }
    };
    for (uint32_t bpm : {60u, 90u, 120u, 160u}) {
        for (Voice voice : {Voice::Male, Voice::Female, Voice::Noise}) {
            if (voice == Voice::Noise && bpm != 120) continue;
            const Outcome o = perform(melody(bpm), voice, 8000, 1);
            const uint32_t s = score(o);
            expected = expected && (voice == Voice::Noise ? s <= 1 : s >= (bpm <= 120 ? 10u : 9u));
            std::snprintf(row, sizeof row, "| %u bpm | %s | %u / %u | %u | %s | %s |", bpm, voiceName(voice),
                          o.hits, o.possible, s, voice == Voice::Noise ? "-" : spread(o.firstRightMs, "never").c_str(),
                          spread(o.judgedMs, "missed").c_str());
            line(row);
            if (voice != Voice::Noise) misses(melody(bpm), o, bpm, voiceName(voice));
        }
    }
    if (!missed.empty()) {
        line("");
        line("Bars missed by the perfect singer:");
        line("");
        for (const std::string& m : missed) line(m);
    }
    line("");
    line("## Published pitch per quality (120 bpm, male)");
    line("");
    line("| quality | results a second | sound per result | newest sample to result | onset to first right result, median / max | score |");
    line("|---|---|---|---|---|---|");
    struct Quality {
        const char* name;
        uint32_t rate, channels;
    };
    for (Quality q : {Quality{"AM", 8000, 1}, Quality{"FM", 22050, 2}, Quality{"CD", 44100, 2}}) {
        const Outcome o = perform(melody(120), Voice::Male, q.rate, q.channels);
        expected = expected && score(o) == 10;
        std::snprintf(row, sizeof row, "| %s | %.1f | %.0f ms | %.2f ms | %s | %u / %u |", q.name,
                      o.results / o.seconds, 1000.0 * kPitchBlockSamples / q.rate,
                      analysisMicroseconds(q.rate) / 1000.0, spread(o.firstRightMs, "never").c_str(), o.hits,
                      o.possible);
        line(row);
    }
    line("");
    line("Times are simulated: the window thread takes each result when the buffer that led to it");
    line("comes back, so a result's newest sample is as old as one analysis (wall time on this");
    line("machine, above) and its oldest is older by the sound per result (1024 values: 128 ms at AM).");
    line("At FM and CD the two channels are mixed to one before the detector, which reads 1024");
    line("samples at the device's rate. Critique chooses AM, but the menu lets a user choose FM or CD");
    line("afterwards.");
    line("");
    line("A bar is judged while its top is between the hit line (480 - 63 - 64 = 353 at 640 x 480)");
    line("and the window's bottom: from about 0.3 s to 1.5 s after its note's onset. A note shorter");
    line("than 0.3 s (an eighth is 250 ms at 120 bpm, 187 ms at 160) has ended before its bar is judged,");
    line("and is hit only while the marker still shows it: from results whose block still holds the");
    line("note, and during the glide away from it. A bar missed at 160 bpm is such an eighth followed");
    line("by a note two lane slots (32 px) away: the results after its end carry the marker past 16 px");
    line("before the bar reaches the hit line.");
    line("");
    line(expected ? "Every song as expected (10 at 60-120 bpm in every quality, at least 9 at 160, noise at most 1)."
                  : "NOT as expected (10 at 60-120 bpm in every quality, at least 9 at 160, noise at most 1).");

    if (!reportPath.empty()) {
        std::FILE* file = std::fopen(reportPath.c_str(), "w");
        if (!file) {
            std::fprintf(stderr, "critique-bench: cannot write %s\n", reportPath.c_str());
            return 1;
        }
        std::fprintf(file, "# Critique benchmark\n\nWritten by `critique-bench --report bench/critique/REPORT.md` (host build).\n\n%s", report.c_str());
        std::fclose(file);
    }
    return expected ? 0 : 1;
}
