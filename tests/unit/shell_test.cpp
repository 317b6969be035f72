// The shell: the menu commands with their settings, marks and caption, the dialogs and files
// they open, the window's size and pitch messages, and the options file with its bytes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>

#include "platform/host/recording_shell.h"
#include "platform/host/recording_window.h"
#include "platform/host/software_drawing.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "shell/command_ids.h"
#include "shell/commands.h"
#include "shell/key_tempo_menu.h"
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

// The 24 bytes of six values, before any line-end translation.
Bytes raw(std::initializer_list<uint32_t> values) {
    Bytes out;
    for (uint32_t v : values)
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
    return out;
}

class ShellCommands : public ::testing::Test {
protected:
    void SetUp() override {
        file = folder / "options.lvx";
        std::snprintf(optionsPath, sizeof optionsPath, "%s", file.c_str());
        platform::installWindow(&window);
        platform::installShell(&shell);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        unittest::resetSettings();
        songFileName[0] = songFolder[0] = songTitle[0] = '\0';
    }
    void TearDown() override {
        platform::installWindow(nullptr);
        platform::installShell(nullptr);
        noteBars.clear();
        unittest::resetSettings();
    }

    unittest::ScratchFolder folder;
    std::string file;
    platform::RecordingWindowSide window;
    platform::RecordingShellSide shell;
};
using OptionsFile = ShellCommands;

// One command after another from a fresh program: the settings after each, the toggles' check
// marks and the radio mark of the command's group ("40px" is a 32-pixel font; Critique on
// selects AM, off leaves the quality as it is).
TEST_F(ShellCommands, SettingCommandsChangeTheirSettingsAndMoveTheirMarks) {
    // The command, the first item of its radio group (0 for a toggle), the settings after it.
    const std::tuple<unsigned, unsigned, std::vector<int64_t>> steps[] = {
        {kCmdFont40, kCmdFont20, {640, 480, 32, 400, 8000, 1, 0, 0, 0, 0}},
        {kCmdFont60, kCmdFont20, {640, 480, 48, 400, 8000, 1, 0, 0, 0, 0}},
        {kCmdWeightHeavy, kCmdWeightLight, {640, 480, 48, 800, 8000, 1, 0, 0, 0, 0}},
        {kCmdWeightLight, kCmdWeightLight, {640, 480, 48, 200, 8000, 1, 0, 0, 0, 0}},
        {kCmdSilenceMelody, 0, {640, 480, 48, 200, 8000, 1, 1, 0, 0, 0}},
        {kCmdSilenceMelody, 0, {640, 480, 48, 200, 8000, 1, 0, 0, 0, 0}},
        {kCmdRecord, 0, {640, 480, 48, 200, 8000, 1, 0, 1, 0, 0}},
        {kCmdOctaveLower, 0, {640, 480, 48, 200, 8000, 1, 0, 1, 0, 1}},
        {kCmdQualityCd, kCmdQualityAm, {640, 480, 48, 200, 44100, 2, 0, 1, 0, 1}},
        {kCmdCritique, 0, {640, 480, 48, 200, 8000, 1, 0, 1, 1, 1}},
        {kCmdQualityFm, kCmdQualityAm, {640, 480, 48, 200, 22050, 2, 0, 1, 1, 1}},
        {kCmdCritique, 0, {640, 480, 48, 200, 22050, 2, 0, 1, 0, 1}},
    };
    for (const auto& [command, group, after] : steps) {
        SCOPED_TRACE(command);
        EXPECT_TRUE(handleCommand(command));
        EXPECT_EQ(row(), after);
        EXPECT_EQ(window.isChecked(kCmdSilenceMelody), after[6] == 1);
        EXPECT_EQ(window.isChecked(kCmdOctaveLower), after[9] == 1);
        if (group) {
            EXPECT_EQ(shell.radioMark(group), command);
        } else if (command == kCmdCritique && after[8]) {
            EXPECT_EQ(shell.radioMark(kCmdQualityAm), kCmdQualityAm);
        }
    }
}

TEST_F(ShellCommands, StopAndExitClearPlayingAndUnknownIdsGoToTheDefaultProcedure) {
    EXPECT_FALSE(handleCommand(12345));
    EXPECT_FALSE(handleCommand(kCmdAbout));  // the dialog is the window procedure's own
    for (unsigned command : {kCmdStop, kCmdExit}) {
        playback.playing = 1;
        handleCommand(command);
        EXPECT_EQ(playback.playing.load(), 0);
    }
    EXPECT_EQ(shell.destroyCalls, 1);
}

TEST_F(ShellCommands, KeyAndTempoMoveInStepsToTheirLimitsWithMarksAndCaption) {
    // The command, how many times, then the key, the tempo and the caption.
    const std::tuple<unsigned, int, int32_t, int32_t, const char*> steps[] = {
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
    for (const auto& [command, times, key, tempo, caption] : steps) {
        SCOPED_TRACE(caption);
        for (int i = 0; i < times; ++i) EXPECT_TRUE(handleCommand(command));
        EXPECT_EQ(keyShift.load(), key);
        EXPECT_EQ(tempoPercent.load(), tempo);
        EXPECT_EQ(window.caption(), caption);
        // Checked: Original Key, Original Tempo; enabled: Key Up, Key Down, Faster, Slower.
        EXPECT_EQ((std::vector<bool>{window.isChecked(kCmdOriginalKey), window.isChecked(kCmdOriginalTempo),
                                     window.isEnabled(kCmdKeyUp), window.isEnabled(kCmdKeyDown),
                                     window.isEnabled(kCmdFaster), window.isEnabled(kCmdSlower)}),
                  (std::vector<bool>{key == 0, tempo == 100, key < 12, key > -12, tempo < 150, tempo > 50}));
    }
    playback.playing.store(0);
    EXPECT_EQ(keyTempoCaption("Oh Susanna", 2, 90), "Lyrivox - Oh Susanna  [key +2, tempo 90 %]");
    EXPECT_EQ(keyTempoCaption("Oh Susanna", 0, 100), "Lyrivox - Oh Susanna");
}

TEST_F(ShellCommands, ToolsAndHelpOpenTheirFiles) {
    buildFixedPaths();
    for (unsigned command : {kCmdPlayLastRecording, kCmdHtmlHelp, kCmdAudioMixer}) handleCommand(command);
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
    handleVoice(VOICE_END, pitchRun.load() - 1);  // a run already superseded: ignored
    EXPECT_TRUE(window.messages().empty());
    EXPECT_NE(worker.load(), 0u);
    handleVoice(VOICE_END, pitchRun.load());
    EXPECT_EQ(window.messages(),
              std::vector<std::string>{"Not enough samples were taken to critique.  Check microphone setup."});
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

// Open in critique mode prepares the singer even when cancelled. The first dialog, and one
// after a cancelled first, starts in the karaoke folder.
TEST_F(ShellCommands, OpenInCritiqueModePreparesTheSingerEvenWhenCancelled) {
    settings.critique = 1;
    settings.sampleRate = 44100;
    settings.channels = 2;
    tally.hits = 7;
    noteBars.push(0, 0, 32, 64, 0, 104);
    playback.playing = 1;
    handleCommand(kCmdOpen);  // no answer scripted: the dialog is cancelled
    EXPECT_EQ(row(), (std::vector<int64_t>{640, 480, 20, 400, 8000, 1, 1, 0, 1, 0}));
    EXPECT_EQ(tally.hits, 0u);
    EXPECT_EQ(noteBars.head, nullptr);
    EXPECT_EQ(playback.playing.load(), 0);

    handleCommand(kCmdOpen);
    ASSERT_EQ(shell.dialogs.size(), 2u);
    const auto& first = shell.dialogs[0];
    EXPECT_EQ((std::vector<std::string>{first.initialFolder, first.presetFile, first.filter, first.title,
                                        first.defaultExtension}),
              (std::vector<std::string>{"C:\\Lyrivox\\media\\karaoke\\", "", "Midi Files|*.mid;*.kar",
                                        "Load Midi/Karaoke File", ".mid"}));
    EXPECT_EQ(std::pair(first.filterIndex, first.flags), std::pair(1u, 0x802u));
    EXPECT_EQ(shell.dialogs[1].initialFolder, first.initialFolder);
}

// A missing name without an extension is looked for, and reported, with the default one, and
// the next dialog offers it so, in its folder. A name with an extension, or a dot in a folder
// only, is taken as typed or completed; with no room for the extension it stays as typed; a
// file without an extension that exists is loaded by its own name (here a header too short for
// its fields, so the load fails with its message). A Shift-JIS character with a backslash for
// its second byte (0x95 0x5C) is part of the name, not the end of a folder.
TEST_F(ShellCommands, ASongNameIsCompletedWithTheDefaultExtensionOnlyWhenItIsMissing) {
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
        shell.dialogAnswers = {typed};
        openSong();
        EXPECT_EQ(songFileName, taken);
        EXPECT_EQ(window.messages().back(), "Error opening the midi file [" + taken + "].");
        shell.dialogAnswers = {""};
        openSong();
        EXPECT_EQ(shell.dialogs.back().presetFile, taken);
        EXPECT_TRUE(next.empty() || shell.dialogs.back().initialFolder == next) << shell.dialogs.back().initialFolder;
    }
    platform::setHostDoubleByteCodePage(false);
    EXPECT_EQ(shell.waitCursorDepth, 0);
}

TEST_F(OptionsFile, EachFileGivesItsSettingsAndSavesThemBackByteForByte) {
    loadOptions();
    EXPECT_EQ(row(), (std::vector<int64_t>{640, 480, 20, 400, 8000, 1, 0, 0, 0, 0}));
    const Bytes fresh = raw({640, 480, 20, 400, 1, 0}), full = raw({800, 600, 48, 800, 3, 1});
    Bytes withPair = full, longer = full, lineEnd = raw({266, 480, 20, 400, 1, 0});
    withPair[0] = 0x0D;
    withPair[1] = 0x0A;
    longer.insert(longer.end(), {0x1A, 0x0D, 0xFF});
    lineEnd.insert(lineEnd.begin(), 0x0D);  // 266 is 0A 01 00 00
    const Bytes odd = {0x0D, 0x0D, 0x0A, 0, 0, 0x0D, 0, 0, 0, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A,
                       0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x0D};
    Bytes pairs, pairsSaved;  // the longest file: every byte a 0A, the unknown code saved as AM
    for (int i = 0; i < 24; ++i) pairs.insert(pairs.end(), {0x0D, 0x0A});
    pairsSaved = Bytes(pairs.begin(), pairs.begin() + 32);
    pairsSaved.insert(pairsSaved.end(), {1, 0, 0, 0, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A});
    const std::vector<int64_t> none = {640, 480, 20, 400, 8000, 1, 0, 1, 1, 1};
    const std::tuple<Bytes, std::vector<int64_t>, Bytes> cases[] = {
        {fresh, none, fresh},
        {lineEnd, {266, 480, 20, 400, 8000, 1, 0, 1, 1, 1}, lineEnd},
        {odd, {0x0A0D, 13, 0x0A0A0A0A, -1, 8000, 1, 0x0D0A0D0A, 1, 1, 1}, odd},
        {raw({282, 480, 48, 400, 1, 0}), {282, 480, 48, 400, 8000, 1, 0, 1, 1, 1}, raw({282, 480, 48, 400, 1, 0})},
        {raw({700, 500, 32, 600, 2, 1}), {700, 500, 32, 600, 22050, 2, 1, 1, 1, 1}, raw({700, 500, 32, 600, 2, 1})},
        {raw({700, 500, 32, 600, 0, 1}), {700, 500, 32, 600, 8000, 1, 1, 1, 1, 1}, raw({700, 500, 32, 600, 1, 1})},
        {raw({700, 500, 32, 600, 4, 1}), {700, 500, 32, 600, 8000, 1, 1, 1, 1, 1}, raw({700, 500, 32, 600, 1, 1})},
        {raw({0xFFFFFFFF, 0, 7, 0x80000000, 2, 5}), {-1, 0, 7, INT32_MIN, 22050, 2, 5, 1, 1, 1},
         raw({0xFFFFFFFF, 0, 7, 0x80000000, 2, 5})},
        {pairs, {0x0A0A0A0A, 0x0A0A0A0A, 0x0A0A0A0A, 0x0A0A0A0A, 8000, 1, 0x0A0A0A0A, 1, 1, 1}, pairsSaved},
        {{}, none, fresh}, {Bytes(full.begin(), full.end() - 1), none, fresh}, {withPair, none, fresh},
        {longer, {800, 600, 48, 800, 44100, 2, 1, 1, 1, 1}, full},
    };
    for (const auto& [bytes, expected, saved] : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        unittest::resetSettings();
        settings.record = settings.critique = 1;
        settings.octaveLower = 1;
        std::ofstream(file, std::ios::binary) << std::string(bytes.begin(), bytes.end());
        ASSERT_EQ(chmod(file.c_str(), 0444), 0);
        loadOptions();
        ASSERT_EQ(chmod(file.c_str(), 0644), 0);
        EXPECT_EQ(row(), expected);
        EXPECT_EQ(settings.bitsPerSample, 16u);
        saveOptions();
        EXPECT_EQ(unittest::readBytes(file), saved);
    }
    EXPECT_TRUE(window.boxes().empty());
}

// An unreachable path leaves the defaults and saves nothing, without a word; a short write is
// reported with the path.
TEST_F(OptionsFile, AnUnreachablePathIsSilentAndAShortWriteIsReportedWithThePath) {
    std::snprintf(optionsPath, sizeof optionsPath, "%s", (folder / "missing/options.lvx").c_str());
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 640);
    settings.windowWidth = 900;
    saveOptions();
    EXPECT_TRUE(window.boxes().empty());
    EXPECT_EQ(playback.busy.load(), 0);
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    std::snprintf(optionsPath, sizeof optionsPath, "/dev/full");
    saveOptions();
    EXPECT_EQ(window.messages(), std::vector<std::string>{"Error saving the options file [/dev/full]."});
}

// The result always ends inside the 260 characters, never past them; a long result is cut at
// 259, and the executable's own path is taken to 259 characters at most. 0x95 0x5C is one
// Shift-JIS character whose second byte looks like a backslash: no separator under a
// double-byte code page, a separator otherwise.
TEST(PathBeside, JoinsTheExecutablesFolderSubfolderAndNameWithinThePathLimit) {
    const std::string longFolder = "C:\\" + std::string(240, 'f');
    const std::string deep = "D:\\" + std::string(250, 'd');
    struct Case {
        std::string exe;
        bool doubleByte;
        const char *fileName, *subfolder;
        std::string expected;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Lyrivox\\lyrivox.exe", false, "options.lvx", "", "C:\\Program Files\\Lyrivox\\options.lvx"},
        {"C:\\Program Files\\Lyrivox\\lyrivox.exe", false, "*.bmp", "media\\images\\", "C:\\Program Files\\Lyrivox\\media\\images\\*.bmp"},
        {"C:\\Program Files\\Lyrivox\\lyrivox.exe", false, nullptr, nullptr, "C:\\Program Files\\Lyrivox\\"},
        {"lyrivox.exe", false, "options.lvx", "", ".\\options.lvx"},  // no folder known: the current one
        {longFolder + "\\lyrivox.exe", false, "background.bmp", "media\\images\\",
         (longFolder + "\\media\\images\\background.bmp").substr(0, 259)},
        {deep + "\\" + std::string(30, 'e') + ".exe", false, "x", "", deep + "\\x"},
        {"C:\\\x95\x5C\\lyrivox.exe", true, "options.lvx", "", "C:\\\x95\x5C\\options.lvx"},
        {"C:\\\x95\x5Clyrivox.exe", true, "options.lvx", "", "C:\\options.lvx"},
        {"C:\\\x95\x5Clyrivox.exe", false, "options.lvx", "", "C:\\\x95\\options.lvx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        platform::setHostExecutablePath(c.exe.c_str());
        platform::setHostDoubleByteCodePage(c.doubleByte);
        char buffer[kPathCapacity + 8];
        std::memset(buffer, 'X', sizeof buffer);
        pathBesideExecutable(buffer, c.fileName, c.subfolder);
        ASSERT_NE(std::memchr(buffer, '\0', kPathCapacity), nullptr);
        EXPECT_EQ(buffer[kPathCapacity], 'X') << "wrote past the buffer";
        EXPECT_EQ(std::string(buffer), c.expected);
    }
    platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
    platform::setHostDoubleByteCodePage(false);
}

}  // namespace
