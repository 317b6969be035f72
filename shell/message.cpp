#include "shell/message.h"

#include "platform/window.h"
#include "playback/playback_state.h"

int showMessage(const char* text) {
    // The sequencer and the note lane stand still while the user reads.
    playback.busy.store(1);
    int result = platform::window().messageBox(text, "Lyrivox!",
                                               platform::kMbOk | platform::kMbIconExclamation, true);
    playback.busy.store(0);
    return result;
}
