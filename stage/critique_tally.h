#pragma once
// The critique's two counters and the report at the end of a song. Window thread only.

#include <cstdint>

struct CritiqueTally {
    uint32_t hits = 0;      // bars judged hit
    uint32_t possible = 0;  // bars retired, hit or missed
};

extern CritiqueTally tally;

// Shows the score (or the "not enough samples" message) for the run that just ended.
void showCritique();
