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
};
constexpr int32_t playerKeyCount = 11;
// In PlayerKey's order: row k binds PlayerKey(k).
extern const PlayerKeyBinding playerKeys[playerKeyCount];

// The row a key pressed on a platform matches, by SDL's or the page's name; null for none.
const PlayerKeyBinding* playerKeyBySdlName(const char* name, bool shift);
const PlayerKeyBinding* playerKeyByPageKey(const char* key, bool shift);
