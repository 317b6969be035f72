#pragma once
// lvx-sing's logic: a small Standard MIDI File reader that finds the melody the way Lyrivox
// names it and times its notes by the file's tempo map, and a synthetic singer that sings
// those notes. Kept apart from the program's own loader on purpose, so that the end-to-end
// tests that feed this voice to the microphone check the program instead of agreeing with it.
// The sung voices come from the shared synthetic singer (tools/voice-gen), which is no part of
// the program either.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../voice-gen/voice_gen.h"

namespace sing {

// One melody note as the song holds it, timed in milliseconds from the start of the song.
struct Note {
    double startMs = 0;
    double endMs = 0;
    int key = 0;      // MIDI note number
    int channel = 0;  // 0..15
};

struct Song {
    bool ok = false;
    std::string error;                  // why the file was refused, when !ok
    std::vector<std::string> warnings;  // damage met on the way (a track cut short, ...)
    std::vector<Note> notes;            // melody notes, sorted by start (then key)
    double lengthMs = 0;                // time of the song's last event, of any track
};

// Lyrivox takes a track as its melody when its name starts with "melody" (any case), or with
// "vocal" when no melody track was found before it. Names under 5 or over 79 bytes are not
// looked at. Returns 1 for "melody", 2 for "vocal", 0 otherwise.
inline int melodyNameKind(const std::string& name) {
    if (name.size() < 5 || name.size() > 79) return 0;
    auto startsWith = [&name](const char* word) {
        for (size_t i = 0; word[i] != 0; ++i) {
            if (i >= name.size()) return false;
            if (std::tolower(static_cast<unsigned char>(name[i])) != word[i]) return false;
        }
        return true;
    };
    if (startsWith("melody")) return 1;
    if (startsWith("words")) return 0;
    if (startsWith("vocal")) return 2;
    return 0;
}

namespace detail {

// Reads forward through one chunk's bytes; every read past the end sets `broken`.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool broken = false;

    bool atEnd() const { return at >= size; }
    int byte() {
        if (at >= size) {
            broken = true;
            return 0;
        }
        return data[at++];
    }
    int peek() const { return at < size ? data[at] : -1; }
    // A variable-length quantity of at most four bytes (28 bits), as the file format allows.
    uint32_t vlq() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            int b = byte();
            if (broken) return 0;
            value = (value << 7) | static_cast<uint32_t>(b & 0x7F);
            if ((b & 0x80) == 0) return value;
        }
        broken = true;
        return 0;
    }
    void skip(uint32_t n) {
        if (n > size - std::min(at, size)) {
            at = size;
            broken = true;
        } else {
            at += n;
        }
    }
};

inline uint32_t bigEndian(const uint8_t* p, int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | p[i];
    return value;
}

// The four bytes of a chunk id, bytes outside printable ASCII shown as '?'.
inline std::string chunkId(const std::vector<uint8_t>& file, size_t at) {
    std::string id;
    for (size_t i = at; i < at + 4; ++i)
        id += file[i] >= 0x20 && file[i] < 0x7F ? static_cast<char>(file[i]) : '?';
    return id;
}

struct TickNote {
    int64_t start;
    int64_t end;
    int key;
    int channel;
};

struct TempoChange {
    int64_t tick;
    uint32_t microsPerQuarter;
    size_t order;  // file order, so that of two changes on one tick the later one wins
};

}  // namespace detail

// Turns ticks into milliseconds. Metrical files start at 120 bpm (500,000 µs a quarter) and
// follow every tempo change of any track; SMPTE files run at frames × ticks per frame a second
// and have no tempo.
class TempoMap {
  public:
    static TempoMap metrical(uint32_t ticksPerQuarter, std::vector<detail::TempoChange> changes) {
        TempoMap map;
        std::stable_sort(changes.begin(), changes.end(),
                         [](const detail::TempoChange& a, const detail::TempoChange& b) {
                             return a.tick < b.tick;
                         });
        double ticksPerQ = ticksPerQuarter;
        Segment current{0, 0.0, 500000.0 / 1000.0 / ticksPerQ};
        for (const auto& change : changes) {
            if (change.microsPerQuarter == 0) continue;  // a tempo of zero would stop time
            double ms =
                current.ms + static_cast<double>(change.tick - current.tick) * current.msPerTick;
            if (change.tick > current.tick) map.segments_.push_back(current);
            current = Segment{change.tick, ms, change.microsPerQuarter / 1000.0 / ticksPerQ};
        }
        map.segments_.push_back(current);
        return map;
    }
    static TempoMap smpte(double framesPerSecond, uint32_t ticksPerFrame) {
        TempoMap map;
        map.segments_.push_back(Segment{0, 0.0, 1000.0 / (framesPerSecond * ticksPerFrame)});
        return map;
    }

    double ms(int64_t tick) const {
        // The last segment that starts at or before the tick.
        auto it = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                   [](int64_t t, const Segment& s) { return t < s.tick; });
        const Segment& s = it == segments_.begin() ? segments_.front() : *(it - 1);
        return s.ms + static_cast<double>(tick - s.tick) * s.msPerTick;
    }

  private:
    struct Segment {
        int64_t tick;
        double ms;
        double msPerTick;
    };
    std::vector<Segment> segments_;
};

// Reads a Standard MIDI File of format 0 or 1 and gives its melody notes in milliseconds.
// A note-on of velocity 0 ends a note like a note-off; a note still sounding when its track
// ends lasts to the track's last event.
inline Song readSong(const std::vector<uint8_t>& file) {
    Song song;
    if (file.size() < 14 || detail::chunkId(file, 0) != "MThd") {
        song.error = "not a Standard MIDI File (no MThd header)";
        return song;
    }
    uint32_t headerLength = detail::bigEndian(file.data() + 4, 4);
    if (headerLength < 6 || headerLength > file.size() - 8) {
        song.error = "the header chunk is cut short";
        return song;
    }
    uint32_t format = detail::bigEndian(file.data() + 8, 2);
    if (format > 1) {
        song.error = "format " + std::to_string(format) + " files are not songs Lyrivox plays";
        return song;
    }
    uint8_t b0 = file[12];
    uint8_t b1 = file[13];
    bool smpte = (b0 & 0x80) != 0;
    double framesPerSecond = 0;
    uint32_t ticksPerQuarter = 0;
    if (smpte) {
        int frames = 256 - b0;
        // -29 is 30-frame drop-frame time code, which runs at 29.97 frames a second.
        framesPerSecond = frames == 29 ? 30000.0 / 1001.0 : frames;
        if (b1 == 0) {
            song.error = "SMPTE division with 0 ticks per frame";
            return song;
        }
    } else {
        ticksPerQuarter = static_cast<uint32_t>(b0) << 8 | b1;
        if (ticksPerQuarter == 0) {
            song.error = "division of 0 ticks per quarter note";
            return song;
        }
    }

    std::vector<detail::TickNote> notes;
    std::vector<detail::TempoChange> tempos;
    int64_t lastTick = 0;
    bool melodyFound = false;
    int trackNumber = 0;

    size_t at = 8 + headerLength;
    while (at + 8 <= file.size()) {
        std::string id = detail::chunkId(file, at);
        uint32_t length = detail::bigEndian(file.data() + at + 4, 4);
        size_t body = at + 8;
        size_t available = file.size() - body;
        if (length > available) {
            song.warnings.push_back(id + " chunk states " + std::to_string(length) +
                                    " bytes, the file holds " + std::to_string(available));
        }
        size_t size = std::min<size_t>(length, available);
        at = body + size;
        if (id != "MTrk") continue;  // other chunks are stepped over by their length
        ++trackNumber;

        detail::Reader r{file.data() + body, size};
        int64_t tick = 0;
        int running = 0;
        bool isMelody = false;
        bool ended = false;
        // Notes sounding in this track, first in first out per channel and key.
        std::vector<detail::TickNote> sounding;
        while (!r.atEnd() && !ended) {
            uint32_t delta = r.vlq();
            if (r.broken) break;
            tick += delta;
            int status = r.peek();
            if (status >= 0x80) {
                r.byte();
            } else if (running != 0) {
                status = running;  // running status: this byte is the first data byte
            } else {
                song.warnings.push_back(
                    "track " + std::to_string(trackNumber) +
                    ": a data byte without a status; the rest of the track is skipped");
                break;
            }
            if (status < 0xF0) {
                running = status;
                int kind = status & 0xF0;
                int channel = status & 0x0F;
                int d1 = r.byte();
                int d2 = (kind == 0xC0 || kind == 0xD0) ? 0 : r.byte();
                if (r.broken) break;
                lastTick = std::max(lastTick, tick);
                if (!isMelody) continue;
                if (kind == 0x90 && d2 > 0) {
                    sounding.push_back(detail::TickNote{tick, tick, d1, channel});
                } else if (kind == 0x80 || kind == 0x90) {
                    auto it = std::find_if(sounding.begin(), sounding.end(),
                                           [&](const detail::TickNote& n) {
                                               return n.key == d1 && n.channel == channel;
                                           });
                    if (it != sounding.end()) {
                        it->end = tick;
                        notes.push_back(*it);
                        sounding.erase(it);
                    }
                }
            } else if (status == 0xFF) {
                running = 0;  // meta and system exclusive events end running status
                int type = r.byte();
                uint32_t len = r.vlq();
                if (r.broken) break;
                if (len > r.size - r.at) {
                    r.broken = true;
                    break;
                }
                const uint8_t* data = r.data + r.at;
                r.skip(len);
                lastTick = std::max(lastTick, tick);
                if (type == 0x03) {
                    int kind =
                        melodyNameKind(std::string(reinterpret_cast<const char*>(data), len));
                    if (kind == 1 || (kind == 2 && !melodyFound)) {
                        isMelody = true;
                        melodyFound = true;
                    }
                } else if (type == 0x51 && len >= 3 && !smpte) {
                    tempos.push_back(
                        detail::TempoChange{tick, detail::bigEndian(data, 3), tempos.size()});
                } else if (type == 0x2F) {
                    ended = true;
                }
            } else if (status == 0xF0 || status == 0xF7) {
                running = 0;
                uint32_t len = r.vlq();
                r.skip(len);
                if (r.broken) break;
                lastTick = std::max(lastTick, tick);
            } else {
                song.warnings.push_back("track " + std::to_string(trackNumber) +
                                        ": system status byte " + std::to_string(status) +
                                        " in a file; the rest of the track is skipped");
                break;
            }
        }
        if (r.broken) {
            song.warnings.push_back("track " + std::to_string(trackNumber) +
                                    " ends inside an event");
        }
        for (auto& n : sounding) {
            n.end = tick > n.start ? tick : lastTick;
            notes.push_back(n);
        }
    }

    TempoMap map =
        smpte ? TempoMap::smpte(framesPerSecond, b1) : TempoMap::metrical(ticksPerQuarter, tempos);
    for (const auto& n : notes) {
        song.notes.push_back(
            Note{map.ms(n.start), map.ms(std::max(n.end, n.start)), n.key, n.channel});
    }
    std::stable_sort(song.notes.begin(), song.notes.end(), [](const Note& a, const Note& b) {
        return a.startMs != b.startMs ? a.startMs < b.startMs : a.key > b.key;
    });
    song.lengthMs = map.ms(lastTick);
    song.ok = true;
    return song;
}

// Equal temperament, A4 (note 69) at 440 Hz.
inline double noteHz(int key, int transpose = 0) {
    return 440.0 * std::pow(2.0, (key + transpose - 69) / 12.0);
}

// Who sings: a man or a woman (a sung vowel, changing from note to note), or a plain tone.
enum class Singer { Male, Female, Sine };

struct Voice {
    uint32_t rate = 8000;
    int transpose = 0;     // semitones
    double leadMs = 0;     // silence before the song's time 0
    bool silence = false;  // sing nothing, only the song's length of silence
    Singer singer = Singer::Male;
    double noiseDbfs = -200;  // a microphone's noise floor under everything; -150 or less: none
};

// The tone's weights of the fundamental and its harmonics, and the waveform's peak (a sung
// note's too): -12 dBFS.
constexpr double kPartials[] = {1.0, 0.45, 0.25, 0.12};
constexpr double kPeak = 0.25;
constexpr double kVibratoHz = 5.0;
constexpr double kVibratoCents = 15.0;
constexpr double kRampMs = 10.0;

// The parts of the song the one voice sings: notes that begin together are sung as the highest
// of them, and a note is cut where the next one begins.
struct Sung {
    double startMs;
    double endMs;
    double hz;
};

inline std::vector<Sung> phrase(const Song& song, int transpose) {
    std::vector<Sung> sung;
    const auto& notes = song.notes;  // sorted by start, highest key first
    for (size_t i = 0; i < notes.size(); ++i) {
        if (i > 0 && notes[i].startMs == notes[i - 1].startMs) continue;
        double end = notes[i].endMs;
        for (size_t j = i + 1; j < notes.size(); ++j) {
            if (notes[j].startMs > notes[i].startMs) {
                end = std::min(end, notes[j].startMs);
                break;
            }
        }
        if (end > notes[i].startMs)
            sung.push_back(Sung{notes[i].startMs, end, noteHz(notes[i].key, transpose)});
    }
    return sung;
}

// The recording with the voice's noise floor (white noise) added under all of it.
inline std::vector<int16_t> withNoiseFloor(std::vector<int16_t> out, const Voice& voice) {
    if (voice.noiseDbfs <= -150 || out.empty()) return out;
    std::vector<double> floor = voicegen::noise(false, voice.noiseDbfs, out.size(), 99);
    for (size_t i = 0; i < out.size(); ++i) floor[i] += out[i];
    return voicegen::toPcm(floor);
}

inline int64_t sampleAt(double ms, uint32_t rate) {
    return static_cast<int64_t>(std::llround(ms * rate / 1000.0));
}

// The whole recording, lead silence included, as 16-bit samples.
inline std::vector<int16_t> render(const Song& song, const Voice& voice) {
    double endMs = song.lengthMs;
    for (const auto& n : song.notes) endMs = std::max(endMs, n.endMs);
    std::vector<int16_t> out(static_cast<size_t>(sampleAt(voice.leadMs + endMs, voice.rate)), 0);
    if (voice.silence) return withNoiseFloor(out, voice);

    const double pi = 3.14159265358979323846;
    const double rate = voice.rate;
    const size_t partials = sizeof kPartials / sizeof kPartials[0];

    size_t sungCount = 0;
    for (const Sung& s : phrase(song, voice.transpose)) {
        const size_t index = sungCount++;
        int64_t first = sampleAt(voice.leadMs + s.startMs, voice.rate);
        int64_t last = std::min<int64_t>(sampleAt(voice.leadMs + s.endMs, voice.rate),
                                         static_cast<int64_t>(out.size()));
        int64_t length = last - first;
        if (length <= 0) continue;
        double ramp = std::min(kRampMs * rate / 1000.0, static_cast<double>(length) / 2.0);
        if (voice.singer != Singer::Sine) {
            // A vowel a note, a e i o u in turn, each note a singer of its own seed.
            voicegen::Singer person;
            person.female = voice.singer == Singer::Female;
            person.noiseDbfs = -200;  // the floor, if any, comes under the whole recording
            person.seed = static_cast<uint32_t>(index + 1);
            std::vector<double> note = voicegen::sing(s.hz, voicegen::kVowels[index % 5], person,
                                                      static_cast<size_t>(length), voice.rate);
            double notePeak = 0;
            for (double x : note) notePeak = std::max(notePeak, std::abs(x));
            if (notePeak == 0) continue;
            for (int64_t i = 0; i < length; ++i) {
                double fromEdge =
                    std::min(static_cast<double>(i) + 0.5, static_cast<double>(length - i) - 0.5);
                double envelope = fromEdge >= ramp ? 1.0 : 0.5 - 0.5 * std::cos(pi * fromEdge / ramp);
                double sample = std::round(note[static_cast<size_t>(i)] * envelope * kPeak * 32767.0 / notePeak);
                out[static_cast<size_t>(first + i)] =
                    static_cast<int16_t>(std::max(-32768.0, std::min(32767.0, sample)));
            }
            continue;
        }
        // Partials that would fold back below the Nyquist frequency are left out; the rest are
        // scaled so that the waveform's peak sits at kPeak.
        size_t count = 0;
        while (count < partials && s.hz * static_cast<double>(count + 1) < 0.45 * rate) ++count;
        double wavePeak = 0;
        for (int step = 0; step < 4096; ++step) {
            double value = 0;
            for (size_t k = 0; k < count; ++k)
                value +=
                    kPartials[k] * std::sin(static_cast<double>(k + 1) * 2 * pi * step / 4096.0);
            wavePeak = std::max(wavePeak, std::abs(value));
        }
        if (wavePeak == 0) continue;
        const double scale = kPeak * 32767.0 / wavePeak;
        double phase = 0;
        for (int64_t i = 0; i < length; ++i) {
            double t = static_cast<double>(i) / rate;
            double cents = kVibratoCents * std::sin(2 * pi * kVibratoHz * t);
            phase += 2 * pi * s.hz * std::pow(2.0, cents / 1200.0) / rate;
            double value = 0;
            for (size_t k = 0; k < count; ++k)
                value += kPartials[k] * std::sin(static_cast<double>(k + 1) * phase);
            // Raised-cosine attack and release.
            double fromEdge =
                std::min(static_cast<double>(i) + 0.5, static_cast<double>(length - i) - 0.5);
            double envelope = fromEdge >= ramp ? 1.0 : 0.5 - 0.5 * std::cos(pi * fromEdge / ramp);
            double sample = std::round(value * envelope * scale);
            out[static_cast<size_t>(first + i)] =
                static_cast<int16_t>(std::max(-32768.0, std::min(32767.0, sample)));
        }
    }
    return withNoiseFloor(out, voice);
}

inline void putLittle(std::vector<uint8_t>& bytes, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The 44-byte header of a 16-bit mono PCM RIFF/WAVE file holding `dataBytes` bytes of samples.
inline std::vector<uint8_t> wavHeader(uint32_t rate, uint32_t dataBytes) {
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    putLittle(h, 36 + dataBytes, 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLittle(h, 16, 4);        // format chunk size
    putLittle(h, 1, 2);         // PCM
    putLittle(h, 1, 2);         // one channel
    putLittle(h, rate, 4);      // samples a second
    putLittle(h, rate * 2, 4);  // bytes a second
    putLittle(h, 2, 2);         // bytes a sample frame
    putLittle(h, 16, 2);        // bits a sample
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    putLittle(h, dataBytes, 4);
    return h;
}

// Signed 16-bit little-endian samples, what PulseAudio's pipe source reads as s16le.
inline std::vector<uint8_t> rawBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    bytes.reserve(samples.size() * 2);
    for (int16_t s : samples) putLittle(bytes, static_cast<uint16_t>(s), 2);
    return bytes;
}

}  // namespace sing
