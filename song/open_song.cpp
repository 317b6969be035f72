#include "song/open_song.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/shell.h"
#include "platform/window.h"
#include "playback/playback_run.h"
#include "playback/playback_state.h"
#include "shell/app_strings.h"
#include "shell/message.h"
#include "shell/paths.h"
#include "shell/settings.h"
#include "song/loader.h"
#include "song/melody_preview.h"
#include "stage/note_lane.h"
#include "stage/stage.h"

char songFileName[260];
char songFolder[260];

namespace {

// The folder part of a path: the copy is cut at its last backslash.
void folderOf(const char* path, char* folder) {
    std::snprintf(folder, 260, "%s", path);
    const int cut = folderEnd(folder);
    if (cut >= 0) folder[cut] = '\0';
}

// A name typed without an extension means the default one, unless a file of that very name is
// there. Windows' dialog does this itself; Wine's hands back the bare name when neither file
// exists, and the failure would then name a file nobody asked for.
void addDefaultExtension(char* path, size_t capacity, const char* extension) {
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/') name = c + 1;
    if (*name == '\0' || std::strchr(name, '.') != nullptr) return;
    if (std::FILE* bare = std::fopen(path, "rb")) {
        std::fclose(bare);
        return;
    }
    const size_t length = std::strlen(path);
    if (length + std::strlen(extension) < capacity) std::strcat(path, extension);
}

void loadChosenSong() {
    // The previous run's stop must be over before the load frees the lists its ticks walk and
    // greys the menu its stop enables.
    if (!waitForPreviousRun()) {
        showMessage(appString(IDS_CANNOT_START_TIMER));
        return;
    }
    void* previousCursor = platform::shell().setWaitCursor();
    chooseNextBackground();
    rebuildStage();
    platform::window().redrawWindow(nullptr);

    if (loadSong(songFileName)) {
        if (settings.critique.load()) buildMelodyPreview();
        // The lane's clock starts with the song: the first frame counts no time from before.
        noteLane.restart(platform::clock().getTickCount());
        startPlayback();
    } else {
        char text[300];
        std::snprintf(text, sizeof text, "Error opening the midi file [%s].", songFileName);
        showMessage(text);
    }
    platform::shell().restoreCursor(previousCursor);
}

}  // namespace

void openSong() {
    if (songFolder[0] == '\0') pathBesideExecutable(songFolder, "", "media\\karaoke\\");

    // A run still going ends at its next timer period, whatever the dialog's answer.
    playback.playing.store(0);

    static const char kFilter[] = "Midi Files\0*.mid;*.kar\0";
    platform::FileDialog dialog{kFilter,    1, songFileName, sizeof songFileName,
                                songFolder, "Load Midi/Karaoke File", ".mid",
                                platform::kOfnPathMustExist | platform::kOfnOverwritePrompt};
    if (platform::shell().getOpenFileName(dialog)) {
        addDefaultExtension(songFileName, sizeof songFileName, dialog.defaultExtension);
        loadChosenSong();
    }

    folderOf(songFileName, songFolder);
}
