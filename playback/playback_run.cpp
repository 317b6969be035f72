#include "playback/playback_run.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/midi.h"
#include "platform/timer.h"
#include "platform/wavein.h"
#include "platform/window.h"
#include "playback/playback_state.h"
#include "playback/sequencer.h"
#include "shell/app_strings.h"
#include "shell/command_ids.h"
#include "shell/message.h"
#include "shell/settings.h"
#include "song/song_model.h"
#include "stage/critique_tally.h"
#include "stage/layout.h"
#include "voice/capture.h"

const unsigned kRunMenuItems[7] = {kCmdOpen,      kCmdSilenceMelody, kCmdRecord,  kCmdQualityAm,
                                   kCmdQualityFm, kCmdQualityCd,     kCmdCritique};

namespace {

// Cleared when a run begins to open its devices, set again when its stop sequence (or its
// failed start) has closed them: a new run never overlaps the previous one.
std::atomic<bool> runClosed{true};
// Set while a started run waits for its stop sequence; the stop sequence runs once.
std::atomic<bool> runOpen{false};
// A timer whose kill failed at a stop; its later periods must not drive the next run.
std::atomic<uint32_t> strayTimerId{0};

void enableRunMenuItems() {
    platform::WindowSide& side = platform::window();
    for (unsigned command : kRunMenuItems) side.enableMenuItem(command, true);
}

bool waitForPreviousRun() {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPreviousRunWaitMs);
    while (!runClosed.load()) {
        if (std::chrono::steady_clock::now() >= limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Resets the MIDI output so that no note keeps sounding, then closes it. Returns the close's
// result.
uint32_t closeMidiOutput() {
    const uintptr_t device = playback.midiOut.exchange(0);
    platform::MidiOutput& output = platform::midi();
    output.midiOutReset(device);
    return output.midiOutClose(device);
}

void closeCapture() {
    if (settings.record.load() == 0 && settings.critique.load() == 0) return;
    // Buffers that come back from here on are not queued again.
    capturing.store(0);
    const uintptr_t device = waveIn.load();
    if (device != 0) platform::waveInDevice().waveInReset(device);
    CloseCapture();
}

// Closes everything a run opened, in the order of the stop sequence. With `timerId` 0 there is
// no timer to kill. Returns whether the kill or the MIDI close failed.
bool closeRun(uint32_t timerId) {
    platform::Timer& timer = platform::timer();
    const uint32_t killed = timerId != 0 ? timer.timeKillEvent(timerId) : 0;
    if (killed != 0) strayTimerId.store(timerId);
    timer.timeEndPeriod(timerPeriodMs);
    const uint32_t closed = closeMidiOutput();
    return killed != 0 || closed != 0;
}

// "Lyrivox - <title>" while a song plays, "Lyrivox" between songs.
void showSongInCaption(bool playing) {
    char caption[sizeof songTitle + 64];
    std::snprintf(caption, sizeof caption, playing ? "%s - %s" : "%s", appString(IDS_TITLE), songTitle);
    platform::window().setCaption(caption);
}

void finishRun() {
    showSongInCaption(false);
    enableRunMenuItems();
    const Rect band = lyricBand.rect();
    platform::window().redrawWindow(&band);
    closeCapture();
}

}  // namespace

bool previousRunClosed() { return runClosed.load(); }

bool isStrayTimer(uint32_t timerId) {
    if (timerId == 0 || timerId != strayTimerId.load()) return false;
    if (platform::timer().timeKillEvent(timerId) == 0) strayTimerId.store(0);
    return true;
}

void runStopSequence(uint32_t timerId) {
    if (!runOpen.exchange(false)) return;  // no run, or its stop already ran
    if (closeRun(timerId)) showMessage(appString(IDS_CANNOT_KILL_TIMER));
    finishRun();
    runClosed.store(true);
}

void startPlayback() {
    if (!waitForPreviousRun()) {
        // The previous run's devices are still open: starting now would play two songs at once.
        showMessage(appString(IDS_CANNOT_START_TIMER));
        enableRunMenuItems();
        return;
    }
    runClosed.store(false);

    playback.currentLine.store(0);
    playback.drawnLine.store(-1);
    playback.currentSyllable.store(0);
    rewindSongPosition();
    tally.possible = 0;

    platform::Timer& timer = platform::timer();
    uintptr_t device = 0;
    const uint32_t opened = platform::midi().midiOutOpen(&device);
    playback.midiOut.store(opened == 0 ? device : 0);
    const uint32_t resolution = timer.timeBeginPeriod(timerPeriodMs);
    if (opened != 0 || resolution != 0) {
        if (resolution == 0) timer.timeEndPeriod(timerPeriodMs);
        if (opened == 0) closeMidiOutput();
        showMessage(appString(IDS_CANNOT_START_TIMER));
        enableRunMenuItems();
        runClosed.store(true);
        return;
    }

    playback.playing.store(1);
    runOpen.store(true);
    if (settings.record.load() != 0 || settings.critique.load() != 0) {
        if (OpenCapture() == 1) StartCapture();
        platform::window().redrawWindow(nullptr);
    }

    // Before the timer starts, so that the end of a short song cannot come first.
    showSongInCaption(true);
    const uint32_t id = timer.timeSetEvent(timerPeriodMs, timerPeriodMs, sequencerTick,
                                           timerPeriodMs, platform::kTimePeriodic);
    if (id == 0) {
        // No timer, so no stop sequence will come: close the run here.
        playback.playing.store(0);
        runOpen.store(false);
        closeRun(0);
        showMessage(appString(IDS_CANNOT_START_TIMER));
        finishRun();
        runClosed.store(true);
    }
}
