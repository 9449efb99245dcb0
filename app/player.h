// player.h: the show as a player: one object that keeps the snapshots every bar, runs seeks
// from the nearest, pauses, follows the keys and keeps the player's clock over the show's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/player_device.h"
#include "app/snapshot.h"
#include "core/frame_grid.h"
#include "platform/system.h"
#include "timeline/timeline.h"

constexpr FrameGrid playerGrid{60};               // the grid seeks run on, as the capture tool's default
constexpr uint32_t snapshotIntervalMs = 3840;      // one bar: every phase starts on a snapshot
// The snapshots kept stay within this; the whole show's are some 36 MB. Past it, every second
// bar's is kept, then every fourth, so the longest run-up grows as little as it can.
constexpr size_t snapshotBudgetBytes = 48u << 20;
// Grid frames the look-ahead runs per step of live play: the whole show is kept in snapshots
// after some 800 frames, so that no seek waits for a long run-up.
constexpr uint32_t lookAheadFramesPerStep = 12;
// Show time a run-up covers per step of the start-up (a link or --start to a moment): a few
// tens of ms of CPU, so the page stays responsive.
constexpr uint32_t runUpSliceMs = 4000;
// Grid frames a seek runs up per step (5 s of show, some 50 ms of CPU here): a seek from a kept
// bar lands in one step; one further ahead than the look-ahead has got goes on over several,
// the last picture shown with the progress bar, so that nothing freezes.
constexpr uint32_t seekSliceFrames = 300;

// The last frame of the show: seeks past the end land here.
constexpr uint32_t lastShowFrameMs = showLengthMs - 1;

// ---- the keys ----

// What a key asks of the show at time nowMs (paused or not): the time to show next and the
// pause after it. Escape ends the show (end set). Pure: the player applies it.
struct PlayerCommand {
    uint32_t seekTo;  // where to go; nowMs when the key only pauses or resumes
    bool seek;        // a seek (false: go on from nowMs)
    bool paused;
    bool end;
};
PlayerCommand commandFor(PlayerKey key, uint32_t nowMs, bool paused);

// ---- the command line's times ----

struct PlayerOptions {
    bool start = false;                   // --start given: the show starts at startMs, 0 included
    uint32_t startMs = 0;                 // --start MS
    bool loop = false;                    // --loop A:B: A to B again and again
    uint32_t loopFromMs = 0, loopToMs = 0;
};

// A time of the show in whole milliseconds, 0 ... lastShowFrameMs: false, with the reason, for anything else.
bool parseShowTime(const char* text, uint32_t& ms, std::string& why);
// A:B with A < B, both times of the show.
bool parseShowLoop(const char* text, uint32_t& fromMs, uint32_t& toMs, std::string& why);

// ---- the player ----

class Player {
public:
    explicit Player(const PlayerOptions& options = PlayerOptions{});

    // Its device goes in front of d3dDevice, after the display is open and before initIntro;
    // or in front of a device the caller keeps (tests, benchmarks).
    void install();
    void attach(PlayerDevice* device);
    PlayerDevice* device() const { return front; }

    // After the loading screen: the state before the first frame is the first snapshot.
    void start();
    // Where the options start the show, and the run-up to it, at most sliceMs of show time a
    // call, drawing off; true once it is there. Before the music starts.
    uint32_t firstMs() const;
    bool runUpStep(uint32_t sliceMs);
    // Once the music is heard: the clock at firstMs.
    void startClock();

    // One step of live play: Escape and the end, the keys (dropped when pressed before the first
    // frame), the platform's hold, a lost picture, then a frame or the paused picture again, and
    // the look-ahead. False at the end.
    bool step();

    // A seek, with the clock, the sound and the bar following (the page's scrub bar): its frame
    // is drawn in this step, or in a later one where the run-up takes more than a slice.
    void goTo(uint32_t ms);
    bool seeking() const { return seekPending; }
    void setPaused(bool paused);  // the viewer's pause
    bool paused() const { return viewerPaused || held; }
    uint32_t nowMs() const;       // show time now, paused or not

    // The frame at ms, exactly as a run on the 60 fps grid from the start draws it where the
    // snapshot it starts from is exact: from the nearest state before it (a snapshot of any
    // kind, or the frames shown when they are nearer and on the grid), the grid frames before
    // ms with drawing off, then ms drawn. Past the end goes to the end's last frame.
    void seek(uint32_t ms);
    // The same without the frame at ms, drawing left off.
    void runUpTo(uint32_t ms);
    // The look-ahead: frames grid frames ahead of the show, from the state it left last time,
    // keeping a snapshot for every bar it enters; the show's own state is put back after.
    void lookAhead(uint32_t frames);
    uint32_t lookAheadMs() const;  // how far it got: every bar before is kept exact
    // Grid frames the look-ahead runs in each step of live play (0: none, for measurements).
    void setLookAheadPerStep(uint32_t frames) { lookAheadPerStep = frames; }

    size_t snapshotCount() const { return snapshots.size(); }
    size_t snapshotBytes() const;
    std::vector<uint32_t> keptBars() const;
    void setSnapshotBudget(size_t bytes) { budgetBytes = bytes; }  // snapshotBudgetBytes unless a test says
    // Grid frames the last run-up ran (a seek's, or a step of the start's), for tests and reports.
    uint32_t runUpFrames() const { return lastRunUpFrames; }

private:
    // The snapshot of bar b holds the state before the first frame at or after b bars: exact when
    // the frames before it were those of the grid and no others (a run-up, the look-ahead, a
    // show played on a virtual 60 fps clock), otherwise what the show played left. An exact one
    // replaces the other.
    struct Kept {
        ShowSnapshot snapshot;
        bool exact;
        bool started;        // a show frame ran before it
        uint32_t lastRunMs;  // that frame's time
    };
    // Where the frames run so far have left the show.
    struct RunPoint {
        bool started = false;  // a show frame has run
        uint32_t lastRunMs = 0;
        bool onGrid = true;    // the frames so far are the grid's up to lastRunMs, no others
        uint32_t nextGridMs() const;
    };

    void startNear(uint32_t ms);
    bool runGridUpTo(uint32_t ms, uint32_t maxFrames);
    void continueSeek();
    void keepSnapshotBefore(uint32_t ms);
    void keep(uint32_t bar, Kept kept);
    void runFrame(uint32_t ms);
    void restore(const Kept& kept);
    void showProgress(uint32_t ms) const;
    uint32_t nowMsRunning() const;
    void applyPause(bool pause);
    void drawPausedAgain();

    PlayerOptions options;
    std::unique_ptr<PlayerDevice> owned;  // the one install made
    PlayerDevice* front = nullptr;
    std::map<uint32_t, Kept> snapshots;  // by bar
    size_t budgetBytes = snapshotBudgetBytes;
    uint32_t keepEvery = 1;  // the bars kept are its multiples
    uint32_t lastRunUpFrames = 0;
    RunPoint run;
    // The look-ahead's own run: its state between its turns, and where it stands.
    ShowSnapshot aheadState;
    ShowSnapshot shownState;      // the show's own, while the look-ahead runs
    RunPoint ahead;
    bool aheadStarted = false;
    uint32_t lookAheadPerStep = lookAheadFramesPerStep;
    // Live play.
    bool keysOpen = false;        // the first frame has been shown: keys count from here
    bool frameShown = false;      // this step has shown a frame already (a seek's)
    bool seekPending = false;     // a seek's run-up goes on over the next steps
    uint32_t seekToMs = 0;
    bool viewerPaused = false;
    bool held = false;            // the platform holds the show (systemHeld)
    bool soundAdrift = false;     // held since the last resume: the sound may be anywhere
    uint32_t pausedMs = 0;        // the clock while paused
    uint32_t shownMs = 0;         // the time of the frame on screen, which a lost picture redraws
};
