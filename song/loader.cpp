#include "song/loader.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/window.h"
#include "shell/command_ids.h"
#include "shell/message.h"
#include "shell/settings.h"
#include "song/song_model.h"
#include "platform/utf8.h"
#include "stage/layout.h"

namespace {

const char kBanner[] = "Tessaloon Music Software";
const char kLimitsMessage[] =
    "The file has exceeded the buffer limits for notes and/or lyrics.  It may not play properly.";

constexpr int kLineTextMax = kLyricLineChars - 1;  // characters a line may hold
constexpr int kMaxVlqBytes = 4;

// Ticks per period as 8.24 fixed point from a ratio, rounded down: a song may run late by less
// than a step per period, never early. A song that would go faster than the value can say
// stops just below 256 ticks; one that would go slower than the smallest step still moves, so
// it never freezes.
uint32_t periodFromRatio(uint64_t numerator, uint64_t denominator) {
    uint64_t value = (numerator << kPeriodFractionBits) / denominator;
    if (value > kPeriodMax) return kPeriodMax;
    if (value == 0) return 1;
    return static_cast<uint32_t>(value);
}

// Ticks per 25 ms period for a tempo of `microsPerQuarter` at a division of `ticksPerQuarter`:
// 25 ms hold 25000 / microsPerQuarter quarter notes.
uint32_t periodForTempo(uint64_t division, uint64_t microsPerQuarter) {
    return periodFromRatio(uint64_t{timerPeriodMs} * 1000 * division, microsPerQuarter);
}

// The working state of one load.
struct Loader {
    std::FILE* file = nullptr;
    long fileSize = -1;  // -1 when the file cannot tell its size

    uint8_t runningStatus = 0;
    int32_t trackTick = 0;
    uint8_t fileFormat = 0;
    bool smpteTiming = false;
    uint32_t smpteTicksPerSecond = 0;  // frames per second x ticks per frame
    bool trackIsMelody = false;
    bool trackIsWords = false;
    bool lyricsSeen = false;
    bool lyricsClosed = false;
    bool endOfTrack = false;
    int32_t lineIndex = 0;
    int32_t column = 0;
    int32_t previousWidth = 0;
    int32_t syllableIndex = 0;
    bool breakPending = false;      // a CR or LF ended the last syllable's line
    int32_t lyricAreaWidth = 0;     // pixels the lyric band shows a line in
    bool headerRead = false;
    bool trackRead = false;
    int trackNumber = 0;
    // Soft Karaoke headers ('@K', '@T', ...) as the first texts of a track not named as a
    // words track: if separator-led syllables follow, the track holds the words.
    bool trackHasHeaders = false;
    bool trackHasOtherText = false;
    char trackName[kLyricLineChars] = {};  // the first track chunk's name

    // The track being parsed: only the bytes actually read from its chunk.
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    uint32_t pos = 0;

    uint32_t remaining() const { return size - pos; }

    // Reads n bytes from the file; false when fewer were there.
    bool readExact(void* into, size_t n) { return std::fread(into, 1, n, file) == n; }

    bool readLength(uint32_t& length) {
        uint8_t bytes[4];
        if (!readExact(bytes, 4)) return false;
        length = uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
        return true;
    }

    // A variable-length quantity inside the track; false when it runs past the chunk or
    // takes more than four bytes, either of which ends the track.
    bool readVlq(uint32_t& value) {
        value = 0;
        for (int i = 0; i < kMaxVlqBytes; ++i) {
            if (pos >= size) return false;
            uint8_t byte = data[pos++];
            value = value << 7 | (byte & 0x7Fu);
            if (!(byte & 0x80)) return true;
        }
        return false;
    }

    bool readHeader();
    void readTrack();
    bool parseEvent();
    bool parseMeta();
    void storeChannelEvent(uint8_t status, uint8_t data1, uint8_t data2);
    void storeTempo(uint32_t microsPerQuarter);
    void takeTrackName(const uint8_t* name, uint32_t length);
    void takeText(uint8_t type, const uint8_t* text, uint32_t length);
    void takeLyric(const uint8_t* text, uint32_t length);
    void openLine(int32_t startTick);
    void finish();
    void skipUnknownChunk();
};

bool Loader::readHeader() {
    uint32_t length;
    uint8_t fields[6];
    // A header cut short by the end of the file is as unusable as one that says it is short.
    if (!readLength(length) || length < 6 || !readExact(fields, 6)) return false;
    if (fields[1] > 1) return false;  // only the format's low byte counts
    fileFormat = fields[1];
    headerRead = true;
    // fields[2..3], the number of tracks, is not needed: every track chunk present is read.
    uint8_t b0 = fields[4];
    uint8_t b1 = fields[5];
    smpteTiming = false;
    if (b0 & 0x80) {
        smpteTicksPerSecond = (256u - b0) * b1;
        // A frame of no ticks would freeze the song: it plays at the usual start rate instead.
        smpteTiming = smpteTicksPerSecond != 0;
        if (!smpteTiming) ticksPerQuarter = kDefaultDivision;
    } else {
        // A division of 0 would freeze the song just the same.
        const int division = b0 * 256 + b1;
        ticksPerQuarter = static_cast<float>(division ? division : kDefaultDivision);
    }
    uint8_t scratch[4096];
    for (uint32_t left = length - 6; left > 0;) {
        size_t step = left < sizeof scratch ? left : sizeof scratch;
        size_t got = std::fread(scratch, 1, step, file);
        if (got == 0) break;
        left -= static_cast<uint32_t>(got);
    }
    return true;
}

// An id this loader does not know. The file standard has readers skip such a chunk by its
// length, but an RMID file holds its song inside RIFF chunks whose lengths are little-endian
// and whose ids are not "MThd": the length is trusted only when it lands exactly on "MThd" or
// "MTrk", otherwise the loader steps on four bytes, which also finds a song inside RIFF.
void Loader::skipUnknownChunk() {
    const long afterId = std::ftell(file);
    uint8_t bytes[4];
    if (afterId >= 0 && fileSize >= 0 && readExact(bytes, 4)) {
        const uint32_t length = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 |
                                uint32_t{bytes[2]} << 8 | bytes[3];
        const long body = afterId + 4;
        uint8_t id[4];
        if (fileSize - body >= 4 && length <= static_cast<unsigned long>(fileSize - body - 4) &&
            std::fseek(file, body + static_cast<long>(length), SEEK_SET) == 0 && readExact(id, 4) &&
            (std::memcmp(id, "MThd", 4) == 0 || std::memcmp(id, "MTrk", 4) == 0)) {
            std::fseek(file, body + static_cast<long>(length), SEEK_SET);
            return;
        }
    }
    if (afterId >= 0) std::fseek(file, afterId, SEEK_SET);
}

void Loader::readTrack() {
    trackIsMelody = false;
    trackIsWords = false;
    trackHasHeaders = false;
    trackHasOtherText = false;
    trackRead = true;
    ++trackNumber;
    if (lyricsSeen) lyricsClosed = true;  // the lyrics come from one track only

    uint32_t length;
    if (!readLength(length)) return;
    // Never hold more than the file still has, however long the chunk says it is.
    uint32_t wanted = length;
    long here = std::ftell(file);
    if (fileSize >= 0 && here >= 0 && here <= fileSize &&
        static_cast<unsigned long>(fileSize - here) < wanted)
        wanted = static_cast<uint32_t>(fileSize - here);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[wanted ? wanted : 1]);
    if (!buffer) {
        std::fseek(file, static_cast<long>(wanted), SEEK_CUR);
        return;
    }
    data = buffer.get();
    size = static_cast<uint32_t>(std::fread(buffer.get(), 1, wanted, file));
    pos = 0;

    if (fileFormat > 0) trackTick = 0;  // in format 0, song time runs on across chunks
    endOfTrack = false;
    runningStatus = 0;
    while (pos < size && !endOfTrack) {
        if (!parseEvent()) break;
    }
    data = nullptr;
    size = pos = 0;
}

// One event; false when it runs past the chunk, which ends the track.
bool Loader::parseEvent() {
    uint32_t delta;
    if (!readVlq(delta)) return false;
    // Song time stops at the largest tick rather than wrapping round to the start.
    int64_t tick = int64_t{trackTick} + delta;
    trackTick = tick > INT32_MAX ? INT32_MAX : static_cast<int32_t>(tick);

    if (pos >= size) return false;
    if (data[pos] & 0x80) runningStatus = data[pos++];
    uint8_t status = runningStatus;

    switch (status >> 4) {
    case 0x8: case 0x9: case 0xA: case 0xB: case 0xE:
        if (remaining() < 2) return false;
        storeChannelEvent(status, data[pos], data[pos + 1]);
        pos += 2;
        return true;
    case 0xC: case 0xD:
        if (remaining() < 1) return false;
        storeChannelEvent(status, data[pos], 0);
        pos += 1;
        return true;
    case 0xF: {
        if (status == 0xFF) return parseMeta();
        uint32_t length;
        if (!readVlq(length) || length > remaining()) return false;
        pos += length;  // system exclusive and the other system statuses are skipped
        return true;
    }
    default:
        // A data byte before the track's first status: it is read again as a delta time.
        return true;
    }
}

bool Loader::parseMeta() {
    if (pos >= size) return false;
    uint8_t type = data[pos++];
    // Some types have fixed sizes whose length byte is stepped over unread.
    uint32_t fixedSize = 0;
    switch (type) {
    case 0x2F: fixedSize = 1; break;
    case 0x51: fixedSize = 4; break;
    case 0x54: fixedSize = 6; break;
    case 0x58: fixedSize = 5; break;
    default: break;
    }
    if (fixedSize) {
        if (remaining() < fixedSize) return false;
        if (type == 0x2F) endOfTrack = true;
        if (type == 0x51)
            storeTempo(uint32_t{data[pos + 1]} << 16 | uint32_t{data[pos + 2]} << 8 | data[pos + 3]);
        pos += fixedSize;
        return true;
    }

    uint32_t length;
    if (!readVlq(length) || length > remaining()) return false;
    const uint8_t* body = data + pos;
    if (type == 0x03) {
        takeTrackName(body, length);
    } else if ((type == 0x05 || type == 0x01) && length > 0) {
        takeText(type, body, length);
    }
    pos += length;
    return true;
}

void Loader::storeChannelEvent(uint8_t status, uint8_t data1, uint8_t data2) {
    uint32_t message = uint32_t{status} | uint32_t{data1} << 8 | uint32_t{data2} << 16;
    uint32_t melody = trackIsMelody ? 1 : 0;
    if (trackIsMelody && settings.critique.load())
        melodyEvents.insert(message, trackTick, melody);
    else
        songEvents.insert(message, trackTick, melody);
}

void Loader::storeTempo(uint32_t microsPerQuarter) {
    if (smpteTiming || microsPerQuarter == 0 || !(ticksPerQuarter > 0.0f)) return;
    // ticksPerQuarter only ever holds a header's 16-bit division, or the default one.
    uint32_t period = periodForTempo(static_cast<uint64_t>(ticksPerQuarter), microsPerQuarter);
    // The whole ticks are the record's second data byte; the top byte of the fraction rides
    // in bits 24-31, which no player reads, and the full value in periodTicks.
    uint32_t message = kTempoStatus | kTempoType << 8 | uint32_t(wholeTicks(period)) << 16 |
                       ((period >> (kPeriodFractionBits - 8)) & 0xFF) << 24;
    songEvents.insert(message, trackTick, 0, period);
    melodyEvents.insert(message, trackTick, 0, period);
}

bool startsWithNoCase(const uint8_t* text, uint32_t length, const char* word) {
    size_t n = std::strlen(word);
    if (length < n) return false;
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
        if (c != static_cast<uint8_t>(word[i])) return false;
    }
    return true;
}

// The text as drawn: UTF-8 with characters beyond ASCII becomes the 8-bit code page, other
// text is 8-bit already; CR and LF are breaks, never characters. Returns the bytes written.
int32_t drawnText(const uint8_t* text, uint32_t length, char* out, int32_t capacity) {
    int32_t count = 0;
    char converted[kLyricLineChars];
    const char* from = reinterpret_cast<const char*>(text);
    // Longer texts cannot fit a line anyway; the converter takes texts of bounded size.
    if (length <= 400 && platform::isUtf8BeyondAscii(text, static_cast<int32_t>(length))) {
        const int32_t written = platform::utf8ToCodePage(from, static_cast<int32_t>(length),
                                                         converted, kLineTextMax);
        // A converter that fails leaves the text as it came.
        if (written > 0) {
            length = static_cast<uint32_t>(written);
            from = converted;
        }
    }
    for (uint32_t i = 0; i < length && count < capacity; ++i)
        if (from[i] != '\r' && from[i] != '\n') out[count++] = from[i];
    return count;
}

bool isBreak(uint8_t c) { return c == '\r' || c == '\n'; }

// The Soft Karaoke headers that open a words block: @K (file kind), @T (titles), @L
// (language), @I (information), @V (version).
bool isKaraokeHeader(const uint8_t* text, uint32_t length) {
    if (length < 2 || text[0] != '@') return false;
    return std::strchr("KTLIV", text[1] & ~0x20) != nullptr && (text[1] & ~0x20) != 0;
}

void Loader::takeTrackName(const uint8_t* name, uint32_t length) {
    if (trackNumber == 1 && trackName[0] == '\0')
        trackName[drawnText(name, length, trackName, kLineTextMax)] = '\0';
    if (length < 5 || length > 79) return;
    if (startsWithNoCase(name, length, "melody")) {
        trackIsMelody = true;
        melodyTrackFound = 1;
    } else if (startsWithNoCase(name, length, "words") || startsWithNoCase(name, length, "lyric")) {
        trackIsWords = true;
    } else if (startsWithNoCase(name, length, "vocal") && !melodyTrackFound) {
        trackIsMelody = true;
        melodyTrackFound = 1;
    }
}

// A text (type 1) or lyric (type 5) event. Lyric events are always lyrics; texts are lyrics in
// a words track: one named "Words..." or "Lyric...", or one whose first texts are Soft Karaoke
// headers followed by a separator-led syllable, which makes it a words track from that syllable
// on. Any other text (chord names, copyright lines, instrument notes) is left alone, and headers
// alone never make a track hold the lyrics, so they never close the lyrics to a later track.
void Loader::takeText(uint8_t type, const uint8_t* text, uint32_t length) {
    const bool header = isKaraokeHeader(text, length);
    if (header && (text[1] & ~0x20) == 'T' && songTitle[0] == '\0') {
        int32_t count = drawnText(text + 2, length - 2, songTitle, kLineTextMax);
        while (count > 0 && songTitle[count - 1] == ' ') --count;
        songTitle[count] = '\0';
    }
    if (type == 0x01 && !trackIsWords) {
        if (header && !trackHasOtherText) {
            trackHasHeaders = true;
            return;
        }
        if (!trackHasHeaders || trackHasOtherText || (text[0] != '/' && text[0] != '\\')) {
            trackHasOtherText = true;
            return;
        }
        trackIsWords = true;
    }
    if (!lyricsClosed) takeLyric(text, length);
}

void Loader::openLine(int32_t startTick) {
    ++lineIndex;
    column = 0;
    previousWidth = 0;
    if (lineIndex >= kLyricLineCapacity) {
        lineIndex = 0;
        showMessage(kLimitsMessage);
    }
    // Empty until a syllable writes to it: a line opened by "/@..." shows nothing rather than
    // what the last song left in that slot.
    lyricLines[lineIndex].length = 0;
    lyricLines[lineIndex].startTick = startTick;
}

// One lyric text. A '/' or '\' before it, or a CR or LF before it, starts a new line; a CR or
// LF after it ends its line, so the next syllable starts one (two breaks in a row make one line).
// A syllable that would make its line longer than 79 characters or wider than the lyric band
// starts a new line too, so a song without any breaks shows all its words. A new line starts at
// the tick of the text that opens it. Texts that begin with '@' are headers and draw nothing.
void Loader::takeLyric(const uint8_t* text, uint32_t length) {
    bool breakBefore = false;
    bool breakAfter = false;
    bool separated = false;
    while (length > 0 && isBreak(text[0])) ++text, --length, breakBefore = true;
    if (length > 0 && (text[0] == '\\' || text[0] == '/')) ++text, --length, separated = true;
    while (length > 0 && isBreak(text[length - 1])) --length, breakAfter = true;
    if (!separated && length > 0 && text[0] == '@') return;
    lyricsSeen = true;
    if (!separated && length == 0) {
        breakPending = breakPending || breakBefore || breakAfter;
        return;
    }

    if (separated || breakBefore || breakPending) openLine(trackTick);
    breakPending = breakAfter;
    if (length > 0 && text[0] == '@') return;  // "/@...": a line opened, nothing drawn

    char drawn[kLineTextMax];
    int32_t count = drawnText(text, length, drawn, kLineTextMax);
    if (column > 0 && column + count > kLineTextMax) openLine(trackTick);
    LyricLine* line = &lyricLines[lineIndex];
    std::memcpy(line->text + column, drawn, static_cast<size_t>(count));
    int32_t width = platform::window().lyricTextWidth(line->text, column + count);
    if (column > 0 && width > lyricAreaWidth) {
        openLine(trackTick);
        line = &lyricLines[lineIndex];
        std::memcpy(line->text, drawn, static_cast<size_t>(count));
        width = platform::window().lyricTextWidth(line->text, count);
    }
    column += count;
    line->length = static_cast<uint8_t>(column);

    Syllable& syllable = syllables[syllableIndex];
    syllable.centerX = previousWidth + (width - previousWidth) / 2;
    syllable.tick = trackTick;
    syllable.line = lineIndex;
    syllable.endChar = static_cast<uint8_t>(column);
    if (width > widestLineWidth) widestLineWidth = width;
    previousWidth = width;

    if (++syllableIndex >= kSyllableCapacity) {
        syllableIndex = 0;
        showMessage(kLimitsMessage);
    }
}

void Loader::finish() {
    std::fclose(file);
    file = nullptr;
    platform::window().endLyricMeasure();

    platform::WindowSide& window = platform::window();
    window.enableMenuItem(kCmdOpen, false);
    window.enableMenuItem(kCmdSilenceMelody, melodyTrackFound != 0);
    window.enableMenuItem(kCmdRecord, false);
    window.enableMenuItem(kCmdQualityAm, false);
    window.enableMenuItem(kCmdQualityFm, false);
    window.enableMenuItem(kCmdQualityCd, false);
    window.enableMenuItem(kCmdCritique, false);

    lineCount = lineIndex + 1;
    syllableCount = syllableIndex;

    // The song starts at its SMPTE rate, or for a metrical file at the standard 120 beats per
    // minute until its first tempo record.
    if (smpteTiming)
        ticksPerPeriod = periodFromRatio(uint64_t{smpteTicksPerSecond} * timerPeriodMs, 1000);
    else
        ticksPerPeriod = periodForTempo(static_cast<uint64_t>(ticksPerQuarter), 500000);

    if (!songEvents.empty()) songEvents.cursor = songEvents.head;
}

// The song's title: its first @T header, else the first track's name, else the file's name
// without folder and extension.
void takeTitle(const char* path, const char* trackName) {
    while (songTitle[0] == ' ') std::memmove(songTitle, songTitle + 1, std::strlen(songTitle));
    if (songTitle[0] != '\0') return;
    std::snprintf(songTitle, sizeof songTitle, "%s", trackName);
    if (songTitle[0] != '\0') return;
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/') name = c + 1;
    std::snprintf(songTitle, sizeof songTitle, "%s", name);
    if (char* dot = std::strrchr(songTitle, '.')) *dot = '\0';
}

}  // namespace

// The chunk loop. An id whose third byte is 'h' is a header and one whose third byte is 'r' a
// track, whatever the other bytes; an unknown id is skipped by its length when that lands on
// "MThd" or "MTrk", else stepped over four bytes at a time. Once a header has been accepted and
// a track read, the song is there: a further header-like id, whether or not it passes the
// header checks, ends the loop (whatever follows a song, such as a RIFF LIST chunk or junk,
// neither refuses nor re-times it), and only an exact "MTrk" is taken for a further track.
int32_t loadSong(const char* path) {
    platform::window().beginLyricMeasure();
    std::memcpy(lyricLines[0].text, kBanner, sizeof kBanner - 1);
    lyricLines[0].length = sizeof kBanner - 1;
    lyricLines[0].startTick = 0;
    melodyTrackFound = 0;
    songTitle[0] = '\0';
    // Tracks before any header play at 120 beats per minute of a usual division.
    ticksPerQuarter = kDefaultDivision;

    Loader loader;
    const int32_t band = lyricBand.right.load();
    loader.lyricAreaWidth = band > 0 ? band : settings.windowWidth.load();
    // Read-only: a song on read-only media, or marked read-only, must still play.
    loader.file = std::fopen(path, "rb");
    if (!loader.file) {
        platform::window().endLyricMeasure();
        return 0;
    }
    if (std::fseek(loader.file, 0, SEEK_END) == 0) loader.fileSize = std::ftell(loader.file);
    std::rewind(loader.file);
    songEvents.clear();
    melodyEvents.clear();

    uint8_t id[4];
    while (loader.readExact(id, 4)) {
        const bool songRead = loader.headerRead && loader.trackRead;
        if (id[2] == 'h') {
            if (songRead) break;
            if (!loader.readHeader()) {
                std::fclose(loader.file);
                platform::window().endLyricMeasure();
                return 0;
            }
        } else if (id[2] == 'r' && (!songRead || std::memcmp(id, "MTrk", 4) == 0)) {
            loader.readTrack();
        } else {
            loader.skipUnknownChunk();
        }
    }
    loader.finish();
    takeTitle(path, loader.trackName);
    return 1;
}
