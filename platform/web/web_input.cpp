// web_input.cpp: the clock and what the viewer asks of the show through the page: Escape, the
// player's keys, seeks from the control bar, and the holds (a lost picture, a stopped sound).
// The check modes take the clock and Escape from headlessSystem instead.
#include <emscripten.h>

#include <cstdint>

#include "platform/headless/headless_system.h"
#include "platform/system.h"
#include "platform/web/page.h"
#include "platform/web/web_state.h"
#include "platform/web/web_system.h"

uint32_t systemTickCount() {
    if (webSystem.virtualClock) return headlessSystem.tick;
    // The page's clock in whole milliseconds, wrapping at 2^32 as a tick count does.
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}

bool systemEscapePressed() {
    if (webSystem.virtualClock) {
        ++headlessSystem.escapeTests;
        return headlessSystem.escapeHeld;
    }
    // While the context is lost, GL answers nothing: the sizes wait for it to come back.
    if (webSystem.display != nullptr && pageContext() == 0) fitPresentTarget();
    if (webSystem.showPresenting) showFramePresented();
    return pageTakeEscape() != 0;
}

// The player's keys come from the page's queue (page/keys.js), codes in PlayerKey's order.
bool systemNextKey(PlayerKey* key) {
    if (webSystem.virtualClock) return false;
    const int code = pageTakeKey();
    if (code < 0) return false;
    *key = static_cast<PlayerKey>(code);
    return true;
}

int64_t webTakeSeek() { return static_cast<int64_t>(pageTakeSeek()); }

void webKeepSoundInStep(uint32_t showMs) { pageSoundInStep(static_cast<double>(showMs)); }

// The page's control bar is the progress bar: it shows for the time asked, and the address
// follows the time so that it can be copied.
void systemShowProgress(uint32_t ms, uint32_t, const uint32_t*, int32_t, uint32_t untilTick) {
    if (!webSystem.virtualClock) pageShowBar(static_cast<double>(ms), static_cast<double>(untilTick - systemTickCount()));
}

bool systemHeld() { return !webSystem.virtualClock && pageHeld() != 0; }
