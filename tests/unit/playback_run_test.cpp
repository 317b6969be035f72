#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/host/fake_wave_in.h"
#include "platform/host/recording_post.h"
#include "platform/host/recording_shell.h"
#include "playback/playback_run.h"
#include "playback_fixture.h"
#include "shell/command_ids.h"
#include "shell/commands.h"
#include "song/open_song.h"
#include "support/unit_support.h"
#include "stage/critique_tally.h"
#include "voice/capture.h"
#include "voice/pitch.h"
#include "voice/recording.h"

namespace {

class PlaybackRun : public PlaybackWorld {
protected:
    void SetUp() override {
        PlaybackWorld::SetUp();
        platform::installWaveInDevice(&microphone);
        platform::installMessagePost(&posts);
        playback.playing.store(0);
        playback.midiOut.store(0);
        lineCount.store(2);
        lyricLines[1].startTick = 30;
        loadTwoEvents();
    }
    // A note from 0 to 40, as a load leaves it.
    static void loadTwoEvents() {
        songEvents.clear();
        event(0, noteOn(60, 100));
        event(40, noteOff(60));
        rewind();
    }
    void TearDown() override {
        // Whatever a test left running is stopped so the next one starts clean.
        playback.playing.store(0);
        timer.fire();
        StopPitchWorker();
        settings.critique.store(0);
        platform::installWaveInDevice(nullptr);
        platform::installMessagePost(nullptr);
        PlaybackWorld::TearDown();
    }

    // Runs the timer until it is gone, the clock moving 25 ms before each period.
    int runToTheEnd(int limit = 1000) {
        int count = 0;
        while (!timer.live().empty() && count < limit) {
            clock.advance(timerPeriodMs);
            timer.fire();
            ++count;
        }
        return count;
    }

    void expectEverythingClosed() {
        EXPECT_TRUE(timer.live().empty());
        EXPECT_EQ(timer.periodsHeld(), 0);
        EXPECT_EQ(midi.openDevices(), 0);
        EXPECT_EQ(playback.playing.load(), 0);
        EXPECT_TRUE(previousRunClosed());
        for (unsigned command : kRunMenuItems) EXPECT_TRUE(window.isEnabled(command, false)) << command;
    }

    platform::FakeWaveIn microphone;
    platform::RecordingPost posts;
};

TEST_F(PlaybackRun, ASongPlaysFromStartToItsEndAndTheStopClosesEverything) {
    playback.currentLine.store(1);
    playback.currentSyllable.store(1);
    playback.drawnLine.store(5);
    tally.possible = 9;
    for (unsigned command : kRunMenuItems) window.enableMenuItem(command, false);  // as the load left them
    std::snprintf(songTitle, sizeof songTitle, "Night and Day");

    startPlayback();
    EXPECT_EQ(window.captions(), std::vector<std::string>{"Lyrivox - Night and Day"});
    EXPECT_EQ((std::vector<int32_t>{playback.playing, playback.currentLine, playback.currentSyllable, playback.drawnLine,
                                    playback.position}),
              (std::vector<int32_t>{1, 0, 0, -1, 0}));
    EXPECT_EQ(tally.possible, 0u);
    EXPECT_EQ(midi.openDevices(), 1);
    EXPECT_EQ(timer.periodsHeld(), 1);
    ASSERT_EQ(timer.live().size(), 1u);
    const platform::FakeTimer::Live live = timer.live()[0];
    EXPECT_EQ((std::vector<uint64_t>{live.delayMs, live.resolutionMs, live.user, live.mode}),
              (std::vector<uint64_t>{25, 25, 25, platform::kTimePeriodic}));
    EXPECT_FALSE(previousRunClosed());
    EXPECT_TRUE(window.redraws().empty());  // no capture, no whole-window invalidation

    // Position 25 sends the note-on and passes line 1's start at 30 one period later; 50
    // sends the last event; the period after that stops.
    EXPECT_EQ(runToTheEnd(), 3);
    EXPECT_EQ(midi.sent(), (std::vector<uint32_t>{noteOn(60, 100), noteOff(60)}));
    EXPECT_EQ(playback.currentLine.load(), 1);
    expectEverythingClosed();
    const uintptr_t device = midi.records().front().handle;
    EXPECT_TRUE(midi.resetBeforeClose(device));  // no note keeps sounding
    EXPECT_TRUE(window.messages().empty());
    ASSERT_FALSE(window.redraws().empty());
    EXPECT_FALSE(window.redraws().back().whole);
    EXPECT_EQ(window.redraws().back().rect.bottom, 60);
    EXPECT_EQ(window.captions().back(), "Lyrivox");
}

TEST_F(PlaybackRun, CaptureIsOpenedStartedAndClosedOnlyWhenRecordingOrCritiquing) {
    // Neither Record nor Critique: the microphone is left alone.
    startPlayback();
    runToTheEnd();
    EXPECT_TRUE(microphone.log().empty());
    EXPECT_TRUE(window.redraws().size() == 1 && !window.redraws()[0].whole);

    // Critique: opened, every buffer queued and started before the timer, all given back by
    // the reset and closed at the stop, whose close notice ends the worker's run.
    loadTwoEvents();
    window.clear();
    settings.critique.store(1);
    startPlayback();
    EXPECT_EQ(microphone.log().size(), 2 * kCaptureBuffers + 2);
    EXPECT_EQ(microphone.log().back(), "start");
    EXPECT_EQ(capturing.load(), 1);
    ASSERT_FALSE(window.redraws().empty());
    EXPECT_TRUE(window.redraws().front().whole);
    runToTheEnd();
    expectEverythingClosed();
    std::vector<std::string> log = microphone.log();
    ASSERT_GE(log.size(), 2 * kCaptureBuffers + 4);
    EXPECT_EQ(log[2 * kCaptureBuffers + 2], "reset");
    EXPECT_EQ(log.back(), "close");
    EXPECT_FALSE(microphone.isOpen());
    EXPECT_EQ(capturing.load(), 0);
    EXPECT_EQ(waveIn.load(), 0u);
    platform::RecordingPost::Posted posted{};
    ASSERT_TRUE(posts.take(&posted));
    EXPECT_EQ(posted.message, WM_VOICE);
    EXPECT_EQ(posted.wParam, VOICE_END);
    EXPECT_TRUE(window.messages().empty());
    StopPitchWorker();

    // No microphone: its one message, and the song plays on without capture.
    loadTwoEvents();
    microphone.failCall(platform::FakeWaveIn::kOpen);
    startPlayback();
    EXPECT_EQ(window.messages(), (std::vector<std::string>{unittest::kMsgCannotOpenWaveIn}));
    EXPECT_EQ(playback.playing.load(), 1);
    runToTheEnd();
    expectEverythingClosed();
    EXPECT_EQ(midi.sent().size(), 6u);
    EXPECT_EQ(window.messages().size(), 1u);  // nothing to close, so no 107
}

TEST_F(PlaybackRun, AStopWhileAMessageBoxHoldsTheRunHappensOnTheNextPeriod) {
    startPlayback();
    clock.advance(25);
    timer.fire();
    int periodsInBox = 0;
    window.setOnMessageBox([&](const platform::RecordingWindowSide::Box&) {
        // The user chooses Stop while the box is open.
        playback.playing.store(0);
        clock.advance(25);
        periodsInBox += timer.fire();
        EXPECT_TRUE(timer.live().empty());
    });
    playback.busy.store(1);
    window.messageBox("held", "Lyrivox!", 0x30, true);
    playback.busy.store(0);
    EXPECT_EQ(periodsInBox, 1);
    expectEverythingClosed();
    EXPECT_EQ(midi.sent().size(), 1u);  // the note-off never went out, the reset silenced it
    EXPECT_TRUE(midi.resetBeforeClose(midi.records().front().handle));
}

TEST_F(PlaybackRun, AFailedStartTellsTheUserClosesWhatItOpenedAndLeavesTheMenuUsable) {
    using Midi = platform::RecordingMidiOutput;
    using Timer = platform::FakeTimer;
    struct Case {
        const char* name;
        bool midiFails;
        bool resolutionFails;
        bool timerFails;
    };
    for (Case c : {Case{"no MIDI output", true, false, false}, Case{"no resolution", false, true, false},
                   Case{"no periodic timer", false, false, true}}) {
        SCOPED_TRACE(c.name);
        midi.clear();
        timer.clear();
        window.clear();
        settings.critique.store(1);
        midi.setResult(Midi::Call::Open, c.midiFails ? 4 : 0);
        timer.setFail(Timer::Call::BeginPeriod, c.resolutionFails);
        timer.setFail(Timer::Call::SetEvent, c.timerFails);

        startPlayback();
        EXPECT_EQ(window.messages(), (std::vector<std::string>{"Unable to start the Midi timer."}));
        expectEverythingClosed();
        EXPECT_EQ(playback.midiOut.load(), 0u);
        EXPECT_EQ(waveIn.load(), 0u);
        EXPECT_EQ(capturing.load(), 0);
        EXPECT_FALSE(microphone.isOpen());
        if (!c.midiFails) {
            EXPECT_TRUE(midi.resetBeforeClose(midi.records().front().handle));
        }
        EXPECT_EQ(playback.busy.load(), 0);
    }
    settings.critique.store(0);

    // The program is usable: the next start plays.
    midi.clear();
    timer.clear();
    window.clear();
    startPlayback();
    EXPECT_EQ(playback.playing.load(), 1);
    runToTheEnd();
    EXPECT_EQ(midi.sent().size(), 2u);
}

TEST_F(PlaybackRun, AFailedKillOrCloseAtTheStopIsReportedOnceAndTheRestStillRuns) {
    using Timer = platform::FakeTimer;
    startPlayback();
    const uint32_t first = timer.live()[0].id;
    timer.setFail(Timer::Call::KillEvent, true);
    playback.playing.store(0);
    clock.advance(25);
    timer.fire();
    EXPECT_EQ(window.messages(), (std::vector<std::string>{"Unable to kill the Midi timer."}));
    EXPECT_EQ(midi.openDevices(), 0);
    EXPECT_TRUE(previousRunClosed());
    for (unsigned command : kRunMenuItems) EXPECT_TRUE(window.isEnabled(command, false));
    // The timer that would not die keeps calling: no second message. Nor does a second such
    // timer, and neither drives the next run.
    timer.fire();
    EXPECT_EQ(window.messages().size(), 1u);
    startPlayback();
    playback.playing.store(0);
    timer.fire();
    EXPECT_EQ(window.messages().size(), 2u);
    timer.setFail(Timer::Call::KillEvent, false);
    rewind();
    startPlayback();
    ASSERT_EQ(timer.live().size(), 3u);
    clock.advance(25);
    timer.fire();  // every timer calls once
    EXPECT_EQ(playback.position.load(), 25);
    ASSERT_EQ(timer.live().size(), 1u);
    EXPECT_NE(timer.live()[0].id, first);
    runToTheEnd();
    EXPECT_EQ(window.messages().size(), 2u);

    // A MIDI close that fails brings the same message.
    window.clear();
    midi.setResult(platform::RecordingMidiOutput::Call::Close, 2);
    songEvents.clear();  // a new load
    event(0, noteOn(1, 1));
    rewind();
    startPlayback();
    runToTheEnd();
    EXPECT_EQ(window.messages(), (std::vector<std::string>{"Unable to kill the Midi timer."}));
    EXPECT_TRUE(timer.live().empty());
    midi.setResult(platform::RecordingMidiOutput::Call::Close, 0);
}

TEST_F(PlaybackRun, ANewRunWaitsUntilThePreviousRunIsClosed) {
    startPlayback();
    clock.advance(25);
    timer.fire();
    playback.playing.store(0);  // Open clears playing; its dialog returns before the next period

    std::atomic<bool> started{false};
    std::thread opener([&] {
        startPlayback();
        started.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(started.load());
    EXPECT_EQ(midi.openDevices(), 1);  // only the first run's
    timer.fire();                      // the first run's stop sequence
    opener.join();
    EXPECT_TRUE(started.load());
    EXPECT_EQ(midi.openDevices(), 1);  // the second run's
    EXPECT_EQ(timer.live().size(), 1u);
    EXPECT_EQ(playback.playing.load(), 1);
    EXPECT_TRUE(window.messages().empty());

    // A previous run that never closes is not waited for forever: the start gives up.
    playback.playing.store(0);
    startPlayback();
    EXPECT_EQ(window.messages(), (std::vector<std::string>{"Unable to start the Midi timer."}));
    EXPECT_EQ(midi.openDevices(), 1);
    EXPECT_EQ(timer.live().size(), 1u);
}

// A stop held up by the box it shows on the timer thread: the box can be answered only while
// the window thread handles what is sent to it, so the waits of Open and of the exit do.
class HeldStop : public PlaybackRun {
protected:
    void SetUp() override {
        PlaybackRun::SetUp();
        platform::installShell(&shell);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        char pattern[] = "/tmp/lvx-heldstop-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        std::snprintf(recordingPath, sizeof recordingPath, "%s/lvxtake.wav", pattern);
        std::snprintf(optionsPath, sizeof optionsPath, "%s/options.lvx", pattern);
        settings.record.store(1);
        // Only the timer thread's box is held; the window thread's own boxes return at once.
        const std::thread::id windowThread = std::this_thread::get_id();
        window.setOnMessageBox([this, windowThread](const platform::RecordingWindowSide::Box&) {
            while (std::this_thread::get_id() != windowThread && !answered.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    void TearDown() override {
        answer();
        FinishRecording();
        platform::installShell(nullptr);
        PlaybackRun::TearDown();
        EXPECT_EQ(std::system(("rm -rf '" + folder + "'").c_str()), 0);
    }

    // A run recording a buffer of sound, then its stop on a timer thread of its own.
    void startRecordingThenStop(platform::FakeWaveIn& device) {
        platform::installWaveInDevice(&device);
        startPlayback();
        device.feed(std::vector<int16_t>(2048, 1000));
        ASSERT_TRUE(device.waitUntilIdle());
        playback.playing.store(0);
        stopper = std::thread([this] {
            clock.advance(25);
            timer.fire();
        });
    }
    void answer() {
        answered.store(true);
        if (stopper.joinable()) stopper.join();
    }

    // The take's header states the sizes of what is on disk, and that is not nothing.
    void expectWholeTake() {
        const unittest::Bytes take = unittest::readBytes(recordingPath);
        ASSERT_GT(take.size(), kWaveHeaderBytes);
        EXPECT_EQ(unittest::le(take, 4), take.size() - 8);
        EXPECT_EQ(unittest::le(take, 40), take.size() - kWaveHeaderBytes);
    }

    platform::RecordingShellSide shell;
    std::string folder;
    std::atomic<bool> answered{false};
    std::thread stopper;
};

TEST_F(HeldStop, OpenWaitsForTheStopAndLoadsNothingWhenItDoesNotEnd) {
    for (bool answeredInTheWait : {true, false}) {
        SCOPED_TRACE(answeredInTheWait ? "answered while Open waits" : "never answered");
        window.clear();
        answered.store(false);
        window.setOnWait([&] { if (answeredInTheWait) answered.store(true); });
        midi.setResult(platform::RecordingMidiOutput::Call::Close, 2);  // the stop's box: 112
        platform::FakeWaveIn device;
        startRecordingThenStop(device);
        shell.dialogAnswers = {"C:\\songs\\a.kar"};
        openSong();
        // Held: one message and nothing loaded (no background, no file). Answered: the load.
        const std::vector<std::string> shown = window.messages();
        ASSERT_GE(shown.size(), 2u);
        EXPECT_EQ(shown.front(), unittest::kMsgCannotKillTimer);
        if (answeredInTheWait)
            EXPECT_EQ(shown.back(), "Error opening the midi file [C:\\songs\\a.kar].");
        else
            EXPECT_EQ(shown, (std::vector<std::string>{unittest::kMsgCannotKillTimer, unittest::kMsgCannotStartTimer}));
        answer();
        EXPECT_FALSE(device.isOpen());
        midi.setResult(platform::RecordingMidiOutput::Call::Close, 0);
    }
}

TEST_F(HeldStop, ExitAndEndOfSessionCloseWhatTheStopLeftAndFinishTheTake) {
    struct Case {
        const char* name;
        bool stopComes;    // the timer runs the stop at all
        bool closeFails;   // the device will not close: 107, and no WIM_CLOSE to finish the take
        bool endSession;   // WM_ENDSESSION rather than the window's end
    };
    for (Case c : {Case{"exit with no stop in time", false, false, false},
                   Case{"exit while the stop shows 107", true, true, false},
                   Case{"end of session after a failed close", true, true, true}}) {
        SCOPED_TRACE(c.name);
        window.clear();
        answered.store(c.endSession);
        std::remove(optionsPath);
        loadTwoEvents();
        platform::FakeWaveIn device;
        device.failCall(platform::FakeWaveIn::kClose, c.closeFails);
        if (c.stopComes) {
            startRecordingThenStop(device);
            if (c.endSession) answer();
        } else {
            platform::installWaveInDevice(&device);
            startPlayback();
            device.feed(std::vector<int16_t>(2048, 1000));
            ASSERT_TRUE(device.waitUntilIdle());
        }
        if (c.endSession)
            endSession();
        else
            releaseResources();
        expectWholeTake();
        EXPECT_TRUE(timer.live().empty());
        EXPECT_EQ(timer.periodsHeld(), 0);
        EXPECT_EQ(midi.openDevices(), 0);
        EXPECT_TRUE(midi.resetBeforeClose(midi.records().front().handle));
        EXPECT_EQ(device.isOpen(), c.closeFails);
        EXPECT_EQ(access(optionsPath, F_OK), 0);
        answer();
        EXPECT_TRUE(previousRunClosed());
        std::vector<std::string> expected;
        if (c.closeFails) expected.push_back(unittest::kMsgCannotCloseWaveIn);
        EXPECT_EQ(window.messages(), expected);
        midi.clear();
        timer.clear();
        stopper = std::thread();
    }
}

}  // namespace
