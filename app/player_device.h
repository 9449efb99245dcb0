// player_device.h: the device the player puts in front of the show's own. It keeps every state
// the frames set, so a snapshot can hold the device's part of the show and a restore can put
// it back, and while drawing is off it passes on nothing that draws or sets state.
#pragma once

#include "platform/d3d9.h"

// Every device state the show sets and the next frame may rely on without setting it again
// (the fog end of the second tunnel's last bars, the depth test of the opening, the streaks'
// texture stage). Render targets are not among them: every frame ends on the back buffer.
struct KeptDeviceState {
    DWORD renderStates[256];
    DWORD stageStates[32];    // stage 0
    DWORD samplerStates[16];  // sampler 0
    D3DMATRIX view, projection, world;
    IDirect3DTexture9* texture;  // stage 0
    DWORD fvf;
};

class PlayerDevice final : public D3D9Methods {
public:
    // Wraps a device in Direct3D 9's default state (a fresh one), before anything drew on it.
    explicit PlayerDevice(IDirect3DDevice9* inner);

    // Off: state calls are only kept and draws, clears and presents dropped. Turned on, the
    // inner device first gets every kept state it does not hold.
    void setDrawing(bool on);
    bool drawing() const { return drawingOn; }

    const KeptDeviceState& kept() const { return keptState; }
    // The state of a snapshot; the inner device follows at once while drawing, else when it resumes.
    void restoreKept(const KeptDeviceState& state);

    IDirect3DDevice9* inner() const { return innerDevice; }

    D3D9_DEVICE_METHODS(D3D9_DECLARE_OVERRIDE)

private:
    void syncInner();  // the inner device gets what it lacks of keptState

    IDirect3DDevice9* innerDevice;
    bool drawingOn = true;
    KeptDeviceState keptState;   // what the show set
    KeptDeviceState innerState;  // what the inner device was given
};
