#pragma once
// A clean playback world for the sequencer and run tests: the fakes of the MIDI output, the
// millisecond counter, the timer and the window installed, the song model and the playback
// state back at their start values, and helpers to build a song by hand.

#include <gtest/gtest.h>

#include <cstdint>

#include "support/unit_support.h"
#include "platform/host/fake_clock.h"
#include "platform/host/fake_timer.h"
#include "platform/host/recording_midi.h"
#include "platform/host/recording_window.h"
#include "platform/clock.h"
#include "platform/midi.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "playback/sequencer.h"
#include "shell/settings.h"
#include "song/song_model.h"
#include "stage/layout.h"

class PlaybackWorld : public ::testing::Test {
protected:
    void SetUp() override {
        platform::installClock(&clock);
        platform::installMidi(&midi);
        platform::installTimer(&timer);
        platform::installWindow(&window);
        songEvents.clear();
        melodyEvents.clear();
        ticksPerPeriod.store(25 * kPeriodOne);
        lineCount.store(1);
        syllableCount.store(0);
        lyricLines[0].startTick = 0;
        noteBars.clear();
        unittest::resetSettings();
        stripHeight.store(63);
        lyricBand.right.store(640);
        lyricBand.bottom.store(60);
        playback.playing.store(1);
        playback.busy.store(0);
        rewindSongPosition();
        playback.currentLine.store(0);
        playback.currentSyllable.store(0);
        playback.drawnLine.store(0);
        playback.midiOut.store(7);
    }

    void TearDown() override {
        playback.playing.store(0);
        playback.busy.store(0);
        songEvents.clear();
        melodyEvents.clear();
        noteBars.clear();
        platform::installClock(nullptr);
        platform::installMidi(nullptr);
        platform::installTimer(nullptr);
        platform::installWindow(nullptr);
    }

    // One timer period, the clock moved on 25 ms first as the real timer would be.
    void period() {
        clock.advance(timerPeriodMs);
        sequencerTick(0, 0, timerPeriodMs, 0, 0);
    }
    void periods(int count) {
        for (int i = 0; i < count; ++i) period();
    }

    // A fresh run of an empty song from its start, nothing sent, no bars.
    void restart() {
        songEvents.clear();
        melodyEvents.clear();
        noteBars.clear();
        midi.clear();
        clock.set(0);
        rewindSongPosition();
        playback.playing.store(1);
    }

    static void event(int32_t tick, uint32_t message, uint32_t melody = 0) {
        ASSERT_TRUE(songEvents.insert(message, tick, melody));
    }
    // A tempo record with its 16.16 ticks per period.
    static void tempo(EventList& list, int32_t tick, uint32_t periodTicks) {
        uint32_t message = 0xFF | 0x51 << 8 | uint32_t(wholeTicks(periodTicks)) << 16 | (periodTicks >> 16 & 0xFF) << 24;
        ASSERT_TRUE(list.insert(message, tick, 0, periodTicks));
    }
    static void rewind() { songEvents.cursor = songEvents.head; }

    static constexpr uint32_t noteOn(uint8_t note, uint8_t velocity, uint8_t channel = 0) {
        return (0x90u | channel) | uint32_t{note} << 8 | uint32_t{velocity} << 16;
    }
    static constexpr uint32_t noteOff(uint8_t note, uint8_t channel = 0) {
        return (0x80u | channel) | uint32_t{note} << 8 | 0x40u << 16;
    }

    platform::FakeClock clock;
    platform::RecordingMidiOutput midi;
    platform::FakeTimer timer;
    platform::RecordingWindowSide window;
};
