// scene_calls.h: the calls the timeline makes into the scenes, text and overlays, recorded with
// their arguments instead of drawn, so that a frame's script can be read back.
#pragma once

#include <string>
#include <vector>

struct SceneCall {
    std::string name;      // "drawText", "drawFade" ...
    std::string text;      // drawText's line
    std::vector<double> args;  // the numeric arguments in order, as passed
};

extern std::vector<SceneCall> sceneCalls;

// The recorded calls of one name, in order.
std::vector<SceneCall> sceneCallsNamed(const std::string& name);
