// output_check.cpp: the files a run names, checked by their bytes, not by the writer's word.
#include "tools/capture/output_check.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/capture/capture_run.h"
#include "tools/stream/frame_stream.h"

namespace {

namespace fs = std::filesystem;

// Empty where path is a regular file; otherwise what it is instead.
std::string notAFile(const std::string& path) {
    std::error_code failed;
    const fs::file_status status = fs::status(path, failed);
    if (!fs::exists(status)) return path + " is missing";
    if (fs::is_directory(status)) return path + " is a folder, not a file";
    if (!fs::is_regular_file(status)) return path + " is not a regular file";
    return "";
}

std::vector<uint8_t> readBytes(const std::string& path, std::streamoff from, size_t count) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(count);
    if (from < 0) in.seekg(from, std::ios::end);
    else in.seekg(from);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(in ? count : 0);
    return bytes;
}

uint32_t bigEndian(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t littleEndian(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }

// A whole PNG: the signature, the header chunk first, the end chunk last; of width x height
// where width is not 0.
std::string notAPng(const std::string& path, int width = 0, int height = 0) {
    if (std::string problem = notAFile(path); !problem.empty()) return problem;
    static constexpr std::array<uint8_t, 8> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    static constexpr std::array<uint8_t, 12> end = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};
    const std::vector<uint8_t> head = readBytes(path, 0, 24);
    if (head.size() < 24 || !std::equal(signature.begin(), signature.end(), head.begin(), head.begin() + 8) ||
        std::string(head.begin() + 12, head.begin() + 16) != "IHDR")
        return path + " is not a PNG file";
    const std::vector<uint8_t> tail = readBytes(path, -std::streamoff(end.size()), end.size());
    if (!std::equal(end.begin(), end.end(), tail.begin(), tail.end())) return path + " is a PNG file cut short";
    const uint32_t w = bigEndian(&head[16]), h = bigEndian(&head[20]);
    if (width != 0 && (w != uint32_t(width) || h != uint32_t(height)))
        return path + " is " + std::to_string(w) + " x " + std::to_string(h) + " pixels, not " +
               std::to_string(width) + " x " + std::to_string(height);
    return "";
}

// RIFF, its length, WAVE: the length the header gives is the file's.
std::string notAWav(const std::string& path) {
    if (std::string problem = notAFile(path); !problem.empty()) return problem;
    const std::vector<uint8_t> head = readBytes(path, 0, 12);
    if (head.size() < 12 || std::string(head.begin(), head.begin() + 4) != "RIFF" ||
        std::string(head.begin() + 8, head.end()) != "WAVE")
        return path + " is not a WAV file";
    const uintmax_t bytes = fs::file_size(path);
    if (uintmax_t(littleEndian(&head[4])) + 8 != bytes) return path + " is a WAV file of the wrong length";
    return "";
}

struct Probed {
    bool video = false, audio = false, lasts = false;  // a video stream, a sound stream, a duration
};

// What ffprobe finds in the file: its streams' kinds and its length (a still picture, which
// ffprobe also reads as a video stream, has none).
Probed probe(const std::string& path) {
    const std::string command = "ffprobe -v error -show_entries stream=codec_type:format=duration -of csv=p=0 " +
                                shellQuoted(path) + " 2>/dev/null";
    Probed found;
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return found;
    char line[128];
    while (std::fgets(line, sizeof line, out) != nullptr) {
        const std::string word(line, std::strcspn(line, "\r\n"));
        char* end = nullptr;
        const double seconds = std::strtod(word.c_str(), &end);
        found.video |= word == "video";
        found.audio |= word == "audio";
        found.lasts |= !word.empty() && *end == '\0' && seconds > 0;
    }
    pclose(out);
    return found;
}

std::string notAVideo(const std::string& path, bool withSound) {
    if (std::string problem = notAFile(path); !problem.empty()) return problem;
    if (std::system("command -v ffprobe >/dev/null 2>&1") != 0)
        return fs::file_size(path) == 0 ? path + " is empty" : "";
    const Probed found = probe(path);
    if (!found.video || !found.lasts) return path + " holds no video that ffprobe can read";
    if (withSound && !found.audio) return path + " has no soundtrack";
    return "";
}

std::string notAFolder(const std::string& path) {
    std::error_code failed;
    const fs::file_status status = fs::status(path, failed);
    if (!fs::exists(status)) return path + " is missing";
    if (!fs::is_directory(status)) return path + " is not a folder";
    return "";
}

std::string missingFrames(const CaptureOptions& options) {
    if (std::string problem = notAFolder(options.output); !problem.empty()) return problem;
    for (uint32_t ms : framesWritten(options))
        if (std::string problem = notAPng(framePath(options.output, ms), options.width, options.height); !problem.empty())
            return problem;
    return "";
}

// A stream that decodes whole, of the frame asked for.
std::string notAStream(const CaptureOptions& options) {
    if (std::string problem = notAFile(options.output); !problem.empty()) return problem;
    std::ifstream in(options.output, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FrameStream stream;
    std::string error;
    if (!decodeFrameStream(bytes, stream, error)) return options.output + ": " + error;
    if (stream.loading != options.loading || stream.time != options.frameMs || stream.calls.empty())
        return options.output + " holds another frame, or none";
    return "";
}

std::string missingFaces(const CaptureOptions& options) {
    if (std::string problem = notAFolder(options.output); !problem.empty()) return problem;
    for (int k = 0; k < 6; ++k)
        if (std::string problem = notAPng((fs::path(options.output) / ("face" + std::to_string(k) + ".png")).string());
            !problem.empty())
            return problem;
    return "";
}

}  // namespace

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string framePath(const std::string& dir, uint32_t ms) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06u.png", ms);
    return (fs::path(dir) / name).string();
}

std::vector<uint32_t> framesWritten(const CaptureOptions& options) {
    std::vector<uint32_t> times = options.frameList;
    if (times.empty()) {
        times.push_back(options.fromMs);
        const uint64_t first = options.fromMs == 0 ? 0 : gridFramesThrough(options.fromMs - 1, options.fps);
        for (uint64_t k = first; k < gridFramesThrough(options.toMs, options.fps); ++k)
            if (gridFrameMs(k, options.fps) != options.fromMs) times.push_back(gridFrameMs(k, options.fps));
    }
    if (options.part)
        std::erase_if(times, [&](uint32_t ms) { return ms < options.partFrom || ms > options.partTo; });
    return times;
}

std::string missingOutput(const CaptureOptions& options, CaptureWriter writer, bool withSound) {
    switch (writer) {
        case CaptureWriter::Frame: return notAPng(options.output, options.width, options.height);
        case CaptureWriter::Replay: return notAPng(options.output, 640, 480);
        case CaptureWriter::Stream: return notAStream(options);
        case CaptureWriter::Faces: return missingFaces(options);
        case CaptureWriter::Frames:
        case CaptureWriter::FramesPart: return missingFrames(options);
        case CaptureWriter::Sheet: return notAPng(options.output);
        case CaptureWriter::Video: return notAVideo(options.output, withSound);
        case CaptureWriter::VideoPart: return notAVideo(options.output, false);
        case CaptureWriter::Wav: return notAWav(options.output);
        case CaptureWriter::Bench: return options.json.empty() ? "" : notAFile(options.json);
        case CaptureWriter::None:
        case CaptureWriter::Trace: break;
    }
    return "";
}
