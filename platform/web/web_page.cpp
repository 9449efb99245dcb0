// web_page.cpp: the page as the show's window: the question and the notes under it, the reports
// its scripts read, the title, the address, and how the show stops there (web_state.h holds the
// services' state).
#include <emscripten.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/system.h"
#include "platform/web/page.h"
#include "platform/web/web_state.h"
#include "platform/web/web_system.h"

WebSystem webSystem;

void webUseVirtualClock(bool atDevicePixels) {
    webSystem.virtualClock = true;
    webSystem.devicePixels = atDevicePixels;
}

void webSetDrawOptions(bool scaleOne, bool atFixedSize, double lowestScale) {
    webSystem.fixedScale = scaleOne;
    webSystem.fixedSize = atFixedSize;
    webSystem.minScale = lowestScale;
}

void webAskQuestion(const char* text, const char* caption) { pageAsk(text, caption); }

int webAnswer() { return pageAnswer(); }

void webReport(const char* stage, int32_t loadingFrames, uint32_t showMs) {
    pageReport(stage, loadingFrames, static_cast<double>(showMs));
    pageReportHeap(static_cast<double>(reinterpret_cast<uintptr_t>(sbrk(0))));
}

void webSetTitle(const char* title) { pageSetTitle(title); }

void webTitleSoundtrackHash(const uint8_t* image, uint32_t bytes) { pageTitleSoundtrackHash(image, bytes); }

void webQueryString(char* text, int size) { pageQuery(text, size); }

bool webCheckAddress() { return pageCheckAddress() == 1; }

void webStartPlayer(const char* help, const char* keyRows, const uint32_t* phaseStarts, int32_t count,
                    uint32_t lengthMs, uint32_t loopFromMs, uint32_t loopToMs) {
    pagePlayer(help, keyRows, phaseStarts, count, static_cast<double>(lengthMs), static_cast<double>(loopFromMs),
               static_cast<double>(loopToMs));
}

void webNote(const char* line) { pageNote(line); }

void systemStart() {
    if (!pageHasWebGL2()) systemFail("this browser has no WebGL 2, which the show needs");
}

// The page asked already (webAskQuestion): its answer, and No while there is none.
bool systemAskYesNo(const char*, const char*) { return webAnswer() == 1; }

// A page that is closed takes the show with it; nothing else asks it to end.
bool systemQuitAsked() { return false; }

// The runtime stays, so the page keeps its end line; nothing runs any more.
void systemExit(int) {
    emscripten_cancel_main_loop();
    emscripten_exit_with_live_runtime();
}

void systemWarn(const char* message) { std::fprintf(stderr, "quorbel: warning: %s\n", message); }

void webBadAddress(const char* message) {
    std::fprintf(stderr, "quorbel: %s\n", message);
    pageBadAddress(message);
    systemExit(1);
}

void systemFail(const char* message) {
    std::fprintf(stderr, "quorbel: %s\n", message);
    pageFail(message);
    systemExit(1);
}
