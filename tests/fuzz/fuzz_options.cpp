// Feeds arbitrary bytes to the options reader: straight to the decoder, and as an options file
// on disk through loadOptions. Checks that both agree, that nothing is changed by a file too
// short to hold six values, and that writing the decoded values and reading them back gives
// the same values.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/host/recording_window.h"
#include "shell/options_file.h"
#include "shell/settings.h"
#include "tests/unit/support/unit_support.h"

namespace {

using unittest::resetSettings;
using Values = std::array<int32_t, kOptionsValueCount>;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_options: %s\n", what);
        std::abort();
    }
}

// The six values an options file holds, as the settings hold them now (the quality as its code).
Values current() {
    return {settings.windowWidth,  settings.windowHeight,           settings.fontSize,
            settings.fontWeight,   qualityCode(settings.sampleRate), settings.silenceMelody.load()};
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

    Values values{};
    bool decoded = decodeOptions(data, size, values.data());

    std::FILE* file = std::fopen(optionsPath, "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    resetSettings();
    loadOptions();
    if (!decoded) {
        check(current() == Values{640, 480, 20, 400, 1, 0} && settings.channels == 1,
              "a short file changed the settings");
        return 0;
    }
    uint32_t rate = 8000, channels = 1;
    qualityFromCode(values[4], rate, channels);
    Values read = values;
    read[4] = qualityCode(rate);
    check(current() == read, "the file read differs from the decoded bytes");
    check(settings.sampleRate == rate && settings.channels == channels, "wrong quality");

    // What is saved reads back the same.
    saveOptions();
    check(window.boxes().empty(), "saving showed a message");
    const Values saved = current();
    resetSettings();
    loadOptions();
    check(current() == saved, "saved options did not read back");

    uint8_t encoded[kOptionsMaxFileBytes];
    size_t encodedSize = encodeOptions(values.data(), encoded);
    Values again{};
    check(decodeOptions(encoded, encodedSize, again.data()) && again == values,
          "encode and decode disagree");
    return 0;
}
