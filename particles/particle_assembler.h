// particle_assembler.h: a compile-time assembler from readable listings to particle program containers.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "particles/particles.h"

// A listing is a list of tokens per entry; each token is one instruction or a label. Constants
// are named by value and resolved to their number in the system's constant list; labels are
// local to one entry. Anything the encoding cannot hold stops the compilation.
namespace particle_asm {

enum class TokenType : uint8_t { Byte, Constant, Label, Jump };

struct Token {
    TokenType type;
    uint8_t byte;   // the instruction byte (kind in the low bits for jumps)
    float value;    // Constant: the value to find in the constant list
    int32_t label;  // Label, Jump: the label number
};

// Called only when a listing is malformed; not constexpr, so using it in a constant
// expression is a compile error that points here.
inline void listingError(const char*) {}

constexpr Token par(int32_t r) { return {TokenType::Byte, static_cast<uint8_t>(r * 8 + kindPushParent), 0, 0}; }
constexpr Token reg(int32_t r) { return {TokenType::Byte, static_cast<uint8_t>(r * 8 + kindPush), 0, 0}; }
constexpr Token to(int32_t r) { return {TokenType::Byte, static_cast<uint8_t>(r * 8 + kindPop), 0, 0}; }
constexpr Token k(float v) { return {TokenType::Constant, kindPushConstant, v, 0}; }
constexpr Token at(int32_t label) { return {TokenType::Label, 0, 0, label}; }
constexpr Token jump(int32_t label) { return {TokenType::Jump, kindJump, 0, label}; }
constexpr Token jumpGreater(int32_t label) { return {TokenType::Jump, kindJumpGreater, 0, label}; }
constexpr Token jumpLess(int32_t label) { return {TokenType::Jump, kindJumpLess, 0, label}; }

constexpr Token t = reg(particleTime);
constexpr Token rnd = {TokenType::Byte, opRandom, 0, 0};
constexpr Token cosine = {TokenType::Byte, opCos, 0, 0};
constexpr Token sine = {TokenType::Byte, opSin, 0, 0};
constexpr Token root = {TokenType::Byte, opSqrt, 0, 0};
constexpr Token absolute = {TokenType::Byte, opAbs, 0, 0};
constexpr Token neg = {TokenType::Byte, opNegate, 0, 0};
constexpr Token add = {TokenType::Byte, opAdd, 0, 0};
constexpr Token sub = {TokenType::Byte, opSubtract, 0, 0};
constexpr Token divide = {TokenType::Byte, opDivide, 0, 0};
constexpr Token mul = {TokenType::Byte, opMultiply, 0, 0};
constexpr Token end = {TokenType::Byte, opEnd, 0, 0};
constexpr Token spawn = {TokenType::Byte, opSpawn, 0, 0};
constexpr Token kill = {TokenType::Byte, opKill, 0, 0};

struct Code {
    const Token* tokens;
    uint32_t count;
};

struct ProgramListing {
    Code newCode;   // run once, when the particle is created
    Code liveCode;  // run once per later pass
};

struct SystemListing {
    const float* constants;
    uint32_t constantCount;
    const ProgramListing* programs;
    uint32_t programCount;
};

template <uint32_t N>
constexpr Code code(const Token (&tokens)[N]) {
    return {tokens, N};
}

template <uint32_t N, uint32_t M>
constexpr SystemListing listing(const float (&constants)[N], const ProgramListing (&programs)[M]) {
    return {constants, N, programs, M};
}

constexpr uint32_t tokenSize(const Token& token) {
    return token.type == TokenType::Label ? 0 : token.type == TokenType::Jump ? 2 : 1;
}

constexpr uint32_t codeSize(const Code& c) {
    uint32_t size = 0;
    for (uint32_t i = 0; i < c.count; ++i) size += tokenSize(c.tokens[i]);
    return size;
}

constexpr uint32_t assembledSize(const SystemListing& s) {
    uint32_t size = 2 + 4 * s.constantCount + 4 * s.programCount;
    for (uint32_t p = 0; p < s.programCount; ++p)
        size += codeSize(s.programs[p].newCode) + codeSize(s.programs[p].liveCode);
    return size;
}

constexpr uint8_t constantNumber(const SystemListing& s, float value) {
    for (uint32_t j = 0; j < s.constantCount; ++j)
        if (std::bit_cast<uint32_t>(s.constants[j]) == std::bit_cast<uint32_t>(value)) {
            if (j >= 30) listingError("constant beyond the 30 the encoding reaches");
            return static_cast<uint8_t>(j);
        }
    listingError("constant missing from the system's list");
    return 0;
}

constexpr uint32_t labelOffset(const Code& c, uint32_t start, int32_t label) {
    uint32_t offset = start;
    for (uint32_t i = 0; i < c.count; ++i) {
        if (c.tokens[i].type == TokenType::Label && c.tokens[i].label == label) return offset;
        offset += tokenSize(c.tokens[i]);
    }
    listingError("jump to an undefined label");
    return 0;
}

template <std::size_t Size>
constexpr uint32_t emitCode(std::array<uint8_t, Size>& out, uint32_t start, const Code& c,
                            const SystemListing& s) {
    uint32_t offset = start;
    for (uint32_t i = 0; i < c.count; ++i) {
        const Token& token = c.tokens[i];
        switch (token.type) {
            case TokenType::Label:
                break;
            case TokenType::Byte:
                out[offset++] = token.byte;
                break;
            case TokenType::Constant:
                out[offset++] = static_cast<uint8_t>(constantNumber(s, token.value) * 8 + kindPushConstant);
                break;
            case TokenType::Jump: {
                const int32_t d = static_cast<int32_t>(labelOffset(c, start, token.label)) -
                                  static_cast<int32_t>(offset);
                // Kind 4 takes a signed byte; the comparisons an unsigned one, so they only go forward.
                if (token.byte == kindJump ? (d < -128 || d > 127) : (d < 0 || d > 255))
                    listingError("jump beyond its operand's range");
                out[offset] = token.byte;
                out[offset + 1] = static_cast<uint8_t>(d);
                offset += 2;
                break;
            }
        }
    }
    return offset;
}

template <std::size_t Size>
constexpr std::array<uint8_t, Size> assemble(const SystemListing& s) {
    std::array<uint8_t, Size> out{};
    if (s.constantCount > 255 || s.programCount > 255 || Size > 65536) listingError("container too large");
    out[0] = static_cast<uint8_t>(s.constantCount);
    for (uint32_t j = 0; j < s.constantCount; ++j) {
        const uint32_t bits = std::bit_cast<uint32_t>(s.constants[j]);
        for (uint32_t b = 0; b < 4; ++b) out[1 + 4 * j + b] = static_cast<uint8_t>(bits >> (8 * b));
    }
    const uint32_t table = 4 * s.constantCount + 2;
    out[table - 1] = static_cast<uint8_t>(s.programCount);
    uint32_t offset = table + 4 * s.programCount;
    for (uint32_t p = 0; p < s.programCount; ++p) {
        const uint32_t fresh = offset;
        offset = emitCode(out, offset, s.programs[p].newCode, s);
        const uint32_t live = offset;
        offset = emitCode(out, offset, s.programs[p].liveCode, s);
        out[table + 4 * p] = static_cast<uint8_t>(fresh);
        out[table + 4 * p + 1] = static_cast<uint8_t>(fresh >> 8);
        out[table + 4 * p + 2] = static_cast<uint8_t>(live);
        out[table + 4 * p + 3] = static_cast<uint8_t>(live >> 8);
    }
    if (offset != Size) listingError("size mismatch");
    return out;
}

}  // namespace particle_asm
