// Fuzzes loadSong: each input is written to a private file and loaded twice, with Critique
// off and on, and the song model is checked after each load for the promises its readers
// rely on (sorted lists, counts within the tables, a tempo that moves the song).

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/host/recording_window.h"
#include "shell/settings.h"
#include "song/loader.h"
#include "song/song_model.h"

namespace {

std::string songPath;
platform::RecordingWindowSide window(7);

void removeSong() { std::remove(songPath.c_str()); }

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void checkList(const EventList& list) {
    check((list.head == nullptr) == (list.tail == nullptr));
    const EventNode* last = nullptr;
    for (const EventNode* node = list.head; node; node = node->next) {
        if (last) check(last->tick <= node->tick);
        uint32_t status = statusOf(node->message);
        if (status == kTempoStatus) {
            check(data1Of(node->message) == kTempoType);
            check(node->melody == 0);
            check(node->periodTicks >= 1 && node->periodTicks <= kPeriodMax);
            check(data2Of(node->message) == uint32_t(wholeTicks(node->periodTicks)));
        } else {
            check(status >= 0x80 && status <= 0xEF);
            check((node->message >> 24) == 0);
        }
        last = node;
    }
    check(last == list.tail);
}

void loadAndCheck(int critique) {
    settings.critique = critique;
    window.clear();
    int32_t result = loadSong(songPath.c_str());
    check(result == 0 || result == 1);
    check(window.openMeasures() == 0);
    if (!result) return;
    checkList(songEvents);
    checkList(melodyEvents);
    check(songEvents.cursor == songEvents.head);
    check(lineCount >= 1 && lineCount <= kLyricLineCapacity);
    check(syllableCount >= 0 && syllableCount < kSyllableCapacity);
    for (int i = 0; i < lineCount; ++i) {
        check(lyricLines[i].length < kLyricLineChars);
        // Line breaks break lines; they are never drawn.
        for (int c = 0; c < lyricLines[i].length; ++c)
            check(lyricLines[i].text[c] != '\r' && lyricLines[i].text[c] != '\n');
    }
    check(std::memchr(songTitle, 0, sizeof songTitle) != nullptr);
    check(ticksPerPeriod >= 1 && ticksPerPeriod <= kPeriodMax);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/lyrivox-fuzz-XXXXXX";
    int fd = mkstemp(&pattern[0]);
    if (fd < 0) std::abort();
    close(fd);
    songPath = pattern;
    std::atexit(removeSong);
    platform::installWindow(&window);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(songPath.c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
    loadAndCheck(0);
    loadAndCheck(1);
    return 0;
}
