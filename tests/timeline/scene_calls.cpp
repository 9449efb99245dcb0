// scene_calls.cpp: recording definitions of the operations the timeline calls. This file is
// linked only into the timeline's own test program, in place of the real subsystems.
#include "tests/timeline/scene_calls.h"

#include "overlays/overlays.h"
#include "scenes/scenes.h"
#include "text/text.h"

std::vector<SceneCall> sceneCalls;

std::vector<SceneCall> sceneCallsNamed(const std::string& name) {
    std::vector<SceneCall> found;
    for (const SceneCall& call : sceneCalls)
        if (call.name == name) found.push_back(call);
    return found;
}

namespace {
void record(const char* name, std::vector<double> args, const char* text = "") {
    sceneCalls.push_back({name, text, std::move(args)});
}
}  // namespace

void drawText(const char* text, float visibility, float eyeX, float eyeY, float eyeZ, float targetX,
              float targetY, float targetZ) {
    record("drawText", {visibility, eyeX, eyeY, eyeZ, targetX, targetY, targetZ}, text);
}
void drawBoxedCube(float cameraDistance, float boxScale, float yaw, float pitch, float roll) {
    record("drawBoxedCube", {cameraDistance, boxScale, yaw, pitch, roll});
}
void drawCubeField(float spacing, float offsetX, float offsetY, float offsetZ, float cameraDistance) {
    record("drawCubeField", {spacing, offsetX, offsetY, offsetZ, cameraDistance});
}
void drawCubeScene(float cameraDistance, float burst, float burstScale, float spin, int32_t withWholeCube,
                   int32_t withStreaks) {
    record("drawCubeScene", {cameraDistance, burst, burstScale, spin, double(withWholeCube),
                             double(withStreaks)});
}
void drawTunnelScene(float roll, uint32_t startMs) { record("drawTunnelScene", {roll, double(startMs)}); }
void resetNoise() { record("resetNoise", {}); }
void scaleNoise(float amount) { record("scaleNoise", {amount}); }
void drawNoise(uint32_t mode) { record("drawNoise", {double(mode)}); }
void drawFade(uint8_t level) { record("drawFade", {double(level)}); }
void drawLetterbox(int32_t height) { record("drawLetterbox", {double(height)}); }
