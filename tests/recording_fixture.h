// recording_fixture.h: a test fixture that points the show at a fresh recording device with
// the maths bound and the remembered render state back at its start-up values.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "core/core.h"
#include "core/frame_state.h"
#include "platform/recording/recording_device.h"

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        device = std::make_unique<RecordingDevice>();
        d3dDevice = device.get();
        loadMathApi();
        RenderMode = 0;
        fogEnabled = 0;
        randomSeed = 0;
    }

    void TearDown() override { d3dDevice = nullptr; }

    // The calls of one kind, in order.
    std::vector<const RecordedCall*> callsOf(CallKind kind) const {
        std::vector<const RecordedCall*> found;
        for (const RecordedCall& call : device->calls)
            if (call.kind == kind) found.push_back(&call);
        return found;
    }

    std::unique_ptr<RecordingDevice> device;
};
