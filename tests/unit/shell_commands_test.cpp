#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "support/unit_support.h"
#include "platform/host/recording_shell.h"
#include "platform/host/software_drawing.h"
#include "platform/host/recording_window.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "shell/command_ids.h"
#include "shell/commands.h"
#include "shell/key_tempo_menu.h"
#include "shell/settings.h"
#include "song/open_song.h"
#include "song/song_model.h"
#include "stage/critique_tally.h"
#include "stage/painter.h"
#include "voice/pitch.h"

namespace {

class ShellCommands : public ::testing::Test {
protected:
    void SetUp() override {
        platform::installWindow(&window);
        platform::installShell(&shell);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        unittest::resetSettings();
        songFileName[0] = '\0';
        songFolder[0] = '\0';
        songTitle[0] = '\0';
    }
    void TearDown() override {
        platform::installWindow(nullptr);
        platform::installShell(nullptr);
        noteBars.clear();
    }

    // The name the Open dialog's answer was taken as.
    std::string openedAs(const std::string& typed) {
        shell.dialogAnswers = {typed};
        openSong();
        return songFileName;
    }

    platform::RecordingWindowSide window;
    platform::RecordingShellSide shell;
};

// One command after another from a fresh program: the settings after each, the toggles' check
// marks and the radio mark of the command's group ("40px" is a 32-pixel font; Critique on
// selects AM, off leaves the quality as it is).
TEST_F(ShellCommands, SettingCommandsChangeTheirSettingsAndMoveTheirMarks) {
    struct Step {
        unsigned command;
        int32_t size, weight;
        uint32_t rate, channels;
        int silence, record, critique, octave;
        unsigned group;  // the first item of the command's radio group, 0 for a toggle
    };
    const Step steps[] = {
        {kCmdFont40, 32, 400, 8000, 1, 0, 0, 0, 0, kCmdFont20},
        {kCmdFont60, 48, 400, 8000, 1, 0, 0, 0, 0, kCmdFont20},
        {kCmdWeightHeavy, 48, 800, 8000, 1, 0, 0, 0, 0, kCmdWeightLight},
        {kCmdWeightLight, 48, 200, 8000, 1, 0, 0, 0, 0, kCmdWeightLight},
        {kCmdSilenceMelody, 48, 200, 8000, 1, 1, 0, 0, 0, 0},
        {kCmdSilenceMelody, 48, 200, 8000, 1, 0, 0, 0, 0, 0},
        {kCmdRecord, 48, 200, 8000, 1, 0, 1, 0, 0, 0},
        {kCmdOctaveLower, 48, 200, 8000, 1, 0, 1, 0, 1, 0},
        {kCmdQualityCd, 48, 200, 44100, 2, 0, 1, 0, 1, kCmdQualityAm},
        {kCmdCritique, 48, 200, 8000, 1, 0, 1, 1, 1, 0},
        {kCmdQualityFm, 48, 200, 22050, 2, 0, 1, 1, 1, kCmdQualityAm},
        {kCmdCritique, 48, 200, 22050, 2, 0, 1, 0, 1, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.command);
        EXPECT_TRUE(handleCommand(step.command));
        EXPECT_EQ(settings.fontSize, step.size);
        EXPECT_EQ(settings.fontWeight, step.weight);
        EXPECT_EQ(settings.sampleRate, step.rate);
        EXPECT_EQ(settings.channels, step.channels);
        EXPECT_EQ(settings.silenceMelody.load(), step.silence);
        EXPECT_EQ(settings.record.load(), step.record);
        EXPECT_EQ(settings.critique.load(), step.critique);
        EXPECT_EQ(settings.octaveLower.load(), step.octave);
        EXPECT_EQ(window.isChecked(kCmdSilenceMelody), step.silence == 1);
        EXPECT_EQ(window.isChecked(kCmdOctaveLower), step.octave == 1);
        if (step.group) {
            EXPECT_EQ(shell.radioMark(step.group), step.command);
        } else if (step.command == kCmdCritique && step.critique) {
            EXPECT_EQ(shell.radioMark(kCmdQualityAm), kCmdQualityAm);
        }
    }
}

TEST_F(ShellCommands, StopAndExitClearPlayingAndUnknownIdsGoToTheDefaultProcedure) {
    EXPECT_FALSE(handleCommand(12345));
    EXPECT_FALSE(handleCommand(kCmdAbout));  // the dialog is the window procedure's own
    playback.playing = 1;
    handleCommand(kCmdStop);
    EXPECT_EQ(playback.playing.load(), 0);
    playback.playing = 1;
    handleCommand(kCmdExit);
    EXPECT_EQ(playback.playing.load(), 0);
    EXPECT_EQ(shell.destroyCalls, 1);
}

TEST_F(ShellCommands, KeyAndTempoMoveInStepsToTheirLimitsWithMarksAndCaption) {
    struct Step {
        unsigned command;
        int times;
        int32_t key;
        int32_t tempo;
        const char* caption;
    };
    const Step steps[] = {
        {kCmdKeyUp, 2, 2, 100, "Lyrivox  [key +2]"},
        {kCmdSlower, 2, 2, 90, "Lyrivox  [key +2, tempo 90 %]"},
        {kCmdKeyUp, 20, 12, 90, "Lyrivox  [key +12, tempo 90 %]"},
        {kCmdOriginalKey, 1, 0, 90, "Lyrivox  [tempo 90 %]"},
        {kCmdKeyDown, 30, -12, 90, "Lyrivox  [key -12, tempo 90 %]"},
        {kCmdSlower, 30, -12, 50, "Lyrivox  [key -12, tempo 50 %]"},
        {kCmdFaster, 30, -12, 150, "Lyrivox  [key -12, tempo 150 %]"},
        {kCmdOriginalTempo, 1, -12, 100, "Lyrivox  [key -12]"},
        {kCmdOriginalKey, 1, 0, 100, "Lyrivox"},
    };
    playback.playing.store(1);  // they work during a song too
    for (const Step& step : steps) {
        SCOPED_TRACE(step.caption);
        for (int i = 0; i < step.times; ++i) EXPECT_TRUE(handleCommand(step.command));
        EXPECT_EQ(keyShift.load(), step.key);
        EXPECT_EQ(tempoPercent.load(), step.tempo);
        EXPECT_EQ(window.caption(), step.caption);
        EXPECT_EQ(window.isChecked(kCmdOriginalKey), step.key == 0);
        EXPECT_EQ(window.isChecked(kCmdOriginalTempo), step.tempo == 100);
        EXPECT_EQ(window.isEnabled(kCmdKeyUp), step.key < 12);
        EXPECT_EQ(window.isEnabled(kCmdKeyDown), step.key > -12);
        EXPECT_EQ(window.isEnabled(kCmdFaster), step.tempo < 150);
        EXPECT_EQ(window.isEnabled(kCmdSlower), step.tempo > 50);
    }
    playback.playing.store(0);
    EXPECT_EQ(keyTempoCaption("Oh Susanna", 2, 90), "Lyrivox - Oh Susanna  [key +2, tempo 90 %]");
    EXPECT_EQ(keyTempoCaption("Oh Susanna", 0, 100), "Lyrivox - Oh Susanna");
}

TEST_F(ShellCommands, ToolsAndHelpOpenTheirFiles) {
    buildFixedPaths();
    handleCommand(kCmdPlayLastRecording);
    handleCommand(kCmdHtmlHelp);
    handleCommand(kCmdAudioMixer);
    shell.existingPrograms = {"sndvol32.exe"};
    handleCommand(kCmdAudioMixer);
    // The About box's maker line: a double click (a click, then a double-click notice) opens
    // the page once.
    onMakerLine(kMakerLineClicked);
    onMakerLine(kMakerLineClicked + 1);
    // Current Windows has no sndvol32.exe: sndvol.exe is opened unless the old one exists.
    EXPECT_EQ(shell.opened, (std::vector<std::string>{"C:\\Lyrivox\\lvxtake.wav", "C:\\Lyrivox\\lyrivox.htm",
                                                      "sndvol.exe", "sndvol32.exe", kHomePage}));
    EXPECT_STREQ(optionsPath, "C:\\Lyrivox\\options.lvx");
    EXPECT_STREQ(backgroundPattern, "C:\\Lyrivox\\media\\images\\*.bmp");
}

TEST_F(ShellCommands, PitchResultsBecomeMarkerPositionsOnlyWhileTheWorkerRuns) {
    settings.windowWidth = 700;
    ASSERT_TRUE(StartPitchWorker(0));
    pitchSlot = 37;
    blockWanted = 0;
    handleVoice(VOICE_PITCH, pitchRun.load());
    EXPECT_EQ(markerTargetX, 649);  // over slot 37's key: 38 * 700 / 40 - 16, truncated
    EXPECT_EQ(blockWanted.load(), 1);
    pitchSlot = -15;
    handleVoice(VOICE_PITCH, pitchRun.load());
    EXPECT_EQ(markerTargetX, -15);

    tally.possible = 0;
    const size_t shown = window.messages().size();
    handleVoice(VOICE_END, pitchRun.load() - 1);  // a run already superseded: ignored
    EXPECT_EQ(window.messages().size(), shown);
    EXPECT_NE(worker.load(), 0u);
    handleVoice(VOICE_END, pitchRun.load());
    EXPECT_EQ(window.messages().back(),
              "Not enough samples were taken to critique.  Check microphone setup.");
    pitchSlot = 20;
    handleVoice(VOICE_PITCH, pitchRun.load());  // a result of the ended run moves nothing
    EXPECT_EQ(markerTargetX, -15);
}

TEST_F(ShellCommands, SizeMessagesHoldAndReleaseTheSong) {
    // Minimised holds it, restored releases it; a drag step holds it until the user lets go.
    playback.busy = 0;
    const std::pair<std::function<void()>, int> steps[] = {
        {[] { onSize(1); }, 1}, {[] { onSize(3); }, 1}, {[] { onSize(4); }, 1}, {[] { onSize(0); }, 0},
        {onEnterSizeMove, 1},    {[] { onSize(0); }, 1}, {onExitSizeMove, 0}};
    for (const auto& [step, busy] : steps) {
        step();
        EXPECT_EQ(playback.busy.load(), busy);
    }

    // What is saved is the normal size, also when the window ends maximised (or minimised
    // from maximised): the next start opens a normal window of that size.
    char folder[] = "/tmp/lvx-size-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::snprintf(optionsPath, sizeof optionsPath, "%s/options.lvx", folder);
    struct Step {
        unsigned sizeType;
        int32_t width, height;  // the client area then
        int32_t savedWidth, savedHeight;
    };
    for (Step step : {Step{0, 700, 500, 700, 500}, Step{2, 1024, 740, 700, 500}, Step{1, 0, 0, 700, 500},
                      Step{2, 1024, 740, 700, 500}, Step{0, 720, 510, 720, 510}}) {
        platform::hostDrawing().setClientSize(step.width, step.height);
        onSize(step.sizeType);
        endSession();
        unittest::resetSettings();
        loadOptions();
        EXPECT_EQ(settings.windowWidth, step.savedWidth) << step.sizeType;
        EXPECT_EQ(settings.windowHeight, step.savedHeight) << step.sizeType;
    }
    platform::hostDrawing().setClientSize(640, 480);
    std::remove(optionsPath);
    std::remove(folder);
}

TEST_F(ShellCommands, MenuMarksFollowTheLoadedSettings) {
    settings.sampleRate = 44100;
    settings.fontSize = 24;
    settings.fontWeight = 500;
    settings.silenceMelody = 1;
    postMenuMarks();
    EXPECT_EQ(shell.posted, (std::vector<unsigned>{kCmdQualityCd, kCmdFont20, kCmdWeightLight, kCmdSilenceMelody}));
    for (unsigned id : shell.posted) handleCommand(id);
    EXPECT_TRUE(settings.fontSize == 20 && settings.fontWeight == 200 && settings.silenceMelody.load() == 1);
}

TEST_F(ShellCommands, OpenInCritiqueModePreparesTheSingerEvenWhenCancelled) {
    settings.critique = 1;
    settings.sampleRate = 44100;
    settings.channels = 2;
    tally.hits = 7;
    noteBars.push(0, 0, 32, 64, 0, 104);
    playback.playing = 1;
    handleCommand(kCmdOpen);  // no answer scripted: the dialog is cancelled
    EXPECT_EQ(settings.sampleRate, 8000u);
    EXPECT_EQ(settings.channels, 1u);
    EXPECT_EQ(settings.silenceMelody.load(), 1);
    EXPECT_EQ(tally.hits, 0u);
    EXPECT_EQ(noteBars.head, nullptr);
    EXPECT_EQ(playback.playing.load(), 0);
}

TEST_F(ShellCommands, OpenDialogStartsInTheKaraokeFolderThenInTheLastSongsFolder) {
    shell.dialogAnswers = {"", "C:\\songs\\a.kar"};
    openSong();  // cancelled
    openSong();  // a.kar does not exist here: the load fails with its message
    shell.dialogAnswers = {""};
    openSong();
    ASSERT_EQ(shell.dialogs.size(), 3u);
    const auto& first = shell.dialogs[0];
    EXPECT_EQ(first.initialFolder, "C:\\Lyrivox\\media\\karaoke\\");
    EXPECT_EQ(first.presetFile, "");
    EXPECT_EQ(first.filter, "Midi Files|*.mid;*.kar");
    EXPECT_EQ(first.filterIndex, 1u);
    EXPECT_EQ(first.title, "Load Midi/Karaoke File");
    EXPECT_EQ(first.flags, 0x802u);
    EXPECT_EQ(first.defaultExtension, ".mid");
    // After a cancelled first dialog the folder is empty again, so the second starts there too.
    EXPECT_EQ(shell.dialogs[1].initialFolder, "C:\\Lyrivox\\media\\karaoke\\");
    EXPECT_EQ(shell.dialogs[2].initialFolder, "C:\\songs");
    EXPECT_EQ(shell.dialogs[2].presetFile, "C:\\songs\\a.kar");
    EXPECT_EQ(window.messages().back(), "Error opening the midi file [C:\\songs\\a.kar].");
    EXPECT_EQ(shell.waitCursorDepth, 0);

    // A Shift-JIS character with a backslash for its second byte (0x95 0x5C) is part of the
    // song's name, not the end of a folder.
    platform::setHostDoubleByteCodePage(true);
    shell.dialogAnswers = {"C:\\\x95\x5C" "b.kar", ""};
    openSong();
    openSong();
    platform::setHostDoubleByteCodePage(false);
    EXPECT_EQ(shell.dialogs.back().initialFolder, "C:");
}

// A missing name without an extension is looked for, and reported, with the default one, and
// the next dialog offers it so. A name with an extension, or a dot in a folder only, is taken as
// typed or completed; with no room for the extension it stays as typed; a file without an
// extension that exists is loaded by its own name (here a header too short for its fields, so
// the load fails with its message).
TEST_F(ShellCommands, ASongNameIsCompletedWithTheDefaultExtensionOnlyWhenItIsMissing) {
    char folder[] = "/tmp/lvx-open-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string bare = std::string(folder) + "/plain";
    ASSERT_TRUE(std::ofstream(bare, std::ios::binary).write("MThd\0\0\0\2\0\0", 10).good());
    const std::string longName = "C:\\" + std::string(253, 'n');  // 256 characters
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\nowhere\\nosuch", "C:\\nowhere\\nosuch.mid"}, {"C:\\nowhere\\nosuch.kar", "C:\\nowhere\\nosuch.kar"},
        {"C:\\my.songs\\nosuch", "C:\\my.songs\\nosuch.mid"}, {longName, longName}, {bare, bare}};
    for (const auto& [typed, taken] : cases) {
        EXPECT_EQ(openedAs(typed), taken);
        EXPECT_EQ(window.messages().back(), "Error opening the midi file [" + taken + "].");
        shell.dialogAnswers = {""};
        openSong();
        EXPECT_EQ(shell.dialogs.back().presetFile, taken);
    }
    std::remove(bare.c_str());
    std::remove(folder);
}

}  // namespace
