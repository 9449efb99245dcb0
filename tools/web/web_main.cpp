// web_main.cpp: the show in a browser. The browser owns the loop: one step per animation
// frame, through the same start-up, loading-frame and show-frame functions as the native show
// and the capture tool. The page's address chooses the check modes, which run as the capture
// tool does, on its virtual clock and with its options:
//   ?frame=MS[&fps=N&start-tick=N]  the frame at show time MS in the canvas, then the title
//                                   "quorbel: frame MS"
//   ?soundtrack                     the wave image built; the title "quorbel: soundtrack SHA256"
// and the player's: ?t=MS starts the show at that moment (the run-up after the loading screen),
// ?loop=A:B plays A to B again and again, ?t=MS&loop=A:B from MS (the older ?t=A&loop=B too).
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
#include "platform/draw_scale.h"
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
        case LifeStage::Playing:   return player->seeking() ? "seeking" : player->paused() ? "paused" : "show";
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
    if (life->stage() == LifeStage::Playing && !player->paused() && !player->seeking()) webKeepSoundInStep(player->nowMs());
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

struct QueryPair {
    std::string key, value;
    bool hasValue;  // the part had an '='
};

// The same as key and value.
std::vector<QueryPair> queryPairs(const std::string& query) {
    std::vector<QueryPair> pairs;
    for (const std::string& part : queryParts(query)) {
        const size_t equals = part.find('=');
        pairs.push_back({part.substr(0, equals), equals == std::string::npos ? "" : part.substr(equals + 1),
                         equals != std::string::npos});
    }
    return pairs;
}

// The address's parameters: the live show's and, in their parse below, the check modes'. Which
// of the two an address is the page has decided (webCheckAddress).
const char* const liveKeys[] = {"t", "loop", "scale", "fixed-size", "min-scale"};
const char liveKeysText[] = "t=MS, loop=A:B, scale=1, fixed-size and min-scale=S";
const char checkKeysText[] = "frame=MS, fps=N, start-tick=N, device-pixels and soundtrack";

template <size_t N>
bool oneOf(const std::string& key, const char* const (&keys)[N]) {
    for (const char* known : keys)
        if (key == known) return true;
    return false;
}

// What is wrong with one parameter of the address, as a line under the question.
void noteAddress(const std::string& key, const std::string& what, const char* instead) {
    webNote(("The address's " + key + ": " + what + "; " + instead + ".").c_str());
}

// ---- the live show's options ----

// scale=1, fixed-size and min-scale=S, as the show's --scale 1, --fixed-size and --min-scale S;
// a bad one is said under the question and the picture is drawn as without it.
void liveOptionsFromQuery(const std::vector<QueryPair>& pairs) {
    bool scaleOne = false, fixedSize = false, minGiven = false;
    double minScale = 1.0;
    const char* asWithout = "the picture is drawn as without it";
    for (const QueryPair& pair : pairs) {
        if (pair.key == "scale") {
            const std::string fault = scaleOptionFault(pair.value);
            if (fault.empty())
                scaleOne = true;
            else
                noteAddress("scale", "it " + fault, asWithout);
        } else if (pair.key == "fixed-size") {
            fixedSize = true;
        } else if (pair.key == "min-scale") {
            const std::string fault = minScaleOptionFault(pair.value, minScale);
            if (fault.empty())
                minGiven = true;
            else
                noteAddress("min-scale", "it " + fault, asWithout);
        } else if (!oneOf(pair.key, liveKeys)) {
            webNote(("The address's '" + pair.key + "' is no parameter the page knows (the show's are " + liveKeysText +
                     "); it is left out.").c_str());
        }
    }
    if (minGiven && (scaleOne || fixedSize)) {
        noteAddress("min-scale", "it " + minScaleConflict("scale=1", "fixed-size"), "it is left out");
        minScale = 1.0;
    }
    webSetDrawOptions(scaleOne, fixedSize, minScale);
}

// The moment and the loop: ?t=MS, ?loop=A:B (from A), ?t=MS&loop=A:B (from MS, then A to B again
// and again: what the page writes into its address), and the older ?t=A&loop=B. A bad one is
// said under the question and the show starts from its beginning.
PlayerOptions playerOptionsFromQuery(const std::vector<QueryPair>& pairs) {
    const QueryPair *t = nullptr, *loop = nullptr;
    for (const QueryPair& pair : pairs) {
        if (pair.key == "t") t = &pair;
        if (pair.key == "loop") loop = &pair;
    }
    PlayerOptions options;
    std::string why;
    const char* fromTheStart = "the show starts from its beginning";
    if (t != nullptr && !parseShowTime(t->value.c_str(), options.startMs, why)) {
        noteAddress("t", why, fromTheStart);
        return PlayerOptions{};
    }
    options.start = t != nullptr;
    if (loop == nullptr) return options;
    std::string range = loop->value;
    if (range.find(':') == std::string::npos) {
        if (t == nullptr) {
            noteAddress("loop", "'" + range + "' is a loop's end without its start (loop=A:B, or t=A&loop=B)", fromTheStart);
            return PlayerOptions{};
        }
        range = t->value + ":" + range;
    }
    if (!parseShowLoop(range.c_str(), options.loopFromMs, options.loopToMs, why)) {
        noteAddress("loop", why, fromTheStart);
        return PlayerOptions{};
    }
    options.loop = true;
    // A moment past the loop's end would be left at once for its start: start there.
    if (options.startMs >= options.loopToMs) options.startMs = options.loopFromMs;
    return options;
}

// The key table as JSON rows for the page: the browser's key, Shift, the code the page queues
// (PlayerKey's), whether it ends the show, and how often it acts again while held (after how long).
std::string pageKeyRows() {
    std::string rows = "[";
    for (const PlayerKeyBinding& row : playerKeys) {
        std::string key;
        for (const char* c = row.pageKey; *c != '\0'; ++c) {
            if (*c == '"' || *c == '\\') key += '\\';
            key += *c;
        }
        rows += std::string(rows.size() > 1 ? "," : "") + "{\"key\":\"" + key + "\",\"shift\":" +
                (row.shift ? "true" : "false") + ",\"code\":" + std::to_string(static_cast<int>(row.key)) +
                ",\"ends\":" + (row.key == PlayerKey::Escape ? "true" : "false") + ",\"repeatMs\":" +
                std::to_string(row.repeatMs) + ",\"delayMs\":" + std::to_string(heldDelayMs) + "}";
    }
    return rows + "]";
}

void playerFromQuery(const std::vector<QueryPair>& pairs) {
    const PlayerOptions options = playerOptionsFromQuery(pairs);
    player = new Player(options);
    std::string help;
    for (const PlayerKeyBinding& row : playerKeys) help += std::string(row.label) + ": " + row.action + "\n";
    uint32_t starts[showPhaseCount];
    for (int32_t i = 0; i < showPhaseCount; ++i) starts[i] = showPhases[i].startMs;
    webStartPlayer(help.c_str(), pageKeyRows().c_str(), starts, showPhaseCount, showLengthMs,
                   options.loop ? options.loopFromMs : 0, options.loop ? options.loopToMs : 0);
}

// ---- the check modes ----

// The address's parameters as the capture tool's command line: frame, fps and start-tick are
// its --frame, --fps and --start-tick; soundtrack is --wav. The live show's have no place here.
bool optionsFromQuery(const std::vector<QueryPair>& pairs, CaptureOptions& options, bool& devicePixels,
                      std::string& error) {
    std::vector<std::string> args = {"quorbel-web"};
    for (const QueryPair& pair : pairs) {
        if ((pair.key == "device-pixels" || pair.key == "soundtrack") && pair.hasValue) {
            error = pair.key + " takes no value";
            return false;
        } else if (pair.key == "device-pixels") {
            devicePixels = true;
        } else if (pair.key == "soundtrack") {
            args.insert(args.end(), {"--wav", "page"});
        } else if (pair.key == "frame") {
            args.insert(args.end(), {"--frame", pair.value, "-o", "canvas"});
        } else if (pair.key == "fps" || pair.key == "start-tick") {
            args.insert(args.end(), {"--" + pair.key, pair.value});
        } else if (oneOf(pair.key, liveKeys)) {
            error = pair.key + " is the live show's, and the address asks for a check (" + checkKeysText + ")";
            return false;
        } else {
            error = "'" + pair.key + "' is no parameter the page knows (a check's are " + checkKeysText + ")";
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
        webTitleSoundtrackHash(static_cast<const uint8_t*>(headlessSystem.waveImage), headlessSystem.waveBytes);
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
    const std::vector<QueryPair> pairs = queryPairs(query);
    if (webCheckAddress()) {
        CaptureOptions options;
        std::string error;
        bool devicePixels = false;
        if (!optionsFromQuery(pairs, options, devicePixels, error)) webBadAddress(error.c_str());
        runCheck(options, devicePixels);
        return 0;
    }
    systemStart();
    liveOptionsFromQuery(pairs);
    playerFromQuery(pairs);
    webAskQuestion(fullScreenQuestion, fullScreenCaption);
    webReport("question", 0, 0);
    emscripten_set_main_loop(showStepOfPage, 0, false);
    return 0;
}
