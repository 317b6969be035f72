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

TEST_F(OptionsFile, FirstRunKeepsDefaultsSilentlyAndExitWritesThem) {
    loadOptions();  // no file yet: what it writes back are the defaults
    saveOptions();
    EXPECT_EQ(readFile(), raw({640, 480, 20, 400, 1, 0}));
    EXPECT_TRUE(window_.boxes().empty());
}

TEST_F(OptionsFile, LineFeedAndEndOfFileBytesOfTheValuesSurviveTheTextModeTranslation) {
    settings.windowWidth = 266;  // 0A 01 00 00
    saveOptions();
    Bytes disk = readFile();
    ASSERT_EQ(disk.size(), 25u);
    EXPECT_EQ(Bytes(disk.begin(), disk.begin() + 5), (Bytes{0x0D, 0x0A, 0x01, 0x00, 0x00}));

    resetSettings();
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 266);
    EXPECT_EQ(settings.windowHeight, 480);

    // Carriage returns of the values themselves survive: 0D 0A as data is stored 0D 0D 0A,
    // a lone 0D as it is, and every 0A of a value costs one more byte.
    settings.windowWidth = 0x0A0D;
    settings.windowHeight = 13;
    settings.fontSize = 0x0A0A0A0A;
    settings.fontWeight = -1;
    settings.silenceMelody = 0x0D0A0D0A;
    saveOptions();
    EXPECT_EQ(readFile().size(), 24u + 1 + 4 + 2);
    resetSettings();
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 0x0A0D);
    EXPECT_EQ(settings.windowHeight, 13);
    EXPECT_EQ(settings.fontSize, 0x0A0A0A0A);
    EXPECT_EQ(settings.fontWeight, -1);
    EXPECT_EQ(settings.silenceMelody.load(), 0x0D0A0D0A);

    // An end-of-file byte inside the values is stored as it is and does not cost the settings.
    resetSettings();
    settings.windowWidth = 282;  // 1A 01 00 00
    settings.fontSize = 48;
    saveOptions();
    EXPECT_EQ(readFile(), raw({282, 480, 48, 400, 1, 0}));
    resetSettings();
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 282);
    EXPECT_EQ(settings.fontSize, 48);
}

TEST_F(OptionsFile, QualityCodeSetsRateAndChannelsAndUnknownCodesKeepTheDefault) {
    struct Case {
        int32_t code;
        uint32_t rate;
        uint32_t channels;
    };
    for (Case c : {Case{1, 8000, 1}, Case{2, 22050, 2}, Case{3, 44100, 2}, Case{0, 8000, 1}, Case{4, 8000, 1}}) {
        SCOPED_TRACE(c.code);
        resetSettings();
        writeFile(raw({700, 500, 32, 600, static_cast<uint32_t>(c.code), 1}));
        loadOptions();
        EXPECT_EQ(settings.sampleRate, c.rate);
        EXPECT_EQ(settings.channels, c.channels);
        // The other five apply whatever the code.
        EXPECT_EQ(settings.windowWidth, 700);
        EXPECT_EQ(settings.silenceMelody.load(), 1);
    }

    for (Case c : {Case{1, 8000, 1}, Case{2, 22050, 2}, Case{3, 44100, 2}}) {
        resetSettings();
        settings.sampleRate = c.rate;
        settings.channels = c.channels;
        saveOptions();
        EXPECT_EQ(readFile()[16], c.code);
    }
}

TEST_F(OptionsFile, ValuesAreTakenUncheckedAndOnlyTheSixPersist) {
    writeFile(raw({0xFFFFFFFF, 0, 7, 0x80000000, 2, 5}));
    settings.record = 1;
    settings.critique = 1;
    settings.octaveLower = 1;
    loadOptions();
    EXPECT_EQ(settings.windowWidth, -1);
    EXPECT_EQ(settings.windowHeight, 0);
    EXPECT_EQ(settings.fontSize, 7);
    EXPECT_EQ(settings.fontWeight, INT32_MIN);
    EXPECT_EQ(settings.silenceMelody.load(), 5);
    // The file has no say over these.
    EXPECT_EQ(settings.record.load(), 1);
    EXPECT_EQ(settings.critique.load(), 1);
    EXPECT_EQ(settings.octaveLower.load(), 1);
    EXPECT_EQ(settings.bitsPerSample, 16u);
}

TEST_F(OptionsFile, FilesShortOfSixValuesAreIgnoredAsAWhole) {
    Bytes full = raw({800, 600, 48, 800, 3, 1});
    for (size_t size : {size_t{0}, size_t{23}}) {
        SCOPED_TRACE(size);
        writeFile(Bytes(full.begin(), full.begin() + static_cast<long>(size)));
        loadOptions();
        EXPECT_EQ(settings.windowWidth, 640);
        EXPECT_EQ(settings.sampleRate, 8000u);
        EXPECT_EQ(settings.fontWeight, 400);
    }
    // 24 bytes on disk, but a pair among them is one byte: 23 values' worth.
    Bytes withPair = full;
    withPair[0] = 0x0D;
    withPair[1] = 0x0A;
    writeFile(withPair);
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 640);
    EXPECT_TRUE(window_.boxes().empty());

    // Whatever follows the six values does not matter.
    Bytes longer = full;
    longer.insert(longer.end(), {0x1A, 0x0D, 0xFF});
    writeFile(longer);
    loadOptions();
    EXPECT_EQ(settings.windowWidth, 800);
    EXPECT_EQ(settings.sampleRate, 44100u);
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

}  // namespace
