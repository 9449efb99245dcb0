// web_main.cpp: the show in a browser. The browser owns the loop: one step per animation
// frame, through the same start-up, loading-frame and show-frame functions as the native show
// and the capture tool. The page's address chooses the check modes, which run as the capture
// tool does, on its virtual clock and with its options:
//   ?frame=MS[&fps=N&start-tick=N]  the frame at show time MS in the canvas, then the title
//                                   "quorbel: frame MS"
//   ?soundtrack                     the wave image built; the title "quorbel: soundtrack SHA256"
// and the player's: ?t=MS starts the show at that moment (the run-up after the loading screen),
// ?t=A&loop=B plays A to B again and again.
//   &device-pixels                  the frame drawn at the canvas's device pixels (640 x 480 on
//                                   the page times devicePixelRatio), as the live show draws
// and the live show's options: ?scale=1, ?fixed-size, ?min-scale=S (as the show's command line).
#include <emscripten.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/player.h"
#include "app/show_life.h"
#include "platform/gl/gl_device.h"
#include "platform/headless/headless_system.h"
#include "platform/system.h"
#include "platform/web/web_system.h"
#include "timeline/timeline.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_run.h"

namespace {

// ---- the show, one step per animation frame ----

// The page's show: the same life as the desktop's, one step per animation frame, begun once
// the question is answered.
Player* player = nullptr;
ShowLife* life = nullptr;

const char* stageName(LifeStage stage) {
    switch (stage) {
        case LifeStage::Opening:
        case LifeStage::Loading:   return "loading";
        case LifeStage::RunningUp: return "running up";
        case LifeStage::Starting:
        case LifeStage::Hearing:   return "starting";
        case LifeStage::Playing:   return player->paused() ? "paused" : "show";
        case LifeStage::Ended:     break;
    }
    return "ended";
}

void showStepOfPage() {
    if (life == nullptr) {
        const int answer = webAnswer();
        if (answer < 0) return;
        life = new ShowLife(answer == 1 ? ScreenChoice::FullScreen : ScreenChoice::Window, player);
    }
    const int64_t seek = webTakeSeek();
    if (seek >= 0 && life->stage() == LifeStage::Playing) player->goTo(static_cast<uint32_t>(seek));
    const bool going = life->step();
    const bool playing = life->stage() == LifeStage::Playing;
    webReport(stageName(life->stage()), life->loadingFramesDone(), playing ? player->nowMs() : demoTimeMs);
    if (going) return;
    webShowEnd();
    systemExit(0);
}

// The address's parts between the ampersands, in order, empty ones left out.
std::vector<std::string> queryParts(const std::string& query) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < query.size()) {
        size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        if (end > at) parts.push_back(query.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

// The same as key and value (empty where the part has no '=').
std::vector<std::pair<std::string, std::string>> queryPairs(const std::string& query) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& part : queryParts(query)) {
        const size_t equals = part.find('=');
        pairs.push_back({part.substr(0, equals), equals == std::string::npos ? "" : part.substr(equals + 1)});
    }
    return pairs;
}

// No address, or only the live show's own pairs (the player's t and loop, the drawing scale's
// scale, fixed-size and min-scale): the show; anything else is a check mode.
bool isLiveQuery(const std::string& query) {
    for (const auto& [key, value] : queryPairs(query))
        if (key != "t" && key != "loop" && key != "scale" && key != "fixed-size" && key != "min-scale") return false;
    return true;
}

// ---- the live show's options ----

// scale=1, fixed-size and min-scale=S, as the show's --scale 1, --fixed-size and --min-scale S;
// a bad one is named in error.
void liveOptionsFromQuery(const std::string& query, std::string& error) {
    bool scaleOne = false, fixedSize = false, minGiven = false;
    double minScale = 1.0;
    for (const auto& [key, value] : queryPairs(query)) {
        if (key == "scale") {
            if (value != "1") {
                error = "scale takes 1 (the 640 x 480 picture scaled up), not '" + value + "'";
                return;
            }
            scaleOne = true;
        } else if (key == "fixed-size") {
            fixedSize = true;
        } else if (key == "min-scale") {
            char tail = 0;
            if (std::sscanf(value.c_str(), "%lf%c", &minScale, &tail) != 1 || !(minScale >= 0.25 && minScale <= 1.0)) {
                error = "min-scale takes a number from 0.25 to 1, not '" + value + "'";
                return;
            }
            minGiven = true;
        }
    }
    if (minGiven && (scaleOne || fixedSize)) error = "min-scale lowers a drawing size that scale=1 and fixed-size hold fixed";
    webSetDrawOptions(scaleOne, fixedSize, minScale);
}

// ?t=MS and ?t=A&loop=B; a bad one is said under the question and the show starts as if the
// address had none.
void playerFromQuery(const std::string& query) {
    std::string t, loop, why;
    bool given = false;
    for (const auto& [key, value] : queryPairs(query)) {
        if (key == "t") t = value, given = true;
        if (key == "loop") loop = value, given = true;
    }
    PlayerOptions options;
    bool good = true;
    if (!loop.empty()) {
        good = parseShowLoop((t + ":" + loop).c_str(), options.loopFromMs, options.loopToMs, why);
        options.loop = good;
    } else if (given) {
        good = parseShowTime(t.c_str(), options.startMs, why);
    }
    if (!good) {
        webNote(("Not this moment: " + why + "; the show starts from its beginning.").c_str());
        options = PlayerOptions{};
    }
    player = new Player(options);
    std::string help;
    for (const PlayerKeyBinding& row : playerKeys) help += std::string(row.label) + ": " + row.action + "\n";
    uint32_t starts[showPhaseCount];
    for (int32_t i = 0; i < showPhaseCount; ++i) starts[i] = showPhases[i].startMs;
    webStartPlayer(help.c_str(), starts, showPhaseCount, options.loop ? options.loopToMs : 0);
}

// ---- the check modes ----

// The address's parameters as the capture tool's command line: frame, fps and start-tick are
// its --frame, --fps and --start-tick; soundtrack is --wav.
bool optionsFromQuery(const std::string& query, CaptureOptions& options, bool& devicePixels, std::string& error) {
    std::vector<std::string> args = {"quorbel-web"};
    for (const std::string& pair : queryParts(query)) {
        const size_t equals = pair.find('=');
        const std::string key = pair.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
        if (key == "device-pixels" && equals == std::string::npos) {
            devicePixels = true;
        } else if (key == "soundtrack" && equals == std::string::npos) {
            args.insert(args.end(), {"--wav", "page"});
        } else if (key == "frame") {
            args.insert(args.end(), {"--frame", value, "-o", "canvas"});
        } else if (key == "fps" || key == "start-tick") {
            args.insert(args.end(), {"--" + key, value});
        } else {
            error = "unknown parameter '" + pair + "' (the page knows frame=MS, fps=N, start-tick=N, device-pixels "
                    "and soundtrack, and for the live show t=MS, loop=MS, scale=1, fixed-size and min-scale=S)";
            return false;
        }
    }
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return parseCaptureOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

void switchDrawing(bool on, void* user) { static_cast<GLDevice*>(user)->setDrawingEnabled(on); }

bool frameDrawn = false;
bool noteDrawnFrame(const CaptureFrame& frame, void*) {
    if (!frame.loading && frame.drawn) frameDrawn = true;
    return true;
}

bool stopAfterLoading(const CaptureFrame&, void*) { return false; }

// The SHA-256 of the image, from the browser's own implementation, into the title.
EM_JS(void, pageTitleSoundtrackHash, (const uint8_t* image, uint32_t bytes), {
    if (!(window.crypto && crypto.subtle)) {
        document.title = 'quorbel: failed: the page needs a secure context (http://127.0.0.1 or https) to hash';
        return;
    }
    crypto.subtle.digest('SHA-256', HEAPU8.slice(image, image + bytes)).then(digest => {
        const hex = Array.from(new Uint8Array(digest), b => b.toString(16).padStart(2, '0')).join("");
        document.title = 'quorbel: soundtrack ' + hex;
    });
});

void runCheck(const CaptureOptions& options, bool devicePixels) {
    webUseVirtualClock(devicePixels);
    resetHeadlessSystem();
    systemStart();
    const D3DPRESENT_PARAMETERS params = showPresentParameters(false);
    GLDevice* device = static_cast<GLDevice*>(systemCreateDisplay(0, 0, 640, 480, &params));
    d3dDevice = device;
    CapturePlan plan = capturePlanFor(options, switchDrawing, device);
    uint32_t lastMs = 0;
    if (options.mode == CaptureMode::Wav) {
        plan.frameDone = stopAfterLoading;
        runCapture(plan, lastMs);
        if (headlessSystem.waveImage == nullptr) systemFail("the show played no soundtrack");
        pageTitleSoundtrackHash(static_cast<const uint8_t*>(headlessSystem.waveImage), headlessSystem.waveBytes);
        return;
    }
    plan.extraTimes = {options.frameMs};
    plan.stopAfter = options.frameMs;
    plan.frameDone = noteDrawnFrame;
    runCapture(plan, lastMs);
    if (!frameDrawn) {
        const std::string line = "the show ended at " + std::to_string(lastMs) + " ms, before " +
                                 std::to_string(options.frameMs) + " ms";
        systemFail(line.c_str());
    }
    webSetTitle(("quorbel: frame " + std::to_string(options.frameMs)).c_str());
}

}  // namespace

int main() {
    char query[512] = "";
    webQueryString(query, sizeof query);
    const std::string address = query;
    if (!isLiveQuery(address)) {
        CaptureOptions options;
        std::string error;
        bool devicePixels = false;
        if (!optionsFromQuery(query, options, devicePixels, error)) systemFail(error.c_str());
        runCheck(options, devicePixels);
        return 0;
    }
    std::string liveError;
    liveOptionsFromQuery(address, liveError);
    if (!liveError.empty()) systemFail(liveError.c_str());
    systemStart();
    playerFromQuery(address);
    webAskQuestion(fullScreenQuestion, fullScreenCaption);
    webReport("question", 0, 0);
    emscripten_set_main_loop(showStepOfPage, 0, false);
    return 0;
}
