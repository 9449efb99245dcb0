// png_store.cpp: the PNG chunks, CRC-32 and Adler-32 written by hand.
#include "tools/replay-d3d9/png_store.h"

#include <cstdio>
#include <vector>

namespace {

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void bigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    bigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    bigEndian(out, crc32(&out[start], out.size() - start));
}

}  // namespace

bool writeStoredPng(const std::wstring& path, const uint8_t* rgba, uint32_t width, uint32_t height) {
    // Each row behind its filter byte (0: none).
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgba + size_t(y) * width * 4, rgba + size_t(y + 1) * width * 4);
    }
    std::vector<uint8_t> zlib = {0x78, 0x01};
    for (size_t at = 0; at < raw.size(); at += 65535) {
        const size_t size = raw.size() - at < 65535 ? raw.size() - at : 65535;
        zlib.push_back(at + size == raw.size() ? 1 : 0);  // the last block says so
        for (uint32_t v : {uint32_t(size), uint32_t(~size & 0xFFFF)}) zlib.push_back(uint8_t(v)), zlib.push_back(uint8_t(v >> 8));
        zlib.insert(zlib.end(), raw.begin() + std::ptrdiff_t(at), raw.begin() + std::ptrdiff_t(at + size));
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
    bigEndian(zlib, b << 16 | a);

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    bigEndian(header, width);
    bigEndian(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, adaptive filters, no interlace
    chunk(file, "IHDR", header);
    chunk(file, "IDAT", zlib);
    chunk(file, "IEND", {});
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr) return false;
    const bool complete = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && complete;
}
