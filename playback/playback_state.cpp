#include "playback/playback_state.h"

PlaybackState playback;
