// player.h: the show as a player: seeking through snapshots kept every bar, pause, steps, the
// keys, and the player's own clock over the show's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/player_device.h"
#include "platform/system.h"

constexpr uint32_t playerFps = 60;                 // the grid seeks run on, as the capture tool's default
constexpr uint32_t snapshotIntervalMs = 3840;      // one bar: every phase starts on a snapshot

// Time of frame k of the 60 fps grid, and the first grid frame after ms.
uint32_t playerGridMs(uint64_t k);
uint32_t gridFrameAfter(uint32_t ms);

// ---- seeking ----

// Takes over after initIntro and the loading screen, with device in front of the show's (made
// before initIntro): the state before the first frame is the first snapshot.
void startPlayer(PlayerDevice* device);

// One frame at ms as the show plays it; before it, a snapshot for a bar it enters.
void playerFrame(uint32_t ms);

// The frame at ms, exactly as a run on the 60 fps grid from the start draws it: from the
// latest snapshot before it (or from the frame shown, when that is nearer), the grid frames
// before ms with drawing off, then ms drawn. Past the end goes to the end's last frame.
// progress (may be null) hears of a long run-up every 32 frames.
void seekShow(uint32_t ms, void (*progress)(uint32_t doneMs, uint32_t toMs) = nullptr);

// The same without the frame at ms, drawing left off: the run-up alone, which the browser
// spreads over several animation frames (each call goes on from where the last ended).
void runUpTo(uint32_t ms, void (*progress)(uint32_t doneMs, uint32_t toMs) = nullptr);

// The snapshots kept, and their bytes, for reports.
size_t snapshotCount();
size_t snapshotBytes();

// ---- keys ----

// What a key asks of the show at time nowMs (paused or not): the time to show next and the
// pause after it. Escape ends the show (end set). Pure: the clock applies it.
struct PlayerCommand {
    uint32_t seekTo;  // where to go; nowMs when the key only pauses or resumes
    bool seek;        // a seek (false: go on from nowMs)
    bool paused;
    bool end;
};
PlayerCommand commandFor(PlayerKey key, uint32_t nowMs, bool paused);

// The last frame of the show: seeks past the end land here.
constexpr uint32_t lastShowFrameMs = 161279;

// ---- the command line's times, and the show played as a player ----

struct PlayerOptions {
    uint32_t startMs = 0;                 // --start MS
    bool loop = false;                    // --loop A:B: A to B again and again
    uint32_t loopFromMs = 0, loopToMs = 0;
};

// A time of the show in whole milliseconds, 0 ... 161279: false, with the reason, for anything else.
bool parseShowTime(const char* text, uint32_t& ms, std::string& why);
// A:B with A < B, both times of the show.
bool parseShowLoop(const char* text, uint32_t& fromMs, uint32_t& toMs, std::string& why);

void setPlayerOptions(const PlayerOptions& options);  // before runIntro

// What runIntro plays: playIntro with the player's device in front and playerStep as its loop.
// The pieces, for the browser, whose page owns the loop:
PlayerDevice* installPlayerDevice();  // in front of d3dDevice, before initIntro
uint32_t playerFirstMs();             // where the options start the show
void startPlayerClock();              // after startShowClock: the options' start
bool playerStep();                    // keys, then a frame (or the paused picture); false at the end
void playerGoTo(uint32_t ms);         // a seek, with the clock, the sound and the bar following
void playerSetPaused(bool paused);
bool playerPaused();
uint32_t playerNowMs();               // show time now, paused or not
void playShow();
