#include "midi-builder/midi_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace midi {

Bytes vlq(uint32_t value) {
    Bytes out;
    out.push_back(static_cast<uint8_t>(value & 0x7F));
    for (value >>= 7; value; value >>= 7) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
    return out;
}

Track& Track::raw(std::initializer_list<uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes);
    return *this;
}

Track& Track::raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Track& Track::event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
    raw(vlq(delta));
    return raw(bytes);
}

Track& Track::noteOn(uint32_t delta, uint8_t channel, uint8_t note, uint8_t velocity) {
    return event(delta, {static_cast<uint8_t>(0x90 | channel), note, velocity});
}

Track& Track::noteOff(uint32_t delta, uint8_t channel, uint8_t note) {
    return event(delta, {static_cast<uint8_t>(0x80 | channel), note, 0x40});
}

Track& Track::meta(uint32_t delta, uint8_t type, const std::string& data) {
    event(delta, {0xFF, type});
    raw(vlq(static_cast<uint32_t>(data.size())));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

Track& Track::tempo(uint32_t delta, uint32_t microsPerQuarter) {
    return event(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(microsPerQuarter >> 16),
                         static_cast<uint8_t>(microsPerQuarter >> 8), static_cast<uint8_t>(microsPerQuarter)});
}

Track& Track::end(uint32_t delta) { return event(delta, {0xFF, 0x2F, 0x00}); }

File& File::header(uint16_t format, uint16_t tracks, uint16_t division) {
    Bytes data{static_cast<uint8_t>(format >> 8), static_cast<uint8_t>(format),
               static_cast<uint8_t>(tracks >> 8), static_cast<uint8_t>(tracks),
               static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)};
    return chunk("MThd", data);
}

File& File::chunk(const char id[4], const Bytes& data, int64_t length) {
    bytes_.insert(bytes_.end(), id, id + 4);
    uint32_t stated = length < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(length);
    for (int shift = 24; shift >= 0; shift -= 8) bytes_.push_back(static_cast<uint8_t>(stated >> shift));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

File& File::raw(std::initializer_list<uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes);
    return *this;
}

File& File::raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

std::string makeTempDir(const char* prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return std::string();
    return std::string(buffer.data());
}

}  // namespace midi
