// player_keys.cpp: the player's key table.
#include "platform/player_keys.h"

#include <cstring>

const PlayerKeyBinding playerKeys[playerKeyCount] = {
    {PlayerKey::Space,      "Space",    " ",          false, "Space",       "pause or resume (the sound with it)",                      0},
    {PlayerKey::Left,       "Left",     "ArrowLeft",  false, "Left",        "5 s back",                                               250},
    {PlayerKey::Right,      "Right",    "ArrowRight", false, "Right",       "5 s ahead",                                              250},
    {PlayerKey::ShiftLeft,  "Left",     "ArrowLeft",  true,  "Shift+Left",  "1 s back",                                               250},
    {PlayerKey::ShiftRight, "Right",    "ArrowRight", true,  "Shift+Right", "1 s ahead",                                              250},
    {PlayerKey::Comma,      ",",        ",",          false, ",",           "one frame (1/60 s) back, while paused",                  100},
    {PlayerKey::Period,     ".",        ".",          false, ".",           "one frame (1/60 s) ahead, while paused",                 100},
    {PlayerKey::Home,       "Home",     "Home",       false, "Home",        "the start",                                                0},
    {PlayerKey::PageUp,     "PageUp",   "PageUp",     false, "Page Up",     "the previous phase (this one's start when 1 s into it)",   0},
    {PlayerKey::PageDown,   "PageDown", "PageDown",   false, "Page Down",   "the next phase",                                           0},
    {PlayerKey::Escape,     "Escape",   "Escape",     false, "Escape",      "end the show",                                             0},
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

// A keyboard's media keys (and a headset's buttons, which send them) act as the player's own keys
// for the same thing: play/pause as Space, next and previous as Page Down and Page Up.
struct MediaKey {
    const char* sdlName;
    const char* pageKey;
    PlayerKey as;
};
constexpr MediaKey mediaKeys[] = {
    {"AudioPlay", "MediaPlayPause", PlayerKey::Space},
    {"AudioNext", "MediaTrackNext", PlayerKey::PageDown},
    {"AudioPrev", "MediaTrackPrevious", PlayerKey::PageUp},
};

const PlayerKeyBinding* findMedia(const char* name, const char* MediaKey::*column) {
    if (name == nullptr) return nullptr;
    for (const MediaKey& media : mediaKeys)
        if (std::strcmp(media.*column, name) == 0) return &playerKeys[static_cast<int32_t>(media.as)];
    return nullptr;
}

}  // namespace

const PlayerKeyBinding* playerKeyBySdlName(const char* name, bool shift) {
    const PlayerKeyBinding* row = find(name, shift, &PlayerKeyBinding::sdlName);
    return row != nullptr ? row : findMedia(name, &MediaKey::sdlName);
}
const PlayerKeyBinding* playerKeyByPageKey(const char* key, bool shift) {
    const PlayerKeyBinding* row = find(key, shift, &PlayerKeyBinding::pageKey);
    return row != nullptr ? row : findMedia(key, &MediaKey::pageKey);
}

// ---- a key held down ----

void HeldKey::press(const PlayerKeyBinding& row, int32_t id, uint32_t tick) {
    held = row.repeatMs > 0 ? &row : nullptr;
    heldId = id;
    nextTick = tick + heldDelayMs;
}

void HeldKey::release(int32_t id) {
    if (id == heldId) held = nullptr;
}

const PlayerKeyBinding* HeldKey::due(uint32_t tick) {
    if (held == nullptr || int32_t(tick - nextTick) < 0) return nullptr;
    // From now, not from when it was due: a late step does not make up for the repeats it missed.
    nextTick = tick + held->repeatMs;
    return held;
}

void PlayerKeyQueue::press(const PlayerKeyBinding& row, int32_t id, uint32_t tick) {
    held.press(row, id, tick);
    if (queued - taken < capacity) keys[queued++ % capacity] = row.key;
}

bool PlayerKeyQueue::next(uint32_t tick, PlayerKey* key) {
    if (taken == queued) {
        const PlayerKeyBinding* repeated = held.due(tick);
        if (repeated != nullptr) *key = repeated->key;
        return repeated != nullptr;
    }
    *key = keys[taken++ % capacity];
    return true;
}
