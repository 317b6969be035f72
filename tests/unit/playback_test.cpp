// The sequencer, the melody preview and the playback run against the fakes of the MIDI output,
// the millisecond counter, the timer, the window and the microphone.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "platform/host/fake_clock.h"
#include "platform/host/fake_timer.h"
#include "platform/host/fake_wave_in.h"
#include "platform/host/recording_midi.h"
#include "platform/host/recording_post.h"
#include "platform/host/recording_shell.h"
#include "platform/host/recording_window.h"
#include "playback/note_bars.h"
#include "playback/playback_run.h"
#include "playback/playback_state.h"
#include "playback/sequencer.h"
#include "shell/commands.h"
#include "shell/message.h"
#include "song/melody_preview.h"
#include "song/open_song.h"
#include "song/song_model.h"
#include "stage/critique_tally.h"
#include "stage/layout.h"
#include "support/unit_support.h"
#include "voice/capture.h"
#include "voice/pitch.h"
#include "voice/recording.h"

namespace {

// A clean playback world: the fakes installed, the song model and the playback state back at
// their start values, and helpers to build a song by hand.
class Sequencer : public ::testing::Test {
protected:
    void SetUp() override {
        installFakes(true);
        restart();
        ticksPerPeriod.store(25 * kPeriodOne);
        lineCount.store(1);
        syllableCount.store(0);
        unittest::resetSettings();
        stripHeight.store(63);
        lyricBand.right.store(640);
        lyricBand.bottom.store(60);
        playback.midiOut.store(7);
    }
    void TearDown() override {
        // Whatever a test left running is stopped so the next one starts clean.
        playback.playing.store(0);
        timer.fire();
        StopPitchWorker();
        restart();
        playback.playing.store(0);
        installFakes(false);
    }
    void installFakes(bool on) {
        platform::installClock(on ? &clock : nullptr);
        platform::installMidi(on ? &midi : nullptr);
        platform::installTimer(on ? &timer : nullptr);
        platform::installWindow(on ? &window : nullptr);
        platform::installWaveInDevice(on ? &microphone : nullptr);
        platform::installMessagePost(on ? &posts : nullptr);
    }

    // An event: its tick, its message, whether it is the melody's and, for a tempo record, its
    // 8.24 ticks per period.
    struct Event {
        int32_t tick;
        uint32_t message, melody = 0, periodTicks = 0;
    };
    static void add(EventList& list, const std::vector<Event>& events) {
        for (const Event& e : events) ASSERT_TRUE(list.insert(e.message, e.tick, e.melody, e.periodTicks));
    }
    // A song of these events alone, ready to play from its first.
    static void song(const std::vector<Event>& events) {
        songEvents.clear();
        add(songEvents, events);
        rewind();
    }
    // A tempo record with its 8.24 ticks per period.
    static Event tempoAt(int32_t tick, uint32_t periodTicks) {
        return {tick, 0xFF | 0x51 << 8 | uint32_t(wholeTicks(periodTicks)) << 16 | (periodTicks >> 16 & 0xFF) << 24, 0, periodTicks};
    }
    // One timer period, the clock moved on 25 ms first as the real timer would be.
    void period() { clock.advance(timerPeriodMs); sequencerTick(0, 0, timerPeriodMs, 0, 0); }
    // A fresh run from its start of a song of these events (none by default): nothing sent, no
    // bars, at the first line and syllable, not held.
    void restart(const std::vector<Event>& events = {}) {
        melodyEvents.clear();
        noteBars.clear();
        midi.clear();
        clock.set(0);
        rewindSongPosition();
        playback.currentLine.store(0);
        playback.currentSyllable.store(0);
        playback.busy.store(0);
        playback.playing.store(1);
        song(events);
    }
    // Where the run stands: song position, lyric line and syllable, and whether it plays.
    static std::vector<int32_t> state() {
        return {playback.position, playback.currentLine, playback.currentSyllable, playback.playing};
    }
    static void rewind() { songEvents.cursor = songEvents.head; }
    static constexpr uint32_t noteOn(uint32_t note, uint32_t vel, uint32_t ch = 0) { return 0x90 | ch | note << 8 | vel << 16; }
    static constexpr uint32_t noteOff(uint32_t note, uint32_t ch = 0) { return 0x80 | ch | note << 8 | 0x40 << 16; }

    platform::FakeClock clock;
    platform::RecordingMidiOutput midi;
    platform::FakeTimer timer;
    platform::RecordingWindowSide window;
    platform::FakeWaveIn microphone;
    platform::RecordingPost posts;
};

// An event is due once song time has passed it, the fraction of ticks per period included; a
// tempo record retimes the rest of its period and is not sent.
TEST_F(Sequencer, EventsGoOutInThePeriodAfterTheirTimeAtTheTempoInForce) {
    struct Case {
        uint32_t startPeriod;
        std::vector<Event> events;
        int32_t firstPosition;
        std::vector<uint32_t> times;
    };
    const Case cases[] = {
        // Tick 25 equals the position after one period: it waits a period.
        {25 * kPeriodOne, {{0, noteOn(60, 100)}, {25, noteOn(62, 100)}, {26, noteOn(64, 100)}}, 25, {25, 50, 50}},
        // 4.8 ticks per period (division 96 at 120 bpm): after two periods song time is 9.6, so
        // tick 9 is due; tick 960 is at 5000 ms by the file's tempo.
        {80530636, {{9, noteOn(60, 1)}, {960, noteOn(61, 1)}}, 4, {50, 5025}},
        // A song that starts at 1 tick per period: a tempo at tick 0 (division 480 at 120 bpm)
        // governs from the first period on; 60 bpm from tick 1000. Tick 480 is at 500 ms, tick
        // 1480 at 1041.7 + 1000 ms.
        {kPeriodOne, {tempoAt(0, 24 * kPeriodOne), {480, noteOn(60, 100)}, tempoAt(1000, 12 * kPeriodOne), {1480, noteOn(62, 100)}},
         24, {525, 2050}},
        // A record made without its fixed-point value takes its second data byte: 10 ticks per
        // period from the first, so tick 100 goes out on the eleventh.
        {25 * kPeriodOne, {{0, 0xFF | 0x51 << 8 | 10 << 16}, {100, noteOn(60, 1)}}, 10, {275}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstPosition);
        restart(c.events);
        ticksPerPeriod.store(c.startPeriod);
        period();
        EXPECT_EQ(playback.position.load(), c.firstPosition);
        while (playback.playing.load() != 0) period();
        // The millisecond each message went out: the tempo records are not among them.
        std::vector<uint32_t> times;
        for (const auto& record : midi.records()) times.push_back(record.ms);
        EXPECT_EQ(times, c.times);
    }
    EXPECT_EQ(midi.records().back().handle, 7u);  // to the run's output device
}

TEST_F(Sequencer, TheTimeBudgetSpreadsADenseBurstOverPeriods) {
    std::vector<Event> burst;
    for (uint32_t note = 40; note < 80; ++note) burst.push_back({0, noteOn(note, 100)});
    song(burst);
    // Every message takes a millisecond to send: with 25 ticks per period the budget is
    // 25 / 2 + 1 = 13 ms, so thirteen messages fit into the first period.
    midi.setOnShortMsg([this](uint32_t) { clock.advance(1); });
    sequencerTick(0, 0, 25, 0, 0);
    EXPECT_EQ(std::make_pair(midi.sent().size(), playback.position.load()), std::make_pair(size_t{13}, 25));  // time not taken back
    for (int i = 0; i < 3; ++i) sequencerTick(0, 0, 25, 0, 0);
    // Every one once, in order, and the song has ended.
    std::vector<uint32_t> inOrder;
    for (const Event& e : burst) inOrder.push_back(e.message);
    EXPECT_EQ(midi.sent(), inOrder);
    EXPECT_EQ(playback.playing.load(), 0);

    // A period with nothing due reads the counter once: the due test comes before the deadline's.
    restart({{1000, noteOn(1, 1)}});
    clock.setAdvancePerRead(1);
    const uint32_t before = clock.now();
    sequencerTick(0, 0, 25, 0, 0);
    EXPECT_EQ(clock.now() - before, 1u);
}

TEST_F(Sequencer, SilenceMelodyWithholdsTheMelodyAndCritiquePushesBarsForItsNoteOns) {
    // Silence Melody and Critique on or off: the messages sent and the bars pushed.
    for (auto [silence, critique, sent, bars] : {std::array<size_t, 4>{0, 0, 6, 0}, {0, 1, 6, 0}, {1, 0, 1, 0}, {1, 1, 1, 2}}) {
        SCOPED_TRACE(testing::Message() << "silence " << silence << " critique " << critique);
        // A melody note-on of velocity 0, a note-off and a control change make no bar, nor does
        // a note of another track.
        restart({{0, noteOn(60, 100), 1}, {0, noteOn(64, 0), 1}, {0, noteOff(60), 1}, {0, 0x07B0 | 100 << 16, 1},
              {0, noteOn(48, 90, 3)}, {0, noteOn(72, 80, 5), 1}});
        settings.silenceMelody.store(int32_t(silence));
        settings.critique.store(int32_t(critique));
        period();
        size_t pushed = 0;
        for (NoteBar* bar = noteBars.head; bar; bar = bar->next) ++pushed;
        EXPECT_EQ((std::vector<size_t>{midi.sent().size(), pushed}), (std::vector<size_t>{sent, bars}));
    }
}

// Busy (a message box open) holds the song and the lyrics; released, they go on in place.
// The end of a song with events is noticed on the period that sends the last one (see the
// run's period count); a song of none ends on the first period, the lyrics still stepping.
TEST_F(Sequencer, LyricsStepOneLineAndOneSyllablePerPeriodAndBusyHoldsThem) {
    lineCount.store(4);
    for (int line = 1; line < 4; ++line) lyricLines[line].startTick = line < 3 ? 0 : 100;
    period();
    EXPECT_EQ(state(), (std::vector<int32_t>{25, 1, 0, 0}));
    restart({{10, noteOn(60, 1)}, {1000, noteOn(61, 1)}});
    syllableCount.store(3);
    for (int i = 0; i < 3; ++i) syllables[i].tick = i < 2 ? 0 : 30;
    playback.busy.store(1);
    for (int i = 0; i < 5; ++i) period();
    EXPECT_EQ(state(), (std::vector<int32_t>{0, 0, 0, 1}));
    playback.busy.store(0);
    period();  // position 25: lines 1 and 2 and syllable 1 are due, one step each
    EXPECT_EQ(state(), (std::vector<int32_t>{25, 1, 1, 1}));
    ASSERT_EQ(window.redraws().size(), 1u);
    EXPECT_EQ(std::make_pair(window.redraws()[0].whole, window.redraws()[0].rect.right),
              std::make_pair(false, 640));  // the lyric band
    period();  // position 50: line 2, syllable 2 (tick 30)
    EXPECT_EQ(state(), (std::vector<int32_t>{50, 2, 2, 1}));
    for (int i = 0; i < 4; ++i) period();  // position 150: line 3; the last syllable stays
    EXPECT_EQ(state(), (std::vector<int32_t>{150, 3, 2, 1}));
    EXPECT_EQ(window.redraws().size(), 2u);

    // In critique mode the painter repaints by itself: no invalidation for a syllable.
    settings.critique.store(1);
    playback.currentSyllable.store(0);
    period();
    EXPECT_EQ(std::make_pair(playback.currentSyllable.load(), window.redraws().size()), std::make_pair(1, size_t{2}));
}

TEST_F(Sequencer, KeyShiftsNotesOffTheDrumChannelAndANoteOffFollowsItsNoteOn) {
    const uint32_t pressure60 = 0xA0 | 60 << 8 | 30 << 16;
    // The key, the messages that fall due and what goes out.
    const std::tuple<int32_t, std::vector<uint32_t>, std::vector<uint32_t>> steps[] = {
        // Notes, their releases (velocity 0 too) and key pressure move; drums and controls stay.
        {3, {noteOn(60, 100), pressure60, 0x07B0 | 90 << 16, noteOn(36, 100, 9), noteOff(36, 9)},
         {noteOn(63, 100), 0xA0 | 63 << 8 | 30 << 16, 0x07B0 | 90 << 16, noteOn(36, 100, 9), noteOff(36, 9)}},
        {3, {noteOff(60), noteOn(64, 50, 2), noteOn(64, 0, 2)}, {noteOff(63), noteOn(67, 50, 2), noteOn(67, 0, 2)}},
        // Out of 0..127: not sent, nor its pressure or note-off, even at a key that would fit.
        {12, {noteOn(120, 1), noteOn(115, 1), noteOn(0, 1)}, {noteOn(127, 1), noteOn(12, 1)}},
        {0, {0xA0 | 120 << 8, noteOff(120)}, {}},
        {-12, {noteOn(11, 1), noteOn(12, 1)}, {noteOn(0, 1)}},
        // A key change while notes are held: each release goes where its note sounds.
        {-5, {noteOff(115), noteOff(0), noteOff(11), noteOff(12)}, {noteOff(127), noteOff(12), noteOff(0)}},
        {2, {noteOn(60, 9), noteOn(62, 9, 1)}, {noteOn(62, 9), noteOn(64, 9, 1)}},
        // Struck again at another key: the old one is let go first.
        {-1, {noteOn(60, 8), noteOff(62, 1)}, {noteOff(62), noteOn(59, 8), noteOff(64, 1)}},
        {7, {noteOff(60), noteOff(60), noteOff(70)}, {noteOff(59), noteOff(67), noteOff(77)}},
    };
    // Each step's messages fall due in one period; what the sounding notes went out with is
    // kept from the steps before, as in a run.
    for (const auto& [shift, in, out] : steps) {
        SCOPED_TRACE(testing::Message() << "key " << shift << " first in " << std::hex << (in.empty() ? 0 : in[0]));
        std::vector<Event> events{{1 << 30, 0xB0}};  // keeps the run going
        for (uint32_t message : in) events.push_back({playback.position.load(), message});
        song(events);
        keyShift.store(shift);
        midi.clear();
        period();
        EXPECT_EQ(midi.sent(), out);
    }
}

// Whether every event keeps its scaled time at each tempo factor over five-minute songs is
// the timing benchmark's measure; here a change in the middle of the song carries song time
// on from where it stood.
TEST_F(Sequencer, ATempoChangeMidSongDoesNotJump) {
    song({{100000, noteOn(60, 1)}});
    // The tempo factor of each period and the position after it.
    const std::pair<int32_t, int32_t> steps[] = {{100, 25}, {100, 50}, {150, 87}, {150, 125}, {50, 137}, {50, 150}, {55, 163}};
    for (auto [percent, position] : steps) {
        tempoPercent.store(percent);
        period();
        EXPECT_EQ(playback.position.load(), position) << percent << " %";
    }
    // The slowest possible tempo still moves the song on.
    ticksPerPeriod.store(0);
    period();
    EXPECT_GT(songPositionFixed(), int64_t{16375} * kPeriodOne / 100);  // 163.75 before
}

TEST_F(Sequencer, BarsFallInTheShiftedLaneAndReachTheZoneWhenTheirNoteIsDueAtAnyTempo) {
    settings.silenceMelody.store(1);
    settings.critique.store(1);
    keyShift.store(3);
    const std::pair<int32_t, float> cases[] = {{50, 52.0f}, {100, 104.0f}, {150, 156.0f}};
    for (auto [percent, vy] : cases) {
        SCOPED_TRACE(percent);
        restart();
        melodyEvents.insert(noteOn(60, 100), 8000, 1);  // due at 8 s of the file's time
        buildMelodyPreview();
        tempoPercent.store(percent);
        while (noteBars.head == nullptr && playback.playing.load() != 0) period();
        ASSERT_NE(noteBars.head, nullptr);
        // x: note 63's lane; it enters above the lane.
        EXPECT_EQ((std::vector<float>{noteBars.head->x, noteBars.head->y, noteBars.head->vy}), (std::vector<float>{272, -96, vy}));
        const double arrives = clock.now() + (480 - 63) * 1000.0 / noteBars.head->vy;  // the lane's height
        EXPECT_NEAR(arrives, 8000.0 * 100 / percent, 2.0 * timerPeriodMs);
    }
    // A melody note with no place at the key makes no bar.
    keyShift.store(-12);
    restart({{0, noteOn(5, 100), 1}, {1000, noteOn(60, 1)}});
    period();
    EXPECT_EQ(noteBars.head, nullptr);
}

// The song's events as {tick, message, melody flag}, in order.
using Order = std::vector<std::tuple<int32_t, uint32_t, uint32_t>>;
Order songOrder() {
    Order out;
    for (const EventNode* node = songEvents.head; node; node = node->next) out.push_back({node->tick, node->message, node->melody});
    return out;
}

TEST_F(Sequencer, TheMelodyPreviewCopiesNoteEventsFourSecondsEarlierAtTheTempoInForce) {
    song({{0, noteOn(40, 90, 2)}});  // another track, already loaded
    // A control change is not copied, a note-on of velocity 0 is; the last tempo is 24.5 ticks per period.
    add(melodyEvents, {{1000, noteOn(60, 100), 1}, {1000, 0x07B0 | 64 << 16, 1}, {1200, noteOff(60), 1},
                       tempoAt(5000, 23 * kPeriodOne), {10000, noteOn(62, 0), 1},
                       tempoAt(20000, 49 * kPeriodOne / 2), {20100, noteOn(64, 100), 1}});
    songEvents.cursor = songEvents.tail;
    buildMelodyPreview();
    EXPECT_EQ(songOrder(), (Order{{-3000, noteOn(60, 100), 1}, {-2800, noteOff(60), 1}, {0, noteOn(40, 90, 2), 0},
                                  {6320, noteOn(62, 0), 1}, {16180, noteOn(64, 100), 1}}));
    EXPECT_EQ(songEvents.cursor, songEvents.head);

    // The lead keeps the fraction of ticks per period and is truncated toward zero.
    restart();
    add(melodyEvents, {{0, noteOn(60, 1), 1}, {1000, noteOn(61, 1), 1}});
    ticksPerPeriod.store(80530636);  // 4.8: the lead is 767.99 ticks
    buildMelodyPreview();
    EXPECT_EQ(songOrder(), (Order{{-767, noteOn(60, 1), 1}, {232, noteOn(61, 1), 1}}));
}

class PlaybackRun : public Sequencer {
protected:
    void SetUp() override {
        Sequencer::SetUp();
        playback.playing.store(0);
        playback.midiOut.store(0);
        loadTwoEvents();
    }
    // A note from 0 to 40, as a load leaves it.
    static void loadTwoEvents() { song({{0, noteOn(60, 100)}, {40, noteOff(60)}}); }

    // One period of the timer, the clock moved 25 ms first; how many timers called.
    int timerPeriod() { clock.advance(timerPeriodMs); return timer.fire(); }
    // Runs the timer until it is gone.
    int runToTheEnd() {
        int count = 0;
        for (; !timer.live().empty() && count < 1000; ++count) timerPeriod();
        return count;
    }
    // Nothing of the run left open: no timer, no resolution held, no MIDI device, and no note
    // kept sounding (the device was reset before its close).
    void expectDevicesClosed() {
        EXPECT_EQ((std::vector<size_t>{timer.live().size(), size_t(timer.periodsHeld()), size_t(midi.openDevices())}),
                  std::vector<size_t>(3, 0));
        const uintptr_t opened = midi.records().empty() ? 0 : midi.records().front().handle;  // 0: the open failed
        if (opened != 0) { EXPECT_TRUE(midi.resetBeforeClose(opened)); }
    }
    void expectEverythingClosed() { expectDevicesClosed(); expectRunEnded(); }
    // The run over and closed, the capture too, nothing held, and the menu enabled.
    void expectRunEnded() {
        EXPECT_EQ((std::vector<uint64_t>{uint64_t(playback.playing.load()), previousRunClosed(),
                                         playback.midiOut.load(), waveIn.load(), capturing.load(), microphone.isOpen(),
                                         uint64_t(playback.busy.load())}),
                  (std::vector<uint64_t>{0, 1, 0, 0, 0, 0, 0}));
        for (unsigned command : kRunMenuItems) EXPECT_TRUE(window.isEnabled(command, false)) << command;
    }
};

TEST_F(PlaybackRun, ASongPlaysFromStartToItsEndAndTheStopClosesEverything) {
    playback.currentLine.store(1);
    playback.currentSyllable.store(1);
    playback.drawnLine.store(5);
    tally.possible = 9;
    for (unsigned command : kRunMenuItems) window.enableMenuItem(command, false);  // as the load left them
    std::snprintf(songTitle, sizeof songTitle, "Night and Day");

    startPlayback();
    EXPECT_EQ((std::vector<int64_t>{playback.playing, playback.currentLine, playback.currentSyllable, playback.drawnLine,
                                    playback.position, tally.possible, timer.periodsHeld()}),
              (std::vector<int64_t>{1, 0, 0, -1, 0, 0, 1}));
    const platform::FakeTimer::Live live = timer.live().at(0);
    EXPECT_EQ((std::vector<uint64_t>{live.delayMs, live.resolutionMs, live.user, live.mode}),
              (std::vector<uint64_t>{25, 25, 25, platform::kTimePeriodic}));

    // Position 25 sends the note-on, 50 the last event; the period after that stops.
    EXPECT_EQ(runToTheEnd(), 3);
    EXPECT_EQ(midi.sent(), (std::vector<uint32_t>{noteOn(60, 100), noteOff(60)}));
    expectEverythingClosed();
    EXPECT_TRUE(window.messages().empty());
    // One redraw, of the lyric band at the end: neither Record nor Critique, so the microphone is
    // left alone and the window not invalidated whole for the capture.
    ASSERT_EQ(window.redraws().size(), 1u);
    EXPECT_EQ(std::make_pair(window.redraws()[0].whole, window.redraws()[0].rect.bottom), std::make_pair(false, 60));
    EXPECT_EQ(window.captions(), (std::vector<std::string>{"Lyrivox - Night and Day", "Lyrivox"}));
}

TEST_F(PlaybackRun, CaptureIsOpenedStartedAndClosedOnlyWhenRecordingOrCritiquing) {
    // Critique: opened, every buffer queued and started before the timer, all given back by
    // the reset and closed at the stop, whose close notice ends the worker's run.
    settings.critique.store(1);
    startPlayback();
    EXPECT_EQ(microphone.log().size(), 2 * kCaptureBuffers + 2);
    EXPECT_EQ(std::make_pair(microphone.log().back(), capturing.load()), std::make_pair(std::string("start"), uint8_t{1}));
    EXPECT_TRUE(window.redraws().at(0).whole);  // the stage shows the capture
    runToTheEnd();
    expectEverythingClosed();
    const std::vector<std::string> log = microphone.log();
    EXPECT_EQ((std::vector<std::string>{log.at(2 * kCaptureBuffers + 2), log.back()}), (std::vector<std::string>{"reset", "close"}));
    platform::RecordingPost::Posted posted{};
    ASSERT_TRUE(posts.take(&posted));
    EXPECT_EQ((std::vector<uint64_t>{posted.message, posted.wParam}), (std::vector<uint64_t>{WM_VOICE, VOICE_END}));
    EXPECT_TRUE(window.messages().empty());
    StopPitchWorker();

    // No microphone: its one message, and the song plays on without capture.
    loadTwoEvents();
    microphone.failCall(platform::FakeWaveIn::kOpen);
    startPlayback();
    runToTheEnd();
    expectEverythingClosed();
    EXPECT_EQ(midi.sent().size(), 4u);
    // Nothing to close, so no 107.
    EXPECT_EQ(window.messages(), (std::vector<std::string>{unittest::kMsgCannotOpenWaveIn}));
}

// A message is an owned exclamation box that holds the run (busy) while it is open; a stop
// chosen meanwhile happens on the next period.
TEST_F(PlaybackRun, AMessageBoxHoldsTheRunAndAStopChosenWhileItIsOpenHappensOnTheNextPeriod) {
    window.setMessageBoxResult(0);  // a box that could not be shown
    EXPECT_EQ(showMessage("not shown"), 0);
    startPlayback();
    timerPeriod();
    int periodsInBox = 0, busyWhileOpen = -1;
    window.setOnMessageBox([&](const platform::RecordingWindowSide::Box&) {
        busyWhileOpen = playback.busy.load();
        playback.playing.store(0);  // the user chooses Stop
        periodsInBox += timerPeriod();
        EXPECT_TRUE(timer.live().empty());
    });
    window.setMessageBoxResult(1);
    EXPECT_EQ(showMessage(unittest::kMsgCannotStartTimer), 1);
    const auto boxes = window.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(std::make_tuple(boxes[1].text, boxes[1].caption, boxes[1].style, boxes[1].owned),
              std::make_tuple(std::string(unittest::kMsgCannotStartTimer), std::string("Lyrivox!"), 0x30u, true));
    EXPECT_EQ((std::vector<int>{busyWhileOpen, playback.busy.load(), periodsInBox}), (std::vector<int>{1, 0, 1}));
    expectEverythingClosed();
    EXPECT_EQ(midi.sent().size(), 1u);  // the note-off never went out, the reset silenced it
}

TEST_F(PlaybackRun, AFailedStartTellsTheUserClosesWhatItOpenedAndLeavesTheMenuUsable) {
    // After each the run counts as closed and the menu is enabled: the next start can play.
    settings.critique.store(1);
    const char* const failing[] = {"no MIDI output", "no resolution", "no periodic timer"};
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(failing[f]);
        midi.clear();
        timer.clear();
        window.clear();
        midi.setResult(platform::RecordingMidiOutput::Call::Open, f == 0 ? 4 : 0);
        timer.setFail(platform::FakeTimer::Call::BeginPeriod, f == 1);
        timer.setFail(platform::FakeTimer::Call::SetEvent, f == 2);
        startPlayback();
        EXPECT_EQ(window.messages(), (std::vector<std::string>{unittest::kMsgCannotStartTimer}));
        expectEverythingClosed();
    }
}

TEST_F(PlaybackRun, AFailedKillOrCloseAtTheStopIsReportedOnceAndTheRestStillRuns) {
    startPlayback();
    const uint32_t first = timer.live()[0].id;
    timer.setFail(platform::FakeTimer::Call::KillEvent, true);
    playback.playing.store(0);
    timerPeriod();
    EXPECT_EQ(window.messages(), (std::vector<std::string>{unittest::kMsgCannotKillTimer}));
    EXPECT_EQ(midi.openDevices(), 0);
    expectRunEnded();
    // The timer that would not die keeps calling: no second message. Nor does a second such
    // timer, and neither drives the next run.
    timer.fire();
    EXPECT_EQ(window.messages().size(), 1u);
    startPlayback();
    playback.playing.store(0);
    timer.fire();
    EXPECT_EQ(window.messages().size(), 2u);
    timer.setFail(platform::FakeTimer::Call::KillEvent, false);
    rewind();
    startPlayback();
    ASSERT_EQ(timer.live().size(), 3u);
    timerPeriod();  // every timer calls once
    EXPECT_EQ(std::make_pair(playback.position.load(), timer.live().size()), std::make_pair(25, size_t{1}));  // the strays are gone
    EXPECT_NE(timer.live().at(0).id, first);
    runToTheEnd();
    EXPECT_EQ(window.messages().size(), 2u);

    // A MIDI close that fails brings the same message.
    window.clear();
    midi.setResult(platform::RecordingMidiOutput::Call::Close, 2);
    loadTwoEvents();
    startPlayback();
    runToTheEnd();
    EXPECT_EQ(window.messages(), (std::vector<std::string>{unittest::kMsgCannotKillTimer}));
    EXPECT_TRUE(timer.live().empty());
}

TEST_F(PlaybackRun, ANewRunWaitsUntilThePreviousRunIsClosed) {
    startPlayback();
    timerPeriod();
    playback.playing.store(0);  // Open clears playing; its dialog returns before the next period

    std::atomic<bool> started{false};
    std::thread opener([&] { startPlayback(); started.store(true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(std::make_pair(started.load(), midi.openDevices()), std::make_pair(false, 1));  // only the first run's device
    timer.fire();  // the first run's stop sequence
    opener.join();
    // The second run's device and timer, and it plays.
    EXPECT_EQ((std::vector<size_t>{size_t(midi.openDevices()), timer.live().size(), size_t(playback.playing.load())}),
              (std::vector<size_t>{1, 1, 1}));
    EXPECT_TRUE(window.messages().empty());

    // A previous run that never closes is not waited for forever: the start gives up.
    playback.playing.store(0);
    startPlayback();
    EXPECT_EQ(window.messages(), (std::vector<std::string>{unittest::kMsgCannotStartTimer}));
    EXPECT_EQ((std::vector<size_t>{size_t(midi.openDevices()), timer.live().size()}), (std::vector<size_t>{1, 1}));
}

// A stop held up by the box it shows on the timer thread: the box can be answered only while
// the window thread handles what is sent to it, so the waits of Open and of the exit do.
class HeldStop : public PlaybackRun {
protected:
    void SetUp() override {
        PlaybackRun::SetUp();
        platform::installShell(&shell);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        std::snprintf(recordingPath, sizeof recordingPath, "%s", (folder / "lvxtake.wav").c_str());
        std::snprintf(optionsPath, sizeof optionsPath, "%s", (folder / "options.lvx").c_str());
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
    }

    // A run recording a buffer of sound, then (if `stop`) its stop on a timer thread of its own.
    void startRecording(platform::FakeWaveIn& device, bool stop = true) {
        platform::installWaveInDevice(&device);
        startPlayback();
        device.feed(std::vector<int16_t>(2048, 1000));
        ASSERT_TRUE(device.waitUntilIdle());
        if (!stop) return;
        playback.playing.store(0);
        stopper = std::thread([this] { timerPeriod(); });
    }
    void answer() { answered.store(true); if (stopper.joinable()) stopper.join(); }

    platform::RecordingShellSide shell;
    unittest::ScratchFolder folder;
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
        startRecording(device);
        shell.dialogAnswers = {"C:\\songs\\a.kar"};
        openSong();
        // Held: one message and nothing loaded (no background, no file). Answered: the load, its
        // missing song reported last (the missing pictures before it).
        const std::vector<std::string> shown = window.messages();
        ASSERT_GE(shown.size(), 2u);
        const std::string last =
            answeredInTheWait ? "Error opening the midi file [C:\\songs\\a.kar]." : unittest::kMsgCannotStartTimer;
        EXPECT_EQ((std::vector<std::string>{shown.front(), shown.back()}),
                  (std::vector<std::string>{unittest::kMsgCannotKillTimer, last}));
        if (!answeredInTheWait) { EXPECT_EQ(shown.size(), 2u); }
        answer();
        EXPECT_FALSE(device.isOpen());
    }
}

TEST_F(HeldStop, ExitAndEndOfSessionCloseWhatTheStopLeftAndFinishTheTake) {
    // Whether the timer runs the stop at all; whether the device will not close (107, and no
    // WIM_CLOSE to finish the take); WM_ENDSESSION rather than the window's end.
    for (auto [name, stopComes, closeFails, sessionEnds] : {std::tuple{"exit with no stop in time", false, false, false},
                                                           std::tuple{"exit while the stop shows 107", true, true, false},
                                                           std::tuple{"end of session after a failed close", true, true, true}}) {
        SCOPED_TRACE(name);
        window.clear();
        answered.store(sessionEnds);
        std::remove(optionsPath);
        loadTwoEvents();
        platform::FakeWaveIn device;
        device.failCall(platform::FakeWaveIn::kClose, closeFails);
        startRecording(device, stopComes);
        if (sessionEnds) answer();
        (sessionEnds ? endSession : releaseResources)();
        // The take's header states the sizes of what is on disk, and that is not nothing.
        const unittest::Bytes take = unittest::readBytes(recordingPath);
        ASSERT_GT(take.size(), kWaveHeaderBytes);
        EXPECT_EQ(unittest::le(take, 4), take.size() - 8);
        EXPECT_EQ(unittest::le(take, 40), take.size() - kWaveHeaderBytes);
        expectDevicesClosed();
        EXPECT_EQ(std::make_pair(device.isOpen(), access(optionsPath, F_OK)), std::make_pair(closeFails, 0));  // the options saved
        answer();
        EXPECT_TRUE(previousRunClosed());
        EXPECT_EQ(window.messages(), std::vector<std::string>(closeFails, unittest::kMsgCannotCloseWaveIn));
        midi.clear();
        timer.clear();
    }
}

}  // namespace
