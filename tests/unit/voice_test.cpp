// The voice: the pitch detector on tones, sung vowels and quiet microphones; the wave capture
// with a fake device (the three qualities, what happens to every returned buffer with Record
// and Critique on or off, the hand-over to the pitch worker under load, each failure with its
// one message and nothing lost or released twice); the temporary recording and Save As; and
// lvx-sing, the singer of the microphone tests.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "midi-builder/midi_builder.h"
#include "platform/host/fake_wave_in.h"
#include "platform/host/host_threads.h"
#include "platform/host/recording_post.h"
#include "platform/host/recording_save.h"
#include "platform/host/recording_window.h"
#include "shell/settings.h"
#include "support/unit_support.h"
#include "tools/lvx-sing/sing.h"
#include "voice-gen/voice_gen.h"
#include "voice/capture.h"
#include "voice/pitch.h"
#include "voice/recording.h"

namespace {

using platform::FakeWaveIn;
using unittest::le;
const auto fileBytes = unittest::readBytes;

// `count` samples of a sine at `hz`, sampled at `rate`, peak `amplitude`.
std::vector<int16_t> tone(double hz, uint32_t rate, size_t count = 1024, double amplitude = 32767.0) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = int16_t(std::lround(amplitude * std::sin(2.0 * M_PI * hz * double(i) / rate)));
    return samples;
}

TEST(PitchDetector, TonesSungVowelsQuietMicrophonesAndTheLaneSlots) {
    // The transform at its smallest size, where both directions are the same sums; at its working
    // size every pitch heard below proves it.
    float data[4] = {1.0f, 0.5f, 2.0f, -1.0f};
    Fft(data, 2, -1);
    EXPECT_EQ(std::vector<float>(data, data + 4), (std::vector<float>{3.0f, -0.5f, -1.0f, 1.5f}));

    // Hz within a few of the tone (0 for no pitch); the published slot, an octave down unless
    // the singer sings an octave lower, -15 or -1 for no pitch.
    // What, the block, its rate, Singing Octave Lower, Hz, the slot published.
    const std::tuple<const char*, std::vector<int16_t>, uint32_t, uint32_t, int32_t, int32_t> cases[] = {
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
        {"a click", [] { std::vector<int16_t> click(1024, 0); click[512] = 16384; return click; }(), 8000, 0, 0, -15},
        {"no sample rate", tone(440, 8000), 0, 0, 0, -15}};
    for (const auto& [what, block, rate, octaveLower, hz, published] : cases) {
        EXPECT_NEAR(EstimatePitchHz(block.data(), rate, octaveLower), hz, 2) << what;
        EXPECT_EQ(PublishedPitchSlot(block.data(), rate, octaveLower), published) << what;
    }

    // The loudest harmonic of a sung "ah" is near its first formant, several harmonics above
    // the note; every vowel must still be heard on its fundamental. D3 and G4 for a man and a
    // woman, G2 for a low man with the option.
    for (voicegen::Vowel vowel : voicegen::kVowels) {
        SCOPED_TRACE(voicegen::vowelName(vowel));
        for (auto [hz, female, octaveLower, slot] :
             {std::tuple{146.83, false, 0u, 16 - 14}, {392.0, true, 0u, 36 - 14}, {98.0, false, 1u, 8}}) {
            voicegen::Singer singer;
            singer.female = female;
            singer.seed = 3 + static_cast<uint32_t>(vowel);
            const auto sung = voicegen::toPcm(voicegen::sing(hz, vowel, singer, 4096, 8000));
            EXPECT_EQ(PublishedPitchSlot(&sung[2048], 8000, octaveLower), slot) << hz;
        }
    }

    // Quiet microphones, with the option or without: below the floor by level, above it by the
    // lack of any period.
    const std::pair<const char*, std::vector<int16_t>> quiet[] = {
        {"dither", voicegen::toPcm(voicegen::dither(1024, 1))},
        {"white noise -60 dBFS", voicegen::toPcm(voicegen::noise(false, -60, 1024, 2))},
        {"pink noise -50 dBFS", voicegen::toPcm(voicegen::noise(true, -50, 1024, 3))},
        {"white noise -30 dBFS", voicegen::toPcm(voicegen::noise(false, -30, 1024, 4))},
        {"pink noise -30 dBFS", voicegen::toPcm(voicegen::noise(true, -30, 1024, 5))},
        {"breath -30 dBFS", voicegen::toPcm(voicegen::breathe(voicegen::Vowel::A, false, -30, 1024, 8000, 6))}};
    for (const auto& [what, block] : quiet)
        for (uint32_t octaveLower : {0u, 1u}) EXPECT_EQ(EstimatePitchHz(block.data(), 8000, octaveLower), 0) << what;

    // The lane's slots: the table's ends and an octave step.
    for (auto [hz, slot] : {std::pair{-5, -1}, {63, -1}, {64, 0}, {127, 12}, {128, 14}, {859, 51}, {860, -1}})
        EXPECT_EQ(HzToLaneSlot(hz), slot) << hz;
    // Each equal-tempered note from C2 to G#5 lands on its own slot, never on the empty ones
    // between E and F or B and C, and every range of the table holds one of them. C4 (MIDI 60)
    // lands on 28 before the published octave shift brings it to 14, where the melody puts middle C.
    const int32_t inOctave[12] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12};
    for (int note = 36; note <= 80; ++note)
        EXPECT_EQ(HzToLaneSlot(int32_t(std::lround(440.0 * std::pow(2.0, (note - 69) / 12.0)))),
                  14 * (note / 12 - 3) + inOctave[note % 12]) << note;
}

// The capture, the pitch worker and the recording run on host threads with a fake device; the
// worker's posts land in a recording queue read as the window thread would.
class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::snprintf(recordingPath, sizeof recordingPath, "%s", take.c_str());
        install(true);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        unittest::resetSettings();  // AM, neither Record nor Critique
        capturing = 0;
        waveIn = 0;
        saveFileName[0] = saveFolder[0] = '\0';
    }
    void TearDown() override {
        // Whatever a test left running ends the way the program ends it.
        stopSequence();
        StopPitchWorker();
        FinishRecording();
        install(false);
        EXPECT_EQ(threads.runningThreads() + threads.openEvents(), 0);
    }

    void install(bool on) {
        platform::installWaveInDevice(on ? &device : nullptr);
        platform::installThreads(on ? &threads : nullptr);
        platform::installMessagePost(on ? &post : nullptr);
        platform::installWindow(on ? &window : nullptr);
        platform::installSaveDialog(on ? &dialog : nullptr);
        platform::installFileMove(on ? &mover : nullptr);
    }
    // The start of a run: open and, when that worked, start.
    void startCapture() { if (OpenCapture()) StartCapture(); }
    // The stop sequence of a run, on the device installed.
    void stopSequence() {
        StopCapturing();
        if (waveIn.load() != 0) platform::waveInDevice().waveInReset(waveIn.load());
        CloseCapture();
    }
    // The window procedure's part: takes one posted message and acts on it. Returns its wParam,
    // or -1 when none came.
    int handleNextPost() {
        platform::RecordingPost::Posted posted{};
        if (!post.take(&posted, std::chrono::milliseconds(5000))) return -1;
        EXPECT_EQ(posted.message, WM_VOICE);
        int32_t slot = 0;
        if (posted.wParam == VOICE_PITCH && TakePitchResult(&slot, uint32_t(posted.lParam))) slots.push_back(slot);
        if (posted.wParam == VOICE_END) ends.push_back(EndPitchRun(uint32_t(posted.lParam)));
        return int(posted.wParam);
    }
    // What is still held, in one row: a device handle, the capture's buffers, the take, the
    // worker's threads and events, notices not yet taken.
    std::vector<int64_t> held() {
        return {waveIn.load() != 0,        captureBufferBytes() != 0, recordingFile.load() != nullptr,
                threads.runningThreads(), threads.openEvents(),     int64_t(post.pending())};
    }
    const std::vector<int64_t> nothing = std::vector<int64_t>(6, 0);
    // The microphone of whichever device is installed hears `samples`; every full buffer comes back.
    void feedBuffers(const std::vector<int16_t>& samples) {
        auto& installed = static_cast<FakeWaveIn&>(platform::waveInDevice());
        installed.feed(samples);
        ASSERT_TRUE(installed.waitUntilIdle());
    }
    // Feeds the microphone, then takes the next notice as the window would.
    int feedAndTake(const std::vector<int16_t>& samples) { feedBuffers(samples); return handleNextPost(); }

    unittest::ScratchFolder folder;
    const std::string take = folder / "lvxtake.wav";
    FakeWaveIn device;
    platform::HostThreads threads;
    platform::RecordingPost post;
    platform::RecordingWindowSide window;
    platform::RecordingSaveDialog dialog;
    platform::HostFileMove mover;
    std::vector<int32_t> slots;
    std::vector<bool> ends;  // each VOICE_END: true when it ended the run (and reports)
};

// The file's size and its header, every byte of it, as little-endian fields.
std::vector<uint32_t> headerFields(const unittest::Bytes& b) {
    return {uint32_t(b.size()), le(b, 0), le(b, 4), le(b, 8), le(b, 12), le(b, 16), le(b, 20, 2), le(b, 22, 2),
            le(b, 24), le(b, 28), le(b, 32, 2), le(b, 34, 2), le(b, 36), le(b, 40)};
}

TEST_F(CaptureTest, RecordOnlyRecordsAndRequeuesEveryBufferInEachQuality) {
    settings.record = 1;
    startCapture();

    // Twelve full AM buffers (512 samples, 64 ms each), then the stop: the reset returns all
    // eight queued buffers empty, which add nothing.
    const std::vector<int16_t> sound = tone(300, 8000, 12 * 512);
    feedBuffers(sound);
    // Every buffer went back to the device.
    EXPECT_EQ(std::pair(device.deliveries(), device.queuedBuffers()), std::pair(12, 8));
    stopSequence();
    std::vector<std::string> calls;
    for (auto [name, times] : {std::pair{"open", 1}, {"prepare", 8}, {"add", 8}, {"start", 1},
                               {"add", 12}, {"reset", 1}, {"unprepare", 8}, {"close", 1}})
        calls.insert(calls.end(), size_t(times), name);
    EXPECT_EQ(device.log(), calls);

    // Every byte of the take, as lvx-sing (its own header checked field by field below) writes it.
    unittest::Bytes recorded = sing::wavHeader(8000, 12288), samples = sing::rawBytes(sound);
    recorded.insert(recorded.end(), samples.begin(), samples.end());
    EXPECT_EQ(fileBytes(take), recorded);

    // No worker, no event, no end notice without Critique.
    EXPECT_EQ(threads.threadsStarted() + threads.eventsMade() + post.postedCount(), 0);

    // A partly filled buffer returned by the reset is recorded with what it holds.
    startCapture();
    feedBuffers(std::vector<int16_t>(2048 + 300, 1234));
    stopSequence();
    EXPECT_EQ(std::pair(fileBytes(take).size(), le(fileBytes(take), 40)),
              std::pair(size_t(44 + 2 * (2048 + 300)), 2u * (2048 + 300)));

    // The device's format and the empty take of each quality from one table. The take's header
    // is whole from the start, so a program killed mid-song leaves a valid file.
    // Rate, channels, bytes a second and a frame, and each buffer's.
    for (auto [rate, channels, byteRate, align, each] : {std::tuple{8000u, 1u, 16000u, 2u, 1024u},
                                                          {22050, 2, 88200, 4, 5644}, {44100, 2, 176400, 4, 11288}}) {
        SCOPED_TRACE(rate);
        settings.sampleRate = rate;
        settings.channels = channels;
        ASSERT_EQ(OpenCapture(), 1);
        const platform::WaveFormat f = device.format();
        EXPECT_EQ((std::vector<uint32_t>{f.formatTag, f.channels, f.samplesPerSec, f.avgBytesPerSec, f.blockAlign,
                                         f.bitsPerSample, f.extraSize, captureBufferBytes(),
                                         uint32_t(device.preparedHeaders())}),
                  (std::vector<uint32_t>{1, channels, rate, byteRate, align, 16, 0, each, kCaptureBuffers}));
        // "RIFF" of 36 bytes, "WAVE", "fmt " of 16: PCM, the quality; "data" of none.
        const std::vector<uint32_t> empty = {44, 0x46464952, 36, 0x45564157, 0x20746D66, 16, 1, channels,
                                             rate, byteRate, align, 16, 0x61746164, 0};
        std::fflush(recordingFile.load());
        EXPECT_EQ(headerFields(fileBytes(take)), empty);
        CloseCapture();
        EXPECT_EQ(held(), nothing);
    }
    EXPECT_TRUE(window.messages().empty());  // nothing to complain about
}

TEST_F(CaptureTest, CritiqueAnalysesOneBlockAtATimeThroughSeveralRuns) {
    settings.critique = 1;
    startCapture();

    // Twenty buffers arrive before the window has taken the first result: only the first is
    // analysed; all twenty go back to the device.
    EXPECT_EQ(feedAndTake(tone(440, 8000, 20 * 512)), int(VOICE_PITCH));
    EXPECT_EQ((std::vector<int>{device.deliveries(), device.queuedBuffers(), device.calls(FakeWaveIn::kAddBuffer),
                                threads.setEvents()}), (std::vector<int>{20, 8, 8 + 20, 1}));

    // The window re-armed the hand-over: the next buffer is analysed with the sound before
    // it, the latest 1024 samples (still three quarters tone); once the tone has slid out, the
    // block is silence.
    EXPECT_EQ(feedAndTake(std::vector<int16_t>(4 * 512, 0)), int(VOICE_PITCH));
    EXPECT_EQ(feedAndTake(std::vector<int16_t>(512, 0)), int(VOICE_PITCH));

    // Buffers returned after the stop's clear never wake the worker, though it is free.
    stopSequence();
    EXPECT_EQ((std::vector<int>{threads.setEvents(), handleNextPost()}), (std::vector<int>{3, VOICE_END}));
    EXPECT_EQ(std::pair(held(), std::filesystem::exists(take)), std::pair(nothing, false));  // no file touched

    // Record and Critique together through several runs. Singing Octave Lower is taken at the
    // start of each run; switched during a song it changes nothing until the next.
    settings.record = 1;
    for (int run = 0; run < 3; ++run) {
        settings.octaveLower = uint8_t(run % 2);
        startCapture();
        // The window keeps up this time: every result taken as it comes.
        EXPECT_EQ(feedAndTake(tone(440, 8000, 4 * 2048)), int(VOICE_PITCH));
        settings.octaveLower = uint8_t(1 - run % 2);
        EXPECT_EQ(feedAndTake(tone(440, 8000, 2048)), int(VOICE_PITCH));
        stopSequence();
        EXPECT_EQ(std::pair(handleNextPost(), le(fileBytes(take), 40)), std::pair(int(VOICE_END), 5u * 4096u)) << run;
    }

    // A late end: the previous run's close notice is still queued when the next song's device
    // opens (Singing Octave Lower now on).
    startCapture();
    feedBuffers(tone(440, 8000, 2048));
    for (int wait = 0; wait < 5000 && post.pending() == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stopSequence();
    startCapture();
    // The old run's result moves nothing, nor does its end stop the new worker.
    EXPECT_EQ((std::vector<int>{handleNextPost(), handleNextPost()}), (std::vector<int>{VOICE_PITCH, VOICE_END}));
    EXPECT_EQ(threads.runningThreads(), 1);
    EXPECT_EQ(feedAndTake(tone(440, 8000, 2048)), int(VOICE_PITCH));
    stopSequence();
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    // Every result taken: the tone, the tone slid three quarters in, silence; each further run
    // its own octave; the late run's result refused.
    EXPECT_EQ(slots, (std::vector<int32_t>{24, 24, -15, 24, 24, 38, 38, 24, 24, 38}));
    EXPECT_EQ(ends, (std::vector<bool>{true, true, true, true, false, true}));  // the late end stopped nothing
    EXPECT_TRUE(window.messages().empty());
}

// Each refusal of the device is one message, shown when it happens: no microphone (105) leaves
// nothing to close and starts no worker; headers that cannot be prepared (106) close the capture
// at once; a capture that cannot queue a buffer or start (108), or unprepare at the stop (107),
// is still stopped and closed. Closed, its take is finished and its critique run ended.
TEST_F(CaptureTest, EachRefusalIsOneMessageAndTheCaptureStillClosesOrGoesOn) {
    settings.record = settings.critique = 1;
    // The call refused, its message, whether the capture runs, whether the message comes at once.
    const std::tuple<FakeWaveIn::Call, const char*, int, bool> cases[] = {
        {FakeWaveIn::kOpen, unittest::kMsgCannotOpenWaveIn, 0, true},
        {FakeWaveIn::kPrepare, unittest::kMsgCannotPrepareHeader, 0, true},
        {FakeWaveIn::kAddBuffer, unittest::kMsgCannotStartRecording, 1, true},
        {FakeWaveIn::kStart, unittest::kMsgCannotStartRecording, 1, true},
        {FakeWaveIn::kUnprepare, unittest::kMsgCannotCloseWaveIn, 1, false}};
    for (const auto& [failing, message, runs, atOnce] : cases) {
        SCOPED_TRACE(message);
        window.clear();
        device.failCall(failing);
        startCapture();
        EXPECT_EQ(std::pair(window.messages().size(), int(capturing.load())), std::pair(size_t(atOnce), runs));
        stopSequence();
        device.failCall(failing, false);
        EXPECT_EQ(window.messages(), std::vector<std::string>{message});
        if (failing == FakeWaveIn::kOpen) {  // nothing called after the open
            EXPECT_EQ(device.log(), std::vector<std::string>{"open"});
        } else {
            EXPECT_EQ(std::pair(fileBytes(take).size(), handleNextPost()), std::pair(size_t(44), int(VOICE_END)));
        }
        EXPECT_EQ(std::pair(held(), device.isOpen()), std::pair(nothing, false));
    }

    // Only the second header failing: the others, prepared, are unprepared again before the close.
    struct SecondPrepareFails : FakeWaveIn {
        int prepares = 0;
        uint32_t waveInPrepareHeader(uintptr_t d, platform::WaveHeader* h) override {
            return ++prepares == 2 ? kError : FakeWaveIn::waveInPrepareHeader(d, h);
        }
    } second;
    platform::installWaveInDevice(&second);
    window.clear();
    EXPECT_EQ(OpenCapture(), 0);
    EXPECT_EQ(std::pair(second.preparedHeaders(), second.calls(FakeWaveIn::kUnprepare)),
              std::pair(0, int(kCaptureBuffers) - 1));
    EXPECT_EQ(window.messages(), std::vector<std::string>{unittest::kMsgCannotPrepareHeader});
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    platform::installWaveInDevice(&device);

    // A take that cannot be created (104) is reported once; the capture and the critique go on,
    // and what was captured is only counted, from zero, in no folder made for it. The critique
    // hears a CD quality microphone's stereo frames as one voice: read as one channel,
    // interleaved frames halve every period and the pitch is lost.
    window.clear();
    settings.sampleRate = 44100;
    settings.channels = 2;
    std::snprintf(recordingPath, sizeof recordingPath, "%s", (folder / "missing/lvxtake.wav").c_str());
    recordedBytes = 99;
    startCapture();
    EXPECT_EQ(window.messages(), std::vector<std::string>{unittest::kMsgCannotCreateRecording});
    EXPECT_EQ(recordingFile.load(), nullptr);
    std::vector<int16_t> stereo;  // one buffer of 64 ms
    for (int16_t sample : tone(440, 44100, 2822)) stereo.insert(stereo.end(), {sample, int16_t(sample / 2)});
    EXPECT_EQ(feedAndTake(stereo), int(VOICE_PITCH));
    EXPECT_EQ(std::pair(recordedBytes.load(), slots), std::pair(11288u, std::vector<int32_t>{24}));
    stopSequence();
    EXPECT_EQ(handleNextPost(), int(VOICE_END));
    EXPECT_EQ(std::pair(window.messages().size(), std::filesystem::exists(folder / "missing")),
              std::pair(size_t(1), false));
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
    } slow;
    platform::installWaveInDevice(&slow);
    slow.resetFromCaller();
    settings.record = 1;
    startCapture();
    slow.armed.store(true);
    slow.feed(std::vector<int16_t>(512, 1000));
    while (!slow.inAdd.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stopSequence();
    platform::installWaveInDevice(&device);
    EXPECT_EQ(std::pair(window.messages().size(), slow.isOpen()), std::pair(size_t(0), false));
    EXPECT_EQ(le(fileBytes(take), 40), 1024u);
}

// A device that will not close leaves its run to the next: the next run's open finishes the hung
// run's take before starting its own and stops the old worker before starting a new one.
TEST_F(CaptureTest, ADeviceThatWillNotLetGoLeavesItsRunToTheNextAndKeepsItsBuffers) {
    settings.record = settings.critique = 1;
    startCapture();
    EXPECT_EQ(feedAndTake(tone(440, 8000, 2048)), int(VOICE_PITCH));

    device.failCall(FakeWaveIn::kClose);
    stopSequence();
    // The buffers unprepared, the device no longer holds them; no close notice: the take stays
    // open and the worker waits.
    EXPECT_EQ(held(), (std::vector<int64_t>{0, 0, 1, 1, 1, 0}));

    // A fresh device stands in for the one that hung.
    FakeWaveIn next;
    platform::installWaveInDevice(&next);
    startCapture();
    EXPECT_EQ(std::pair(threads.threadsStarted(), held()), std::pair(2, std::vector<int64_t>{1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(feedAndTake(tone(440, 8000, 2048)), int(VOICE_PITCH));
    stopSequence();
    EXPECT_EQ(std::pair(handleNextPost(), le(fileBytes(take), 40)), std::pair(int(VOICE_END), 4096u));

    // Buffers a device still holds are not freed under it. The reset fails, so all eight stay
    // queued; unprepare and close refuse.
    next.failCall(FakeWaveIn::kReset);
    startCapture();
    feedBuffers(std::vector<int16_t>(2048, 7));
    stopSequence();
    EXPECT_EQ(window.messages(), std::vector<std::string>(2, unittest::kMsgCannotCloseWaveIn));
    EXPECT_EQ(std::pair(waveIn.load(), next.queuedBuffers()), std::pair(uintptr_t(0), 8));
    // The device goes on filling them (AddressSanitizer would catch a write into freed memory).
    const int delivered = next.deliveries();
    feedBuffers(std::vector<int16_t>(3000, 9));
    EXPECT_EQ(next.deliveries(), delivered + 5);
    platform::installWaveInDevice(&device);
}


TEST_F(CaptureTest, StoppingWaitsForTheWorkerAndAFailedStartLeavesNone) {
    const std::vector<int16_t> a440 = tone(440, 8000), silence = tone(440, 8000, 1024, 0);
    pitchSlot = 7;
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(StartPitchWorker(0) && HandOverBlock(round % 2 ? a440.data() : silence.data(), 2048));
        StopPitchWorker();  // the block may be in analysis right now
        // No thread, event, handle or wish for a block left.
        EXPECT_EQ((std::vector<uint64_t>{uint64_t(threads.runningThreads()), uint64_t(threads.openEvents()),
                                         worker.load(), wakeEvent.load(), uint64_t(blockWanted.load())}),
                  std::vector<uint64_t>(5, 0));

        // Whatever the worker managed to publish came before the stop returned; nothing
        // comes after, and a result still queued is refused.
        const auto published = std::pair(post.postedCount(), pitchSlot.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(std::pair(post.postedCount(), pitchSlot.load()), published);
        int32_t slot = 0;
        EXPECT_FALSE(TakePitchResult(&slot, pitchRun.load()) || HandOverBlock(a440.data(), 2048));
        post.clear();
    }
    StopPitchWorker();  // twice is harmless

    // Without an event, or with one but no thread (the event closed again): no worker, no hand-over.
    const int before = threads.threadsStarted() + threads.setEvents();
    threads.failCreateEvent = true;
    EXPECT_FALSE(StartPitchWorker(0));
    threads.failCreateEvent = false;
    threads.failCreateThread = true;
    EXPECT_FALSE(StartPitchWorker(0));
    EXPECT_FALSE(HandOverBlock(a440.data(), 2048));
    EXPECT_EQ(threads.threadsStarted() + threads.openEvents() + threads.setEvents(), before);
    EXPECT_EQ(worker.load() + blockWanted.load(), 0u);
}

// Save As refuses (104, every file as it was) without a take on disk, while it is being written
// (without even a dialog) and when the system refuses the move; otherwise the take moves over
// the file of the chosen name.
TEST_F(CaptureTest, SaveAsMovesTheTakeOrLeavesEveryFileAsItWas) {
    // The first dialog opens empty in media\wave beside the program, for wave files; cancelled,
    // nothing moves and the next opens there again.
    dialog.cancel();
    SaveRecordingAs();
    SaveRecordingAs();
    ASSERT_EQ(dialog.shown().size(), 2u);
    const auto first = dialog.shown()[0];
    EXPECT_EQ((std::vector<std::string>{first.initialFolder, first.presetName, first.title, first.defaultExtension}),
              (std::vector<std::string>{"C:\\Lyrivox\\media\\wave\\", "", "Save Wave File", ".wav"}));
    EXPECT_EQ(first.filter, (std::vector<std::string>{"Wave Files", "*.wav"}));
    // Overwrite prompt, hide read-only, path must exist, no read-only return.
    EXPECT_EQ((std::vector<uint32_t>{first.filterIndex, first.fileCapacity, first.flags}),
              (std::vector<uint32_t>{1, 260, 0x8806}));
    EXPECT_EQ(dialog.shown()[1].initialFolder, first.initialFolder);

    // The messages of one Save As.
    auto saveAs = [this] { window.clear(); SaveRecordingAs(); return window.messages(); };
    const std::string chosen = folder / "song.wav", older = "an older take";
    std::ofstream(chosen) << older;
    dialog.answer(chosen);
    const std::vector<std::string> refused = {unittest::kMsgCannotCreateRecording};
    EXPECT_EQ(saveAs(), refused);  // nothing recorded yet
    EXPECT_EQ(fileBytes(chosen).size(), older.size());

    CreateRecording();
    std::vector<char> buffer(4096, 5);  // a buffer as the device returns it
    platform::WaveHeader header{buffer.data(), 4096, 4096, 0, 0, 0, nullptr, 0};
    AppendRecording(&header);
    EXPECT_EQ(saveAs(), refused);
    EXPECT_EQ(std::pair(dialog.shown().size(), recordingFile.load() != nullptr), std::pair(size_t(3), true));
    FinishRecording();

    mover.failMove = true;
    EXPECT_EQ(saveAs(), refused);
    EXPECT_EQ(std::pair(fileBytes(take).size(), fileBytes(chosen).size()), std::pair(size_t(44 + 4096), older.size()));

    mover.failMove = false;
    EXPECT_TRUE(saveAs().empty());
    EXPECT_EQ(std::pair(std::filesystem::exists(take), fileBytes(chosen).size()), std::pair(false, size_t(44 + 4096)));
    EXPECT_EQ(std::string(saveFileName), chosen);

    // Names from the dialog carry backslashes: the next dialog opens in the last one's folder,
    // cut at the last backslash that does not trail a double-byte character (0x95 0x5C is one
    // Shift-JIS character). The moves of these names fail, leaving every file alone.
    mover.failMove = true;
    dialog.answer("D:\\Songs\\Mine\\take one.wav");
    SaveRecordingAs();
    dialog.cancel();
    SaveRecordingAs();
    EXPECT_EQ(dialog.shown().back().initialFolder, "D:\\Songs\\Mine\\");
    EXPECT_EQ(dialog.shown().back().presetName, "D:\\Songs\\Mine\\take one.wav");
    platform::setHostDoubleByteCodePage(true);
    dialog.answer("D:\\Songs\\\x95\\.wav");
    SaveRecordingAs();
    platform::setHostDoubleByteCodePage(false);
    EXPECT_EQ(std::string(saveFolder), "D:\\Songs\\");
}

// lvx-sing reads songs with its own small reader, so it checks the program rather than agreeing
// with it. Each note as {key, channel, start ms, end ms}, times to the microsecond.
using midi::File;

std::vector<std::vector<double>> notesOf(const File& file) {
    std::vector<std::vector<double>> out;
    auto us = [](double ms) { return std::round(ms * 1000) / 1000; };
    for (const auto& n : sing::readSong(file.bytes()).notes)
        out.push_back({double(n.key), double(n.channel), us(n.startMs), us(n.endMs)});
    return out;
}

int peak(const std::vector<int16_t>& samples, size_t first, size_t last) {
    int p = 0;
    for (size_t i = first; i < last && i < samples.size(); ++i) p = std::max(p, std::abs(int{samples[i]}));
    return p;
}

TEST(LvxSing, FindsTheMelodyTimesItAndSingsItIntoAWaveFile) {
    using Notes = std::vector<std::vector<double>>;
    // Format 1, division 480: 120 bpm until the tempo track halves the pace at tick 1920 (2 s).
    // Velocity 0 ends the second note; the third lasts to its track's end.
    midi::Track tempo, melody, fast, smpte;
    tempo.name(0, "Tempo").tempo(1920, 1000000).end(1920);
    melody.name(0, "Melody").noteOn(960, 0, 60, 100).noteOff(480, 0, 60);  // 1000..1500 ms
    melody.noteOn(960, 0, 62, 90).event(480, {0x90, 62, 0});               // 3000..4000 ms
    melody.noteOn(0, 0, 64, 90).end(480);                                  // still on at the end
    const File song = File().header(1, 2, 480).track(tempo).track(melody);
    EXPECT_EQ(notesOf(song), (Notes{{60, 0, 1000, 1500}, {62, 0, 3000, 4000}, {64, 0, 4000, 5000}}));
    EXPECT_DOUBLE_EQ(sing::readSong(song.bytes()).lengthMs, 6000.0);  // the tempo track ends at tick 3840
    // A tempo at tick 0 governs from the start; a division of 96 has no effect on the pace.
    fast.tempo(0, 250000).name(0, "melody").noteOn(96, 3, 70, 1).noteOff(96, 3, 70).end();
    EXPECT_EQ(notesOf(File().header(0, 1, 96).track(fast)), (Notes{{70, 3, 250, 500}}));
    // SMPTE: 25 frames of 40 ticks is a tick a millisecond, and tempo events change nothing.
    smpte.name(0, "Melody").tempo(0, 1000000).noteOn(1000, 0, 60, 64).noteOff(250, 0, 60).end();
    EXPECT_EQ(notesOf(File().header(0, 1, 0xE728).track(smpte)), (Notes{{60, 0, 1000, 1250}}));

    // A track of one note before its name (not melody) and one after it.
    auto track = [](const std::string& name, uint8_t key) {
        return midi::Track().noteOn(0, 0, 50, 64).noteOff(10, 0, 50).name(0, name).noteOn(0, 0, key, 64)
            .noteOff(10, 0, key).end();
    };
    // "melody" and "vocal" lead the name, any case, in names of 5 to 79 bytes. The first "vocal"
    // track counts while no melody track came before it, a second does not; every "melody"
    // track counts, together highest first. Each track's note is 60 and its place.
    const std::pair<std::vector<std::string>, std::vector<int>> cases[] = {
        {{"Lead Vocal", "Vocal", "vocal 2", "MELODY B", "Melody A", "Melody" + std::string(74, 'x'),
          "Melody" + std::string(73, 'x')},
         {66, 64, 63, 61}},
        {{"Melody", "Vocals"}, {60}},
        {{"Strings"}, {}}};
    for (const auto& [names, melodyKeys] : cases) {
        File file = File().header(1, uint16_t(names.size()), 480);
        for (size_t i = 0; i < names.size(); ++i) file.track(track(names[i], uint8_t(60 + i)));
        std::vector<int> keys;
        for (const auto& note : notesOf(file)) keys.push_back(int(note[0]));
        EXPECT_EQ(keys, melodyKeys) << names[0];
        EXPECT_TRUE(sing::readSong(file.bytes()).ok);
    }

    // Refused files, and every cut of a good file reads without harm.
    for (const midi::Bytes& refused : {File().header(2, 1, 480).track(track("Melody", 60)).bytes(),
                                       File().header(0, 1, 0).track(track("Melody", 60)).bytes(),
                                       midi::Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}})
        EXPECT_FALSE(sing::readSong(refused).ok);
    const midi::Bytes whole = File().header(1, 1, 480).track(track("Melody", 60)).bytes();
    for (size_t n = 0; n < whole.size(); ++n)
        EXPECT_LE(sing::readSong(midi::Bytes(whole.begin(), whole.begin() + long(n))).notes.size(), 1u);

    // Each note sung at its pitch, with silence between.
    midi::Track tune, legato;
    tune.name(0, "Melody").noteOn(480, 0, 69, 100).noteOff(480, 0, 69);  // A4, 500..1000 ms
    tune.noteOn(480, 0, 60, 100).noteOff(480, 0, 60).end();              // C4, 1500..2000 ms
    const sing::Song twoNotes = sing::readSong(midi::File().header(0, 1, 480).track(tune).bytes());
    sing::Voice voice;
    voice.leadMs = 250;
    for (sing::Singer singer : {sing::Singer::Male, sing::Singer::Female, sing::Singer::Sine}) {
        SCOPED_TRACE(static_cast<int>(singer));
        voice.singer = singer;
        voice.transpose = 0;
        const std::vector<int16_t> out = sing::render(twoNotes, voice);
        ASSERT_EQ(out.size(), 8000u * 2250 / 1000);
        // Silence before, between and after; the note starts on its sample, about -12 dBFS.
        EXPECT_EQ(peak(out, 0, 6000) + peak(out, 10000, 14000), 0);
        EXPECT_GT(peak(out, 6000, 6080), 0);
        EXPECT_NEAR(peak(out, 6000, 10000), 7373, 820);
        // Every voice, sine or sung vowel, must be heard by the program's own detector on the
        // notes, an octave lower and a fifth higher: the transposition, the sample, Hz and how near.
        for (auto [transpose, at, hz, within] :
             {std::tuple{0, 7000, 440, 8}, {0, 14500, 262, 5}, {-12, 7000, 220, 4}, {7, 14500, 392, 7}}) {
            voice.transpose = transpose;
            EXPECT_NEAR(EstimatePitchHz(&sing::render(twoNotes, voice)[at], 8000, 0), hz, within) << transpose;
        }
    }

    // Silence mode keeps the song's length and holds nothing, or only the noise floor asked for.
    voice.silence = true;
    std::vector<int16_t> out = sing::render(twoNotes, voice);
    EXPECT_EQ(std::pair(out.size(), peak(out, 0, out.size())), std::pair(size_t(18000), 0));
    voice.noiseDbfs = -55;
    out = sing::render(twoNotes, voice);
    double power = 0;
    for (int16_t s : out) power += double(s) * s;
    EXPECT_NEAR(10 * std::log10(power / double(out.size()) / (32768.0 * 32768.0)), -55.0, 0.5);

    // A note that overlaps the next is cut where the next begins; one voice sings at a time.
    legato.name(0, "Melody").noteOn(0, 0, 64, 90).noteOn(480, 0, 67, 90).noteOff(240, 0, 64);
    legato.noteOff(240, 0, 67).end();
    const auto sung = sing::phrase(sing::readSong(midi::File().header(0, 1, 480).track(legato).bytes()), 0);
    ASSERT_EQ(sung.size(), 2u);
    EXPECT_DOUBLE_EQ(sung[0].endMs, 500.0);
    EXPECT_DOUBLE_EQ(sung[1].startMs, 500.0);

    // The program's own 44-byte header, the data's size in it; the samples little-endian.
    EXPECT_EQ(headerFields(sing::wavHeader(8000, 1000)), (std::vector<uint32_t>{44, 0x46464952, 1036, 0x45564157,
              0x20746D66, 16, 1, 1, 8000, 16000, 2, 16, 0x61746164, 1000}));
    EXPECT_EQ(sing::rawBytes({1, -2, 0x1234}), (std::vector<uint8_t>{1, 0, 0xFE, 0xFF, 0x34, 0x12}));
}

}  // namespace
