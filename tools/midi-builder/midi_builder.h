#pragma once
// Builds small Standard MIDI / karaoke files byte by byte for tests, fuzz seeds and
// benchmarks. Nothing is checked: a builder writes exactly what it is told, so broken files
// are as easy to make as good ones.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace midi {

using Bytes = std::vector<uint8_t>;

// A variable-length quantity: 7 bits a byte, most significant first.
Bytes vlq(uint32_t value);

// The events of one track chunk (without the chunk's id and length).
class Track {
public:
    // Raw bytes, appended as they stand (no delta time).
    Track& raw(std::initializer_list<uint8_t> bytes);
    Track& raw(const Bytes& bytes);
    // A delta time followed by the given bytes (a status may be left out for running status).
    Track& event(uint32_t delta, std::initializer_list<uint8_t> bytes);
    Track& noteOn(uint32_t delta, uint8_t channel, uint8_t note, uint8_t velocity);
    Track& noteOff(uint32_t delta, uint8_t channel, uint8_t note);
    // A meta event FF type <vlq length> data.
    Track& meta(uint32_t delta, uint8_t type, const std::string& data);
    Track& name(uint32_t delta, const std::string& text) { return meta(delta, 0x03, text); }
    Track& text(uint32_t delta, const std::string& text) { return meta(delta, 0x01, text); }
    Track& lyric(uint32_t delta, const std::string& text) { return meta(delta, 0x05, text); }
    // FF 51 03 tt tt tt.
    Track& tempo(uint32_t delta, uint32_t microsPerQuarter);
    // FF 2F 00.
    Track& end(uint32_t delta = 0);

    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// A whole file: chunks in the order they are added.
class File {
public:
    // "MThd", length 6, format, track count, division (b0 b1 as a 16-bit value).
    File& header(uint16_t format, uint16_t tracks, uint16_t division);
    // A chunk with any id and any stated length; `length` < 0 states the data's own size.
    File& chunk(const char id[4], const Bytes& data, int64_t length = -1);
    File& track(const Track& track) { return chunk("MTrk", track.bytes()); }
    File& raw(std::initializer_list<uint8_t> bytes);
    File& raw(const Bytes& bytes);

    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// Writes bytes to a file; returns false when it could not.
bool writeFile(const std::string& path, const Bytes& bytes);

// A fresh private directory under the system's temporary folder, for files a test makes.
std::string makeTempDir(const char* prefix);

}  // namespace midi
