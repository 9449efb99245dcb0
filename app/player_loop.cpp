// player_loop.cpp: the player in live play: the keys, pause (the viewer's, or the platform's
// hold), the sound and the progress bar following seeks, the start and loop of the command
// line, and their parsing.
#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "app/app.h"
#include "app/player.h"
#include "timeline/timeline.h"

namespace {

constexpr uint32_t progressShownMs = 2000;

}  // namespace

void Player::showProgress(uint32_t ms) const {
    uint32_t marks[showPhaseCount - 1];
    for (int32_t i = 1; i < showPhaseCount; ++i) marks[i - 1] = showPhases[i].startMs;
    systemShowProgress(ms, showLengthMs, marks, showPhaseCount - 1, systemTickCount() + progressShownMs);
}

uint32_t Player::firstMs() const { return options.start ? options.startMs : options.loop ? options.loopFromMs : 0; }

// The frames before the first one, on the grid; the sound and the clock start after.
bool Player::runUpStep(uint32_t sliceMs) {
    const uint32_t to = firstMs();
    const uint32_t done = run.started ? run.lastRunMs : 0;
    if (to == 0 || run.nextGridMs() >= to) return true;
    const uint32_t step = std::min(to, done + sliceMs);
    runUpTo(step);
    showProgress(step);
    systemPresentAgain(false);
    return step >= to && run.nextGridMs() >= to;
}

// The run-up left drawing off; the show's frames are drawn from here.
void Player::startClock() {
    viewerPaused = held = false;
    startTick = systemTickCount() - firstMs();
    front->setDrawing(true);
}

uint32_t Player::nowMs() const { return seekPending ? seekToMs : paused() ? pausedMs : nowMsRunning(); }

// The clock stops, or goes on from where it stopped, and the sound with it. A viewer's pause
// stops the sound where it is, so it goes on seamlessly; after a hold it may have stopped
// anywhere (an audio context stopped from outside), so it is put back where the picture is.
void Player::applyPause(bool pause) {
    if (pause) pausedMs = seekPending ? seekToMs : nowMsRunning();
    startTick = systemTickCount() - pausedMs;
    systemPauseWave(pause);
    if (!pause && soundAdrift) systemSetWavePosition(pausedMs);
    if (!pause) soundAdrift = false;
    showProgress(pausedMs);
}

uint32_t Player::nowMsRunning() const { return std::min(systemTickCount() - startTick, lastShowFrameMs); }

void Player::setPaused(bool pause) {
    if (pause == viewerPaused) return;
    const bool was = paused();
    viewerPaused = pause;
    if (paused() != was) applyPause(paused());
    else showProgress(pausedMs);
}

void Player::goTo(uint32_t ms) {
    seekToMs = std::min(ms, lastShowFrameMs);
    seekPending = true;
    startNear(seekToMs);
    continueSeek();
}

// A slice of the seek's run-up; once it is there, the frame, with the clock, the sound and the
// bar following. Until then the last picture stays, with the bar at the seek's goal.
void Player::continueSeek() {
    frameShown = true;
    if (!runGridUpTo(seekToMs, seekSliceFrames)) {
        // The bar shows where the seek goes, as a scrub bar does.
        showProgress(seekToMs);
        systemPresentAgain(false);
        return;
    }
    seekPending = false;
    const uint32_t ms = seekToMs;
    if (!paused()) systemShowFrameAt(ms);
    front->setDrawing(true);
    runFrame(ms);
    shownMs = ms;
    startTick = systemTickCount() - ms;
    pausedMs = ms;
    systemSetWavePosition(ms);
    showProgress(ms);
}

// A new size or a restored context lost the picture: the frame shown is drawn again, as a seek
// to it draws it (the clock may have stopped a little after it).
void Player::drawPausedAgain() { seek(shownMs); }

bool Player::step() {
    if (systemEscapePressed() || endReached != 0) return false;
    frameShown = false;
    PlayerKey key;
    // Keys pressed before the show's first frame (the loading screen, a run-up) are dropped.
    if (!keysOpen)
        while (systemNextKey(&key)) {}
    keysOpen = true;
    // Keys that came between two steps act from each other's goals, and only the last seek runs
    // up: a new seek replaces the one before it, so a burst of keys costs one seek, not one each.
    bool seekAsked = false;
    uint32_t seekGoal = 0;
    while (systemNextKey(&key)) {
        const PlayerCommand command = commandFor(key, seekAsked ? seekGoal : nowMs(), viewerPaused);
        if (command.end) return false;
        setPaused(command.paused);
        if (command.seek) {
            seekAsked = true;
            seekGoal = command.seekTo;
        }
    }
    if (seekAsked) goTo(seekGoal);
    const bool holding = systemHeld();
    if (holding != held) {
        const bool was = paused();
        held = holding;
        soundAdrift = soundAdrift || holding;
        if (paused() != was) applyPause(paused());
    }
    const bool lost = systemPictureLost();
    if (seekPending) {
        if (!frameShown) continueSeek();
        return true;
    }
    if (paused()) {
        if (lost) drawPausedAgain();
        // The picture stays; presenting it again paces the loop and lets the bar go.
        systemPresentAgain(true);
    } else if (!frameShown) {
        // A seek's frame is this step's; otherwise the frame the clock says.
        const uint32_t ms = systemTickCount() - startTick;
        if (options.loop && ms >= options.loopToMs) {
            goTo(options.loopFromMs);
        } else {
            systemShowFrameAt(ms);
            runFrame(ms);
            shownMs = ms;
        }
    }
    lookAhead(lookAheadPerStep);
    return true;
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
