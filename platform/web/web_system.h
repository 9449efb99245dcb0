// web_system.h: what the browser's entry point needs of the web system services beyond
// platform/system.h: the page's question, the moment the sound is heard, the end line and the
// check modes' virtual clock.
#pragma once

#include <cstdint>

// The check modes run on the headless services' virtual clock (headlessSystem): the tick count,
// Escape and the played wave image are then what the caller set, as in the capture tool. The
// picture is 640 x 480 in a canvas of 640 x 480, unless atDevicePixels: then it is drawn at the
// canvas's device pixels, as the live show draws.
void webUseVirtualClock(bool atDevicePixels);

// The live show's drawing size, as the page's address asks (before the display is made):
// scale=1 draws at 640 x 480, fixed-size at the canvas's size however late frames come;
// otherwise late frames lower the size, not below 640 x 480 times min-scale.
void webSetDrawOptions(bool scaleOne, bool atFixedSize, double lowestScale);

// Shows the question as a page element. The answer comes from a key (Return Yes, Escape No)
// or a click, in whose handler the page starts its audio and asks for full screen.
void webAskQuestion(const char* text, const char* caption);
// -1 while the question waits, then 0 for No, 1 for Yes.
int webAnswer();

// Where the page's scripts and tests see the run: its stage, the loading frames drawn and the
// show time of the last frame.
void webReport(const char* stage, int32_t loadingFrames, uint32_t showMs);

// document.title, which the check modes use to say they are done.
void webSetTitle(const char* title);

// The check mode ?soundtrack's end: "quorbel: soundtrack SHA256" (hex) in the title, hashed by the
// browser (which needs a secure context), once the hash is done.
void webTitleSoundtrackHash(const uint8_t* image, uint32_t bytes);

// The last frame, black, and the line that says the show has ended (with a way to see it again).
void webShowEnd();

// The question string of the page's address (location.search without the '?'), in text.
void webQueryString(char* text, int size);
// The page decides from its address, before the wasm loads, whether it is a check mode's (it
// shows no question for one): the wasm follows that decision rather than making it again.
bool webCheckAddress();

// ---- the player (keys, control bar, address) ----

// A seek the page's scrub bar asked for since the last call, in show ms; -1 for none.
int64_t webTakeSeek();

// Each step of live play, the show's time now: the sound is put there when the two have come
// apart (the page's clock ran on while the sound could not: frozen in the back/forward cache, no
// animation frames as the music started).
void webKeepSoundInStep(uint32_t showMs);

// The page's help (the keys' table, one line each), the key table as JSON rows the page builds
// its key map from ([{"key": KeyboardEvent.key, "shift": bool, "code": PlayerKey, "ends": bool,
// "repeatMs": N, "delayMs": N}]),
// the phases' starts for the scrub bar's marks, the show's length for its bar and clock, and the
// loop (0, 0 for none) for the address.
void webStartPlayer(const char* help, const char* keyRows, const uint32_t* phaseStarts, int32_t count,
                    uint32_t lengthMs, uint32_t loopFromMs, uint32_t loopToMs);

// One line under the question box (a bad part of the address: the show starts as if it had
// none).
void webNote(const char* line);

// An address the page cannot open (a check mode's bad parameter): says so on the page and in
// the title ("quorbel: failed: the address: MESSAGE"), and stops, as systemFail does for a
// browser that cannot run the show.
[[noreturn]] void webBadAddress(const char* message);
