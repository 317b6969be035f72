// The score notation: a few header lines, then bars of notes, syllables, chords and tempo
// changes. See README.md beside this file for the whole notation.

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "gen_songs.h"

namespace gensongs {
namespace {

struct Token {
    std::string text;
    int line;
};

std::string trim(const std::string& s) {
    size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool parseInt(const std::string& text, int low, int high, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

// "q", "h.", "e+s": a sum of note values, each possibly dotted.
bool parseDuration(const std::string& text, int32_t division, int32_t& ticks) {
    ticks = 0;
    std::stringstream parts(text);
    std::string part;
    while (std::getline(parts, part, '+')) {
        if (part.empty() || part.size() > 2) return false;
        int32_t value = 0;
        switch (part[0]) {
            case 'w':
                value = division * 4;
                break;
            case 'h':
                value = division * 2;
                break;
            case 'q':
                value = division;
                break;
            case 'e':
                value = division / 2;
                break;
            case 's':
                value = division / 4;
                break;
            default:
                return false;
        }
        if (part.size() == 2) {
            if (part[1] != '.') return false;
            value += value / 2;
        }
        ticks += value;
    }
    return ticks > 0;
}

// "C4", "F#4", "Bb3": MIDI note number; "r": a rest (-1).
bool parsePitch(const std::string& text, int& pitch) {
    if (text == "r") {
        pitch = -1;
        return true;
    }
    static const int kSteps[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (text.size() < 2 || text[0] < 'A' || text[0] > 'G') return false;
    int pc = kSteps[text[0] - 'A'];
    size_t i = 1;
    if (text[i] == '#')
        pc += 1, ++i;
    else if (text[i] == 'b')
        pc -= 1, ++i;
    int octave = 0;
    if (!parseInt(text.substr(i), 0, 9, octave)) return false;
    pitch = (octave + 1) * 12 + pc;
    return pitch >= 0 && pitch <= 127;
}

bool looksLikeNote(const std::string& text) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    return text[0] == 'r' || (text[0] >= 'A' && text[0] <= 'G' && colon >= 2);
}

// "C", "F#m", "G7", "Bbmaj7", "C/E", "-".
bool parseChord(const std::string& text, Chord& chord) {
    if (text == "-") {
        chord.silent = true;
        return true;
    }
    std::string symbol = text;
    std::string bass;
    size_t slash = symbol.find('/');
    if (slash != std::string::npos) {
        bass = symbol.substr(slash + 1);
        symbol = symbol.substr(0, slash);
    }
    auto pitchClass = [](const std::string& s, size_t& used, int& pc) {
        static const int kSteps[7] = {9, 11, 0, 2, 4, 5, 7};
        if (s.empty() || s[0] < 'A' || s[0] > 'G') return false;
        pc = kSteps[s[0] - 'A'];
        used = 1;
        if (s.size() > 1 && s[1] == '#')
            pc += 1, used = 2;
        else if (s.size() > 1 && s[1] == 'b')
            pc += 11, used = 2;
        pc %= 12;
        return true;
    };
    size_t used = 0;
    if (!pitchClass(symbol, used, chord.root)) return false;
    std::string quality = symbol.substr(used);
    struct Kind {
        const char* name;
        std::vector<int> intervals;
    };
    static const Kind kKinds[] = {
        {"", {0, 4, 7}},       {"m", {0, 3, 7}},        {"7", {0, 4, 7, 10}},
        {"m7", {0, 3, 7, 10}}, {"maj7", {0, 4, 7, 11}}, {"6", {0, 4, 7, 9}},
        {"m6", {0, 3, 7, 9}},  {"dim", {0, 3, 6}},      {"dim7", {0, 3, 6, 9}},
        {"aug", {0, 4, 8}},    {"sus4", {0, 5, 7}},     {"7sus4", {0, 5, 7, 10}},
    };
    bool known = false;
    for (const Kind& kind : kKinds) {
        if (quality == kind.name) {
            chord.intervals = kind.intervals;
            known = true;
        }
    }
    if (!known) return false;
    chord.bass = chord.root;
    if (!bass.empty()) {
        size_t bassUsed = 0;
        if (!pitchClass(bass, bassUsed, chord.bass) || bassUsed != bass.size()) return false;
    }
    chord.silent = false;
    return true;
}

// Key signatures by name: sharps positive, flats negative.
bool parseKey(const std::string& text, int& sharps, bool& minor) {
    static const char* kMajor[15] = {"Cb", "Gb", "Db", "Ab", "Eb", "Bb", "F", "C",
                                     "G",  "D",  "A",  "E",  "B",  "F#", "C#"};
    static const char* kMinor[15] = {"Abm", "Ebm", "Bbm", "Fm",  "Cm",  "Gm",  "Dm", "Am",
                                     "Em",  "Bm",  "F#m", "C#m", "G#m", "D#m", "A#m"};
    for (int i = 0; i < 15; ++i) {
        if (text == kMajor[i]) return sharps = i - 7, minor = false, true;
        if (text == kMinor[i]) return sharps = i - 7, minor = true, true;
    }
    return false;
}

// A syllable token as the singer reads it: "-" at the end joins it to the next syllable,
// otherwise the word ends and a blank follows; "_" stands for a blank inside the syllable.
std::string lyricText(const std::string& token) {
    std::string text = token;
    for (char& c : text)
        if (c == '_') c = ' ';
    size_t body = (!text.empty() && (text[0] == '\\' || text[0] == '/')) ? 1 : 0;
    if (text.size() > body + 1 && text.back() == '-') {
        text.pop_back();
        return text;
    }
    return text + " ";
}

class Parser {
  public:
    Parser(const std::string& name, Score& score, std::string& error)
        : name_(name), score_(score), error_(error) {}

    bool fail(int line, const std::string& what) {
        error_ = name_ + ":" + std::to_string(line) + ": " + what;
        return false;
    }

    bool header(const std::string& key, const std::string& value, int line) {
        std::stringstream words(value);
        std::string first, second;
        words >> first >> second;
        if (key == "title")
            score_.title = value;
        else if (key == "credit")
            score_.credit = value;
        else if (key == "file")
            score_.fileName = value;
        else if (key == "format") {
            if (!parseInt(value, 0, 1, score_.format)) return fail(line, "format is 0 or 1");
        } else if (key == "division") {
            if (!parseInt(value, 24, 960, score_.division) || score_.division % 8 != 0)
                return fail(line, "division is a multiple of 8 from 24 to 960");
        } else if (key == "time") {
            size_t slash = value.find('/');
            if (slash == std::string::npos ||
                !parseInt(value.substr(0, slash), 1, 12, score_.beatsPerBar) ||
                !parseInt(value.substr(slash + 1), 4, 4, score_.beatUnit))
                return fail(line, "time is beats/4, for instance 3/4");
        } else if (key == "key") {
            if (!parseKey(value, score_.keySharps, score_.minorKey))
                return fail(line, "unknown key " + value);
        } else if (key == "tempo") {
            int bpm = 0;
            if (!parseInt(value, 20, 300, bpm))
                return fail(line, "tempo is 20 to 300 quarter notes a minute");
            score_.tempos.push_back({0, static_cast<double>(bpm)});
        } else if (key == "lyrics") {
            if (value == "words")
                score_.lyrics = LyricStyle::words;
            else if (value == "lyric")
                score_.lyrics = LyricStyle::lyric;
            else if (value == "none")
                score_.lyrics = LyricStyle::none;
            else
                return fail(line, "lyrics is words, lyric or none");
        } else if (key == "melody") {
            if (!parseInt(first, 1, 128, score_.melodyProgram))
                return fail(line, "melody program is 1 to 128");
            size_t rest = value.find(first) + first.size();
            std::string trackName = trim(value.substr(rest));
            if (!trackName.empty()) score_.melodyName = trackName;
        } else if (key == "bass") {
            if (!parseInt(first, 1, 128, score_.bassProgram))
                return fail(line, "bass program is 1 to 128");
        } else if (key == "chords") {
            if (!parseInt(first, 1, 128, score_.chordsProgram))
                return fail(line, "chords program is 1 to 128");
            if (second != "block" && second != "oompah" && second != "sustain" &&
                second != "arpeggio")
                return fail(line, "chords style is block, oompah, sustain or arpeggio");
            score_.comp = second;
        } else if (key == "pad") {
            if (!parseInt(first, 1, 128, score_.padProgram))
                return fail(line, "pad program is 1 to 128");
        } else if (key == "drums") {
            if (value != "kit" && value != "brush" && value != "none")
                return fail(line, "drums is kit, brush or none");
            score_.drums = value;
        } else if (key == "pickup") {
            if (!parseDuration(value, score_.division, score_.pickup))
                return fail(line, "bad pickup length");
        } else {
            return fail(line, "unknown header " + key);
        }
        return true;
    }

    // Plays the bars between "|:" and ":|" twice.
    bool expandRepeats(std::vector<Token>& tokens) {
        std::vector<Token> out;
        size_t repeatFrom = 0;
        for (const Token& token : tokens) {
            if (token.text == "|:") {
                out.push_back({"|", token.line});
                repeatFrom = out.size();
            } else if (token.text == ":|") {
                out.push_back({"|", token.line});
                std::vector<Token> again(out.begin() + static_cast<long>(repeatFrom), out.end());
                out.insert(out.end(), again.begin(), again.end());
                repeatFrom = out.size();
            } else {
                out.push_back(token);
            }
        }
        tokens.swap(out);
        return true;
    }

    bool body(std::vector<Token>& tokens) {
        expandRepeats(tokens);
        const int32_t division = score_.division;
        int32_t now = 0;
        int32_t barStart = 0;
        int barLine = 0;
        int lastTiedPitch = -1;
        bool anyNote = false;
        for (const Token& token : tokens) {
            const std::string& t = token.text;
            if (t == "|" || t == "||") {
                if (now > barStart) {
                    score_.bars.push_back({barStart, now - barStart});
                    barLines_.push_back(token.line);
                    barStart = now;
                }
                barLine = token.line;
            } else if (t.size() > 2 && t.front() == '[' && t.back() == ']') {
                Chord chord;
                if (!parseChord(t.substr(1, t.size() - 2), chord))
                    return fail(token.line, "unknown chord " + t);
                chord.tick = now;
                if (!score_.chords.empty() && score_.chords.back().tick == now)
                    score_.chords.back() = chord;
                else
                    score_.chords.push_back(chord);
            } else if (t.rfind("tempo=", 0) == 0) {
                int bpm = 0;
                if (!parseInt(t.substr(6), 20, 300, bpm))
                    return fail(token.line, "tempo is 20 to 300");
                if (!score_.tempos.empty() && score_.tempos.back().tick == now)
                    score_.tempos.back().bpm = bpm;
                else
                    score_.tempos.push_back({now, static_cast<double>(bpm)});
            } else if (looksLikeNote(t)) {
                size_t colon = t.find(':');
                std::string duration = t.substr(colon + 1);
                bool tied = !duration.empty() && duration.back() == '~';
                if (tied) duration.pop_back();
                Note note;
                note.line = token.line;
                if (!parsePitch(t.substr(0, colon), note.pitch))
                    return fail(token.line, "bad pitch in " + t);
                if (!parseDuration(duration, division, note.length))
                    return fail(token.line, "bad duration in " + t);
                if (tied && note.pitch < 0) return fail(token.line, "a rest cannot be tied");
                if (note.pitch >= 0 && (note.pitch < 55 || note.pitch > 79))
                    return fail(token.line,
                                t + " lies outside the note lane and the singing range (G3 to G5)");
                note.start = now;
                note.tied = tied;
                now += note.length;
                if (lastTiedPitch >= 0) {
                    if (note.pitch != lastTiedPitch)
                        return fail(token.line, "a tie joins notes of one pitch");
                    Note& held = score_.notes.back();
                    held.length += note.length;
                    held.tied = tied;
                    continuation_ = true;
                } else {
                    score_.notes.push_back(note);
                    continuation_ = false;
                }
                lastTiedPitch = tied ? note.pitch : -1;
                anyNote = true;
            } else {
                if (!anyNote || continuation_)
                    return fail(token.line, "syllable \"" + t + "\" has no note of its own");
                Note& note = score_.notes.back();
                if (note.pitch < 0)
                    return fail(token.line, "syllable \"" + t + "\" is sung on a rest");
                if (note.hasSyllable)
                    return fail(token.line, "a second syllable \"" + t + "\" on one note");
                if (score_.lyrics == LyricStyle::none)
                    return fail(token.line, "a song without lyrics has a syllable");
                note.hasSyllable = true;
                note.syllable = lyricText(t);
            }
        }
        if (lastTiedPitch >= 0) return fail(barLine, "the last note is tied to nothing");
        if (now > barStart) {
            score_.bars.push_back({barStart, now - barStart});
            barLines_.push_back(barLine);
        }
        // Every bar is whole, except a pickup of the stated length and a shorter last bar.
        for (size_t i = 0; i < score_.bars.size(); ++i) {
            int32_t length = score_.bars[i].length;
            bool last = i + 1 == score_.bars.size();
            if (length == score_.barTicks() || (i == 0 && length == score_.pickup) ||
                (last && length < score_.barTicks()))
                continue;
            return fail(barLines_[i], "bar " + std::to_string(i + 1) + " has the wrong length");
        }
        score_.end = now;
        return true;
    }

  private:
    std::string name_;
    Score& score_;
    std::string& error_;
    std::vector<int> barLines_;  // the line that closes each bar
    bool continuation_ = false;
};

}  // namespace

bool parseScore(const std::string& text, const std::string& name, Score& score,
                std::string& error) {
    score = Score{};
    Parser parser(name, score, error);
    std::stringstream lines(text);
    std::string raw;
    int lineNumber = 0;
    bool inBody = false;
    std::vector<Token> tokens;
    while (std::getline(lines, raw)) {
        ++lineNumber;
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (!inBody && line[0] != '|') {
            size_t space = line.find_first_of(" \t");
            std::string key = line.substr(0, space);
            std::string value = space == std::string::npos ? "" : trim(line.substr(space));
            if (!parser.header(key, value, lineNumber)) return false;
            continue;
        }
        inBody = true;
        std::stringstream words(line);
        std::string word;
        while (words >> word) tokens.push_back({word, lineNumber});
    }
    if (score.fileName.empty()) return parser.fail(lineNumber, "no file name");
    if (score.tempos.empty() || score.tempos.front().tick != 0)
        return parser.fail(lineNumber, "no starting tempo");
    if (score.lyrics != LyricStyle::none && score.title.empty())
        return parser.fail(lineNumber, "no title");
    return parser.body(tokens);
}

std::vector<std::string> lyricLinesOf(const Score& score) {
    std::vector<std::string> lines;
    for (const Note& note : score.notes) {
        if (!note.hasSyllable) continue;
        std::string text = note.syllable;
        if (text[0] == '\\' || text[0] == '/' || lines.empty()) {
            lines.emplace_back();
            if (text[0] == '\\' || text[0] == '/') text.erase(0, 1);
        }
        lines.back() += text;
    }
    return lines;
}

}  // namespace gensongs
