#include "shell/key_tempo_menu.h"

#include "platform/window.h"
#include "playback/key_tempo.h"
#include "playback/playback_run.h"
#include "playback/playback_state.h"
#include "shell/command_ids.h"

namespace {

int32_t clamp(int32_t value, int32_t low, int32_t high) { return value < low ? low : value > high ? high : value; }

// Marks on the originals, greying at the limits; the items stay usable during a song.
void showKeyTempo() {
    const int32_t key = keyShift.load();
    const int32_t tempo = tempoPercent.load();
    platform::WindowSide& side = platform::window();
    side.checkMenuItem(kCmdOriginalKey, key == 0);
    side.checkMenuItem(kCmdOriginalTempo, tempo == kTempoOriginal);
    side.enableMenuItem(kCmdKeyUp, key < kKeyLimit);
    side.enableMenuItem(kCmdKeyDown, key > -kKeyLimit);
    side.enableMenuItem(kCmdFaster, tempo < kTempoFastest);
    side.enableMenuItem(kCmdSlower, tempo > kTempoSlowest);
    showSongInCaption(playback.playing.load() != 0);
}

void setKey(int32_t key) { keyShift.store(clamp(key, -kKeyLimit, kKeyLimit)); }
void setTempo(int32_t tempo) { tempoPercent.store(clamp(tempo, kTempoSlowest, kTempoFastest)); }

}  // namespace

bool handleKeyTempoCommand(unsigned commandId) {
    switch (commandId) {
        case kCmdKeyUp: setKey(keyShift.load() + 1); break;
        case kCmdKeyDown: setKey(keyShift.load() - 1); break;
        case kCmdOriginalKey: setKey(0); break;
        case kCmdFaster: setTempo(tempoPercent.load() + kTempoStep); break;
        case kCmdSlower: setTempo(tempoPercent.load() - kTempoStep); break;
        case kCmdOriginalTempo: setTempo(kTempoOriginal); break;
        default: return false;
    }
    showKeyTempo();
    return true;
}

std::string keyTempoCaption(const char* title, int32_t key, int32_t tempo) {
    std::string caption = "Lyrivox";
    if (title != nullptr && title[0] != '\0') caption += std::string(" - ") + title;
    std::string values;
    if (key != 0) values = "key " + std::string(key > 0 ? "+" : "-") + std::to_string(key > 0 ? key : -key);
    if (tempo != kTempoOriginal) {
        if (!values.empty()) values += ", ";
        values += "tempo " + std::to_string(tempo) + " %";
    }
    if (!values.empty()) caption += "  [" + values + "]";
    return caption;
}
