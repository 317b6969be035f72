// The temporary recording: its bytes for the three qualities, what a capture's buffers add,
// a file that cannot be created, and Save As with its dialog, its move and its refusals.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/host/recording_save.h"
#include "platform/host/recording_window.h"
#include "platform/window.h"
#include "shell/settings.h"
#include "support/unit_support.h"
#include "voice/recording.h"

namespace {

using unittest::kMsgCannotCreateRecording;
using unittest::le;
const auto fileBytes = unittest::readBytes;

bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lvx-recording-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        take = folder + "/lvxtake.wav";
        std::snprintf(recordingPath, sizeof recordingPath, "%s", take.c_str());
        platform::installWindow(&window);
        platform::installSaveDialog(&dialog);
        platform::installFileMove(&mover);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        settings.sampleRate = 8000;
        settings.channels = 1;
        settings.bitsPerSample = 16;
        saveFileName[0] = '\0';
        saveFolder[0] = '\0';
    }
    void TearDown() override {
        FinishRecording();
        platform::installWindow(nullptr);
        platform::installSaveDialog(nullptr);
        platform::installFileMove(nullptr);
        std::string command = "rm -rf '" + folder + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    // A buffer as the device returns it.
    void append(std::vector<char>& data, uint32_t recorded) {
        platform::WaveHeader header{data.data(), uint32_t(data.size()), recorded, 0, 0, 0, nullptr, 0};
        AppendRecording(&header);
    }

    std::string folder;
    std::string take;
    platform::RecordingWindowSide window;
    platform::RecordingSaveDialog dialog;
    platform::HostFileMove mover;
};

TEST_F(RecordingTest, HeaderStatesTheQualityAndTheSizes) {
    // An empty AM take, byte for byte; while it is open the header already reads like this.
    const unittest::Bytes am = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0,
                                2, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    CreateRecording();
    ASSERT_NE(recordingFile.load(), nullptr);
    std::fflush(recordingFile.load());
    EXPECT_EQ(fileBytes(take), am);
    FinishRecording();
    EXPECT_EQ(recordingFile.load(), nullptr);
    EXPECT_EQ(fileBytes(take), am) << "a capture that delivered nothing";

    // FM and CD: stereo, their rates, four bytes a frame.
    struct Quality {
        uint32_t rate, byteRate;
    };
    for (Quality q : {Quality{22050, 88200}, Quality{44100, 176400}}) {
        settings.sampleRate = q.rate;
        settings.channels = 2;
        CreateRecording();
        FinishRecording();
        auto bytes = fileBytes(take);
        ASSERT_EQ(bytes.size(), 44u);
        EXPECT_EQ(le(bytes, 22, 2), 2u);
        EXPECT_EQ(le(bytes, 24), q.rate);
        EXPECT_EQ(le(bytes, 28), q.byteRate);
        EXPECT_EQ(le(bytes, 32, 2), 4u);
    }
}

// What a capture's three full buffers and its empty ones add is proved through the fake device
// in the capture tests (CaptureTest.RecordOnlyRecordsAndRequeuesEveryBuffer), byte for byte.
TEST_F(RecordingTest, ANewTakeStartsFromAFreshHeader) {
    // One still open is finished first.
    CreateRecording();
    std::vector<char> partial(4096, 'p');
    append(partial, 1000);
    EXPECT_EQ(recordedBytes.load(), 1000u);
    CreateRecording();
    EXPECT_EQ(recordedBytes.load(), 0u);
    FinishRecording();
    EXPECT_EQ(fileBytes(take).size(), 44u);
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(RecordingTest, AFileThatCannotBeCreatedIsReportedAndOnlyCounted) {
    std::snprintf(recordingPath, sizeof recordingPath, "%s/missing/lvxtake.wav", folder.c_str());
    recordedBytes = 99;
    CreateRecording();
    ASSERT_EQ(window.messages(), std::vector<std::string>{kMsgCannotCreateRecording});
    EXPECT_EQ(recordingFile.load(), nullptr);
    EXPECT_EQ(recordedBytes.load(), 0u);

    std::vector<char> buffer(4096, 1);
    append(buffer, 4096);
    EXPECT_EQ(recordedBytes.load(), 4096u);
    FinishRecording();
    EXPECT_FALSE(fileExists(folder + "/missing"));
    EXPECT_EQ(window.messages().size(), 1u);
}

TEST_F(RecordingTest, SaveAsMovesTheTakeAndRemembersWhereTo) {
    // The first dialog opens empty in media\wave beside the program, for wave files.
    dialog.cancel();
    SaveRecordingAs();
    ASSERT_EQ(dialog.shown().size(), 1u);
    auto first = dialog.shown()[0];
    EXPECT_EQ(first.initialFolder, "C:\\Lyrivox\\media\\wave\\");
    EXPECT_EQ(first.presetName, "");
    EXPECT_EQ(first.filter, (std::vector<std::string>{"Wave Files", "*.wav"}));
    EXPECT_EQ(first.filterIndex, 1u);
    EXPECT_EQ(first.fileCapacity, 260u);
    EXPECT_EQ(first.title, "Save Wave File");
    EXPECT_EQ(first.defaultExtension, ".wav");
    EXPECT_EQ(first.flags, 0x8806u);  // overwrite prompt, hide read-only, path must exist, ...
    EXPECT_EQ(mover.calls.load(), 0);

    // Cancelled: nothing moved, and the next dialog opens in the default folder again.
    SaveRecordingAs();
    EXPECT_EQ(dialog.shown()[1].initialFolder, "C:\\Lyrivox\\media\\wave\\");

    // Confirmed: the take moves over an existing file of that name.
    CreateRecording();
    std::vector<char> buffer(4096, 5);
    append(buffer, 4096);
    FinishRecording();
    const std::string chosen = folder + "/song.wav";
    writeFile(chosen, "an older take");
    dialog.answer(chosen);
    SaveRecordingAs();
    EXPECT_TRUE(window.messages().empty());
    EXPECT_FALSE(fileExists(take));
    EXPECT_EQ(fileBytes(chosen).size(), 44u + 4096u);
    EXPECT_EQ(std::string(saveFileName), chosen);
}

TEST_F(RecordingTest, SaveAsOpensInTheFolderOfTheLastName) {
    // Names from the dialog carry backslashes; the folder keeps everything up to the last.
    struct NoMove : platform::FileMove {
        bool moveFileEx(const char*, const char*) override { return true; }
    } noMove;
    platform::installFileMove(&noMove);
    dialog.answer("D:\\Songs\\Mine\\take one.wav");
    SaveRecordingAs();
    dialog.cancel();
    SaveRecordingAs();
    ASSERT_EQ(dialog.shown().size(), 2u);
    EXPECT_EQ(dialog.shown()[1].initialFolder, "D:\\Songs\\Mine\\");
    EXPECT_EQ(dialog.shown()[1].presetName, "D:\\Songs\\Mine\\take one.wav");

    // A backslash that trails a double-byte character is part of a name (0x95 0x5C is one
    // Shift-JIS character).
    platform::setHostDoubleByteCodePage(true);
    dialog.answer("D:\\Songs\\\x95\\.wav");
    SaveRecordingAs();
    platform::setHostDoubleByteCodePage(false);
    EXPECT_EQ(std::string(saveFolder), "D:\\Songs\\");
}

TEST_F(RecordingTest, SaveAsFailuresLeaveEveryFileAsItWas) {
    const std::string chosen = folder + "/keep.wav";
    writeFile(chosen, "the user's file");
    dialog.answer(chosen);

    // No take on disk (nothing recorded yet, or already moved): the move fails, 104, and the
    // file of the chosen name is untouched.
    SaveRecordingAs();
    EXPECT_EQ(window.messages(), std::vector<std::string>{kMsgCannotCreateRecording});
    EXPECT_EQ(fileBytes(chosen).size(), std::string("the user's file").size());

    // While the take is being written it is not moved; the dialog does not even open.
    window.clear();
    CreateRecording();
    const size_t dialogs = dialog.shown().size();
    SaveRecordingAs();
    EXPECT_EQ(window.messages(), std::vector<std::string>{kMsgCannotCreateRecording});
    EXPECT_EQ(dialog.shown().size(), dialogs);
    EXPECT_TRUE(fileExists(take));
    EXPECT_NE(recordingFile.load(), nullptr);
    FinishRecording();

    // A move the system refuses: 104, both files stay.
    window.clear();
    mover.failMove = true;
    SaveRecordingAs();
    EXPECT_EQ(window.messages(), std::vector<std::string>{kMsgCannotCreateRecording});
    EXPECT_TRUE(fileExists(take));
    EXPECT_EQ(fileBytes(chosen).size(), std::string("the user's file").size());
}

}  // namespace
