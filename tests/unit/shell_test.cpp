// The shell: the menu commands with their settings, marks and caption, the dialogs and files
// they open, the window's size and pitch messages, and the options file with its bytes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/host/recording_shell.h"
#include "platform/host/recording_window.h"
#include "platform/host/software_drawing.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "shell/command_ids.h"
#include "shell/commands.h"
#include "shell/paths.h"
#include "shell/settings.h"
#include "song/open_song.h"
#include "song/song_model.h"
#include "stage/critique_tally.h"
#include "stage/painter.h"
#include "support/unit_support.h"
#include "voice/pitch.h"

namespace {

using unittest::Bytes;

// The settings in one row: window width and height, font size and weight, rate, channels,
// Silence Melody, Record, Critique, Singing Octave Lower.
std::vector<int64_t> row() {
    return {settings.windowWidth, settings.windowHeight, settings.fontSize, settings.fontWeight, settings.sampleRate,
            settings.channels, settings.silenceMelody, settings.record, settings.critique, settings.octaveLower};
}

// The bytes of the values (24 for six), before any line-end translation.
Bytes raw(std::initializer_list<uint32_t> values) {
    Bytes out;
    for (uint32_t v : values)
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
    return out;
}

class ShellCommands : public ::testing::Test {
protected:
    void SetUp() override {
        std::snprintf(optionsPath, sizeof optionsPath, "%s", (folder / "options.lvx").c_str());
        platform::installWindow(&window);
        platform::installShell(&shell);
        unittest::resetSettings();
        songFileName[0] = songFolder[0] = songTitle[0] = '\0';
    }
    void TearDown() override {
        platform::installWindow(nullptr);
        platform::installShell(nullptr);
        noteBars.clear();
        unittest::resetSettings();
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        platform::setHostDoubleByteCodePage(false);
    }

    unittest::ScratchFolder folder;
    platform::RecordingWindowSide window;
    platform::RecordingShellSide shell;
};

// One command after another from a fresh program: the settings after each, the toggles' check
// marks and the radio mark of the command's group ("40px" is a 32-pixel font; Critique on
// selects AM, off leaves the quality as it is). At start, the loaded settings post the commands
// that set their marks.
TEST_F(ShellCommands, SettingCommandsChangeTheirSettingsAndMoveTheirMarks) {
    // The command, a radio group's first item and the item marked in it then (none for a
    // toggle), the settings after it.
    const std::tuple<unsigned, std::pair<unsigned, unsigned>, std::vector<int64_t>> steps[] = {
        {kCmdFont40, {kCmdFont20, kCmdFont40}, {640, 480, 32, 400, 8000, 1, 0, 0, 0, 0}},
        {kCmdFont60, {kCmdFont20, kCmdFont60}, {640, 480, 48, 400, 8000, 1, 0, 0, 0, 0}},
        {kCmdWeightHeavy, {kCmdWeightLight, kCmdWeightHeavy}, {640, 480, 48, 800, 8000, 1, 0, 0, 0, 0}},
        {kCmdWeightLight, {kCmdWeightLight, kCmdWeightLight}, {640, 480, 48, 200, 8000, 1, 0, 0, 0, 0}},
        {kCmdSilenceMelody, {}, {640, 480, 48, 200, 8000, 1, 1, 0, 0, 0}},
        {kCmdSilenceMelody, {}, {640, 480, 48, 200, 8000, 1, 0, 0, 0, 0}},
        {kCmdRecord, {}, {640, 480, 48, 200, 8000, 1, 0, 1, 0, 0}},
        {kCmdOctaveLower, {}, {640, 480, 48, 200, 8000, 1, 0, 1, 0, 1}},
        {kCmdQualityCd, {kCmdQualityAm, kCmdQualityCd}, {640, 480, 48, 200, 44100, 2, 0, 1, 0, 1}},
        {kCmdCritique, {kCmdQualityAm, kCmdQualityAm}, {640, 480, 48, 200, 8000, 1, 0, 1, 1, 1}},
        {kCmdQualityFm, {kCmdQualityAm, kCmdQualityFm}, {640, 480, 48, 200, 22050, 2, 0, 1, 1, 1}},
        {kCmdCritique, {kCmdQualityAm, kCmdQualityFm}, {640, 480, 48, 200, 22050, 2, 0, 1, 0, 1}},
    };
    for (const auto& [command, mark, after] : steps) {
        SCOPED_TRACE(command);
        EXPECT_TRUE(handleCommand(command));
        EXPECT_EQ(row(), after);
        EXPECT_EQ(window.isChecked(kCmdSilenceMelody), after[6] == 1);
        EXPECT_EQ(window.isChecked(kCmdOctaveLower), after[9] == 1);
        EXPECT_EQ(shell.radioMark(mark.first), mark.second);
    }

    settings.sampleRate = 44100;
    settings.fontSize = 24;
    settings.fontWeight = 500;
    settings.silenceMelody = 1;
    postMenuMarks();
    EXPECT_EQ(shell.posted, (std::vector<unsigned>{kCmdQualityCd, kCmdFont20, kCmdWeightLight, kCmdSilenceMelody}));
    for (unsigned id : shell.posted) handleCommand(id);
    EXPECT_TRUE(settings.fontSize == 20 && settings.fontWeight == 200 && settings.silenceMelody.load() == 1);
}

TEST_F(ShellCommands, KeyAndTempoMoveInStepsToTheirLimitsWithMarksAndCaption) {
    // The command, how many times, then the key, the tempo and the caption.
    const std::tuple<unsigned, int, int32_t, int32_t, const char*> steps[] = {
        {kCmdSlower, 2, 0, 90, "Lyrivox - Oh Susanna  [tempo 90 %]"},
        {kCmdKeyUp, 2, 2, 90, "Lyrivox - Oh Susanna  [key +2, tempo 90 %]"},
        {kCmdKeyUp, 20, 12, 90, "Lyrivox - Oh Susanna  [key +12, tempo 90 %]"},
        {kCmdKeyDown, 30, -12, 90, "Lyrivox - Oh Susanna  [key -12, tempo 90 %]"},
        {kCmdSlower, 30, -12, 50, "Lyrivox - Oh Susanna  [key -12, tempo 50 %]"},
        {kCmdFaster, 30, -12, 150, "Lyrivox - Oh Susanna  [key -12, tempo 150 %]"},
        {kCmdOriginalTempo, 1, -12, 100, "Lyrivox - Oh Susanna  [key -12]"},
        {kCmdOriginalKey, 1, 0, 100, "Lyrivox - Oh Susanna"},
    };
    std::snprintf(songTitle, sizeof songTitle, "Oh Susanna");
    playback.playing.store(1);  // they work during a song too, whose title the caption shows
    for (const auto& [command, times, key, tempo, caption] : steps) {
        SCOPED_TRACE(caption);
        for (int i = 0; i < times; ++i) EXPECT_TRUE(handleCommand(command));
        EXPECT_EQ(std::pair(keyShift.load(), tempoPercent.load()), std::pair(key, tempo));
        EXPECT_EQ(window.caption(), caption);
        // Checked: Original Key, Original Tempo; enabled: Key Up, Key Down, Faster, Slower.
        EXPECT_EQ((std::vector{window.isChecked(kCmdOriginalKey), window.isChecked(kCmdOriginalTempo),
                               window.isEnabled(kCmdKeyUp), window.isEnabled(kCmdKeyDown), window.isEnabled(kCmdFaster),
                               window.isEnabled(kCmdSlower)}),
                  (std::vector{key == 0, tempo == 100, key < 12, key > -12, tempo < 150, tempo > 50}));
    }
    playback.playing.store(0);  // without a song the caption names none
    handleCommand(kCmdSlower);
    EXPECT_EQ(window.caption(), "Lyrivox  [tempo 95 %]");
}

TEST_F(ShellCommands, ToolsHelpStopAndExitActAndUnknownIdsGoToTheDefaultProcedure) {
    // An unknown id, and About (its dialog is the window procedure's own), go to DefWindowProcA.
    EXPECT_FALSE(handleCommand(12345) || handleCommand(kCmdAbout));
    for (unsigned command : {kCmdStop, kCmdExit}) {
        playback.playing = 1;
        handleCommand(command);
        EXPECT_EQ(playback.playing.load(), 0);
    }
    EXPECT_EQ(shell.destroyCalls, 1);
    buildFixedPaths();
    // The About box's maker line: a double click (a click, then a double-click notice) opens
    // the page once, at the click (the notice comes here after the other commands).
    onMakerLine(kMakerLineClicked);
    for (unsigned command : {kCmdPlayLastRecording, kCmdHtmlHelp, kCmdAudioMixer}) handleCommand(command);
    shell.existingPrograms = {"sndvol32.exe"};
    handleCommand(kCmdAudioMixer);
    onMakerLine(kMakerLineClicked + 1);
    // Current Windows has no sndvol32.exe: sndvol.exe is opened unless the old one exists.
    EXPECT_EQ(shell.opened, (std::vector<std::string>{kHomePage, "C:\\Lyrivox\\lvxtake.wav", "C:\\Lyrivox\\lyrivox.htm",
                                                      "sndvol.exe", "sndvol32.exe"}));
    EXPECT_STREQ(optionsPath, "C:\\Lyrivox\\options.lvx");
    EXPECT_STREQ(backgroundPattern, "C:\\Lyrivox\\media\\images\\*.bmp");
}

TEST_F(ShellCommands, PitchResultsBecomeMarkerPositionsOnlyWhileTheWorkerRuns) {
    settings.windowWidth = 700;
    ASSERT_TRUE(StartPitchWorker(0));
    pitchSlot = 37;
    blockWanted = 0;
    handleVoice(VOICE_PITCH, pitchRun.load());
    // Over slot 37's key (38 * 700 / 40 - 16, truncated), and the next block asked for.
    EXPECT_EQ(std::pair(markerTargetX, int{blockWanted.load()}), std::pair(649, 1));
    pitchSlot = -15;
    handleVoice(VOICE_PITCH, pitchRun.load());
    EXPECT_EQ(markerTargetX, -15);

    tally.possible = 0;
    handleVoice(VOICE_END, pitchRun.load() - 1);  // a run already superseded: ignored
    EXPECT_TRUE(window.messages().empty());
    handleVoice(VOICE_END, pitchRun.load());
    EXPECT_EQ(window.messages(),
              std::vector<std::string>{"Not enough samples were taken to critique.  Check microphone setup."});
    pitchSlot = 20;
    handleVoice(VOICE_PITCH, pitchRun.load());  // a result of the ended run moves nothing
    EXPECT_EQ(markerTargetX, -15);
}

TEST_F(ShellCommands, SizeMessagesHoldAndReleaseTheSong) {
    // Minimised holds it, restored releases it; a drag step holds it until the user lets go
    // (8 is the drag's start, 9 its end).
    for (auto [step, busy] : {std::pair{1u, 1}, {3u, 1}, {4u, 1}, {0u, 0}, {8u, 1}, {0u, 1}, {9u, 0}}) {
        step == 8 ? onEnterSizeMove() : step == 9 ? onExitSizeMove() : onSize(step);
        EXPECT_EQ(playback.busy.load(), busy) << step;
    }

    // What is saved is the normal size, also when the window ends maximised (or minimised
    // from maximised): the next start opens a normal window of that size.
    // Each step: the size notice's type, the client area then, and the size saved.
    for (auto [sizeType, width, height, saved] : {std::tuple{0u, 700, 500, std::pair{700, 500}},
                                                  {2u, 1024, 740, {700, 500}}, {1u, 0, 0, {700, 500}},
                                                  {2u, 1024, 740, {700, 500}}, {0u, 720, 510, {720, 510}}}) {
        platform::hostDrawing().setClientSize(width, height);
        onSize(sizeType);
        endSession();
        unittest::resetSettings();
        loadOptions();
        EXPECT_EQ(std::pair(settings.windowWidth.load(), settings.windowHeight.load()), saved) << sizeType;
    }
    platform::hostDrawing().setClientSize(640, 480);
}

// Open in critique mode prepares the singer even when cancelled. The first dialog, and the one
// after a cancelled first (here the first song name's), starts in the karaoke folder.
//
// A missing name without an extension is looked for, and reported, with the default one, and
// the next dialog offers it so, in its folder. A name with an extension, or a dot in a folder
// only, is taken as typed or completed; with no room for the extension it stays as typed; a
// file without an extension that exists is loaded by its own name (here a header too short for
// its fields, so the load fails with its message). A Shift-JIS character with a backslash for
// its second byte (0x95 0x5C) is part of the name, not the end of a folder.
TEST_F(ShellCommands, OpenPreparesTheCritiqueAndAddsTheDefaultExtensionOnlyToAMissingName) {
    settings.critique = 1;
    handleCommand(kCmdQualityCd);
    tally.hits = 7;
    noteBars.push(0, 0, 32, 64, 0, 104);
    playback.playing = 1;
    handleCommand(kCmdOpen);  // no answer scripted: the dialog is cancelled
    EXPECT_EQ(row(), (std::vector<int64_t>{640, 480, 20, 400, 8000, 1, 1, 0, 1, 0}));
    EXPECT_EQ(tally.hits, 0u);
    EXPECT_EQ(noteBars.head, nullptr);
    EXPECT_EQ(playback.playing.load(), 0);

    const std::string bare = folder / "plain";
    ASSERT_TRUE(std::ofstream(bare, std::ios::binary).write("MThd\0\0\0\2\0\0", 10).good());
    const std::string longName = "C:\\" + std::string(253, 'n');  // 256 characters
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"C:\\songs\\a.kar", "C:\\songs\\a.kar", "C:\\songs"},
        {"C:\\nowhere\\nosuch", "C:\\nowhere\\nosuch.mid", "C:\\nowhere"},
        {"C:\\my.songs\\nosuch", "C:\\my.songs\\nosuch.mid", "C:\\my.songs"},
        {"C:\\\x95\x5C" "b.kar", "C:\\\x95\x5C" "b.kar", "C:"},
        {longName, longName, "C:"},
        {bare, bare, ""}};  // a host path, without backslashes: its folder is not the question
    platform::setHostDoubleByteCodePage(true);
    for (const auto& [typed, taken, next] : cases) {
        shell.dialogAnswers = {typed, ""};
        openSong();
        EXPECT_EQ(songFileName, taken);
        EXPECT_EQ(window.messages().back(), "Error opening the midi file [" + taken + "].");
        openSong();
        EXPECT_EQ(shell.dialogs.back().presetFile, taken);
        EXPECT_TRUE(next.empty() || shell.dialogs.back().initialFolder == next) << shell.dialogs.back().initialFolder;
    }
    EXPECT_EQ(shell.waitCursorDepth, 0);
    const auto& first = shell.dialogs.at(0);
    EXPECT_EQ((std::vector<std::string>{first.initialFolder, shell.dialogs.at(1).initialFolder, first.presetFile,
                                        first.filter, first.title, first.defaultExtension}),
              (std::vector<std::string>{"C:\\Lyrivox\\media\\karaoke\\", "C:\\Lyrivox\\media\\karaoke\\", "",
                                        "Midi Files|*.mid;*.kar", "Load Midi/Karaoke File", ".mid"}));
    EXPECT_EQ(std::pair(first.filterIndex, first.flags), std::pair(1u, 0x802u));
}

// Each file is read (read-only) and saved back. An unreachable path leaves the settings as they
// are and saves nothing, without a word; a short write is reported with the path.
TEST_F(ShellCommands, TheOptionsFileGivesItsSettingsAndIsSavedBackByteForByte) {
    const Bytes fresh = raw({640, 480, 20, 400, 1, 0}), full = raw({800, 600, 48, 800, 3, 1});
    // 266 is 0A 01 00 00: the file of 266, 480, 20, 400, AM, off.
    const Bytes lineEnd = {0x0D, 0x0A, 1, 0, 0, 0xE0, 1, 0, 0, 20, 0, 0, 0, 0x90, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    const Bytes odd = {0x0D, 0x0D, 0x0A, 0, 0, 0x0D, 0, 0, 0, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A,
                       0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x0D};
    Bytes pairs;  // the longest file: every byte a 0A, the unknown code saved as AM
    for (int i = 0; i < 24; ++i) pairs.insert(pairs.end(), {0x0D, 0x0A});
    Bytes pairsSaved = pairs;
    pairsSaved.insert(pairsSaved.erase(pairsSaved.begin() + 32, pairsSaved.begin() + 40), {1, 0, 0, 0});
    const std::vector<int64_t> none = {640, 480, 20, 400, 8000, 1, 0, 1, 1, 1};
    // The file, the settings it gives, the bytes saved back (when not the file itself).
    const std::tuple<Bytes, std::vector<int64_t>, Bytes> cases[] = {
        {lineEnd, {266, 480, 20, 400, 8000, 1, 0, 1, 1, 1}, {}},
        {odd, {0x0A0D, 13, 0x0A0A0A0A, -1, 8000, 1, 0x0D0A0D0A, 1, 1, 1}, {}},
        {raw({282, 480, 48, 400, 1, 0}), {282, 480, 48, 400, 8000, 1, 0, 1, 1, 1}, {}},
        {raw({700, 500, 32, 600, 2, 1}), {700, 500, 32, 600, 22050, 2, 1, 1, 1, 1}, {}},
        {raw({700, 500, 32, 600, 0, 1}), {700, 500, 32, 600, 8000, 1, 1, 1, 1, 1}, raw({700, 500, 32, 600, 1, 1})},
        {raw({700, 500, 32, 600, 4, 1}), {700, 500, 32, 600, 8000, 1, 1, 1, 1, 1}, raw({700, 500, 32, 600, 1, 1})},
        {raw({0xFFFFFFFF, 0, 7, 0x80000000, 2, 5}), {-1, 0, 7, INT32_MIN, 22050, 2, 5, 1, 1, 1}, {}},
        {pairs, {0x0A0A0A0A, 0x0A0A0A0A, 0x0A0A0A0A, 0x0A0A0A0A, 8000, 1, 0x0A0A0A0A, 1, 1, 1}, pairsSaved},
        // Too short, as a whole: empty, 23 bytes, 24 bytes with a pair (23 after reading).
        {{}, none, fresh}, {Bytes(full.begin(), full.end() - 1), none, fresh},
        {raw({0x0A0D, 600, 48, 800, 3, 1}), none, fresh},
        // Bytes after the 24th (here 1A 0D FF 00) are ignored.
        {raw({800, 600, 48, 800, 3, 1, 0xFF0D1A}), {800, 600, 48, 800, 44100, 2, 1, 1, 1, 1}, full},
    };
    for (const auto& [bytes, expected, saved] : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        unittest::resetSettings();
        settings.record = settings.critique = 1;  // not in the file: loading leaves them alone
        settings.octaveLower = 1;
        std::ofstream(optionsPath, std::ios::binary) << std::string(bytes.begin(), bytes.end());
        ASSERT_EQ(chmod(optionsPath, 0444), 0);
        loadOptions();
        ASSERT_EQ(chmod(optionsPath, 0644), 0);
        EXPECT_EQ(row(), expected);
        saveOptions();
        EXPECT_EQ(unittest::readBytes(optionsPath), saved.empty() ? bytes : saved);
    }

    std::snprintf(optionsPath, sizeof optionsPath, "%s", (folder / "missing/options.lvx").c_str());
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 800);
    saveOptions();
    EXPECT_TRUE(window.boxes().empty());
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    std::snprintf(optionsPath, sizeof optionsPath, "/dev/full");
    saveOptions();
    EXPECT_EQ(window.messages(), std::vector<std::string>{"Error saving the options file [/dev/full]."});
}

// The result always ends inside the 260 characters, never past them; a long result is cut at
// 259, and the executable's own path is taken to 259 characters at most. 0x95 0x5C is one
// Shift-JIS character whose second byte looks like a backslash: no separator under a
// double-byte code page, a separator otherwise.
TEST_F(ShellCommands, PathBesideJoinsTheExecutablesFolderSubfolderAndNameWithinThePathLimit) {
    const std::string longFolder = "C:\\" + std::string(240, 'f');
    const std::string deep = "D:\\" + std::string(250, 'd');
    // The executable, under a double-byte code page or not, the name, the subfolder, the path.
    const std::tuple<std::string, bool, const char*, const char*, std::string> cases[] = {
        {"C:\\Program Files\\Lyrivox\\lyrivox.exe", false, nullptr, nullptr, "C:\\Program Files\\Lyrivox\\"},
        {"lyrivox.exe", false, "options.lvx", "", ".\\options.lvx"},  // no folder known: the current one
        {longFolder + "\\lyrivox.exe", false, "background.bmp", "media\\images\\",
         (longFolder + "\\media\\images\\background.bmp").substr(0, 259)},
        {deep + "\\" + std::string(30, 'e') + ".exe", false, "x", "", deep + "\\x"},
        {"C:\\\x95\x5C\\lyrivox.exe", true, "options.lvx", "", "C:\\\x95\x5C\\options.lvx"},
        {"C:\\\x95\x5Clyrivox.exe", true, "options.lvx", "", "C:\\options.lvx"},
        {"C:\\\x95\x5Clyrivox.exe", false, "options.lvx", "", "C:\\\x95\\options.lvx"},
    };
    for (const auto& [exe, doubleByte, fileName, subfolder, expected] : cases) {
        SCOPED_TRACE(expected);
        platform::setHostExecutablePath(exe.c_str());
        platform::setHostDoubleByteCodePage(doubleByte);
        std::string buffer(kPathCapacity + 8, 'X');
        pathBesideExecutable(buffer.data(), fileName, subfolder);
        EXPECT_EQ(buffer[kPathCapacity], 'X') << "wrote past the buffer";
        EXPECT_EQ(buffer.substr(0, buffer.find('\0')), expected);
    }
}

}  // namespace
