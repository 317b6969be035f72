#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/host/recording_shell.h"
#include "platform/host/recording_window.h"
#include "shell/settings.h"
#include "song/open_song.h"

namespace {

class OpenSongName : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::installWindow(&window);
        platform::installShell(&shell);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        settings.critique = 0;
        songFileName[0] = '\0';
        songFolder[0] = '\0';
    }
    void TearDown() override {
        platform::installWindow(nullptr);
        platform::installShell(nullptr);
    }

    std::string openedAs(const std::string& typed) {
        shell.dialogAnswers = {typed};
        openSong();
        return songFileName;
    }

    platform::RecordingWindowSide window;
    platform::RecordingShellSide shell;
};

TEST_F(OpenSongName, AMissingNameWithoutExtensionIsReportedWithTheDefaultOne) {
    EXPECT_EQ(openedAs("C:\\nowhere\\nosuch"), "C:\\nowhere\\nosuch.mid");
    EXPECT_EQ(window.messages().back(), "Error opening the midi file [C:\\nowhere\\nosuch.mid].");
    // The next dialog offers the name as it was looked for.
    shell.dialogAnswers = {""};
    openSong();
    EXPECT_EQ(shell.dialogs.back().presetFile, "C:\\nowhere\\nosuch.mid");

    // A name with an extension, or a dot in a folder only, is taken as typed or completed.
    EXPECT_EQ(openedAs("C:\\nowhere\\nosuch.kar"), "C:\\nowhere\\nosuch.kar");
    EXPECT_EQ(openedAs("C:\\my.songs\\nosuch"), "C:\\my.songs\\nosuch.mid");
}

TEST_F(OpenSongName, AFileWithoutExtensionThatExistsIsLoadedByItsOwnName) {
    char folder[] = "/tmp/lvx-open-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string bare = std::string(folder) + "/plain";
    std::FILE* file = std::fopen(bare.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    // A header chunk too short to hold its fields: rejected, so the load fails with its message.
    std::fwrite("MThd\0\0\0\2\0\0", 1, 10, file);
    std::fclose(file);

    EXPECT_EQ(openedAs(bare), bare);
    EXPECT_EQ(window.messages().back(), "Error opening the midi file [" + bare + "].");

    std::remove(bare.c_str());
    std::remove(folder);
}

TEST_F(OpenSongName, NoRoomForTheExtensionLeavesTheNameAsTyped) {
    const std::string longName = "C:\\" + std::string(253, 'n');  // 256 characters
    EXPECT_EQ(openedAs(longName), longName);
}

}  // namespace
