// Tovinel brand, the base of every layer: little-endian fields in a byte string, and offsets written
// for people. Readers take offsets the caller has checked against the string's size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

inline uint32_t read_u16(const std::string& bytes, uint64_t at)
{
    auto index = static_cast<size_t>(at);
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[index]) |
                                 static_cast<unsigned char>(bytes[index + 1]) << 8);
}

inline uint32_t read_u32(const std::string& bytes, uint64_t at)
{
    return read_u16(bytes, at) | read_u16(bytes, at + 2) << 16;
}

inline void write_u16(std::string* bytes, uint64_t at, uint32_t value)
{
    auto index = static_cast<size_t>(at);
    (*bytes)[index] = static_cast<char>(value & 0xFF);
    (*bytes)[index + 1] = static_cast<char>((value >> 8) & 0xFF);
}

inline void write_u32(std::string* bytes, uint64_t at, uint32_t value)
{
    write_u16(bytes, at, value & 0xFFFF);
    write_u16(bytes, at + 2, value >> 16);
}

inline std::string hex(uint64_t value)
{
    char text[24];
    snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}
