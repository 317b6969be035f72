// lvx-sing: sings the melody of a MIDI/karaoke song into a sound file, for the tests that feed
// Lyrivox's microphone. Each melody note is sung from its time in the song to its end,
// silence between: by a man (the default) or a woman, a vowel a note (a e i o u in turn) with
// vibrato, jitter, shimmer and breath, or, with --voice sine, as a tone at the note's frequency
// with a few weaker harmonics and a slight vibrato. --noise adds a microphone's noise floor
// (white noise, RMS in dBFS) under the whole recording, --silence included.
//
//   lvx-sing [--rate 8000] [--format raw|wav] [--transpose SEMITONES] [--silence]
//            [--voice male|female|sine] [--noise DBFS] [--lead-ms N] [--tempo PERCENT]
//            [--notes] SONG [OUT]
//
// raw is signed 16-bit little-endian mono (what PulseAudio's pipe source reads), wav the same
// behind a 44-byte header; without --format an OUT ending in ".wav" gets wav. OUT "-" writes
// the sound to standard output; OUT may be left out with --notes, which prints each melody
// note as "<start ms> <end ms> <note> <Hz as sung>" and then "notes <count>".

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sing.h"

namespace {

const char kUsage[] =
    "usage: lvx-sing [--rate 8000] [--format raw|wav] [--transpose SEMITONES] [--silence]\n"
    "                [--voice male|female|sine] [--noise DBFS] [--lead-ms N] [--tempo PERCENT]\n"
    "                [--notes] SONG [OUT]\n";

// Longer than any song; a damaged file can state days of silence, which are not written.
constexpr double kLongestMs = 3600000.0;

bool parseNumber(const char* text, double low, double high, double* value) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text, &end);
    if (end == text || *end != 0 || errno != 0 || !(v >= low && v <= high)) return false;
    *value = v;
    return true;
}

bool endsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "lvx-sing: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    sing::Voice voice;
    std::string format;
    bool listNotes = false;
    double tempoPercent = 100;  // sung along a song played faster or slower, as Key & Tempo does
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](double low, double high, double* out) {
            if (i + 1 >= argc || !parseNumber(argv[i + 1], low, high, out)) return false;
            ++i;
            return true;
        };
        double v = 0;
        if (arg == "--rate") {
            if (!value(1000, 192000, &v))
                return fail("--rate takes a sample rate from 1000 to 192000");
            voice.rate = static_cast<uint32_t>(v);
        } else if (arg == "--transpose") {
            if (!value(-48, 48, &v) || v != static_cast<int>(v))
                return fail("--transpose takes whole semitones from -48 to 48");
            voice.transpose = static_cast<int>(v);
        } else if (arg == "--lead-ms") {
            if (!value(0, 3600000, &v))
                return fail("--lead-ms takes milliseconds from 0 to 3600000");
            voice.leadMs = v;
        } else if (arg == "--tempo") {
            if (!value(50, 150, &v)) return fail("--tempo takes a percentage of the song's speed from 50 to 150");
            tempoPercent = v;
        } else if (arg == "--format") {
            if (i + 1 >= argc) return fail("--format takes raw or wav");
            format = argv[++i];
            if (format != "raw" && format != "wav") return fail("--format takes raw or wav");
        } else if (arg == "--voice") {
            const std::string who = i + 1 < argc ? argv[++i] : "";
            if (who == "male")
                voice.singer = sing::Singer::Male;
            else if (who == "female")
                voice.singer = sing::Singer::Female;
            else if (who == "sine")
                voice.singer = sing::Singer::Sine;
            else
                return fail("--voice takes male, female or sine");
        } else if (arg == "--noise") {
            if (!value(-120, 0, &v)) return fail("--noise takes a level in dBFS from -120 to 0");
            voice.noiseDbfs = v;
        } else if (arg == "--silence") {
            voice.silence = true;
        } else if (arg == "--notes") {
            listNotes = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            std::fputs(kUsage, stderr);
            return fail("unknown option " + arg);
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.empty() || paths.size() > 2 || (paths.size() == 1 && !listNotes)) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    const std::string& songPath = paths[0];
    std::string outPath = paths.size() > 1 ? paths[1] : "";
    if (listNotes && outPath == "-")
        return fail("--notes and OUT \"-\" would mix text and sound on standard output");
    if (format.empty()) format = endsWith(outPath, ".wav") ? "wav" : "raw";

    std::ifstream in(songPath, std::ios::binary);
    if (!in) return fail("cannot open " + songPath);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    sing::Song song = sing::readSong(bytes);
    for (const auto& w : song.warnings)
        std::fprintf(stderr, "lvx-sing: %s: %s\n", songPath.c_str(), w.c_str());
    if (!song.ok) return fail(songPath + ": " + song.error);
    for (auto& n : song.notes) {
        n.startMs = n.startMs * 100 / tempoPercent;
        n.endMs = n.endMs * 100 / tempoPercent;
    }
    song.lengthMs = song.lengthMs * 100 / tempoPercent;
    if (song.notes.empty())
        std::fprintf(stderr, "lvx-sing: %s: no melody notes found\n", songPath.c_str());

    // The detector searches 125 to 860 Hz, from 62.5 Hz with Singing Octave Lower, which is
    // what a voice an octave or more below the melody is sung with.
    const double lowest = voice.transpose <= -12 ? 62.5 : 125.0;
    int outside = 0;
    for (const auto& n : song.notes) {
        double hz = sing::noteHz(n.key, voice.transpose);
        if (hz < lowest || hz >= 860.0) ++outside;
        if (listNotes) std::printf("%.1f %.1f %d %.2f\n", n.startMs, n.endMs, n.key, hz);
    }
    if (listNotes) std::printf("notes %zu\n", song.notes.size());
    if (outside > 0 && !voice.silence)
        std::fprintf(stderr,
                     "lvx-sing: %d of %zu notes are sung outside %g..860 Hz, where the pitch is "
                     "not searched\n",
                     outside, song.notes.size(), lowest);
    if (outPath.empty()) return 0;

    double endMs = song.lengthMs;
    for (const auto& n : song.notes) endMs = std::max(endMs, n.endMs);
    if (voice.leadMs + endMs > kLongestMs)
        return fail(songPath + ": the song lasts " + std::to_string(endMs / 3600000.0) +
                    " hours; that is no song");
    std::vector<uint8_t> data = sing::rawBytes(sing::render(song, voice));
    if (data.size() > 0xFFFFFFFFu - 36u) return fail("the song is too long for a WAV file");
    std::vector<uint8_t> file;
    if (format == "wav") file = sing::wavHeader(voice.rate, static_cast<uint32_t>(data.size()));
    file.insert(file.end(), data.begin(), data.end());

    FILE* out = outPath == "-" ? stdout : std::fopen(outPath.c_str(), "wb");
    if (out == nullptr) return fail("cannot create " + outPath);
    bool written = file.empty() || std::fwrite(file.data(), 1, file.size(), out) == file.size();
    bool closed = outPath == "-" ? std::fflush(out) == 0 : std::fclose(out) == 0;
    if (!written || !closed) return fail("cannot write " + outPath);
    return 0;
}
