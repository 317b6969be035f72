#include "stage/critique_tally.h"

#include <cstdio>

#include "platform/window.h"
#include "playback/playback_state.h"
#include "shell/message.h"

CritiqueTally tally;

void showCritique() {
    if (static_cast<int32_t>(tally.possible) <= 0) {
        showMessage("Not enough samples were taken to critique.  Check microphone setup.");
        return;
    }
    // Score out of ten in the counters' own 32-bit arithmetic, truncated toward zero.
    int32_t score = static_cast<int32_t>(tally.hits * 10u) / static_cast<int32_t>(tally.possible);

    // The longest report, with three ten-digit numbers, has 97 characters.
    char text[128];
    std::snprintf(text, sizeof text,
                  "You hit %lu notes out of a total %lu possible. For a score of %lu out of 10.",
                  static_cast<unsigned long>(tally.hits),
                  static_cast<unsigned long>(tally.possible),
                  static_cast<unsigned long>(static_cast<uint32_t>(score)));

    // The report has a box of its own: no owner, no icon, just OK.
    playback.busy.store(1);
    platform::window().messageBox(text, "Karaoke Critique!", platform::kMbOk, false);
    playback.busy.store(0);
}
