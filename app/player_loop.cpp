// player_loop.cpp: the show's frame loop as a player: the keys, pause, the sound and the
// progress bar following seeks, the start and loop of the command line, and their parsing.
#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "app/app.h"
#include "app/player.h"
#include "timeline/timeline.h"

namespace {

PlayerOptions options;
PlayerDevice* front;
constexpr uint32_t progressShownMs = 2000;

void showProgress(uint32_t ms) {
    uint32_t marks[showPhaseCount - 1];
    for (int32_t i = 1; i < showPhaseCount; ++i) marks[i - 1] = showPhases[i].startMs;
    systemShowProgress(ms, showLengthMs, marks, showPhaseCount - 1, systemTickCount() + progressShownMs);
}

// A long run-up shows how far it got over the last picture shown.
void seekProgress(uint32_t doneMs, uint32_t) {
    showProgress(doneMs);
    front->inner()->Present(nullptr, nullptr, nullptr, nullptr);
}

// The clock moved so that now is ms, and the sound with it.
void goTo(uint32_t ms) {
    seekShow(ms, seekProgress);
    startTick = systemTickCount() - ms;
    systemSetWavePosition(ms);
    showProgress(ms);
}

}  // namespace

void setPlayerOptions(const PlayerOptions& chosen) { options = chosen; }

namespace {

bool paused;
uint32_t pausedMs;

}  // namespace

PlayerDevice* installPlayerDevice() {
    front = new PlayerDevice(d3dDevice);
    d3dDevice = front;
    return front;
}

uint32_t playerFirstMs() { return options.startMs != 0 ? options.startMs : options.loop ? options.loopFromMs : 0; }

void startPlayerClock() {
    paused = false;
    if (playerFirstMs() != 0) goTo(playerFirstMs());
}

uint32_t playerNowMs() { return paused ? pausedMs : std::min(systemTickCount() - startTick, lastShowFrameMs); }

bool playerPaused() { return paused; }

void playerSetPaused(bool pause) {
    if (pause == paused) return;
    const uint32_t now = playerNowMs();
    paused = pause;
    systemPauseWave(paused);
    pausedMs = now;
    startTick = systemTickCount() - now;
    showProgress(now);
}

void playerGoTo(uint32_t ms) {
    goTo(ms);
    pausedMs = std::min(ms, lastShowFrameMs);
}

bool playerStep() {
    if (systemEscapePressed() || endReached != 0) return false;
    PlayerKey key;
    while (systemNextKey(&key)) {
        const PlayerCommand command = commandFor(key, playerNowMs(), paused);
        if (command.end) return false;
        playerSetPaused(command.paused);
        if (command.seek) playerGoTo(command.seekTo);
    }
    if (paused) {
        // The picture stays; presenting it again paces the loop and lets the bar go.
        d3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
        return true;
    }
    const uint32_t ms = systemTickCount() - startTick;
    if (options.loop && ms >= options.loopToMs) {
        goTo(options.loopFromMs);
        return true;
    }
    playerFrame(ms);
    return true;
}

void playShow() {
    installPlayerDevice();
    playIntro(nullptr, playerStep, [] {
        startPlayer(front);
        startPlayerClock();
    });
}

// ---- the command line's times ----

bool parseShowTime(const char* text, uint32_t& ms, std::string& why) {
    const std::string shown = text == nullptr ? "" : text;
    char* end = nullptr;
    errno = 0;
    const long long value = text == nullptr ? 0 : std::strtoll(text, &end, 10);
    if (text == nullptr || end == text || *end != '\0' || errno != 0 || shown.find_first_of(" \t+") != std::string::npos) {
        why = "'" + shown + "' is not a time in whole milliseconds";
        return false;
    }
    if (value < 0) {
        why = "'" + shown + "' is before the show's start (0)";
        return false;
    }
    if (value > lastShowFrameMs) {
        why = "'" + shown + "' is past the show's end (its last frame is at " + std::to_string(lastShowFrameMs) + " ms)";
        return false;
    }
    ms = static_cast<uint32_t>(value);
    return true;
}

bool parseShowLoop(const char* text, uint32_t& fromMs, uint32_t& toMs, std::string& why) {
    const std::string shown = text == nullptr ? "" : text;
    const size_t colon = shown.find(':');
    if (colon == std::string::npos) {
        why = "'" + shown + "' is not A:B (two times in milliseconds)";
        return false;
    }
    uint32_t a = 0, b = 0;
    if (!parseShowTime(shown.substr(0, colon).c_str(), a, why) || !parseShowTime(shown.substr(colon + 1).c_str(), b, why))
        return false;
    if (b <= a) {
        why = "the loop '" + shown + "' ends before it starts (B must be after A)";
        return false;
    }
    fromMs = a;
    toMs = b;
    return true;
}
