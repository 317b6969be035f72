#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/host/recording_window.h"
#include "playback/playback_state.h"
#include "shell/message.h"
#include "shell/paths.h"

namespace {

TEST(ShowMessage, OwnedExclamationBoxWithPlaybackPausedWhileOpen) {
    platform::RecordingWindowSide window;
    platform::installWindow(&window);
    int busyWhileOpen = -1;
    window.setOnMessageBox(
        [&](const platform::RecordingWindowSide::Box&) { busyWhileOpen = playback.busy.load(); });
    window.setMessageBoxResult(1);
    EXPECT_EQ(showMessage("Unable to start the Midi timer."), 1);
    window.setMessageBoxResult(0);  // a box that could not be shown
    EXPECT_EQ(showMessage("second"), 0);
    platform::installWindow(nullptr);

    auto boxes = window.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Unable to start the Midi timer.");
    EXPECT_EQ(boxes[0].caption, "Lyrivox!");
    EXPECT_EQ(boxes[0].style, 0x30u);
    EXPECT_TRUE(boxes[0].owned);
    EXPECT_EQ(busyWhileOpen, 1);
    EXPECT_EQ(playback.busy.load(), 0);
}

class PathBeside : public ::testing::Test {
  protected:
    void TearDown() override {
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        platform::setHostDoubleByteCodePage(false);
    }

    std::string beside(const char* fileName, const char* subfolder) {
        std::memset(buffer_, 'X', sizeof buffer_);
        pathBesideExecutable(buffer_, fileName, subfolder);
        // Whatever happens, the result ends inside the 260 characters.
        EXPECT_NE(std::memchr(buffer_, '\0', kPathCapacity), nullptr);
        EXPECT_EQ(buffer_[kPathCapacity], 'X') << "wrote past the buffer";
        return buffer_;
    }

    char buffer_[kPathCapacity + 8];
};

TEST_F(PathBeside, JoinsTheExecutablesFolderSubfolderAndName) {
    platform::setHostExecutablePath("C:\\Program Files\\Lyrivox\\lyrivox.exe");
    EXPECT_EQ(beside("options.lvx", ""), "C:\\Program Files\\Lyrivox\\options.lvx");
    EXPECT_EQ(beside("*.bmp", "media\\images\\"),
              "C:\\Program Files\\Lyrivox\\media\\images\\*.bmp");
    EXPECT_EQ(beside(nullptr, nullptr), "C:\\Program Files\\Lyrivox\\");

    platform::setHostExecutablePath("lyrivox.exe");  // no folder known: the current one
    EXPECT_EQ(beside("options.lvx", ""), ".\\options.lvx");
}

TEST_F(PathBeside, LongResultsAreCutAt259CharactersAndTerminated) {
    std::string folder = "C:\\" + std::string(240, 'f');
    platform::setHostExecutablePath((folder + "\\lyrivox.exe").c_str());
    std::string expected = folder + "\\media\\images\\" + "background.bmp";
    ASSERT_GT(expected.size(), 259u);
    std::string got = beside("background.bmp", "media\\images\\");
    EXPECT_EQ(got, expected.substr(0, 259));

    // The executable's own path is taken to 259 characters at most: a path that long has its
    // last backslash inside those 259.
    std::string deep = "D:\\" + std::string(250, 'd') + "\\" + std::string(30, 'e') + ".exe";
    platform::setHostExecutablePath(deep.c_str());
    EXPECT_EQ(beside("x", ""), "D:\\" + std::string(250, 'd') + "\\x");
}

TEST_F(PathBeside, BackslashTrailingADoubleByteCharacterIsNoSeparator) {
    // 0x95 0x5C is one Shift-JIS character whose second byte looks like a backslash.
    const std::string folder = "C:\\\x95\x5C";
    platform::setHostExecutablePath((folder + "\\lyrivox.exe").c_str());
    platform::setHostDoubleByteCodePage(true);
    EXPECT_EQ(beside("options.lvx", ""), folder + "\\options.lvx");

    platform::setHostExecutablePath((folder + "lyrivox.exe").c_str());
    EXPECT_EQ(beside("options.lvx", ""), "C:\\options.lvx");

    // Without a double-byte code page the same byte is a separator.
    platform::setHostDoubleByteCodePage(false);
    EXPECT_EQ(beside("options.lvx", ""), "C:\\\x95\\options.lvx");
}

}  // namespace
