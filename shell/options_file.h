#pragma once
// The options file's bytes: six little-endian 32-bit values (width, height, font size, font
// weight, quality code, Silence Melody), stored with text-file line ends, so every 0x0A of the
// 24 bytes is written as 0x0D 0x0A. The translation is done here, byte by byte, so every build
// reads and writes exactly the same file.

#include <cstddef>
#include <cstdint>

constexpr size_t kOptionsValueCount = 6;
constexpr size_t kOptionsDataBytes = 4 * kOptionsValueCount;
// Each data byte takes at most two bytes on disk.
constexpr size_t kOptionsMaxFileBytes = 2 * kOptionsDataBytes;

// Recording quality as the file stores it.
constexpr int32_t kQualityAm = 1;  // 8000 Hz mono
constexpr int32_t kQualityFm = 2;  // 22050 Hz stereo
constexpr int32_t kQualityCd = 3;  // 44100 Hz stereo

// Takes a 0x0D 0x0A pair as 0x0A (a 0x0D before anything else stays as it is) and decodes the
// six values from the first 24 bytes that result; bytes after them are ignored. Returns false,
// leaving `values` untouched, when the bytes yield fewer than 24.
bool decodeOptions(const uint8_t* bytes, size_t size, int32_t values[kOptionsValueCount]);

// The bytes on disk for six values; returns how many (24 to 48) were put into `out`.
size_t encodeOptions(const int32_t values[kOptionsValueCount], uint8_t out[kOptionsMaxFileBytes]);

// The quality code of a capture rate, and the pair a code stands for (false for an unknown code).
int32_t qualityCode(uint32_t sampleRate);
bool qualityFromCode(int32_t code, uint32_t& sampleRate, uint32_t& channels);
