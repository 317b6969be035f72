#pragma once
// What many unit tests share: the settings of a fresh program, the message texts exactly as the
// user reads them (written out here, not taken from the string table, so a changed text is
// caught), a scratch folder, and reading back the bytes of a file the program wrote.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "playback/key_tempo.h"
#include "shell/settings.h"

namespace unittest {

const char kMsgCannotCreateRecording[] =  // 104
    "Unable to create temporary wave output file. Make sure media subfolder exists.";
const char kMsgCannotOpenWaveIn[] =  // 105
    "Unable to open the default wave in device.  Make sure it is not in use by another process.";
const char kMsgCannotPrepareHeader[] =  // 106
    "Unable to prepare a wave in header.  Try another recording quality.";
const char kMsgCannotCloseWaveIn[] =  // 107
    "Unable to close the wave in device.  Restart the program to continue recording.";
const char kMsgCannotStartRecording[] =  // 108
    "Unable to start recording.  This feature temporarily disabled.";
const char kMsgCannotLoadGraphics[] =  // 110
    "Unable to load a graphics file.  Reinstall the original graphics into the media/images "
    "subfolder.";
const char kMsgBufferLimits[] =  // 111
    "The file has exceeded the buffer limits for notes and/or lyrics.  It may not play properly.";
const char kMsgCannotKillTimer[] = "Unable to kill the Midi timer.";    // 112
const char kMsgCannotStartTimer[] = "Unable to start the Midi timer.";  // 114

// Every setting back at the value a fresh program starts with, taken from the program's own
// defaults. The atomics make Settings unassignable, hence one field at a time.
inline void resetSettings() {
    const Settings fresh;
    settings.windowWidth = fresh.windowWidth.load();
    settings.windowHeight = fresh.windowHeight.load();
    settings.fontSize = fresh.fontSize;
    settings.fontWeight = fresh.fontWeight;
    settings.sampleRate = fresh.sampleRate;
    settings.channels = fresh.channels;
    settings.bitsPerSample = fresh.bitsPerSample;
    settings.silenceMelody = fresh.silenceMelody.load();
    settings.record = fresh.record.load();
    settings.critique = fresh.critique.load();
    settings.octaveLower = fresh.octaveLower.load();
    // Key and tempo are session choices beside the settings; a fresh program starts at neither.
    keyShift.store(0);
    tempoPercent.store(kTempoOriginal);
}

// A folder of the test's own for the files it makes; it goes, with all it holds, when the test
// ends. Without one the test must not run: its files would land in the root folder.
class ScratchFolder {
public:
    ScratchFolder()
        : path_((std::filesystem::temp_directory_path() / "lyrivox-test-XXXXXX").string()) {
        if (mkdtemp(path_.data()) == nullptr)
            throw std::runtime_error("cannot make a scratch folder");
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The path of `name` in the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

using Bytes = std::vector<uint8_t>;

inline Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A little-endian value of `width` bytes at `at`.
inline uint32_t le(const Bytes& bytes, size_t at, int width = 4) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value |= uint32_t{bytes.at(at + static_cast<size_t>(i))} << (8 * i);
    return value;
}

}  // namespace unittest
