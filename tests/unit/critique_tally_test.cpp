#include "stage/critique_tally.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/host/recording_window.h"
#include "playback/playback_state.h"

namespace {

// The report box for each tally: the score in tenths, truncated, in an unowned plain box; no
// judged notes give the microphone message in the program's own box. The program is held
// while the box is open, released after, and the counters are left as they were.
TEST(Critique, ReportForEachTally) {
    platform::RecordingWindowSide window;
    platform::installWindow(&window);
    int busyWhileOpen = -1;
    window.setOnMessageBox([&](const platform::RecordingWindowSide::Box&) { busyWhileOpen = playback.busy.load(); });
    const std::string plain = "Karaoke Critique!", microphone =
        "Not enough samples were taken to critique.  Check microphone setup.";
    const struct {
        uint32_t hits, possible;
        std::string text;
    } cases[] = {
        {7, 9, "You hit 7 notes out of a total 9 possible. For a score of 7 out of 10."},
        {2, 3, "You hit 2 notes out of a total 3 possible. For a score of 6 out of 10."},
        {9, 9, "You hit 9 notes out of a total 9 possible. For a score of 10 out of 10."},
        // Hits kept from an earlier song can outnumber this run's notes.
        {12, 5, "You hit 12 notes out of a total 5 possible. For a score of 24 out of 10."},
        {3, 0, microphone},
        {3, 0x80000000u, microphone},
        {3, 0xFFFFFFFFu, microphone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        window.clear();
        busyWhileOpen = -1;
        tally.hits = c.hits;
        tally.possible = c.possible;
        showCritique();
        ASSERT_EQ(window.boxes().size(), 1u);
        const auto box = window.boxes()[0];
        const bool scored = c.text != microphone;
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, scored ? plain : "Lyrivox!");
        EXPECT_EQ(box.style, scored ? 0u : 0x30u);
        EXPECT_EQ(box.owned, !scored);
        EXPECT_EQ(busyWhileOpen, 1);
        EXPECT_EQ(playback.busy.load(), 0);
        EXPECT_EQ(tally.hits, c.hits);
        EXPECT_EQ(tally.possible, c.possible);
    }
    platform::installWindow(nullptr);
    tally = CritiqueTally{};
}

}  // namespace
