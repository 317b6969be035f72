// The pitch detector: the spectrum, the peak search in the singing range, the lane-slot table,
// the published value, and the worker's hand-over and stop.

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
#include "voice/pitch.h"

using voicetest::tone;

namespace {

std::vector<std::complex<double>> directDft(const std::vector<float>& data, int isign) {
    const size_t n = data.size() / 2;
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (size_t t = 0; t < n; ++t) {
            double angle = isign * 2.0 * 3.14159265358979323846 * double(k * t % n) / double(n);
            sum += std::complex<double>(data[2 * t], data[2 * t + 1]) *
                   std::complex<double>(std::cos(angle), std::sin(angle));
        }
        out[k] = sum;
    }
    return out;
}

TEST(PitchSpectrum, MatchesADirectTransformInBothDirections) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (uint32_t n : {2u, 8u, 64u, 1024u}) {
        for (int isign : {-1, 1}) {
            std::vector<float> data(2 * n);
            for (float& x : data) x = value(random);
            auto expected = directDft(data, isign);
            Fft(data.data(), n, isign);
            double worst = 0;
            for (uint32_t k = 0; k < n; ++k)
                worst = std::max(worst, std::abs(std::complex<double>(data[2 * k], data[2 * k + 1]) -
                                                 expected[k]));
            // Inputs of size 1 summed over n points: single precision keeps well under 1e-3.
            EXPECT_LT(worst, 2e-4 * std::sqrt(double(n))) << "n " << n << " isign " << isign;
        }
    }
}

TEST(PitchDetector, FindsTheStrongestPeakInTheSingingRange) {
    // 440 Hz at full scale peaks at bin 56 (437.5 Hz): A4, shown an octave down unless the
    // singer sings an octave lower.
    auto a440 = tone(440, 8000);
    EXPECT_EQ(EstimatePitchHz(a440.data(), 8000, 0), 437);
    EXPECT_EQ(HzToLaneSlot(437), 38);
    EXPECT_EQ(PublishedPitchSlot(a440.data(), 8000, 0), 24);
    EXPECT_EQ(PublishedPitchSlot(a440.data(), 8000, 1), 38);

    // Silence has no peak: no pitch, -15 or -1.
    std::vector<int16_t> silence(1024, 0);
    EXPECT_EQ(EstimatePitchHz(silence.data(), 8000, 0), 0);
    EXPECT_EQ(PublishedPitchSlot(silence.data(), 8000, 0), -15);
    EXPECT_EQ(PublishedPitchSlot(silence.data(), 8000, 1), -1);

    // 100 Hz lies below the normal range, whose lowest bin (16, 125 Hz) is then the strongest;
    // the option widens the search down to 62.5 Hz and finds bin 13.
    auto low = tone(100, 8000);
    EXPECT_EQ(EstimatePitchHz(low.data(), 8000, 0), 125);
    EXPECT_EQ(PublishedPitchSlot(low.data(), 8000, 0), -2);
    EXPECT_EQ(EstimatePitchHz(low.data(), 8000, 1), 101);
    EXPECT_EQ(PublishedPitchSlot(low.data(), 8000, 1), 9);

    // The range ends: the top bin searched is 109 (851 Hz); a tone above the range is not
    // reported above it; with the option the bottom bin 8 gives 62 Hz, below the lane.
    auto top = tone(109 * 7.8125, 8000);
    EXPECT_EQ(EstimatePitchHz(top.data(), 8000, 0), 851);
    auto above = tone(1500, 8000);
    EXPECT_LT(EstimatePitchHz(above.data(), 8000, 0), 860);
    auto bottom = tone(8 * 7.8125, 8000);
    EXPECT_EQ(EstimatePitchHz(bottom.data(), 8000, 1), 62);
    EXPECT_EQ(PublishedPitchSlot(bottom.data(), 8000, 1), -1);

    // A quieter tone is found all the same; the rate scales the bins (440 Hz at 22050 Hz
    // falls in bin 20, 430 Hz).
    EXPECT_EQ(EstimatePitchHz(tone(440, 8000, 1024, 500).data(), 8000, 0), 437);
    EXPECT_EQ(EstimatePitchHz(tone(440, 22050).data(), 22050, 0), 430);
    // Nonsense rates give no pitch rather than a division by zero.
    EXPECT_EQ(EstimatePitchHz(a440.data(), 0, 0), 0);
}

TEST(PitchDetector, EqualPeaksKeepTheLowerBin) {
    // A click in the middle of the block, where the window is 1, has a flat spectrum: every
    // bin has the same magnitude, so the search keeps the first bin it looks at.
    std::vector<int16_t> click(1024, 0);
    click[512] = 16384;
    std::vector<float> points(2048, 0.0f);
    points[2 * 512] = 0.5f;
    Fft(points.data(), 1024, -1);
    for (int k = 0; k < 1024; ++k)
        ASSERT_EQ(std::hypot(points[2 * k], points[2 * k + 1]), 0.5f) << "bin " << k;
    EXPECT_EQ(EstimatePitchHz(click.data(), 8000, 0), 125);
    EXPECT_EQ(EstimatePitchHz(click.data(), 8000, 1), 62);
}

TEST(LaneSlots, TableEdgesAndNotes) {
    // The table's ends and an octave step.
    EXPECT_EQ(HzToLaneSlot(-5), -1);
    EXPECT_EQ(HzToLaneSlot(63), -1);
    EXPECT_EQ(HzToLaneSlot(64), 0);
    EXPECT_EQ(HzToLaneSlot(127), 12);
    EXPECT_EQ(HzToLaneSlot(128), 14);
    EXPECT_EQ(HzToLaneSlot(859), 51);
    EXPECT_EQ(HzToLaneSlot(860), -1);

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
        ASSERT_TRUE(AcquireAnalysisBlock());
    }
    void TearDown() override {
        StopPitchWorker();
        ReleaseAnalysisBlock();
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
    ASSERT_TRUE(TakePitchResult(&slot));
    EXPECT_EQ(slot, 38);
    ASSERT_TRUE(HandOverBlock(a440.data(), 2048));
    ASSERT_TRUE(nextPost(&posted));
    ASSERT_TRUE(TakePitchResult(&slot));
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
        EXPECT_FALSE(TakePitchResult(&slot));
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

    // The block released by the capture while the worker lives stays until it is gone.
    auto a440 = tone(440, 8000);
    ASSERT_TRUE(HandOverBlock(a440.data(), 2048));
    ReleaseAnalysisBlock();
    EXPECT_EQ(analysisBlock.load(), nullptr);
    StopPitchWorker();
    EXPECT_EQ(threads.runningThreads(), 0);
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
