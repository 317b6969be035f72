#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/host/recording_window.h"

namespace {

TEST(TextMeasure, AmpersandPrefixesLineBreaksAndLengthBounds) {
    const struct {
        const char* text;
        int32_t length;  // -1: up to the zero
        int32_t charWidth;
        int32_t width;
    } cases[] = {
        {"", -1, 10, 0},
        {"love", -1, 10, 40},
        {"&love", -1, 10, 40},          // the prefix itself takes no room
        {"rock && roll", -1, 10, 110},  // "&&" shows one '&'
        {"&&&x", -1, 10, 20},           // "&&" then a prefixed 'x'
        {"a&", -1, 10, 20},             // nothing left to mark: the '&' shows
        {"&&&", -1, 10, 20},
        {"x", -1, 7, 7},
        {"ab\ncdef\rg", -1, 10, 40},  // the widest line counts
        {"abc\r\nde", -1, 10, 30},
        {"\r\n\r\n", -1, 10, 0},
        {"ab&\ncde", -1, 10, 30},  // a prefix before a break shows nothing, the break still breaks
        {"abcd&\r\nx", -1, 10, 40},
        {"hello&&there", 5, 10, 50},
        {"hello&&there", 6, 10, 60},  // cut just after a '&': the last character shows
        {"a&\n", 2, 10, 20},          // bytes past the length are not looked at to pair a '&'
        {nullptr, 3, 10, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::fixedWidthTextWidth(c.text, c.length, c.charWidth), c.width)
            << (c.text ? c.text : "(null)") << " length " << c.length;
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
