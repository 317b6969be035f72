#include "stage/layout.h"

Rect lyricBand{0, 0, 640, 60};
