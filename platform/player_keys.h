// player_keys.h: the keys the player answers, one row each: what each platform matches (SDL's
// key name, the browser's KeyboardEvent.key, with or without Shift) and what --help, the docs and
// the page show for it. The one place a key is bound.
#pragma once

#include <cstdint>

enum class PlayerKey : int32_t { Space, Left, Right, ShiftLeft, ShiftRight, Comma, Period, Home, PageUp, PageDown, Escape };

struct PlayerKeyBinding {
    PlayerKey key;
    const char* sdlName;   // SDL_GetKeyFromName's name
    const char* pageKey;   // KeyboardEvent.key
    bool shift;            // only with Shift held (a row without is matched without Shift)
    const char* label;     // as --help, the docs and the page name it
    const char* action;
    uint32_t repeatMs;     // held down, it acts again every repeatMs (after heldDelayMs); 0: once
};
constexpr int32_t playerKeyCount = 11;
// In PlayerKey's order: row k binds PlayerKey(k).
extern const PlayerKeyBinding playerKeys[playerKeyCount];

// The row a key pressed on a platform matches, by SDL's or the page's name; null for none. The
// media keys (play/pause, next, previous) match the rows of Space, Page Down and Page Up.
const PlayerKeyBinding* playerKeyBySdlName(const char* name, bool shift);
const PlayerKeyBinding* playerKeyByPageKey(const char* key, bool shift);

// ---- a key held down ----

// A key acts once when pressed; held, a row with repeatMs acts again at that steady rate until it
// is let go. The keyboard's own auto-repeat is not used: it came faster than seeks are done (34
// in 2 s), and the backlog played on after the key was released.
constexpr uint32_t heldDelayMs = 400;

class HeldKey {
public:
    // id: the platform's own key (SDL's keycode), so that its release is recognised.
    void press(const PlayerKeyBinding& row, int32_t id, uint32_t tick);
    void release(int32_t id);
    // The held key's row when it is due to act again at tick: at most once a call, so a slow step
    // gets one, not a burst.
    const PlayerKeyBinding* due(uint32_t tick);

private:
    const PlayerKeyBinding* held = nullptr;
    int32_t heldId = 0;
    uint32_t nextTick = 0;
};

// The keys pressed since the player last asked, in their order, and then the held key's repeats:
// what a platform's events feed and systemNextKey gives out.
class PlayerKeyQueue {
public:
    // A full queue drops the key: nobody presses 32 keys within one frame.
    void press(const PlayerKeyBinding& row, int32_t id, uint32_t tick);
    void release(int32_t id) { held.release(id); }
    bool next(uint32_t tick, PlayerKey* key);

private:
    static constexpr uint32_t capacity = 32;
    PlayerKey keys[capacity] = {};
    uint32_t queued = 0, taken = 0;
    HeldKey held;
};
