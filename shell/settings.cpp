#include "shell/settings.h"

#include <cstdio>

#include "shell/message.h"
#include "shell/options_file.h"

Settings settings;
char optionsPath[260];

bool decodeOptions(const uint8_t* bytes, size_t size, int32_t values[kOptionsValueCount]) {
    uint8_t data[kOptionsDataBytes];
    size_t count = 0;
    for (size_t i = 0; i < size && count < kOptionsDataBytes; ++i) {
        uint8_t byte = bytes[i];
        if (byte == 0x0D && i + 1 < size && bytes[i + 1] == 0x0A) {
            byte = 0x0A;
            ++i;
        }
        // 0x1A is an ordinary byte here: a width of 282 holds one, and treating it as the end
        // of the file would throw away every setting.
        data[count++] = byte;
    }
    if (count < kOptionsDataBytes) return false;
    for (size_t v = 0; v < kOptionsValueCount; ++v) {
        const uint8_t* p = data + 4 * v;
        uint32_t word = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                        static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        values[v] = static_cast<int32_t>(word);
    }
    return true;
}

size_t encodeOptions(const int32_t values[kOptionsValueCount], uint8_t out[kOptionsMaxFileBytes]) {
    size_t count = 0;
    for (size_t v = 0; v < kOptionsValueCount; ++v) {
        uint32_t word = static_cast<uint32_t>(values[v]);
        for (int shift = 0; shift < 32; shift += 8) {
            uint8_t byte = static_cast<uint8_t>(word >> shift);
            if (byte == 0x0A) out[count++] = 0x0D;
            out[count++] = byte;
        }
    }
    return count;
}

int32_t qualityCode(uint32_t sampleRate) {
    if (sampleRate == 22050) return kQualityFm;
    if (sampleRate == 44100) return kQualityCd;
    return kQualityAm;
}

bool qualityFromCode(int32_t code, uint32_t& sampleRate, uint32_t& channels) {
    switch (code) {
        case kQualityAm:
            sampleRate = 8000;
            channels = 1;
            return true;
        case kQualityFm:
            sampleRate = 22050;
            channels = 2;
            return true;
        case kQualityCd:
            sampleRate = 44100;
            channels = 2;
            return true;
        default:
            return false;
    }
}

void loadOptions() {
    // Reading needs no write access: a read-only options file still counts.
    std::FILE* file = std::fopen(optionsPath, "rb");
    if (file == nullptr) return;
    uint8_t bytes[kOptionsMaxFileBytes];
    size_t size = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);

    int32_t values[kOptionsValueCount];
    if (!decodeOptions(bytes, size, values)) return;  // a short file is ignored as a whole
    settings.windowWidth = values[0];
    settings.windowHeight = values[1];
    settings.fontSize = values[2];
    settings.fontWeight = values[3];
    // An unknown quality code leaves the quality at its default.
    qualityFromCode(values[4], settings.sampleRate, settings.channels);
    settings.silenceMelody.store(values[5]);
}

void saveOptions() {
    const int32_t values[kOptionsValueCount] = {settings.windowWidth,
                                                settings.windowHeight,
                                                settings.fontSize,
                                                settings.fontWeight,
                                                qualityCode(settings.sampleRate),
                                                settings.silenceMelody.load()};
    uint8_t bytes[kOptionsMaxFileBytes];
    size_t size = encodeOptions(values, bytes);

    std::FILE* file = std::fopen(optionsPath, "wb");
    if (file == nullptr) return;  // cannot be created: silently not saved
    // A full disk often shows only when the buffer goes out, so the flush counts as writing.
    bool written = std::fwrite(bytes, 1, size, file) == size && std::fflush(file) == 0;
    if (!written) {
        char text[sizeof optionsPath + 40];
        std::snprintf(text, sizeof text, "Error saving the options file [%s].", optionsPath);
        showMessage(text);
    }
    std::fclose(file);
}
