#include "shell/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host/recording_window.h"
#include "playback/playback_state.h"
#include "shell/options_file.h"
#include "shell/paths.h"
#include "support/unit_support.h"

namespace {

using unittest::Bytes;
using unittest::resetSettings;

class OptionsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lyrivox-options-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        file_ = folder_ + "/options.lvx";
        usePath(file_);
        resetSettings();
        platform::installWindow(&window_);
    }

    void TearDown() override {
        platform::installWindow(nullptr);
        std::remove(file_.c_str());
        rmdir(folder_.c_str());
        resetSettings();
    }

    static void usePath(const std::string& path) {
        std::snprintf(optionsPath, sizeof optionsPath, "%s", path.c_str());
    }

    void writeFile(const Bytes& bytes) const {
        std::ofstream out(file_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    Bytes readFile() const { return unittest::readBytes(file_); }

    // The 24 bytes of six values, before any line-end translation.
    static Bytes raw(std::initializer_list<uint32_t> values) {
        Bytes out;
        for (uint32_t v : values)
            for (int shift = 0; shift < 32; shift += 8)
                out.push_back(static_cast<uint8_t>(v >> shift));
        return out;
    }

    std::string folder_;
    std::string file_;
    platform::RecordingWindowSide window_;
};

// What is saved is read back unchanged. The file is written in text mode: every 0A of a value
// costs a 0D before it, a 0D 0A of a value is stored 0D 0D 0A, and an end-of-file byte (1A) or
// a lone 0D is stored as it is. A first run without a file keeps the defaults silently.
TEST_F(OptionsFile, SavedValuesComeBackWhateverBytesTheyHold) {
    struct Trip {
        int32_t width, height, size, weight, silence;
        size_t diskSize;
        Bytes start;  // the file's first bytes
    };
    const Trip trips[] = {
        {640, 480, 20, 400, 0, 24, raw({640, 480, 20, 400, 1, 0})},
        {266, 480, 20, 400, 0, 25, {0x0D, 0x0A, 0x01, 0x00, 0x00}},  // 266 is 0A 01 00 00
        {0x0A0D, 13, 0x0A0A0A0A, -1, 0x0D0A0D0A, 24 + 1 + 4 + 2, {}},
        {282, 480, 48, 400, 0, 24, raw({282, 480, 48, 400, 1, 0})},  // 282 is 1A 01 00 00
    };
    loadOptions();
    for (const Trip& t : trips) {
        SCOPED_TRACE(t.width);
        settings.windowWidth = t.width;
        settings.windowHeight = t.height;
        settings.fontSize = t.size;
        settings.fontWeight = t.weight;
        settings.silenceMelody = t.silence;
        saveOptions();
        const Bytes disk = readFile();
        ASSERT_EQ(disk.size(), t.diskSize);
        EXPECT_EQ(Bytes(disk.begin(), disk.begin() + static_cast<long>(t.start.size())), t.start);
        resetSettings();
        loadOptions();
        EXPECT_EQ(settings.windowWidth, t.width);
        EXPECT_EQ(settings.windowHeight, t.height);
        EXPECT_EQ(settings.fontSize, t.size);
        EXPECT_EQ(settings.fontWeight, t.weight);
        EXPECT_EQ(settings.silenceMelody.load(), t.silence);
    }
    EXPECT_TRUE(window_.boxes().empty());
}

// The quality is stored as a code; an unknown code keeps the default and the other five values
// apply whatever the code.
TEST_F(OptionsFile, QualityCodeSetsRateAndChannelsAndUnknownCodesKeepTheDefault) {
    struct Case {
        uint32_t code;
        uint32_t rate;
        uint32_t channels;
    };
    for (Case c : {Case{1, 8000, 1}, Case{2, 22050, 2}, Case{3, 44100, 2}, Case{0, 8000, 1}, Case{4, 8000, 1}}) {
        SCOPED_TRACE(c.code);
        resetSettings();
        writeFile(raw({700, 500, 32, 600, c.code, 1}));
        loadOptions();
        EXPECT_EQ(settings.sampleRate, c.rate);
        EXPECT_EQ(settings.channels, c.channels);
        EXPECT_EQ(settings.windowWidth, 700);
        EXPECT_EQ(settings.silenceMelody.load(), 1);
        saveOptions();
        EXPECT_EQ(readFile()[16], c.code >= 1 && c.code <= 3 ? c.code : 1);
    }
}

TEST_F(OptionsFile, ValuesAreTakenUncheckedAndOnlyTheSixPersist) {
    writeFile(raw({0xFFFFFFFF, 0, 7, 0x80000000, 2, 5}));
    settings.record = 1;
    settings.critique = 1;
    settings.octaveLower = 1;
    loadOptions();
    // The last four are not the file's to say.
    EXPECT_EQ((std::vector<int64_t>{settings.windowWidth, settings.windowHeight, settings.fontSize, settings.fontWeight,
                                    settings.silenceMelody, settings.record, settings.critique, settings.octaveLower,
                                    settings.bitsPerSample}),
              (std::vector<int64_t>{-1, 0, 7, INT32_MIN, 5, 1, 1, 1, 16}));
}

// Files short of six values are ignored as a whole (a 0D 0A pair among 24 bytes on disk is one
// byte: 23 values' worth); whatever follows the six values does not matter.
TEST_F(OptionsFile, FilesShortOfSixValuesAreIgnoredAsAWhole) {
    const Bytes full = raw({800, 600, 48, 800, 3, 1});
    Bytes withPair = full;
    withPair[0] = 0x0D;
    withPair[1] = 0x0A;
    Bytes longer = full;
    longer.insert(longer.end(), {0x1A, 0x0D, 0xFF});
    struct Case {
        Bytes file;
        int32_t width;
        uint32_t rate;
    };
    for (const Case& c : {Case{{}, 640, 8000}, Case{Bytes(full.begin(), full.end() - 1), 640, 8000},
                          Case{withPair, 640, 8000}, Case{longer, 800, 44100}}) {
        SCOPED_TRACE(c.file.size());
        resetSettings();
        writeFile(c.file);
        loadOptions();
        EXPECT_EQ(settings.windowWidth, c.width);
        EXPECT_EQ(settings.sampleRate, c.rate);
    }
    EXPECT_TRUE(window_.boxes().empty());
}

TEST_F(OptionsFile, AReadOnlyFileIsReadAndAnUnreachablePathIsSilent) {
    writeFile(raw({1024, 768, 32, 200, 2, 0}));
    ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 1024);
    EXPECT_EQ(settings.sampleRate, 22050u);
    chmod(file_.c_str(), 0644);

    // An unreachable path leaves the defaults and saves nothing, without a word.
    resetSettings();
    usePath(folder_ + "/missing/options.lvx");
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 640);
    settings.windowWidth = 900;
    saveOptions();
    EXPECT_TRUE(window_.boxes().empty());
    EXPECT_EQ(playback.busy.load(), 0);
}

TEST_F(OptionsFile, ShortWriteIsReportedWithThePath) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    usePath("/dev/full");
    saveOptions();
    EXPECT_EQ(window_.messages(), std::vector<std::string>{"Error saving the options file [/dev/full]."});
}

TEST(OptionsBytes, DecodeTakesPairsAndLeavesOtherCarriageReturns) {
    int32_t values[kOptionsValueCount] = {9, 9, 9, 9, 9, 9};
    // A 0D at the very end of the data stays a 0D.
    Bytes bytes = {0x0D, 0x0A, 0, 0, 0, 0x0D, 0x1A, 0, 0, 1, 0, 0,   0,
                   2,    0,    0, 0, 3, 0,    0,    0, 4, 0, 0, 0x0D};
    EXPECT_FALSE(decodeOptions(bytes.data(), bytes.size() - 1, values));
    EXPECT_EQ(values[0], 9);  // untouched on failure
    ASSERT_TRUE(decodeOptions(bytes.data(), bytes.size(), values));
    EXPECT_EQ(values[0], 0x0A);
    EXPECT_EQ(values[1], 0x1A0D);
    EXPECT_EQ(values[5], 0x0D000004);

    uint8_t encoded[kOptionsMaxFileBytes];
    const int32_t all[kOptionsValueCount] = {0x0A0A0A0A, 0x0A0A0A0A, 0x0A0A0A0A,
                                             0x0A0A0A0A, 0x0A0A0A0A, 0x0A0A0A0A};
    EXPECT_EQ(encodeOptions(all, encoded), kOptionsMaxFileBytes);
    ASSERT_TRUE(decodeOptions(encoded, kOptionsMaxFileBytes, values));
    for (int32_t v : values) EXPECT_EQ(v, 0x0A0A0A0A);
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
