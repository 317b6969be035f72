// Feeds arbitrary bytes to the options reader: straight to the decoder, and as an options file
// on disk through loadOptions. Checks that both agree, that nothing is changed by a file too
// short to hold six values, and that writing the decoded values and reading them back gives
// the same values.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/host/recording_window.h"
#include "shell/options_file.h"
#include "shell/settings.h"
#include "tests/unit/support/unit_support.h"

namespace {

using unittest::resetSettings;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_options: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool prepared = false;
    static platform::RecordingWindowSide window;
    if (!prepared) {
        // A memory-backed folder when there is one: every input goes through the disk.
        const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::snprintf(optionsPath, sizeof optionsPath, "%s/lyrivox-fuzz-options-%ld.lvx", folder,
                      static_cast<long>(getpid()));
        platform::installWindow(&window);
        prepared = true;
    }

    int32_t values[kOptionsValueCount];
    bool decoded = decodeOptions(data, size, values);

    std::FILE* file = std::fopen(optionsPath, "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    resetSettings();
    loadOptions();
    if (!decoded) {
        check(settings.windowWidth == 640 && settings.windowHeight == 480 &&
                  settings.fontSize == 20 && settings.fontWeight == 400 &&
                  settings.sampleRate == 8000 && settings.silenceMelody.load() == 0,
              "a short file changed the settings");
        return 0;
    }
    check(settings.windowWidth == values[0] && settings.windowHeight == values[1] &&
              settings.fontSize == values[2] && settings.fontWeight == values[3] &&
              settings.silenceMelody.load() == values[5],
          "the file read differs from the decoded bytes");
    uint32_t rate = 8000, channels = 1;
    qualityFromCode(values[4], rate, channels);
    check(settings.sampleRate == rate && settings.channels == channels, "wrong quality");

    // What is saved reads back the same (the quality as its code).
    saveOptions();
    check(window.boxes().empty(), "saving showed a message");
    int32_t saved[kOptionsValueCount] = {settings.windowWidth,
                                         settings.windowHeight,
                                         settings.fontSize,
                                         settings.fontWeight,
                                         qualityCode(settings.sampleRate),
                                         settings.silenceMelody.load()};
    resetSettings();
    loadOptions();
    check(settings.windowWidth == saved[0] && settings.windowHeight == saved[1] &&
              settings.fontSize == saved[2] && settings.fontWeight == saved[3] &&
              qualityCode(settings.sampleRate) == saved[4] &&
              settings.silenceMelody.load() == saved[5],
          "saved options did not read back");

    uint8_t encoded[kOptionsMaxFileBytes];
    size_t encodedSize = encodeOptions(values, encoded);
    int32_t again[kOptionsValueCount];
    check(
        decodeOptions(encoded, encodedSize, again) && std::memcmp(again, values, sizeof again) == 0,
        "encode and decode disagree");
    return 0;
}
