#include "playback/playback_run.h"

#include <atomic>
#include <chrono>

#include "platform/midi.h"
#include "platform/timer.h"
#include "platform/wavein.h"
#include "platform/window.h"
#include "playback/key_tempo.h"
#include "playback/playback_state.h"
#include "playback/sequencer.h"
#include "shell/app_strings.h"
#include "shell/command_ids.h"
#include "shell/key_tempo_menu.h"
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
// failed start, or the close at exit) has closed them: a new run never overlaps the previous one.
std::atomic<bool> runClosed{true};
// Set while a started run waits for its stop sequence; the stop sequence runs once.
std::atomic<bool> runOpen{false};
// What a run holds until it is closed. Each is taken by whoever closes it (the stop sequence on
// the timer thread, or the exit on the window thread when the stop is held up), so every one is
// closed exactly once whichever of the two gets there first.
std::atomic<uint32_t> runTimer{0};
std::atomic<bool> periodHeld{false};
std::atomic<bool> captureHeld{false};
// Timers whose kill failed at a stop; their later periods must not drive the next run. Every
// one is remembered: two forgotten timers would each drive a run, at double speed.
constexpr int kStraySlots = 8;
std::atomic<uint32_t> strayTimers[kStraySlots];

void rememberStray(uint32_t timerId) {
    for (auto& slot : strayTimers) {
        uint32_t empty = 0;
        if (slot.compare_exchange_strong(empty, timerId)) return;
    }
}

void enableRunMenuItems() {
    platform::WindowSide& side = platform::window();
    for (unsigned command : kRunMenuItems) side.enableMenuItem(command, true);
}

// Resets the MIDI output so that no note keeps sounding, then closes it. Returns the close's
// result (0 when there was none to close).
uint32_t closeMidiOutput() {
    const uintptr_t device = playback.midiOut.exchange(0);
    if (device == 0) return 0;
    platform::MidiOutput& output = platform::midi();
    output.midiOutReset(device);
    return output.midiOutClose(device);
}

void closeCapture() {
    if (!captureHeld.exchange(false)) return;
    // Buffers that come back from here on are not queued again.
    StopCapturing();
    const uintptr_t device = waveIn.load();
    if (device != 0) platform::waveInDevice().waveInReset(device);
    CloseCapture();
}

// Closes the timer, the resolution and the MIDI output, in the order of the stop sequence.
// `timerId` is the timer whose period runs the stop (0 outside one). Returns whether the kill
// or the MIDI close failed.
bool closeRun(uint32_t timerId) {
    platform::Timer& timer = platform::timer();
    const uint32_t held = runTimer.exchange(0);
    const uint32_t id = timerId != 0 ? timerId : held;
    const uint32_t killed = id != 0 ? timer.timeKillEvent(id) : 0;
    if (killed != 0) rememberStray(id);
    if (periodHeld.exchange(false)) timer.timeEndPeriod(timerPeriodMs);
    const uint32_t closed = closeMidiOutput();
    return killed != 0 || closed != 0;
}

void finishRun() {
    showSongInCaption(false);
    enableRunMenuItems();
    const Rect band = lyricBand.rect();
    platform::window().redrawWindow(&band);
    closeCapture();
}

}  // namespace

void showSongInCaption(bool playing) {
    platform::window().setCaption(
        keyTempoCaption(playing ? songTitle : "", keyShift.load(), tempoPercent.load()).c_str());
}

bool waitForPreviousRun() {
    // Measured by the clock: a wait's slices may run long on a busy machine.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPreviousRunWaitMs);
    while (!runClosed.load()) {
        if (std::chrono::steady_clock::now() >= limit) return false;
        platform::window().waitHandlingSentMessages(5);
    }
    return true;
}

void closeRunNow() {
    if (runClosed.load()) return;
    // A stop that comes after this finds nothing left to do.
    runOpen.store(false);
    playback.playing.store(0);
    closeRun(0);
    closeCapture();
    runClosed.store(true);
}

bool previousRunClosed() { return runClosed.load(); }

bool isStrayTimer(uint32_t timerId) {
    if (timerId == 0) return false;
    for (auto& slot : strayTimers) {
        if (slot.load() != timerId) continue;
        if (platform::timer().timeKillEvent(timerId) == 0) slot.store(0);
        return true;
    }
    return false;
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
    periodHeld.store(resolution == 0);
    if (opened != 0 || resolution != 0) {
        if (periodHeld.exchange(false)) timer.timeEndPeriod(timerPeriodMs);
        closeMidiOutput();
        showMessage(appString(IDS_CANNOT_START_TIMER));
        enableRunMenuItems();
        runClosed.store(true);
        return;
    }

    playback.playing.store(1);
    runOpen.store(true);
    if (settings.record.load() != 0 || settings.critique.load() != 0) {
        captureHeld.store(true);
        if (OpenCapture() == 1) StartCapture();
        platform::window().redrawWindow(nullptr);
    }

    // Before the timer starts, so that the end of a short song cannot come first.
    showSongInCaption(true);
    const uint32_t id = timer.timeSetEvent(timerPeriodMs, timerPeriodMs, sequencerTick,
                                           timerPeriodMs, platform::kTimePeriodic);
    runTimer.store(id);
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
