#include "playback/sequencer.h"

#include <algorithm>
#include <limits>

#include "platform/clock.h"
#include "platform/midi.h"
#include "platform/window.h"
#include "playback/key_tempo.h"
#include "playback/note_bars.h"
#include "playback/playback_run.h"
#include "playback/playback_state.h"
#include "shell/settings.h"
#include "stage/layout.h"

namespace {

constexpr int kFractionBits = kPeriodFractionBits;
constexpr int64_t kOneTick = int64_t{1} << kFractionBits;

// Song time with the fraction that ticks per period carry, so that the song keeps the file's
// tempo to the millisecond over any length. Only the timer thread touches these; a run starts
// with `playback.position` at 0, which the whole-part check below notices.
int64_t fixedPosition = 0;
int32_t publishedWhole = 0;
// What the tempo factor's truncation left over from the last period (timer thread only).
int64_t tempoCarry = 0;

int64_t currentFixedPosition() {
    const int32_t whole = playback.position.load();
    if (whole != publishedWhole) {
        fixedPosition = int64_t{whole} * kOneTick;
        publishedWhole = whole;
    }
    return fixedPosition;
}

void publishPosition(int64_t position) {
    fixedPosition = position;
    int64_t whole = position >> kFractionBits;
    if (whole > std::numeric_limits<int32_t>::max()) whole = std::numeric_limits<int32_t>::max();
    publishedWhole = static_cast<int32_t>(whole);
    playback.position.store(publishedWhole);
}

// Strictly before the position, fraction included: an event at the exact position waits.
bool isBefore(int32_t tick, int64_t position) { return int64_t{tick} * kOneTick < position; }

// A tempo record at tick T that fell due inside this period: the part of the period after T
// ran at the old rate, so it is re-timed to the new one.
int64_t retime(int64_t position, int32_t recordTick, int64_t oldPeriod, int64_t newPeriod) {
    const int64_t start = int64_t{recordTick} * kOneTick;
    const int64_t since = position - start;
    if (since <= 0 || oldPeriod == 0) return position;
    // Split the product so that even a long backlog cannot overflow.
    const int64_t whole = since / oldPeriod;
    const uint64_t rest = static_cast<uint64_t>(since % oldPeriod);
    return start + whole * newPeriod + static_cast<int64_t>(rest * newPeriod / oldPeriod);
}

// The bar falls in the lane of the note the singer must sing at the key in force, and at a
// speed that follows the tempo: the preview copy came due four seconds of the song's own
// time ahead, so the bar reaches the judging zone just as the note itself is due.
void pushNoteBar(uint32_t note, int32_t shift, int32_t percent) {
    const int32_t sung = shiftedNote(note, shift);
    if (sung < 0) return;  // no such note to sing at this key
    const int32_t fall = (settings.windowHeight - stripHeight.load()) / 4;
    noteBars.push(static_cast<float>(noteLaneX(static_cast<uint8_t>(sung))), -96.0f, 32, 64, 0.0f,
                  static_cast<float>(fall) * static_cast<float>(percent) / kTempoOriginal);
}

// The counter has reached the deadline; a difference keeps this right across the wrap at 2^32.
bool budgetSpent(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) >= 0;
}

}  // namespace

int64_t songPositionFixed() { return currentFixedPosition(); }

void rewindSongPosition() {
    publishPosition(0);
    tempoCarry = 0;
    forgetSoundingNotes();
}

void sequencerTick(uint32_t timerId, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
    if (isStrayTimer(timerId)) return;

    platform::Clock& counter = platform::clock();
    const uint32_t now = counter.getTickCount();
    uint32_t songPeriod = ticksPerPeriod.load();
    if (songPeriod == 0) songPeriod = 1;  // song time always moves, however slow the tempo
    const uint32_t step = songPeriod >> kFractionBits;
    const uint32_t deadline = now + step / 2 + 1;
    // Key and tempo are read once, so that one period runs at one of each.
    const int32_t percent = tempoPercent.load();
    const int32_t shift = keyShift.load();

    if (playback.playing.load() == 0) {
        runStopSequence(timerId);
        return;
    }
    if (playback.busy.load() != 0) return;

    const int64_t period = tempoScaledPeriod(songPeriod, percent, tempoCarry);

    int64_t position = currentFixedPosition() + period;

    EventNode* node = songEvents.cursor;
    if (!node) {
        playback.playing.store(0);
    } else {
        platform::MidiOutput& output = platform::midi();
        const uintptr_t device = playback.midiOut.load();
        while (isBefore(node->tick, position)) {
            if (budgetSpent(counter.getTickCount(), deadline)) break;
            if (isTempoRecord(*node)) {
                const uint32_t newPeriod = tempoPeriodTicks(*node);
                const int64_t oldScaled = tempoScaledPeriod(ticksPerPeriod.load(), percent);
                ticksPerPeriod.store(newPeriod);
                position = retime(position, node->tick, oldScaled, tempoScaledPeriod(newPeriod, percent));
            } else if (settings.silenceMelody.load() == 0 || node->melody == 0) {
                sendAtKey(output, device, node->message & 0x00FFFFFFu, shift);
            } else if (settings.critique.load() != 0 && (statusOf(node->message) & 0xF0) == 0x90 &&
                       data2Of(node->message) > 0) {
                pushNoteBar(data1Of(node->message), shift, percent);
            }
            node = node->next;
            songEvents.cursor = node;
            if (!node) {
                playback.playing.store(0);
                break;
            }
        }
    }
    publishPosition(position);

    // Lyrics follow the song one step of each per period, catching up on later periods.
    const int32_t lines = std::min(lineCount.load(), kLyricLineCapacity);
    const int32_t line = playback.currentLine.load();
    if (line >= 0 && line < lines - 1 && isBefore(lyricLines[line + 1].startTick, position))
        playback.currentLine.store(line + 1);

    const int32_t syllableTotal = std::min(syllableCount.load(), kSyllableCapacity);
    const int32_t syllable = playback.currentSyllable.load();
    if (syllable >= 0 && syllable < syllableTotal - 1 &&
        isBefore(syllables[syllable + 1].tick, position)) {
        playback.currentSyllable.store(syllable + 1);
        // In critique mode the painter repaints continuously by itself.
        if (settings.critique.load() == 0) {
            const Rect band = lyricBand.rect();
            platform::window().redrawWindow(&band);
        }
    }
}
