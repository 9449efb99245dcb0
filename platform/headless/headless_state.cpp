// headless_state.cpp: what the headless services were told and answer (headless_system.h); the
// page's check modes run on it too, with the page's own services around it.
#include "platform/headless/headless_system.h"

HeadlessSystemState headlessSystem;

void resetHeadlessSystem() { headlessSystem = HeadlessSystemState{}; }
