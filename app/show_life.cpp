// show_life.cpp: the steps of the show's life, and the desktop's entry point that drives them.
#include "app/show_life.h"

#include "platform/system.h"
#include "synth/synth.h"
#include "timeline/timeline.h"

ShowLife::ShowLife(ScreenChoice screen, Player* showPlayer) : choice(screen), player(showPlayer) {}

bool ShowLife::step() {
    presented = false;
    switch (current) {
        case LifeStage::Opening:
            if (d3dDevice == nullptr) openDisplay(choice);
            if (player != nullptr) player->install();
            initIntro();
            startupSteps.initWaveBuffer();
            current = LifeStage::Loading;
            return true;
        case LifeStage::Loading:
            // Escape is not looked at here: the soundtrack must be complete before the show starts.
            // A quit from outside (a signal) is: it must not wait for the show's first frame.
            if (systemQuitAsked()) return quit();
            loadingFrame(loadingDone++);
            presented = true;
            if (loadingDone == loadingFrameCount) {
                if (player != nullptr) player->start();
                current = player != nullptr && player->firstMs() > 0 ? LifeStage::RunningUp : LifeStage::Starting;
            }
            return true;
        case LifeStage::RunningUp:
            // A start later in the show: run up to it first, the last loading picture shown, so
            // that the music starts at that moment, not before it.
            if (systemQuitAsked()) return quit();
            if (player->runUpStep(runUpSliceMs)) current = LifeStage::Starting;
            return true;
        case LifeStage::Starting:
            if (player != nullptr) systemSetWavePosition(player->firstMs());
            startupSteps.startMusic();
            current = LifeStage::Hearing;
            return true;
        case LifeStage::Hearing:
            // The clock starts when the first samples are heard.
            if (systemQuitAsked()) {
                startupSteps.stopMusic();
                return quit();
            }
            if (!systemWaveHeard()) return true;
            startShowClock();
            if (player != nullptr) player->startClock();
            current = LifeStage::Playing;
            [[fallthrough]];
        case LifeStage::Playing:
            if (player != nullptr ? player->step() : showStep()) {
                presented = true;
                return true;
            }
            startupSteps.stopMusic();
            current = LifeStage::Ended;
            return false;
        case LifeStage::Ended:
            break;
    }
    return false;
}

bool ShowLife::quit() {
    current = LifeStage::Ended;
    return false;
}

void playIntro(void (*afterFrame)()) {
    ShowLife life(ScreenChoice::Window, nullptr);
    while (life.step())
        if (life.framePresented() && afterFrame != nullptr) afterFrame();
}

void runIntro(ScreenChoice choice, const PlayerOptions& options) {
    systemStart();
    Player player(options);
    ShowLife life(choice, &player);
    while (life.step()) {}
    // Nothing is released and the window is not destroyed: the process ends here.
    systemExit(0);
}
