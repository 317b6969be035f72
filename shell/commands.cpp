#include "shell/commands.h"

#include "platform/shell.h"
#include "platform/window.h"
#include "playback/note_bars.h"
#include "playback/playback_run.h"
#include "playback/playback_state.h"
#include "shell/command_ids.h"
#include "shell/key_tempo_menu.h"
#include "shell/paths.h"
#include "shell/settings.h"
#include "song/open_song.h"
#include "song/song_model.h"
#include "stage/critique_tally.h"
#include "stage/painter.h"
#include "stage/stage.h"
#include "voice/pitch.h"
#include "voice/recording.h"

char helpPath[260];
char backgroundPattern[260];

const char* const kHomePage = "https://lyrivox.example.org/";

namespace {

// Whether the window is maximised, and its client size when it was last shown normally.
bool maximised = false;
int32_t restoredWidth = 0;
int32_t restoredHeight = 0;

void invalidateWindow() { platform::window().redrawWindow(nullptr); }

// A check-mark option: flips the flag and moves the mark with it.
void toggleOption(std::atomic<int32_t>& flag, unsigned commandId) {
    int32_t value = flag.load() ? 0 : 1;
    flag.store(value);
    platform::window().checkMenuItem(commandId, value != 0);
}

void setQuality(unsigned commandId, uint32_t rate, uint32_t channelCount) {
    settings.sampleRate = rate;
    settings.channels = channelCount;
    platform::shell().checkMenuRadioItem(kCmdQualityAm, kCmdQualityCd, commandId);
}

void setFontSize(unsigned commandId, int32_t size) {
    settings.fontSize = size;
    rebuildStage();
    platform::shell().checkMenuRadioItem(kCmdFont20, kCmdFont60, commandId);
    invalidateWindow();
}

void setFontWeight(unsigned commandId, int32_t weight) {
    settings.fontWeight = weight;
    rebuildStage();
    platform::shell().checkMenuRadioItem(kCmdWeightLight, kCmdWeightHeavy, commandId);
    invalidateWindow();
}

void openCommand() {
    if (settings.critique.load()) {
        // Singing with the critique: mono 8000 Hz for the pitch analysis, the melody left to
        // the singer, a fresh count and an empty lane. The marks follow the values.
        setQuality(kCmdQualityAm, 8000, 1);
        settings.silenceMelody.store(1);
        platform::window().checkMenuItem(kCmdSilenceMelody, true);
        tally.hits = 0;
        noteBars.clear();
    }
    openSong();
}

void audioMixer() {
    // The volume control of Windows XP and earlier; every later Windows has sndvol.exe.
    const char* mixer = platform::shell().programExists("sndvol32.exe") ? "sndvol32.exe" : "sndvol.exe";
    platform::shell().shellOpen(mixer);
}

}  // namespace

bool handleCommand(unsigned commandId) {
    switch (commandId) {
        case kCmdOpen: openCommand(); break;
        case kCmdStop: playback.playing.store(0); break;
        case kCmdSaveAs: SaveRecordingAs(); break;
        case kCmdExit:
            playback.playing.store(0);
            platform::shell().destroyMainWindow();
            break;
        case kCmdFont20: setFontSize(commandId, 20); break;
        case kCmdFont40: setFontSize(commandId, 32); break;
        case kCmdFont60: setFontSize(commandId, 48); break;
        case kCmdWeightLight: setFontWeight(commandId, 200); break;
        case kCmdWeightNormal: setFontWeight(commandId, 400); break;
        case kCmdWeightBold: setFontWeight(commandId, 600); break;
        case kCmdWeightHeavy: setFontWeight(commandId, 800); break;
        case kCmdSilenceMelody: toggleOption(settings.silenceMelody, commandId); break;
        case kCmdRecord: toggleOption(settings.record, commandId); break;
        case kCmdQualityAm: setQuality(commandId, 8000, 1); break;
        case kCmdQualityFm: setQuality(commandId, 22050, 2); break;
        case kCmdQualityCd: setQuality(commandId, 44100, 2); break;
        case kCmdCritique:
            toggleOption(settings.critique, commandId);
            if (settings.critique.load()) setQuality(kCmdQualityAm, 8000, 1);
            break;
        case kCmdOctaveLower: {
            uint8_t value = settings.octaveLower.load() ? 0 : 1;
            settings.octaveLower.store(value);
            platform::window().checkMenuItem(commandId, value != 0);
            break;
        }
        case kCmdAudioMixer: audioMixer(); break;
        case kCmdPlayLastRecording: platform::shell().shellOpen(recordingPath); break;
        case kCmdHtmlHelp: platform::shell().shellOpen(helpPath); break;
        default: return handleKeyTempoCommand(commandId);
    }
    return true;
}

void onMakerLine(unsigned notification) {
    if (notification == kMakerLineClicked) platform::shell().shellOpen(kHomePage);
}

void handleVoice(unsigned what, uint32_t run) {
    if (what == VOICE_PITCH) {
        int32_t slot;
        if (TakePitchResult(&slot, run))
            markerTargetX = slot >= 0 ? laneSlotX(slot, settings.windowWidth) : slot;
    } else if (what == VOICE_END) {
        if (EndPitchRun(run)) showCritique();
    }
}

namespace {
// Between WM_ENTERSIZEMOVE and WM_EXITSIZEMOVE: the song and the lane stay held while the
// user drags, although every size step rebuilds the stage.
bool sizingOrMoving = false;
}  // namespace

void onSize(unsigned sizeType) {
    if (sizeType == 1) {
        playback.busy.store(1);
    } else if (sizeType == 0 || sizeType == 2) {
        if (sizeType == 2 && !maximised) {
            restoredWidth = settings.windowWidth;
            restoredHeight = settings.windowHeight;
        }
        maximised = sizeType == 2;
        rebuildStage(!sizingOrMoving);
    }
}

void onEnterSizeMove() {
    sizingOrMoving = true;
    playback.busy.store(1);
}

void onExitSizeMove() {
    sizingOrMoving = false;
    rebuildStage();
}

void postMenuMarks() {
    platform::ShellSide& side = platform::shell();
    switch (settings.sampleRate) {
        case 22050: side.postCommand(kCmdQualityFm); break;
        case 44100: side.postCommand(kCmdQualityCd); break;
        default: side.postCommand(kCmdQualityAm); break;
    }
    switch (settings.fontSize) {
        case 32: side.postCommand(kCmdFont40); break;
        case 48: side.postCommand(kCmdFont60); break;
        default: side.postCommand(kCmdFont20); break;
    }
    switch (settings.fontWeight) {
        case 400: side.postCommand(kCmdWeightNormal); break;
        case 600: side.postCommand(kCmdWeightBold); break;
        case 800: side.postCommand(kCmdWeightHeavy); break;
        default: side.postCommand(kCmdWeightLight); break;
    }
    if (settings.silenceMelody.load()) {
        settings.silenceMelody.store(0);
        side.postCommand(kCmdSilenceMelody);
    }
}

void buildFixedPaths() {
    pathBesideExecutable(optionsPath, "options.lvx", "");
    pathBesideExecutable(recordingPath, "lvxtake.wav", "");
    pathBesideExecutable(helpPath, "lyrivox.htm", "");
    pathBesideExecutable(backgroundPattern, "*.bmp", "media\\images\\");
}

namespace {

// The saved size is the window's normal one: a window closed maximised opens next time as a
// normal window of the size it had before, not as a normal window as large as the screen.
void keepRestoredSize() {
    if (!maximised) return;
    settings.windowWidth = restoredWidth;
    settings.windowHeight = restoredHeight;
}

// Ends the run as Exit does and closes whatever its stop has not: the stop gets its bounded
// wait (a box it shows can be answered meanwhile), then the timer, the MIDI output (reset
// first), the capture and last the take's header are closed here, whatever happened to the
// device. Returns whether the stop finished by itself.
bool endRunForGood() {
    playback.playing.store(0);
    const bool stopped = waitForPreviousRun();
    if (!stopped) closeRunNow();
    FinishRecording();
    return stopped;
}

}  // namespace

void releaseResources() {
    // Nothing may be freed while a tick of the timer or the capture can still reach it: the
    // run is brought to its end here, on this thread, before the lists and surfaces go.
    const bool stopped = endRunForGood();
    releaseStage();
    StopPitchWorker();
    // A stop still held up on the timer thread may yet walk the lists: they are left to the
    // end of the process rather than freed under it.
    if (stopped) {
        songEvents.clear();
        melodyEvents.clear();
        noteBars.clear();
    }
    keepRestoredSize();
    saveOptions();
}

void endSession() {
    // Windows may end the process as soon as this returns, without WM_DESTROY.
    endRunForGood();
    keepRestoredSize();
    saveOptions();
}
