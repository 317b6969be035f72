// The wave capture with a fake device: the buffers of the three qualities, what happens to
// every returned buffer with Record and Critique on or off, the hand-over to the pitch worker
// under load, and each failure with its one message and nothing lost or released twice.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/host/fake_wave_in.h"
#include "platform/host/host_threads.h"
#include "platform/host/recording_post.h"
#include "platform/host/recording_window.h"
#include "platform/post.h"
#include "platform/thread.h"
#include "platform/wavein.h"
#include "platform/window.h"
#include "shell/settings.h"
#include "support/unit_support.h"
#include "support/voice_signals.h"
#include "voice/capture.h"
#include "voice/pitch.h"
#include "voice/recording.h"

using platform::FakeWaveIn;
using voicetest::tone;

namespace {

const auto fileBytes = unittest::readBytes;
uint32_t le32(const unittest::Bytes& bytes, size_t at) { return unittest::le(bytes, at); }

const std::string kOpenFailed = unittest::kMsgCannotOpenWaveIn;
const std::string kPrepareFailed = unittest::kMsgCannotPrepareHeader;
const std::string kCloseFailed = unittest::kMsgCannotCloseWaveIn;
const std::string kStartFailed = unittest::kMsgCannotStartRecording;
const std::string kCreateFailed = unittest::kMsgCannotCreateRecording;

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lvx-capture-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        take = folder + "/lvxtake.wav";
        std::snprintf(recordingPath, sizeof recordingPath, "%s", take.c_str());
        device = new FakeWaveIn;
        platform::installWaveInDevice(device);
        platform::installThreads(&threads);
        platform::installMessagePost(&post);
        platform::installWindow(&window);
        quality(8000, 1);
        settings.bitsPerSample = 16;
        settings.record = 0;
        settings.critique = 0;
        settings.octaveLower = 0;
        capturing = 0;
        waveIn = 0;
    }
    void TearDown() override {
        // Whatever a test left running ends the way the program ends it.
        stopSequence();
        StopPitchWorker();
        FinishRecording();
        platform::installWaveInDevice(nullptr);
        delete device;
        platform::installThreads(nullptr);
        platform::installMessagePost(nullptr);
        platform::installWindow(nullptr);
        EXPECT_EQ(threads.runningThreads(), 0);
        EXPECT_EQ(threads.openEvents(), 0);
        std::string command = "rm -rf '" + folder + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    static void quality(uint32_t rate, uint32_t channels) {
        settings.sampleRate = rate;
        settings.channels = channels;
    }

    // The start of a run: open and, when that worked, start.
    void startCapture() {
        if (OpenCapture()) StartCapture();
    }
    // The stop sequence of a run.
    void stopSequence() {
        StopCapturing();
        if (waveIn.load() != 0) device->waveInReset(waveIn.load());
        CloseCapture();
    }
    // The window procedure's part: takes one posted message and acts on it. Returns its wParam,
    // or -1 when none came.
    int handleNextPost(std::chrono::milliseconds wait = std::chrono::milliseconds(5000)) {
        platform::RecordingPost::Posted posted{};
        if (!post.take(&posted, wait)) return -1;
        EXPECT_EQ(posted.message, WM_VOICE);
        if (posted.wParam == VOICE_PITCH) {
            int32_t slot = 0;
            if (TakePitchResult(&slot, uint32_t(posted.lParam))) slots.push_back(slot);
        } else if (posted.wParam == VOICE_END) {
            ends.push_back(EndPitchRun(uint32_t(posted.lParam)));
        }
        return int(posted.wParam);
    }
    void feedBuffers(const std::vector<int16_t>& samples) {
        device->feed(samples);
        ASSERT_TRUE(device->waitUntilIdle());
    }

    std::string folder;
    std::string take;
    FakeWaveIn* device = nullptr;
    platform::HostThreads threads;
    platform::RecordingPost post;
    platform::RecordingWindowSide window;
    std::vector<int32_t> slots;
    std::vector<bool> ends;  // each VOICE_END: true when it ended the run (and reports)
};

TEST_F(CaptureTest, EachQualityGetsItsFormatAndEightBuffersOf64Ms) {
    struct Quality {
        uint32_t rate, channels, byteRate, align, each;
    };
    for (Quality q : {Quality{8000, 1, 16000, 2, 1024}, Quality{22050, 2, 88200, 4, 5644},
                      Quality{44100, 2, 176400, 4, 11288}}) {
        quality(q.rate, q.channels);
        ASSERT_EQ(OpenCapture(), 1);
        platform::WaveFormat format = device->format();
        EXPECT_EQ(format.formatTag, 1);
        EXPECT_EQ(format.channels, q.channels);
        EXPECT_EQ(format.samplesPerSec, q.rate);
        EXPECT_EQ(format.avgBytesPerSec, q.byteRate);
        EXPECT_EQ(format.blockAlign, q.align);
        EXPECT_EQ(format.bitsPerSample, 16);
        EXPECT_EQ(format.extraSize, 0);
        EXPECT_EQ(captureBufferBytes(), q.each);
        EXPECT_EQ(device->preparedHeaders(), int(kCaptureBuffers));
        CloseCapture();
        EXPECT_EQ(waveIn.load(), 0u);
        EXPECT_FALSE(device->isOpen());
        EXPECT_EQ(captureBufferBytes(), 0u);
    }
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(CaptureTest, RecordOnlyRecordsAndRequeuesEveryBuffer) {
    settings.record = 1;
    startCapture();
    ASSERT_NE(waveIn.load(), 0u);
    EXPECT_EQ(capturing.load(), 1);

    // Twelve full AM buffers (512 samples, 64 ms each), then the stop: the reset returns all
    // eight queued buffers empty, which add nothing.
    std::vector<int16_t> sound;
    for (int i = 0; i < 12 * 512; ++i) sound.push_back(int16_t(i * 13 - 20000));
    feedBuffers(sound);
    EXPECT_EQ(device->deliveries(), 12);
    EXPECT_EQ(device->queuedBuffers(), 8);  // every buffer went back to the device
    stopSequence();
    EXPECT_EQ(device->deliveries(), 20);
    std::vector<std::string> calls;
    for (auto [name, times] : {std::pair{"open", 1}, {"prepare", 8}, {"add", 8}, {"start", 1},
                               {"add", 12}, {"reset", 1}, {"unprepare", 8}, {"close", 1}})
        calls.insert(calls.end(), size_t(times), name);
    EXPECT_EQ(device->log(), calls);

    auto bytes = fileBytes(take);
    ASSERT_EQ(bytes.size(), 44u + 12288u);
    EXPECT_EQ(le32(bytes, 4), 12324u);
    EXPECT_EQ(le32(bytes, 40), 12288u);
    for (size_t i = 0; i < sound.size(); ++i)
        ASSERT_EQ(int16_t(bytes[44 + 2 * i] | bytes[45 + 2 * i] << 8), sound[i]) << i;

    // No worker, no event, no end notice without Critique; nothing to complain about.
    EXPECT_EQ(threads.threadsStarted(), 0);
    EXPECT_EQ(threads.eventsMade(), 0);
    EXPECT_EQ(post.postedCount(), 0);
    EXPECT_TRUE(window.messages().empty());

    // A partly filled buffer returned by the reset is recorded with what it holds.
    startCapture();
    std::vector<int16_t> more(2048 + 300, 1234);
    feedBuffers(more);
    stopSequence();
    bytes = fileBytes(take);
    EXPECT_EQ(le32(bytes, 40), 2u * (2048 + 300));
    EXPECT_EQ(bytes.size(), 44u + 2u * (2048 + 300));
}

TEST_F(CaptureTest, CritiqueAnalysesOneBlockAtATimeAndRecordsNothing) {
    settings.critique = 1;
    startCapture();
    EXPECT_EQ(threads.runningThreads(), 1);

    // Twenty buffers arrive before the window has taken the first result: only the first is
    // analysed; all twenty go back to the device.
    auto a440 = tone(440, 8000, 20 * 512);
    feedBuffers(a440);
    EXPECT_EQ(device->deliveries(), 20);
    EXPECT_EQ(device->queuedBuffers(), 8);
    EXPECT_EQ(device->calls(FakeWaveIn::kAddBuffer), 8 + 20);
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
    EXPECT_EQ(threads.setEvents(), 1);
    EXPECT_EQ(slots, std::vector<int32_t>{24});

    // The window re-armed the hand-over: the next buffer is analysed with the sound before
    // it, the latest 1024 samples (still three quarters tone); once the tone has slid out, the
    // block is silence.
    feedBuffers(std::vector<int16_t>(4 * 512, 0));
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
    feedBuffers(std::vector<int16_t>(512, 0));
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
    EXPECT_EQ(slots, (std::vector<int32_t>{24, 24, -15}));

    // Buffers returned after the stop's clear never wake the worker, though it is free.
    stopSequence();
    EXPECT_EQ(threads.setEvents(), 3);
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    EXPECT_EQ(threads.runningThreads(), 0);
    EXPECT_EQ(threads.openEvents(), 0);
    EXPECT_EQ(post.pending(), 0u);
    EXPECT_EQ(access(take.c_str(), F_OK), -1);  // no file touched
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(CaptureTest, CritiqueHearsAStereoMicrophoneAsOneVoice) {
    // Read as one channel, interleaved frames halve every period and the pitch is lost.
    quality(44100, 2);
    settings.critique = 1;
    startCapture();
    std::vector<int16_t> stereo;
    for (int16_t sample : tone(440, 44100, 2822)) stereo.insert(stereo.end(), {sample, int16_t(sample / 2)});
    feedBuffers(stereo);
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
    EXPECT_EQ(slots, std::vector<int32_t>{24});
}

TEST_F(CaptureTest, RecordAndCritiqueTogetherThroughSeveralRuns) {
    settings.record = 1;
    settings.critique = 1;
    for (int run = 0; run < 3; ++run) {
        settings.octaveLower = uint8_t(run % 2);
        startCapture();
        feedBuffers(tone(440, 8000, 4 * 2048));
        // The window keeps up this time: every result taken as it comes.
        EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
        feedBuffers(tone(440, 8000, 2048));
        EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
        stopSequence();
        EXPECT_EQ(handleNextPost(), int(VOICE_END));
        EXPECT_EQ(le32(fileBytes(take), 40), 5u * 4096u) << "run " << run;
    }
    EXPECT_EQ(slots, (std::vector<int32_t>{24, 24, 38, 38, 24, 24}));
    EXPECT_EQ(threads.threadsStarted(), 3);
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(CaptureTest, ALateEndOfThePreviousRunLeavesTheNextRunAlone) {
    // The previous run's close notice is still queued when the next song's device opens.
    settings.critique = 1;
    startCapture();
    feedBuffers(tone(440, 8000, 2048));
    for (int wait = 0; wait < 5000 && post.pending() == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stopSequence();
    startCapture();
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));  // the old run's result moves nothing
    EXPECT_EQ(handleNextPost(), int(VOICE_END));    // nor does its end stop the new worker
    EXPECT_EQ(threads.runningThreads(), 1);
    feedBuffers(tone(440, 8000, 2048));
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
    stopSequence();
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    EXPECT_EQ(threads.runningThreads(), 0);
    EXPECT_EQ(slots, std::vector<int32_t>{24});
    EXPECT_EQ(ends, (std::vector<bool>{false, true}));
}

TEST_F(CaptureTest, NoMicrophoneIsOneMessageAndNothingToClose) {
    settings.record = 1;
    settings.critique = 1;
    device->failCall(FakeWaveIn::kOpen);
    startCapture();
    EXPECT_EQ(waveIn.load(), 0u);
    EXPECT_EQ(captureBufferBytes(), 0u);
    stopSequence();
    EXPECT_EQ(device->log(), std::vector<std::string>{"open"});
    EXPECT_EQ(window.messages(), std::vector<std::string>{kOpenFailed});
    EXPECT_EQ(threads.threadsStarted(), 0);
    EXPECT_EQ(post.postedCount(), 0);
}

TEST_F(CaptureTest, AHeaderThatCannotBePreparedClosesTheCaptureAtOnce) {
    settings.record = 1;
    settings.critique = 1;
    device->failCall(FakeWaveIn::kPrepare);
    EXPECT_EQ(OpenCapture(), 0);
    EXPECT_EQ(window.messages(), std::vector<std::string>{kPrepareFailed});
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(waveIn.load(), 0u);
    // The close notice finished the (empty) take and ended the critique run.
    EXPECT_EQ(recordingFile.load(), nullptr);
    EXPECT_EQ(fileBytes(take).size(), 44u);
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    EXPECT_EQ(threads.runningThreads(), 0);
    EXPECT_EQ(captureBufferBytes(), 0u);

    // The stop finds nothing left to close: no 107.
    stopSequence();
    EXPECT_EQ(window.messages().size(), 1u);
    EXPECT_EQ(device->calls(FakeWaveIn::kPrepare), int(kCaptureBuffers));
    EXPECT_EQ(device->log().back(), "close");

    // Only the second failing: the others, prepared, are unprepared again before the close.
    window.clear();
    device->failCall(FakeWaveIn::kPrepare, false);
    struct SecondPrepareFails : FakeWaveIn {
        int prepares = 0;
        uint32_t waveInPrepareHeader(uintptr_t d, platform::WaveHeader* h) override {
            return ++prepares == 2 ? kError : FakeWaveIn::waveInPrepareHeader(d, h);
        }
    } second;
    platform::installWaveInDevice(&second);
    EXPECT_EQ(OpenCapture(), 0);
    EXPECT_EQ(second.preparedHeaders(), 0);
    EXPECT_EQ(second.calls(FakeWaveIn::kUnprepare), int(kCaptureBuffers) - 1);
    EXPECT_EQ(window.messages(), std::vector<std::string>{kPrepareFailed});
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    stopSequence();
    platform::installWaveInDevice(device);
}

TEST_F(CaptureTest, ACaptureThatCannotStartIsReportedAndStillStops) {
    settings.record = 1;
    for (FakeWaveIn::Call failing : {FakeWaveIn::kAddBuffer, FakeWaveIn::kStart}) {
        window.clear();
        device->failCall(failing);
        startCapture();
        EXPECT_EQ(window.messages(), std::vector<std::string>{kStartFailed});
        EXPECT_EQ(capturing.load(), 1);
        device->failCall(failing, false);
        stopSequence();
        EXPECT_EQ(window.messages().size(), 1u);
        EXPECT_FALSE(device->isOpen());
        EXPECT_EQ(fileBytes(take).size(), 44u);
    }
}

// Windows gives the buffers back from within the reset while the device's thread may be in the
// callback, about to queue one again: that buffer reaches the device before the reset or not
// at all, so the unprepare and the close still work.
TEST_F(CaptureTest, NoBufferIsQueuedAgainAfterTheStopsReset) {
    struct SlowRequeue : FakeWaveIn {
        // The callback's re-queue waits (a while at most) for the reset, and the reset for it.
        uint32_t waveInAddBuffer(uintptr_t handle, platform::WaveHeader* header) override {
            if (std::this_thread::get_id() == tester || !armed.exchange(false))
                return FakeWaveIn::waveInAddBuffer(handle, header);
            inAdd.store(true);
            waitFor(resetDone);
            const uint32_t result = FakeWaveIn::waveInAddBuffer(handle, header);
            addDone.store(true);
            return result;
        }
        uint32_t waveInReset(uintptr_t handle) override {
            const uint32_t result = FakeWaveIn::waveInReset(handle);
            resetDone.store(true);
            if (inAdd.load()) waitFor(addDone);
            return result;
        }
        static void waitFor(const std::atomic<bool>& flag) {
            for (int i = 0; i < 300 && !flag.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::thread::id tester = std::this_thread::get_id();
        std::atomic<bool> armed{false}, inAdd{false}, resetDone{false}, addDone{false};
    };
    platform::installWaveInDevice(nullptr);
    delete device;
    auto* slow = new SlowRequeue;
    device = slow;
    platform::installWaveInDevice(device);
    device->resetFromCaller();
    settings.record = 1;
    startCapture();
    slow->armed.store(true);
    device->feed(std::vector<int16_t>(512, 1000));
    while (!slow->inAdd.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stopSequence();
    EXPECT_TRUE(window.messages().empty());
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(le32(fileBytes(take), 40), 1024u);
}

TEST_F(CaptureTest, ADeviceThatWillNotCloseLeavesItsRunToTheNext) {
    settings.record = 1;
    settings.critique = 1;
    startCapture();
    feedBuffers(tone(440, 8000, 2048));
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));

    device->failCall(FakeWaveIn::kClose);
    stopSequence();
    EXPECT_EQ(window.messages(), std::vector<std::string>{kCloseFailed});
    EXPECT_EQ(waveIn.load(), 0u);
    EXPECT_EQ(captureBufferBytes(), 0u);  // unprepared: the device no longer holds them
    // No close notice: the take stays open and the worker waits.
    EXPECT_NE(recordingFile.load(), nullptr);
    EXPECT_EQ(post.pending(), 0u);
    EXPECT_EQ(threads.runningThreads(), 1);

    // The next run's open finishes that take before starting its own and stops the old worker
    // before starting a new one. A fresh device stands in for the one that hung.
    FakeWaveIn next;
    platform::installWaveInDevice(&next);
    startCapture();
    EXPECT_EQ(threads.threadsStarted(), 2);
    EXPECT_EQ(threads.runningThreads(), 1);
    EXPECT_EQ(threads.openEvents(), 1);
    next.feed(tone(440, 8000, 2048));
    ASSERT_TRUE(next.waitUntilIdle());
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
    capturing = 0;
    next.waveInReset(waveIn.load());
    CloseCapture();
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    EXPECT_EQ(le32(fileBytes(take), 40), 4096u);
    EXPECT_EQ(window.messages().size(), 1u);
    platform::installWaveInDevice(device);
}

TEST_F(CaptureTest, BuffersADeviceStillHoldsAreNotFreedUnderIt) {
    settings.record = 1;
    startCapture();
    feedBuffers(std::vector<int16_t>(2048, 7));
    // The reset fails, so both buffers stay queued; unprepare and close refuse.
    device->failCall(FakeWaveIn::kReset);
    stopSequence();
    EXPECT_EQ(window.messages(), std::vector<std::string>{kCloseFailed});
    EXPECT_EQ(waveIn.load(), 0u);
    EXPECT_EQ(device->queuedBuffers(), 8);
    // The device goes on filling them (AddressSanitizer would catch a write into freed memory).
    device->feed(std::vector<int16_t>(3000, 9));
    ASSERT_TRUE(device->waitUntilIdle());
    EXPECT_EQ(device->deliveries(), 4 + 5);
    FinishRecording();

    // Unpreparing that fails while the close works: the device let go, the memory is freed.
    window.clear();
    FakeWaveIn other;
    platform::installWaveInDevice(&other);
    startCapture();
    other.failCall(FakeWaveIn::kUnprepare);
    capturing = 0;
    other.waveInReset(waveIn.load());
    CloseCapture();
    EXPECT_EQ(window.messages(), std::vector<std::string>{kCloseFailed});
    EXPECT_FALSE(other.isOpen());
    EXPECT_EQ(captureBufferBytes(), 0u);
    platform::installWaveInDevice(device);
}

TEST_F(CaptureTest, ATakeThatCannotBeCreatedStillCaptures) {
    settings.record = 1;
    settings.critique = 1;
    std::snprintf(recordingPath, sizeof recordingPath, "%s/missing/lvxtake.wav", folder.c_str());
    startCapture();
    EXPECT_EQ(window.messages(), std::vector<std::string>{kCreateFailed});
    feedBuffers(tone(440, 8000, 2048));
    EXPECT_EQ(handleNextPost(), int(VOICE_PITCH));
    EXPECT_EQ(slots, std::vector<int32_t>{24});
    stopSequence();
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    EXPECT_EQ(window.messages().size(), 1u);
}

}  // namespace
