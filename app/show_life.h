// show_life.h: the show's whole life as one sequence of steps: the display (after the question),
// initIntro, the loading frames, the run-up to a start time, the music, the clock, the frames and
// the end. The desktop loop, the page's animation frames and the capture tool's virtual clock
// each drive it; none writes the order again.
#pragma once

#include <cstdint>

#include "app/app.h"
#include "app/player.h"

enum class LifeStage : int32_t {
    Opening,    // next: the display (unless one is set already), the player's device, initIntro
    Loading,    // the 64 loading frames, one a step
    RunningUp,  // the player's run-up to its first moment, a slice a step, before any sound
    Starting,   // the music is started
    Hearing,    // waiting until its first samples are heard; then the clock starts
    Playing,    // a frame a step (the player's, or the design's plain frame loop)
    Ended,      // the music stopped: nothing more
};

class ShowLife {
public:
    // player null: the frames as designed (the capture tool, the soak runner, the tests); the
    // choice answers the question unless d3dDevice is already set when the life opens.
    ShowLife(ScreenChoice choice, Player* player);

    // One step: at most one frame presented. False once the show has ended (its last step
    // stopped the music).
    bool step();
    LifeStage stage() const { return current; }
    bool framePresented() const { return presented; }  // the last step showed a loading or show frame
    int32_t loadingFramesDone() const { return loadingDone; }

private:
    bool quit();  // ended from outside before the show's first frame

    ScreenChoice choice;
    Player* player;
    LifeStage current = LifeStage::Opening;
    int32_t loadingDone = 0;
    bool presented = false;
};

// The plain life to its end on the calling thread, afterFrame (may be null) after every frame
// presented, loading frames included: the capture tool steps its virtual clock there. d3dDevice
// must be set.
void playIntro(void (*afterFrame)());

// The desktop's entry point: the whole life of the show with the player; ends the process with
// exit code 0.
[[noreturn]] void runIntro(ScreenChoice choice, const PlayerOptions& options);
