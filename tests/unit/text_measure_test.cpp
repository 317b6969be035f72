#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/recording_window.h"

namespace {

int32_t width(const std::string& text, int charWidth = 10) {
    return platform::fixedWidthTextWidth(text.data(), static_cast<int32_t>(text.size()), charWidth);
}

TEST(TextMeasure, AmpersandIsAMnemonicPrefix) {
    EXPECT_EQ(width(""), 0);
    EXPECT_EQ(width("love"), 40);
    EXPECT_EQ(width("&love"), 40);          // the prefix itself takes no room
    EXPECT_EQ(width("rock && roll"), 110);  // "&&" shows one '&'
    EXPECT_EQ(width("&&&x"), 20);           // "&&" then a prefixed 'x'
    EXPECT_EQ(width("a&"), 20);             // nothing left to mark: the '&' shows
    EXPECT_EQ(width("&&&"), 20);
    EXPECT_EQ(width("x", 7), 7);
}

TEST(TextMeasure, LineBreaksMakeTheWidestLineCount) {
    EXPECT_EQ(width("ab\ncdef\rg"), 40);
    EXPECT_EQ(width("abc\r\nde"), 30);
    EXPECT_EQ(width("\r\n\r\n"), 0);
    // A prefix before a break shows nothing, and the break still breaks.
    EXPECT_EQ(width("ab&\ncde"), 30);
    EXPECT_EQ(width("abcd&\r\nx"), 40);
}

TEST(TextMeasure, LengthBoundsTheTextAndNegativeMeansToTheZero) {
    const char* text = "hello&&there";
    EXPECT_EQ(platform::fixedWidthTextWidth(text, 5, 10), 50);
    // Cut just after a '&': it is the last character measured, so it shows.
    EXPECT_EQ(platform::fixedWidthTextWidth(text, 6, 10), 60);
    EXPECT_EQ(platform::fixedWidthTextWidth(text, -1, 10), 110);
    EXPECT_EQ(platform::fixedWidthTextWidth(nullptr, 3, 10), 0);
    // Bytes past the length are not looked at, not even to pair a '&'.
    char buffer[3] = {'a', '&', '&'};
    EXPECT_EQ(platform::fixedWidthTextWidth(buffer, 2, 10), 20);
}

TEST(TextMeasure, RecordingSideCountsContextsAndCallsAcrossThreads) {
    platform::RecordingWindowSide side(8);
    side.beginLyricMeasure();
    EXPECT_EQ(side.lyricTextWidth("&Open", 5), 32);
    side.setCharWidth(5);
    EXPECT_EQ(side.lyricTextWidth("ab", 2), 10);
    EXPECT_EQ(side.openMeasures(), 1);
    side.endLyricMeasure();
    EXPECT_EQ(side.openMeasures(), 0);

    // Boxes, menu changes and measures may come from several threads at once.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&side, t] {
            for (int i = 0; i < 200; ++i) {
                side.beginLyricMeasure();
                side.lyricTextWidth("word", 4);
                side.endLyricMeasure();
                side.enableMenuItem(static_cast<unsigned>(32771 + t), i % 2 == 0);
                side.messageBox("text", "Lyrivox!", 0x30, true);
                if (t == 0) side.setCharWidth(i % 7 + 1);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(side.measureCalls(), 2 + 800);
    EXPECT_EQ(side.openMeasures(), 0);
    EXPECT_EQ(side.boxes().size(), 800u);
    EXPECT_FALSE(side.isEnabled(32771));
}

}  // namespace
