#include <gtest/gtest.h>

#include <vector>

#include "playback_fixture.h"
#include "song/melody_preview.h"

namespace {

using Sequencer = PlaybackWorld;

// The millisecond at which each message went out, in order.
std::vector<uint32_t> sendTimes(const platform::RecordingMidiOutput& midi) {
    std::vector<uint32_t> times;
    for (const auto& record : midi.records())
        if (record.call == platform::RecordingMidiOutput::Call::ShortMsg) times.push_back(record.ms);
    return times;
}

TEST_F(Sequencer, AnEventIsDueOnlyOncePositionHasPassedItFractionIncluded) {
    event(0, noteOn(60, 100));
    event(25, noteOn(62, 100));  // equal to the position after one period: waits a period
    event(26, noteOn(64, 100));
    rewind();

    period();
    EXPECT_EQ(playback.position.load(), 25);
    EXPECT_EQ(midi.sent(), (std::vector<uint32_t>{noteOn(60, 100)}));
    period();
    EXPECT_EQ(midi.sent().size(), 3u);
    EXPECT_EQ(sendTimes(midi), (std::vector<uint32_t>{25, 50, 50}));
    EXPECT_EQ(midi.records().back().handle, 7u);  // to the run's output device

    // 4.8 ticks per period (division 96 at 120 bpm): after two periods song time is 9.6, so an
    // event at tick 9 is due although the whole-tick position reads 9.
    songEvents.clear();
    midi.clear();
    event(9, noteOn(60, 1));
    event(960, noteOn(61, 1));
    rewind();
    clock.set(0);
    rewindSongPosition();
    playback.playing.store(1);
    ticksPerPeriod.store(80530636);  // 4.8 in 8.24
    period();
    EXPECT_TRUE(midi.sent().empty());
    period();
    EXPECT_EQ(playback.position.load(), 9);
    EXPECT_EQ(midi.sent().size(), 1u);
    // The event at tick 960 is at 5000 ms by the file's tempo; it goes out one period later.
    while (playback.playing.load() != 0) period();
    ASSERT_EQ(sendTimes(midi).size(), 2u);
    EXPECT_EQ(sendTimes(midi).back(), 5025u);
}

TEST_F(Sequencer, TempoRecordsRetimeTheRestOfTheirPeriodAndAreNotSent) {
    // A metrical song that starts at 1 tick per period: a tempo at tick 0 (24 ticks per period,
    // division 480 at 120 bpm) governs from the first period on.
    tempo(songEvents, 0, 24 * kPeriodOne);
    event(480, noteOn(60, 100));
    tempo(songEvents, 1000, 12 * kPeriodOne);  // 60 bpm from tick 1000
    event(1480, noteOn(62, 100));
    rewind();
    ticksPerPeriod.store(1 * kPeriodOne);

    period();
    EXPECT_EQ(playback.position.load(), 24);
    EXPECT_EQ(ticksPerPeriod.load(), 24 * kPeriodOne);
    EXPECT_TRUE(midi.sent().empty());
    while (playback.playing.load() != 0) period();
    // Tick 480 is at 500 ms; tick 1480 at 1041.7 + 1000 ms.
    EXPECT_EQ(sendTimes(midi), (std::vector<uint32_t>{525, 2050}));
    EXPECT_EQ(ticksPerPeriod.load(), 12 * kPeriodOne);
    EXPECT_EQ(midi.sent(), (std::vector<uint32_t>{noteOn(60, 100), noteOn(62, 100)}));

    // A record made without its fixed-point value takes its second data byte; a slowest
    // possible tempo still moves the song on.
    songEvents.clear();
    ASSERT_TRUE(songEvents.insert(0xFF | 0x51 << 8 | 10 << 16, 0, 0));
    event(100, noteOn(60, 1));
    rewind();
    rewindSongPosition();
    playback.playing.store(1);
    ticksPerPeriod.store(25 * kPeriodOne);
    period();
    EXPECT_EQ(ticksPerPeriod.load(), 10 * kPeriodOne);
    EXPECT_EQ(playback.position.load(), 10);
    ticksPerPeriod.store(0);
    int32_t before = playback.position.load();
    periods(3);
    EXPECT_GE(playback.position.load(), before);
    EXPECT_GT(songPositionFixed(), int64_t{before} * kPeriodOne);
}

TEST_F(Sequencer, TheTimeBudgetSpreadsADenseBurstOverPeriods) {
    for (int i = 0; i < 40; ++i) event(0, noteOn(static_cast<uint8_t>(40 + i), 100));
    rewind();
    // Every message takes a millisecond to send: with 25 ticks per period the budget is
    // 25 / 2 + 1 = 13 ms, so thirteen messages fit into the first period.
    midi.setOnShortMsg([this](uint32_t) { clock.advance(1); });
    sequencerTick(0, 0, 25, 0, 0);
    EXPECT_EQ(midi.sent().size(), 13u);
    EXPECT_EQ(playback.position.load(), 25);  // not taken back
    for (int i = 0; i < 3; ++i) sequencerTick(0, 0, 25, 0, 0);
    std::vector<uint32_t> sent = midi.sent();
    ASSERT_EQ(sent.size(), 40u);
    for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], noteOn(static_cast<uint8_t>(40 + i), 100));
    EXPECT_EQ(playback.playing.load(), 0);

    // A period with nothing due reads the counter once.
    songEvents.clear();
    event(1000, noteOn(1, 1));
    rewind();
    playback.playing.store(1);
    clock.setAdvancePerRead(1);
    uint32_t before = clock.now();
    sequencerTick(0, 0, 25, 0, 0);
    EXPECT_EQ(clock.now() - before, 1u);
}

TEST_F(Sequencer, SilenceMelodyWithholdsTheMelodyAndCritiquePushesBarsForItsNoteOns) {
    auto load = [] {
        songEvents.clear();
        event(0, noteOn(60, 100), 1);
        event(0, noteOn(64, 0), 1);  // a note-on of velocity 0 makes no bar
        event(0, noteOff(60), 1);
        event(0, 0x07B0 | 100 << 16, 1);  // control change of the melody track
        event(0, noteOn(48, 90, 3));        // another track
        event(0, noteOn(72, 80, 5), 1);
        rewind();
    };
    struct Case {
        int silence;
        int critique;
        size_t sent;
        int bars;
    };
    for (Case c : {Case{0, 0, 6, 0}, Case{0, 1, 6, 0}, Case{1, 0, 1, 0}, Case{1, 1, 1, 2}}) {
        SCOPED_TRACE(testing::Message() << "silence " << c.silence << " critique " << c.critique);
        load();
        midi.clear();
        noteBars.clear();
        settings.silenceMelody.store(c.silence);
        settings.critique.store(c.critique);
        playback.playing.store(1);
        period();
        EXPECT_EQ(midi.sent().size(), c.sent);
        if (c.silence) {
            EXPECT_EQ(midi.sent().front(), noteOn(48, 90, 3));
        }
        int bars = 0;
        for (NoteBar* bar = noteBars.head; bar; bar = bar->next) ++bars;
        EXPECT_EQ(bars, c.bars);
    }
    // The newest bar is the head: note 72 on any channel, falling the lane in four seconds.
    NoteBar* bar = noteBars.head;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->x, 448.0f);
    EXPECT_EQ(bar->y, -96.0f);
    EXPECT_EQ(bar->vy, 104.0f);  // (480 - 63) / 4
    EXPECT_EQ(bar->next->x, 224.0f);
    EXPECT_EQ(noteBars.tail, bar->next);
    EXPECT_EQ(noteBars.cursor, bar);
}

TEST_F(Sequencer, LyricsStepOneLineAndOneSyllablePerPeriod) {
    lineCount.store(4);
    lyricLines[1].startTick = 0;
    lyricLines[2].startTick = 0;
    lyricLines[3].startTick = 100;
    syllableCount.store(3);
    syllables[0].tick = 0;
    syllables[1].tick = 0;
    syllables[2].tick = 30;
    event(1000, noteOn(60, 1));
    rewind();

    period();  // position 25: lines 1 and 2 and syllable 1 are due, one step each
    EXPECT_EQ(playback.currentLine.load(), 1);
    EXPECT_EQ(playback.currentSyllable.load(), 1);
    ASSERT_EQ(window.redraws().size(), 1u);
    EXPECT_FALSE(window.redraws()[0].whole);
    EXPECT_EQ(window.redraws()[0].rect.right, 640);
    EXPECT_EQ(window.redraws()[0].rect.bottom, 60);
    period();  // position 50: line 2, syllable 2 (tick 30)
    EXPECT_EQ(playback.currentLine.load(), 2);
    EXPECT_EQ(playback.currentSyllable.load(), 2);
    periods(4);  // position 150: line 3; the last syllable stays
    EXPECT_EQ(playback.currentLine.load(), 3);
    EXPECT_EQ(playback.currentSyllable.load(), 2);
    EXPECT_EQ(window.redraws().size(), 2u);

    // In critique mode the painter repaints by itself: no invalidation for a syllable.
    settings.critique.store(1);
    playback.currentSyllable.store(0);
    period();
    EXPECT_EQ(playback.currentSyllable.load(), 1);
    EXPECT_EQ(window.redraws().size(), 2u);
}

TEST_F(Sequencer, BusyHoldsEverythingAndReleasingItResumesInPlace) {
    lineCount.store(2);
    lyricLines[1].startTick = 10;
    event(10, noteOn(60, 1));
    event(500, noteOn(61, 1));
    rewind();
    playback.busy.store(1);
    periods(5);
    EXPECT_EQ(playback.position.load(), 0);
    EXPECT_TRUE(midi.sent().empty());
    EXPECT_EQ(playback.currentLine.load(), 0);
    EXPECT_EQ(songEvents.cursor, songEvents.head);
    playback.busy.store(0);
    period();
    EXPECT_EQ(playback.position.load(), 25);
    EXPECT_EQ(midi.sent().size(), 1u);
    EXPECT_EQ(playback.currentLine.load(), 1);
}

TEST_F(Sequencer, TheEndOfTheSongIsNoticedOnTheLastEventAndAnEmptySongEndsAtOnce) {
    // No events at all: the first period ends the run, the lyrics still step.
    lineCount.store(2);
    lyricLines[1].startTick = 0;
    period();
    EXPECT_EQ(playback.playing.load(), 0);
    EXPECT_EQ(playback.currentLine.load(), 1);
    EXPECT_TRUE(midi.sent().empty());

    playback.playing.store(1);
    rewindSongPosition();
    playback.currentLine.store(0);
    event(0, noteOn(60, 1));
    event(40, noteOff(60));
    rewind();
    period();
    EXPECT_EQ(playback.playing.load(), 1);
    period();
    EXPECT_EQ(playback.playing.load(), 0);  // on the period that sent the last event
    EXPECT_EQ(songEvents.cursor, nullptr);
    EXPECT_EQ(midi.sent().size(), 2u);
}

}  // namespace

namespace {

using MelodyPreview = PlaybackWorld;

std::vector<std::pair<int32_t, uint32_t>> songOrder() {
    std::vector<std::pair<int32_t, uint32_t>> out;
    for (const EventNode* node = songEvents.head; node; node = node->next) out.push_back({node->tick, node->message});
    return out;
}

TEST_F(MelodyPreview, CopiesNoteEventsFourSecondsEarlierAtTheTempoInForce) {
    event(0, noteOn(40, 90, 2));  // another track, already loaded
    melodyEvents.insert(noteOn(60, 100), 1000, 1);
    melodyEvents.insert(0x07B0 | 64 << 16, 1000, 1);  // a control change is not copied
    melodyEvents.insert(noteOff(60), 1200, 1);
    tempo(melodyEvents, 5000, 23 * kPeriodOne);
    melodyEvents.insert(noteOn(62, 0), 10000, 1);      // velocity 0 is copied too
    tempo(melodyEvents, 20000, 49 * kPeriodOne / 2);  // 24.5 ticks per period
    melodyEvents.insert(noteOn(64, 100), 20100, 1);
    songEvents.cursor = songEvents.tail;
    ticksPerPeriod.store(25 * kPeriodOne);

    buildMelodyPreview();
    EXPECT_EQ(songOrder(), (std::vector<std::pair<int32_t, uint32_t>>{{-3000, noteOn(60, 100)},
                                                                       {-2800, noteOff(60)},
                                                                       {0, noteOn(40, 90, 2)},
                                                                       {6320, noteOn(62, 0)},
                                                                       {16180, noteOn(64, 100)}}));
    EXPECT_EQ(songEvents.cursor, songEvents.head);
    for (const EventNode* node = songEvents.head; node; node = node->next)
        EXPECT_EQ(node->melody, node->tick == 0 ? 0u : 1u);

    // The lead keeps the fraction of ticks per period and is truncated toward zero.
    songEvents.clear();
    melodyEvents.clear();
    melodyEvents.insert(noteOn(60, 1), 0, 1);
    melodyEvents.insert(noteOn(61, 1), 1000, 1);
    ticksPerPeriod.store(80530636);  // 4.8: the lead is 767.99 ticks
    buildMelodyPreview();
    EXPECT_EQ(songOrder(), (std::vector<std::pair<int32_t, uint32_t>>{{-767, noteOn(60, 1)}, {232, noteOn(61, 1)}}));

    // Nothing to copy: the song stays as it was.
    songEvents.clear();
    melodyEvents.clear();
    buildMelodyPreview();
    EXPECT_TRUE(songEvents.empty());
}

}  // namespace
