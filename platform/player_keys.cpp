// player_keys.cpp: the player's key table.
#include "platform/player_keys.h"

#include <cstring>

const PlayerKeyBinding playerKeys[playerKeyCount] = {
    {PlayerKey::Space,      "Space",    " ",          false, "Space",       "pause or resume (the sound with it)"},
    {PlayerKey::Left,       "Left",     "ArrowLeft",  false, "Left",        "5 s back"},
    {PlayerKey::Right,      "Right",    "ArrowRight", false, "Right",       "5 s ahead"},
    {PlayerKey::ShiftLeft,  "Left",     "ArrowLeft",  true,  "Shift+Left",  "1 s back"},
    {PlayerKey::ShiftRight, "Right",    "ArrowRight", true,  "Shift+Right", "1 s ahead"},
    {PlayerKey::Comma,      ",",        ",",          false, ",",           "one frame (1/60 s) back, while paused"},
    {PlayerKey::Period,     ".",        ".",          false, ".",           "one frame (1/60 s) ahead, while paused"},
    {PlayerKey::Home,       "Home",     "Home",       false, "Home",        "the start"},
    {PlayerKey::PageUp,     "PageUp",   "PageUp",     false, "Page Up",     "the previous phase (this one's start when 1 s into it)"},
    {PlayerKey::PageDown,   "PageDown", "PageDown",   false, "Page Down",   "the next phase"},
    {PlayerKey::Escape,     "Escape",   "Escape",     false, "Escape",      "end the show"},
};

namespace {

// A row with Shift wins over one without when Shift is held; keys without a Shift row ignore it.
const PlayerKeyBinding* find(const char* name, bool shift, const char* PlayerKeyBinding::*column) {
    if (name == nullptr) return nullptr;
    const PlayerKeyBinding* plain = nullptr;
    for (const PlayerKeyBinding& row : playerKeys) {
        if (std::strcmp(row.*column, name) != 0) continue;
        if (row.shift == shift) return &row;
        if (!row.shift) plain = &row;
    }
    return plain;
}

}  // namespace

const PlayerKeyBinding* playerKeyBySdlName(const char* name, bool shift) { return find(name, shift, &PlayerKeyBinding::sdlName); }
const PlayerKeyBinding* playerKeyByPageKey(const char* key, bool shift) { return find(key, shift, &PlayerKeyBinding::pageKey); }
