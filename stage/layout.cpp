#include "stage/layout.h"

int32_t stripHeightFor(int32_t windowHeight) {
    return static_cast<int32_t>(static_cast<double>(windowHeight) * 0.1333);
}

// The default client height of 480 gives 63 (63.98 truncated), in force until the first rebuild.
std::atomic<int32_t> stripHeight{static_cast<int32_t>(480 * 0.1333)};
LyricBand lyricBand;
