// gl_states.cpp: Direct3D's state setters: every value is kept and checked; GL hears of it when a
// batch is drawn. Beside them, the state as the device holds it and its counters.
#include <algorithm>
#include <cstring>

#include "platform/gl/gl_internal.h"

// ---- state setters: every value is kept; GL hears of it when a batch is drawn ----

HRESULT GLDeviceImpl::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= 256) return D3DERR_INVALIDCALL;
    if (!validRenderStateValue(state, value)) {
        refusals.report(Refused::RenderStateValue, state, value);
        return D3DERR_INVALIDCALL;
    }
    if (renderStates[state] != value) {
        renderStates[state] = value;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetSamplerState(DWORD samplerIndex, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (samplerIndex != 0) {
        refusals.report(Refused::SamplerOtherThan0, type, samplerIndex);
        return D3DERR_INVALIDCALL;
    }
    if (!validSamplerStateValue(type, value)) {
        refusals.report(Refused::SamplerStateValue, type, value);
        return D3DERR_INVALIDCALL;
    }
    if (samplerStates[type] != value) {
        samplerStates[type] = value;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage != 0) {
        refusals.report(Refused::StageOtherThan0, type, stage);
        return D3DERR_INVALIDCALL;
    }
    if (!validStageStateValue(type, value)) {
        refusals.report(Refused::StageStateValue, type, value);
        return D3DERR_INVALIDCALL;
    }
    if (stageStates[type] != value) {
        stageStates[type] = value;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    D3DMATRIX* target = nullptr;
    switch (state) {
        case D3DTS_WORLD:      target = &world; break;
        case D3DTS_VIEW:       target = &view; break;
        case D3DTS_PROJECTION: target = &projection; break;
    }
    if (!target) {
        refusals.report(Refused::Transform, state, 0);
        return D3DERR_INVALIDCALL;
    }
    if (std::memcmp(target, matrix, sizeof *matrix) != 0) {
        *target = *matrix;
        matricesDirty = true;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
    if (stage != 0) {
        refusals.report(Refused::TextureOtherThan0, stage, 0);
        return D3DERR_INVALIDCALL;
    }
    GLTextureImpl* ours = nullptr;
    if (texture) {
        ours = dynamic_cast<GLTextureImpl*>(texture);
        if (!ours || ours->device != this) return D3DERR_INVALIDCALL;
    }
    if (ours == texture0) return D3D_OK;
    // Direct3D keeps a reference to the bound texture, so releasing it while bound is safe.
    if (ours) ours->addReference();
    if (texture0) texture0->Release();
    texture0 = ours;
    ++counters.stateChanges;
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetFVF(DWORD newFvf) {
    if (!validFvf(newFvf)) {
        refusals.report(Refused::VertexFormat, newFvf, 0);
        return D3DERR_INVALIDCALL;
    }
    if (fvf != newFvf) {
        fvf = newFvf;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

DWORD GLDeviceImpl::renderState(D3DRENDERSTATETYPE state) const { return state < 256 ? renderStates[state] : 0; }
DWORD GLDeviceImpl::stageState(D3DTEXTURESTAGESTATETYPE type) const { return type < 32 ? stageStates[type] : 0; }
DWORD GLDeviceImpl::samplerState(D3DSAMPLERSTATETYPE type) const { return type < 16 ? samplerStates[type] : 0; }

GLDeviceStats GLDeviceImpl::stats() const {
    GLDeviceStats stats = counters;
    stats.specialisedPrograms = static_cast<uint64_t>(
        std::count_if(specialised.begin(), specialised.end(), [](const SpecialisedProgram& s) { return s.program != 0; }));
    return stats;
}
