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
    restart();
    event(9, noteOn(60, 1));
    event(960, noteOn(61, 1));
    rewind();
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
    restart();
    ASSERT_TRUE(songEvents.insert(0xFF | 0x51 << 8 | 10 << 16, 0, 0));
    event(100, noteOn(60, 1));
    rewind();
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
    std::vector<uint32_t> inOrder;
    for (uint8_t note = 40; note < 80; ++note) inOrder.push_back(noteOn(note, 100));
    EXPECT_EQ(midi.sent(), inOrder);
    EXPECT_EQ(playback.playing.load(), 0);

    // A period with nothing due reads the counter once.
    restart();
    event(1000, noteOn(1, 1));
    rewind();
    clock.setAdvancePerRead(1);
    uint32_t before = clock.now();
    sequencerTick(0, 0, 25, 0, 0);
    EXPECT_EQ(clock.now() - before, 1u);
}

TEST_F(Sequencer, SilenceMelodyWithholdsTheMelodyAndCritiquePushesBarsForItsNoteOns) {
    struct Case {
        int silence;
        int critique;
        size_t sent;
        int bars;
    };
    for (Case c : {Case{0, 0, 6, 0}, Case{0, 1, 6, 0}, Case{1, 0, 1, 0}, Case{1, 1, 1, 2}}) {
        SCOPED_TRACE(testing::Message() << "silence " << c.silence << " critique " << c.critique);
        restart();
        event(0, noteOn(60, 100), 1);
        event(0, noteOn(64, 0), 1);  // a note-on of velocity 0 makes no bar
        event(0, noteOff(60), 1);
        event(0, 0x07B0 | 100 << 16, 1);  // control change of the melody track
        event(0, noteOn(48, 90, 3));        // another track
        event(0, noteOn(72, 80, 5), 1);
        rewind();
        settings.silenceMelody.store(c.silence);
        settings.critique.store(c.critique);
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

// The messages one period sends when `messages` fall due in it at key `shift`; what the
// notes sounding before it went out with is kept from earlier calls, as in a run.
std::vector<uint32_t> playAtKey(int32_t shift, const std::vector<uint32_t>& messages,
                                platform::RecordingMidiOutput& midi) {
    songEvents.clear();
    for (uint32_t message : messages) songEvents.insert(message, playback.position.load(), 0);
    songEvents.insert(0xB0, 1 << 30, 0);  // keeps the run going
    songEvents.cursor = songEvents.head;
    keyShift.store(shift);
    midi.clear();
    sequencerTick(0, 0, timerPeriodMs, 0, 0);
    return midi.sent();
}

TEST_F(Sequencer, KeyShiftsNotesOffTheDrumChannelAndANoteOffFollowsItsNoteOn) {
    const uint32_t pressure60 = 0xA0 | 60 << 8 | 30 << 16;
    struct Step {
        int32_t shift;
        std::vector<uint32_t> in;
        std::vector<uint32_t> out;
    };
    const Step steps[] = {
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
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "key " << step.shift << " first in " << std::hex
                                        << (step.in.empty() ? 0 : step.in[0]));
        EXPECT_EQ(playAtKey(step.shift, step.in, midi), step.out);
    }
}

TEST_F(Sequencer, TempoScalesSongTimeWithoutDriftAndAChangeMidSongDoesNotJump) {
    // 25 ticks per period: tick t is due at t ms by the file. At each factor every event goes
    // out within one period after its scaled time, never before, also after five minutes.
    for (int32_t percent : {50, 80, 125, 150}) {
        SCOPED_TRACE(percent);
        restart();
        tempoPercent.store(percent);
        const std::vector<int32_t> ticks{0, 1000, 12345, 300000};
        for (int32_t tick : ticks) event(tick, noteOn(60, 1));
        rewind();
        while (playback.playing.load() != 0) period();
        const std::vector<uint32_t> times = sendTimes(midi);
        ASSERT_EQ(times.size(), ticks.size());
        for (size_t i = 0; i < ticks.size(); ++i) {
            const double due = ticks[i] * 100.0 / percent;
            EXPECT_GE(times[i], due);
            EXPECT_LE(times[i], due + timerPeriodMs);
        }
    }

    // Faster and slower in the middle of the song: song time carries on from where it stood.
    restart();
    event(100000, noteOn(60, 1));
    rewind();
    std::vector<int32_t> positions;
    for (int32_t percent : {100, 100, 150, 150, 50, 50, 55}) {
        tempoPercent.store(percent);
        period();
        positions.push_back(playback.position.load());
    }
    EXPECT_EQ(positions, (std::vector<int32_t>{25, 50, 87, 125, 137, 150, 163}));
}

TEST_F(Sequencer, BarsFallInTheShiftedLaneAndReachTheZoneWhenTheirNoteIsDueAtAnyTempo) {
    settings.silenceMelody.store(1);
    settings.critique.store(1);
    keyShift.store(3);
    const int32_t fall = 480 - 63;  // the lane's height the bars fall
    struct Case {
        int32_t percent;
        float vy;
    };
    for (Case c : {Case{50, 52.0f}, Case{100, 104.0f}, Case{150, 156.0f}}) {
        SCOPED_TRACE(c.percent);
        restart();
        melodyEvents.insert(noteOn(60, 100), 8000, 1);  // due at 8 s of the file's time
        ticksPerPeriod.store(25u * kPeriodOne);
        buildMelodyPreview();
        tempoPercent.store(c.percent);
        while (noteBars.head == nullptr && playback.playing.load() != 0) period();
        ASSERT_NE(noteBars.head, nullptr);
        EXPECT_EQ(noteBars.head->x, 272.0f);  // note 63's lane
        EXPECT_EQ(noteBars.head->vy, c.vy);
        const double arrives = clock.now() + fall * 1000.0 / noteBars.head->vy;
        EXPECT_NEAR(arrives, 8000.0 * 100 / c.percent, 2.0 * timerPeriodMs);
    }
    // A melody note with no place at the key makes no bar.
    noteBars.clear();
    keyShift.store(-12);
    songEvents.clear();
    event(0, noteOn(5, 100), 1);
    event(1000, noteOn(60, 1));
    rewind();
    period();
    EXPECT_EQ(noteBars.head, nullptr);
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
