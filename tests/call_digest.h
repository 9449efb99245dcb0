// call_digest.h: digests of a frame's device calls as the recording device logged them, one
// per frame and one character per call: the golden trace's and the snapshot tests' measure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/recording/recording_device.h"

struct Fnv1a {
    uint64_t value = 0xcbf29ce484222325u;
    void add(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) value = (value ^ bytes[i]) * 0x100000001b3u;
    }
};

// Every field that the call carries, the matrix and its data as raw bits (printed traces round).
inline uint64_t callDigest(const RecordedCall& call) {
    Fnv1a hash;
    hash.add(&call.kind, sizeof call.kind);
    hash.add(call.args, sizeof call.args);
    hash.add(&call.object, sizeof call.object);
    if (call.kind == CallKind::SetTransform) hash.add(&call.matrix, sizeof call.matrix);
    hash.add(call.vertices.data(), call.vertices.size());
    hash.add(call.texels.data(), call.texels.size());
    return hash.value;
}

// One character per call, from the digest of all calls up to it: the first character that
// differs is the first call that differs, but for a 1 in 64 chance of naming a later one.
inline char signatureChar(uint64_t prefix) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    prefix ^= prefix >> 31;
    prefix *= 0xbf58476d1ce4e5b9u;
    return alphabet[(prefix ^ (prefix >> 29)) & 63];
}

struct FrameDigest {
    std::string name;  // "loading 32", "show 38400"
    size_t calls = 0;
    uint64_t digest = 0;
    std::string signature;
};

inline FrameDigest digestFrame(const std::string& name, const std::vector<RecordedCall>& calls) {
    FrameDigest frame{name, calls.size(), 0, {}};
    Fnv1a prefix;
    for (const RecordedCall& call : calls) {
        const uint64_t digest = callDigest(call);
        prefix.add(&digest, sizeof digest);
        frame.signature += signatureChar(prefix.value);
    }
    frame.digest = prefix.value;
    return frame;
}
