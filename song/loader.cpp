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

namespace {

const char kBanner[] = "Tessaloon Music Software";
const char kLimitsMessage[] =
    "The file has exceeded the buffer limits for notes and/or lyrics.  It may not play properly.";

constexpr int kLineTextMax = kLyricLineChars - 1;  // characters a line may hold
constexpr int kMaxVlqBytes = 4;

// Ticks per period as 16.16 fixed point from a ratio, rounded to the nearest step. A song
// that would go faster than the step can say stops just below 256 ticks; one that would go
// slower than the smallest step still moves, so it never freezes.
uint32_t periodFromRatio(uint64_t numerator, uint64_t denominator) {
    uint64_t value = ((numerator << 16) + denominator / 2) / denominator;
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
    bool lineStartPending = false;

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
    void takeLyric(const uint8_t* text, uint32_t length);
    void finish();
};

bool Loader::readHeader() {
    uint32_t length;
    uint8_t fields[6];
    // A header cut short by the end of the file is as unusable as one that says it is short.
    if (!readLength(length) || length < 6 || !readExact(fields, 6)) return false;
    if (fields[1] > 1) return false;  // only the format's low byte counts
    fileFormat = fields[1];
    // fields[2..3], the number of tracks, is not needed: every track chunk present is read.
    uint8_t b0 = fields[4];
    uint8_t b1 = fields[5];
    if (b0 & 0x80) {
        smpteTiming = true;
        smpteTicksPerSecond = (256u - b0) * b1;
    } else {
        smpteTiming = false;
        ticksPerQuarter = static_cast<float>(b0 * 256 + b1);
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

void Loader::readTrack() {
    trackIsMelody = false;
    trackIsWords = false;
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
    } else if ((type == 0x05 || (type == 0x01 && trackIsWords)) && !lyricsClosed && length > 0) {
        takeLyric(body, length);
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
    // ticksPerQuarter only ever holds a header's 16-bit division, or 1 before any header.
    uint32_t period = periodForTempo(static_cast<uint64_t>(ticksPerQuarter), microsPerQuarter);
    // The whole ticks are the record's second data byte; the top byte of the fraction rides
    // in bits 24-31, which no player reads, and the full value in periodTicks.
    uint32_t message = kTempoStatus | kTempoType << 8 | (period >> 16) << 16 | ((period >> 8) & 0xFF) << 24;
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

void Loader::takeTrackName(const uint8_t* name, uint32_t length) {
    if (length < 5 || length > 79) return;
    if (startsWithNoCase(name, length, "melody")) {
        trackIsMelody = true;
        melodyTrackFound = 1;
    } else if (startsWithNoCase(name, length, "words")) {
        trackIsWords = true;
    } else if (startsWithNoCase(name, length, "vocal") && !melodyTrackFound) {
        trackIsMelody = true;
        melodyTrackFound = 1;
    }
}

void Loader::takeLyric(const uint8_t* text, uint32_t length) {
    lyricsSeen = true;
    bool separated = false;
    if (text[0] == '\r') {
        // The carriage return stays in the text, which therefore records nothing; the line
        // it opens starts with its first syllable.
        ++lineIndex;
        lineStartPending = true;
        column = 0;
        previousWidth = 0;
    } else if (text[0] == '\\' || text[0] == '/') {
        ++lineIndex;
        ++text;
        --length;
        column = 0;
        previousWidth = 0;
        separated = true;
    }
    if (lineIndex >= kLyricLineCapacity) {
        lineIndex = 0;
        showMessage(kLimitsMessage);
    }
    LyricLine& line = lyricLines[lineIndex];
    // A separator's start tick goes to the line that takes its text, after any wrap.
    if (separated) line.startTick = trackTick;

    uint32_t room = static_cast<uint32_t>(kLineTextMax - column);
    uint32_t count = length < room ? length : room;
    // Karaoke header texts ('@') and texts that began with a carriage return end here.
    if (length > 0 && (text[0] == '@' || text[0] == '\r')) return;

    std::memcpy(line.text + column, text, count);
    column += static_cast<int32_t>(count);
    line.length = static_cast<uint8_t>(column);
    int32_t width = platform::window().lyricTextWidth(line.text, column);

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
    if (lineStartPending) {
        line.startTick = syllable.tick;
        lineStartPending = false;
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

    // A trailing carriage return opens no line.
    if (lineStartPending && lineIndex > 0) --lineIndex;
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

}  // namespace

int32_t loadSong(const char* path) {
    platform::window().beginLyricMeasure();
    std::memcpy(lyricLines[0].text, kBanner, sizeof kBanner - 1);
    lyricLines[0].length = sizeof kBanner - 1;
    lyricLines[0].startTick = 0;
    melodyTrackFound = 0;

    Loader loader;
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
        // Only the third byte of a chunk id tells the kind of chunk; anything else is
        // stepped over four bytes at a time.
        if (id[2] == 'h') {
            if (!loader.readHeader()) {
                std::fclose(loader.file);
                platform::window().endLyricMeasure();
                return 0;
            }
        } else if (id[2] == 'r') {
            loader.readTrack();
        }
    }
    loader.finish();
    return 1;
}
