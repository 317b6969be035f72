// lvx-pitch: runs the pitch detector over a 16-bit PCM WAV file the way the critique does and
// prints, for each consecutive block of 1024 samples, the block's start time in milliseconds,
// the sung fundamental in Hz (0 when the block is too quiet or holds no periodic sound) and the
// lane slot that would be published.
//
//   lvx-pitch [--octave-lower] file.wav
//
// Several channels are mixed to one. A last block shorter than 1024 samples is not analysed.
// The temporary recording can be read while a song is still being recorded.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "voice/pitch.h"

namespace {

struct Pcm {
    uint32_t rate = 0;
    uint16_t channels = 0;
    std::vector<int16_t> mono;
};

// Reads little-endian values out of a byte buffer; anything past the end reads as 0.
uint32_t le(const std::vector<unsigned char>& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        if (at + i < bytes.size()) value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

bool readWav(const char* path, Pcm* pcm, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open the file";
        return false;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        *error = "not a RIFF/WAVE file";
        return false;
    }
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const unsigned char* id = bytes.data() + at;
        size_t size = le(bytes, at + 4, 4);
        size_t body = at + 8;
        size_t available = bytes.size() - body;
        // A take cut short, or still being written (its sizes are set only when it is
        // finished, so the data chunk states 0): take the samples that are there.
        if (size > available || (size == 0 && std::memcmp(id, "data", 4) == 0)) size = available;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            uint32_t tag = le(bytes, body, 2);
            pcm->channels = static_cast<uint16_t>(le(bytes, body + 2, 2));
            pcm->rate = le(bytes, body + 4, 4);
            uint32_t bits = le(bytes, body + 14, 2);
            if ((tag != 1 && tag != 0xFFFE) || bits != 16 || pcm->channels == 0 || pcm->rate == 0 ||
                size < 16) {
                *error = "only 16-bit PCM is supported";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!haveFormat) {
                *error = "data chunk before the format chunk";
                return false;
            }
            size_t frames = size / (2u * pcm->channels);
            pcm->mono.resize(frames);
            for (size_t f = 0; f < frames; ++f) {
                int32_t sum = 0;
                for (uint16_t c = 0; c < pcm->channels; ++c)
                    sum += static_cast<int16_t>(le(bytes, body + 2 * (f * pcm->channels + c), 2));
                pcm->mono[f] = static_cast<int16_t>(sum / pcm->channels);
            }
            return true;
        }
        at = body + size + (size & 1);  // chunks are padded to even sizes
    }
    *error = haveFormat ? "no data chunk" : "no format chunk";
    return false;
}

int usage() {
    std::fprintf(stderr, "usage: lvx-pitch [--octave-lower] file.wav\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t octaveLower = 0;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--octave-lower") == 0)
            octaveLower = 1;
        else if (argv[i][0] == '-' || path)
            return usage();
        else
            path = argv[i];
    }
    if (!path) return usage();

    Pcm pcm;
    std::string error;
    if (!readWav(path, &pcm, &error)) {
        std::fprintf(stderr, "lvx-pitch: %s: %s\n", path, error.c_str());
        return 1;
    }
    for (size_t start = 0; start + kPitchBlockSamples <= pcm.mono.size(); start += kPitchBlockSamples) {
        const int16_t* block = pcm.mono.data() + start;
        int32_t hz = EstimatePitchHz(block, pcm.rate, octaveLower);
        int32_t slot = PublishedPitchSlot(block, pcm.rate, octaveLower);
        auto ms = static_cast<unsigned long long>(start) * 1000ull / pcm.rate;
        std::printf("%llu %d %d\n", ms, static_cast<int>(hz), static_cast<int>(slot));
    }
    return 0;
}
