// timeline.cpp: the script: the table of phases (one row each: its times, its draw, its clear
// colour), which phase a time falls in, and every call of a phase with its arguments computed
// from the time since the phase began.
#include "timeline/timeline.h"

#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "core/frame_state.h"
#include "overlays/overlays.h"
#include "scenes/scenes.h"
#include "text/text.h"

uint32_t backgroundColor = 0xFF104864u;

namespace {

// The script's reciprocals and short constants are 32-bit floats; the arithmetic around them is
// double, and every float argument is rounded when it is passed.
constexpr float per240 = 1.0f / 240.0f;
constexpr float per960 = 1.0f / 960.0f;
constexpr float per1920 = 1.0f / 1920.0f;
constexpr float per3840 = 1.0f / 3840.0f;
constexpr float per7680 = 1.0f / 7680.0f;
constexpr float per23040 = 1.0f / 23040.0f;
constexpr float per30720 = 1.0f / 30720.0f;
constexpr float f0_001 = 0.001f;
constexpr float f0_1 = 0.1f;
constexpr float f0_2 = 0.2f;
constexpr float f0_3 = 0.3f;
constexpr double openingRate = 0.00163625;  // one period just under a bar
constexpr double swingRate = 0.7497;
constexpr float swingRateFloat = 0.7497f;  // the second tunnel's noise uses the float

constexpr uint32_t baseColor = 0xFF104864u;

// Nearest integer, ties to even (the default rounding mode).
int64_t nearest(double x) { return static_cast<int64_t>(std::nearbyint(x)); }

double swing(double s) { return std::sin(s * swingRate); }

// Text whose target lies straight ahead of its eye.
void drawLine(const char* line, double visibility, double x, double y, double z) {
    drawText(line, float(visibility), float(x), float(y), float(z), float(x), float(y), 0.0f);
}

// Each draw gets t, the ms since its phase began, and s, the show's seconds.
void drawOpening(const ShowPhase&, uint32_t t, double) {
    const uint32_t q = (t + 1920) / 3840;
    const double b = 0.5 - 0.5 * std::cos(t * openingRate);
    if (q < 4) {
        const double x = q == 0 ? 60 : 100, z = q == 0 ? -120 : -240;
        drawLine(openingLines[q], 1 - 2 * b, x, 20, z);
    }
    drawFade(uint8_t(nearest(b * 128)));
    resetNoise();
    scaleNoise(float(b));
    drawNoise(1);
}

void drawBoxedCubePhase(const ShowPhase&, uint32_t u, double s) {
    static const double lineX[4] = {100, 10, 50, 120};
    static const double lineY[4] = {-55, 55, 15, -5};
    const uint32_t k = u / 3840, inBar = u % 3840;
    fogOn();
    setFogEnd(100.0f);
    drawBoxedCube(float(16 - 5 * swing(s)), 100.0f, float(s), float(s), float(s));
    fogOff();
    drawLine(boxedCubeLines[k], 1, lineX[k], lineY[k], -250);
    // A ramp over the last 240 ms of each bar; a flash decaying over the phase's first 400 ms.
    const int64_t flash = 200 - int64_t(u / 2);
    const int64_t level = inBar >= 3600 ? inBar - 3600 : std::max<int64_t>(flash, 0);
    drawFade(uint8_t(level));
}

void drawFirstTunnel(const ShowPhase& phase, uint32_t u, double s) {
    static const double lineX[4] = {20, 120, 100, 10};
    static const double lineY[4] = {-55, 55, 5, -15};
    const uint32_t k = u / 3840;
    const double e = u < 3840 ? u * double(per3840) : 1.0;
    fogOn();
    setFogEnd(float(32 * e));
    drawTunnelScene(float(swing(s)), phase.startMs);
    fogOff();
    if ((u / 1920) % 2 == 1) drawLine(natureLines[k], 1, lineX[k], lineY[k], -250);
    resetNoise();
    scaleNoise(float(f0_2 * e));
    drawNoise(0);
    drawLetterbox(int32_t(nearest(64 * e)));
}

void drawCubeFieldPhase(const ShowPhase&, uint32_t u, double) {
    drawCubeField(float(16.0 * (u % 3840) * per3840), float(20 * std::sin(u * double(per3840))), 0.0f,
                  0.0f, 20.0f);
    drawLine(synthesisLines[std::min<uint32_t>(u / 1920, 4)], 4 - u * double(per3840), 120, 80, -300);
}

void drawSecondTunnel(const ShowPhase& phase, uint32_t m, double s) {
    const uint32_t length = phase.endMs - phase.startMs;
    double p = m < 7680 ? m * double(per7680) : 1.0;
    int64_t flashLevel = 0, kicks = 0;
    fogOn();
    if (m < length - 1920) {
        setFogEnd(float(32 * p));
        if (m < 15360) {
            flashLevel = nearest(255 * std::max(0.0, 0.5 - p));
        } else if (m < 46080) {
            const double decay = (1 - (m % 960) * double(per960)) * (46080 - m) * double(per30720);
            flashLevel = nearest(96 * std::max(0.0, decay - 0.5));
            if (m >= 15840) kicks = (m - 15840) / 960;
        }
    } else {
        p = (length - m) * double(per1920);  // the last half bar; the fog end stays where it was
    }
    drawTunnelScene(float((swing(s) + double(f0_3) * kicks) * p), phase.startMs);
    fogOff();
    if (m > 30720 && m < 46080) {
        const uint32_t j = (m - 30720) / 3840;
        drawLine(puzzleLines[j], 1, 120, 64 - 16.0 * j, -250);
    }
    resetNoise();
    scaleNoise(float((f0_1 * std::sin(s * double(swingRateFloat)) + f0_2) * p * f0_2));
    drawNoise(0);
    drawFade(uint8_t(flashLevel));
    drawLetterbox(int32_t(nearest(64 * p)));
}

void drawExplodingCube(const ShowPhase&, uint32_t m, double) {
    const uint32_t k = m / 3840;
    const double o = m < 7680 ? 1 - m * double(per7680) : 1.0;
    const int32_t odd = (m / 960) % 2;
    uint32_t w = m % 480;
    if (w >= 240) w = 0;
    const uint32_t n = (m + 240) / 480;
    // A steady turn plus a quarter-radian kick every 480 ms, spread over the 240 ms before it.
    const double spin = (n + w * double(per240)) * 0.25 + m * double(f0_001);
    drawCubeScene(20.0f, float(1 - o * o), 6.0f, float(spin), 1 - odd, odd);
    if (k % 2 == 1) drawLine(solvedLines[k / 2], 1, 90, 40, -250);
}

void drawClosing(const ShowPhase&, uint32_t m, double) {
    const double p = m * double(per23040);  // the phase's length, 23040 ms
    fogOn();
    setFogEnd(float(80 - 80 * p));
    drawCubeField(float(20 * p), 0.0f, 0.0f, 0.0f, float(20 + 10 * p));
    fogOff();
    const uint32_t i = std::min<uint32_t>(m / 1920, 7);
    drawLine(closingLines[i], 8 * (1 - p), 128, 16.0 * i - 48, -250);
}

uint32_t baseClear(const ShowPhase&, uint32_t) { return baseColor; }

// A colour of its own for each of the phase's four bars.
uint32_t cubeFieldClear(const ShowPhase&, uint32_t t) {
    static const uint32_t barColors[4] = {0xFFFF8A00u, 0xFF224432u, 0xFF811901u, 0xFF302A5Eu};
    return barColors[std::min<uint32_t>(t / showBarMs, 3)];
}

// The base colour fading to black over the phase.
uint32_t closingClear(const ShowPhase& phase, uint32_t t) {
    const double f = (phase.endMs - phase.startMs - t) * double(per23040);
    const uint32_t red = uint32_t(nearest(16 * f)) & 0xFFu;
    const uint32_t green = uint32_t(nearest(72 * f)) & 0xFFu;
    const uint32_t blue = uint32_t(nearest(100 * f)) & 0xFFu;
    return 0xFF000000u | red << 16 | green << 8 | blue;
}

}  // namespace

constexpr ShowPhase showPhases[showPhaseCount] = {
    {"opening",        0,      15360,        drawOpening,        baseClear     },  // 0
    {"boxed cube",     15360,  30720,        drawBoxedCubePhase, baseClear     },  // 1
    {"first tunnel",   30720,  46080,        drawFirstTunnel,    baseClear     },  // 2
    {"cube field",     46080,  61440,        drawCubeFieldPhase, cubeFieldClear},  // 3
    {"second tunnel",  61440,  122880,       drawSecondTunnel,   baseClear     },  // 4
    {"exploding cube", 122880, 138240,       drawExplodingCube,  baseClear     },  // 5
    {"closing",        138240, showLengthMs, drawClosing,        closingClear  },  // 6
};
static_assert(showPhases[showPhaseCount - 1].endMs - showPhases[showPhaseCount - 1].startMs == 23040,
              "drawClosing and closingClear divide by the closing phase's length");
static_assert(showPhases[3].endMs - showPhases[3].startMs == 4 * showBarMs, "cubeFieldClear has four bars");

int32_t showPhaseAt(uint32_t ms) {
    int32_t phase = 0;
    while (phase < showPhaseCount && ms >= showPhases[phase].endMs) ++phase;
    return phase;
}

void updateBackgroundColor() {
    const int32_t phase = showPhaseAt(demoTimeMs);
    if (phase == showPhaseCount) {
        backgroundColor = 0xFF000000u;
        return;
    }
    const ShowPhase& row = showPhases[phase];
    backgroundColor = row.clearColor(row, demoTimeMs - row.startMs);
}

void renderTimeline() {
    const int32_t phase = showPhaseAt(demoTimeMs);
    if (phase == showPhaseCount) {
        endReached = 1;
        return;
    }
    const ShowPhase& row = showPhases[phase];
    row.draw(row, demoTimeMs - row.startMs, demoTimeSec);
}
