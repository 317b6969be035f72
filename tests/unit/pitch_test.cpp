// The pitch detector: the spectrum, the fundamental of tones and sung vowels, no pitch from
// quiet microphones, the lane-slot table, the published value, and the worker's hand-over
// and stop.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <random>
#include <thread>
#include <vector>

#include "platform/host/host_threads.h"
#include "platform/host/recording_post.h"
#include "shell/settings.h"
#include "support/voice_signals.h"
#include "voice-gen/voice_gen.h"
#include "voice/pitch.h"

using voicetest::tone;

namespace {

// Against a direct transform of random data, both directions: inputs of size 1 summed over n
// points, so single precision keeps well under 1e-3.
TEST(PitchSpectrum, MatchesADirectTransformInBothDirections) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (uint32_t n : {2u, 8u, 64u, 1024u}) {
        for (int isign : {-1, 1}) {
            std::vector<float> data(2 * n);
            for (float& x : data) x = value(random);
            const std::vector<float> input = data;
            Fft(data.data(), n, isign);
            double worst = 0;
            for (uint32_t k = 0; k < n; ++k) {
                std::complex<double> sum = 0;
                for (uint32_t t = 0; t < n; ++t)
                    sum += std::complex<double>(input[2 * t], input[2 * t + 1]) *
                           std::polar(1.0, isign * 2.0 * 3.14159265358979323846 * double(k * t % n) / double(n));
                worst = std::max(worst, std::abs(std::complex<double>(data[2 * k], data[2 * k + 1]) - sum));
            }
            EXPECT_LT(worst, 2e-4 * std::sqrt(double(n))) << "n " << n << " isign " << isign;
        }
    }
}

std::vector<int16_t> sungVowel(double hz, voicegen::Vowel vowel, bool female) {
    voicegen::Singer singer;
    singer.female = female;
    singer.seed = 3 + static_cast<uint32_t>(vowel);
    auto sung = voicegen::toPcm(voicegen::sing(hz, vowel, singer, 4096, 8000));
    return std::vector<int16_t>(sung.begin() + 2048, sung.begin() + 3072);
}

std::vector<int16_t> pcm(const std::vector<double>& sound) {
    auto samples = voicegen::toPcm(sound);
    samples.resize(1024);
    return samples;
}

TEST(PitchDetector, TonesAtTheRangeAndItsEnds) {
    // Hz within a few of the tone (0 for no pitch); the published slot, an octave down unless
    // the singer sings an octave lower, -15 or -1 for no pitch.
    struct Case {
        const char* what;
        std::vector<int16_t> block;
        uint32_t rate, octaveLower;
        int32_t hz, published;
    };
    std::vector<int16_t> click(1024, 0);
    click[512] = 16384;
    const Case cases[] = {
        {"A4 full scale", tone(440, 8000), 8000, 0, 440, 24},
        {"A4, option on", tone(440, 8000), 8000, 1, 440, 38},
        {"A4 at -36 dBFS", tone(440, 8000, 1024, 500), 8000, 0, 440, 24},
        {"A4 at 22050 Hz", tone(440, 22050), 22050, 0, 440, 24},
        {"silence", std::vector<int16_t>(1024, 0), 8000, 0, 0, -15},
        {"silence, option on", std::vector<int16_t>(1024, 0), 8000, 1, 0, -1},
        {"100 Hz, below the range", tone(100, 8000), 8000, 0, 0, -15},
        {"100 Hz, option on", tone(100, 8000), 8000, 1, 100, 9},
        {"851 Hz, top of the range", tone(851, 8000), 8000, 0, 851, 37},
        {"1500 Hz, above the range", tone(1500, 8000), 8000, 0, 0, -15},
        {"60 Hz, below the option's range", tone(60, 8000), 8000, 1, 0, -1},
        {"E2, option on", tone(82.41, 8000), 8000, 1, 82, 4},
        {"a click", click, 8000, 0, 0, -15},
        {"no sample rate", tone(440, 8000), 0, 0, 0, -15},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(EstimatePitchHz(c.block.data(), c.rate, c.octaveLower), c.hz, 2) << c.what;
        EXPECT_EQ(PublishedPitchSlot(c.block.data(), c.rate, c.octaveLower), c.published) << c.what;
    }
}

TEST(PitchDetector, SungVowelsLandOnTheirNote) {
    // The loudest harmonic of a sung "ah" is near its first formant, several harmonics above
    // the note; every vowel must still be heard on its fundamental. D3 and G4 for a man and a
    // woman, G2 for a low man with the option.
    for (voicegen::Vowel vowel : voicegen::kVowels) {
        EXPECT_EQ(PublishedPitchSlot(sungVowel(146.83, vowel, false).data(), 8000, 0), 16 - 14)
            << "man, " << voicegen::vowelName(vowel);
        EXPECT_EQ(PublishedPitchSlot(sungVowel(392.0, vowel, true).data(), 8000, 0), 36 - 14)
            << "woman, " << voicegen::vowelName(vowel);
        EXPECT_EQ(PublishedPitchSlot(sungVowel(98.0, vowel, false).data(), 8000, 1), 8)
            << "low man, " << voicegen::vowelName(vowel);
    }
}

TEST(PitchDetector, QuietMicrophonesGiveNoPitch) {
    // Below the floor by level, above it by the lack of any period.
    const std::pair<const char*, std::vector<int16_t>> cases[] = {
        {"dither", pcm(voicegen::dither(1024, 1))},
        {"white noise -60 dBFS", pcm(voicegen::noise(false, -60, 1024, 2))},
        {"pink noise -50 dBFS", pcm(voicegen::noise(true, -50, 1024, 3))},
        {"white noise -30 dBFS", pcm(voicegen::noise(false, -30, 1024, 4))},
        {"pink noise -30 dBFS", pcm(voicegen::noise(true, -30, 1024, 5))},
        {"breath -30 dBFS", pcm(voicegen::breathe(voicegen::Vowel::A, false, -30, 1024, 8000, 6))},
    };
    for (const auto& [what, block] : cases)
        for (uint32_t octaveLower : {0u, 1u})
            EXPECT_EQ(EstimatePitchHz(block.data(), 8000, octaveLower), 0) << what;
}

TEST(LaneSlots, TableEdgesAndNotes) {
    // The table's ends and an octave step.
    for (auto [hz, slot] : {std::pair{-5, -1}, {63, -1}, {64, 0}, {127, 12}, {128, 14}, {859, 51}, {860, -1}})
        EXPECT_EQ(HzToLaneSlot(hz), slot) << hz;

    // Across the lane the slot never falls and never lands on the empty slots between E and
    // F or B and C.
    int32_t previous = 0;
    for (int32_t hz = 64; hz < 860; ++hz) {
        int32_t slot = HzToLaneSlot(hz);
        ASSERT_GE(slot, previous) << hz;
        ASSERT_NE(slot % 14, 5) << hz;
        ASSERT_NE(slot % 14, 13) << hz;
        previous = slot;
    }

    // Each equal-tempered note from C2 to G#5 lands on its own slot, C4 (MIDI 60) on 28 before
    // the published octave shift brings it to 14, where the melody puts middle C.
    const int32_t inOctave[12] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12};
    for (int note = 36; note <= 80; ++note) {
        double hz = 440.0 * std::pow(2.0, (note - 69) / 12.0);
        int32_t expected = 14 * (note / 12 - 3) + inOctave[note % 12];
        EXPECT_EQ(HzToLaneSlot(static_cast<int32_t>(std::lround(hz))), expected) << "note " << note;
    }
}

// The worker runs on host threads; its posts land in a recording queue read as the window
// thread would.
class PitchWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::installThreads(&threads);
        platform::installMessagePost(&post);
        settings.sampleRate = 8000;
    }
    void TearDown() override {
        StopPitchWorker();
        platform::installThreads(nullptr);
        platform::installMessagePost(nullptr);
    }

    bool nextPost(platform::RecordingPost::Posted* posted) {
        return post.take(posted, std::chrono::milliseconds(5000));
    }

    platform::HostThreads threads;
    platform::RecordingPost post;
};

// One block at a time, the result posted and taken, is proved under load through the fake
// device in CaptureTest.CritiqueAnalysesOneBlockAtATimeAndRecordsNothing.
TEST_F(PitchWorkerTest, TheOptionIsTakenAtTheStartOfTheRun) {
    ASSERT_TRUE(StartPitchWorker(1));
    platform::RecordingPost::Posted posted{};
    auto a440 = tone(440, 8000);
    ASSERT_TRUE(HandOverBlock(a440.data(), 2048));
    // Until the window has taken the result, further blocks are not handed over.
    EXPECT_FALSE(HandOverBlock(a440.data(), 2048));
    ASSERT_TRUE(nextPost(&posted));
    EXPECT_EQ(posted.message, WM_VOICE);
    EXPECT_EQ(posted.wParam, VOICE_PITCH);
    EXPECT_EQ(octaveLowerAtStart.load(), 0u);  // taken by the worker
    settings.octaveLower = 0;                  // switched during the song: no effect
    int32_t slot = 0;
    ASSERT_TRUE(TakePitchResult(&slot, pitchRun.load()));
    EXPECT_EQ(slot, 38);
    ASSERT_TRUE(HandOverBlock(a440.data(), 2048));
    ASSERT_TRUE(nextPost(&posted));
    ASSERT_TRUE(TakePitchResult(&slot, pitchRun.load()));
    EXPECT_EQ(slot, 38);
}

TEST_F(PitchWorkerTest, StoppingWaitsForTheWorkerAndPublishesNothingAfterwards) {
    auto a440 = tone(440, 8000);
    std::vector<int16_t> silence(1024, 0);
    pitchSlot = 7;
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(StartPitchWorker(0));
        ASSERT_TRUE(HandOverBlock(round % 2 ? a440.data() : silence.data(), 2048));
        StopPitchWorker();  // the block may be in analysis right now
        EXPECT_EQ(threads.runningThreads(), 0);
        EXPECT_EQ(threads.openEvents(), 0);
        EXPECT_EQ(worker.load(), 0u);
        EXPECT_EQ(wakeEvent.load(), 0u);
        EXPECT_EQ(blockWanted.load(), 0);

        // Whatever the worker managed to publish came before the stop returned; nothing
        // comes after, and a result still queued is refused.
        const int posts = post.postedCount();
        const int32_t published = pitchSlot.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(post.postedCount(), posts);
        EXPECT_EQ(pitchSlot.load(), published);
        int32_t slot = 0;
        EXPECT_FALSE(TakePitchResult(&slot, pitchRun.load()));
        EXPECT_EQ(blockWanted.load(), 0);
        EXPECT_FALSE(HandOverBlock(a440.data(), 2048));
        post.clear();
    }
    StopPitchWorker();  // twice is harmless
}

TEST_F(PitchWorkerTest, AWorkerLeftBehindIsStoppedBeforeTheNextStarts) {
    ASSERT_TRUE(StartPitchWorker(0));
    ASSERT_TRUE(StartPitchWorker(0));
    EXPECT_EQ(threads.threadsStarted(), 2);
    EXPECT_EQ(threads.runningThreads(), 1);
    EXPECT_EQ(threads.openEvents(), 1);
}

TEST_F(PitchWorkerTest, NoEventOrNoThreadMeansNoHandOver) {
    threads.failCreateEvent = true;
    EXPECT_FALSE(StartPitchWorker(0));
    EXPECT_EQ(threads.threadsStarted(), 0);
    EXPECT_EQ(blockWanted.load(), 0);

    threads.failCreateEvent = false;
    threads.failCreateThread = true;
    EXPECT_FALSE(StartPitchWorker(0));
    EXPECT_EQ(threads.openEvents(), 0);  // the event made is closed again
    EXPECT_EQ(worker.load(), 0u);
    auto a440 = tone(440, 8000);
    EXPECT_FALSE(HandOverBlock(a440.data(), 2048));
    EXPECT_EQ(threads.setEvents(), 0);
}

}  // namespace
