#include "stage/critique_tally.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/host/recording_window.h"
#include "playback/playback_state.h"

namespace {

class Critique : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::installWindow(&window_);
        window_.setOnMessageBox([this](const platform::RecordingWindowSide::Box&) {
            busyWhileOpen_ = playback.busy.load();
        });
    }
    void TearDown() override {
        platform::installWindow(nullptr);
        tally = CritiqueTally{};
    }

    platform::RecordingWindowSide::Box report(uint32_t hits, uint32_t possible) {
        window_.clear();
        tally.hits = hits;
        tally.possible = possible;
        busyWhileOpen_ = -1;
        showCritique();
        auto boxes = window_.boxes();
        EXPECT_EQ(boxes.size(), 1u);
        EXPECT_EQ(busyWhileOpen_, 1);
        EXPECT_EQ(playback.busy.load(), 0);
        return boxes.empty() ? platform::RecordingWindowSide::Box{} : boxes[0];
    }

    platform::RecordingWindowSide window_;
    int busyWhileOpen_ = -1;
};

TEST_F(Critique, ScoreIsTenthsTruncatedInAnUnownedPlainBox) {
    auto box = report(7, 9);
    EXPECT_EQ(box.text, "You hit 7 notes out of a total 9 possible. For a score of 7 out of 10.");
    EXPECT_EQ(box.caption, "Karaoke Critique!");
    EXPECT_EQ(box.style, 0u);
    EXPECT_FALSE(box.owned);

    EXPECT_EQ(report(2, 3).text,
              "You hit 2 notes out of a total 3 possible. For a score of 6 out of 10.");
    EXPECT_EQ(report(9, 9).text,
              "You hit 9 notes out of a total 9 possible. For a score of 10 out of 10.");
    // Hits kept from an earlier song can outnumber this run's notes.
    EXPECT_EQ(report(12, 5).text,
              "You hit 12 notes out of a total 5 possible. For a score of 24 out of 10.");
    // The counters are left as they were.
    EXPECT_EQ(tally.hits, 12u);
    EXPECT_EQ(tally.possible, 5u);
}

TEST_F(Critique, NoJudgedNotesGiveTheMicrophoneMessage) {
    const std::string text = "Not enough samples were taken to critique.  Check microphone setup.";
    for (uint32_t possible : {0u, 0x80000000u, 0xFFFFFFFFu}) {
        auto box = report(3, possible);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "Lyrivox!");
        EXPECT_EQ(box.style, 0x30u);
        EXPECT_TRUE(box.owned);
    }
}

}  // namespace
