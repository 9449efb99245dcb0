// test_tunnel_box.cpp: the segment box's faces and winding, the wall texture and the box's
// drawing through the device.
#include "tests/recording_fixture.h"

#include <cmath>
#include <cstring>

#include "tunnel/tunnel.h"

namespace {

class TunnelBoxTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        fillTunnelBox();
    }
};

D3DXVECTOR3 at(const TexVertex& v) { return {v.x, v.y, v.z}; }

// Seen from eye, is the triangle clockwise on screen (what counter-clockwise culling keeps)?
// Left-handed view: clockwise when the normal (p1 - p0) x (p2 - p0) points back at the eye.
bool clockwiseFrom(const D3DXVECTOR3& eye, const TexVertex* t) {
    const D3DXVECTOR3 p0 = at(t[0]), p1 = at(t[1]), p2 = at(t[2]);
    const double ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
    const double bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
    const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    return nx * (p0.x - eye.x) + ny * (p0.y - eye.y) + nz * (p0.z - eye.z) < 0.0;
}

struct FacePlane {
    int axis;     // 0 x, 1 y, 2 z
    float value;
};

TEST_F(TunnelBoxTest, FiveFacesOnTheirPlanesOpenAtTheFront) {
    const FacePlane planes[5] = {{1, -3.0f}, {0, 3.0f}, {1, 3.0f}, {0, -3.0f}, {2, -3.0f}};
    for (int face = 0; face < 5; ++face) {
        const FacePlane plane = planes[face];
        double area = 0.0;
        for (int k = 0; k < 6; ++k) {
            const TexVertex& v = tunnelBoxVertices[face * 6 + k];
            const float c[3] = {v.x, v.y, v.z};
            EXPECT_NEAR(c[plane.axis], plane.value, 1e-5f) << "face " << face << " vertex " << k;
            for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(std::fabs(c[axis]), 3.0f, 1e-5f);
            EXPECT_EQ(v.u, TunnelQuadTemplate[k].u);
            EXPECT_EQ(v.v, TunnelQuadTemplate[k].v);
        }
        for (int t = 0; t < 2; ++t) {
            const TexVertex* tri = &tunnelBoxVertices[face * 6 + t * 3];
            const int a = (plane.axis + 1) % 3, b = (plane.axis + 2) % 3;
            const float p[3][3] = {{tri[0].x, tri[0].y, tri[0].z},
                                   {tri[1].x, tri[1].y, tri[1].z},
                                   {tri[2].x, tri[2].y, tri[2].z}};
            area += std::fabs((p[1][a] - p[0][a]) * (p[2][b] - p[0][b]) -
                              (p[2][a] - p[0][a]) * (p[1][b] - p[0][b])) / 2.0;
        }
        EXPECT_NEAR(area, 36.0, 1e-3) << "the two triangles of face " << face << " cover it";
    }
    // On the side faces column 0 lies across the z = -3 end, and rows 0 and 63 run along the two
    // long edges: one line across each segment boundary, lines along every edge.
    for (int face = 0; face < 4; ++face) {
        const int across = planes[face].axis == 0 ? 1 : 0;
        bool sawRow[2] = {false, false};
        for (int k = 0; k < 6; ++k) {
            const TexVertex& v = tunnelBoxVertices[face * 6 + k];
            EXPECT_EQ(v.u, v.z > 0.0f ? 1.0f : 0.0f) << "face " << face << " vertex " << k;
            const float side = across == 0 ? v.x : v.y;
            for (int j = 0; j < 6; ++j) {
                const TexVertex& w = tunnelBoxVertices[face * 6 + j];
                if (std::fabs((across == 0 ? w.x : w.y) - side) < 1e-4f) {
                    EXPECT_EQ(w.v, v.v);
                }
            }
            ASSERT_TRUE(v.v == 0.0f || v.v == 1.0f);
            sawRow[v.v == 1.0f] = true;
        }
        EXPECT_TRUE(sawRow[0] && sawRow[1]) << "face " << face;
    }
    int frontOnly = 0;
    for (int face = 0; face < 5; ++face) {
        bool allFront = true;
        for (int k = 0; k < 6; ++k)
            allFront &= std::fabs(tunnelBoxVertices[face * 6 + k].z - 3.0f) < 1e-5f;
        frontOnly += allFront;
    }
    EXPECT_EQ(frontOnly, 0) << "no face closes the end at z = +3";
}

TEST_F(TunnelBoxTest, FacesShowFromInsideOnly) {
    for (int face = 0; face < 5; ++face) {
        const TexVertex* first = &tunnelBoxVertices[face * 6];
        // The eye outside, 10 units beyond the face's plane along its outward direction.
        const D3DXVECTOR3 centre = {(first[0].x + first[2].x) / 2, (first[0].y + first[2].y) / 2,
                                    (first[0].z + first[2].z) / 2};
        const D3DXVECTOR3 outside = {centre.x * 4, centre.y * 4, centre.z * 4};
        for (int t = 0; t < 2; ++t) {
            const TexVertex* tri = first + t * 3;
            EXPECT_TRUE(clockwiseFrom({0, 0, 0}, tri)) << "face " << face << " triangle " << t;
            EXPECT_TRUE(clockwiseFrom({1.0f, -2.0f, 2.5f}, tri)) << "face " << face << " triangle " << t;
            EXPECT_FALSE(clockwiseFrom(outside, tri)) << "face " << face << " triangle " << t;
        }
    }
}

TEST_F(TunnelBoxTest, TileTextureHasOneHundredNinetyWhiteTexels) {
    buildTileTexture();
    ASSERT_NE(tileTexture, nullptr);
    const auto creates = callsOf(CallKind::CreateTexture);
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0]->args[0], 64u);
    EXPECT_EQ(creates[0]->args[1], 64u);
    EXPECT_EQ(creates[0]->args[2], 0u) << "a full chain";
    EXPECT_EQ(creates[0]->args[3], 0u);
    EXPECT_EQ(creates[0]->args[4], uint32_t(D3DFMT_A8R8G8B8));
    EXPECT_EQ(creates[0]->args[5], uint32_t(D3DPOOL_MANAGED));
    const auto locks = callsOf(CallKind::LockRect);
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(locks[0]->args[0], 0u);
    EXPECT_EQ(locks[0]->args[1], D3DLOCK_NOSYSLOCK);
    const auto unlocks = callsOf(CallKind::UnlockRect);
    ASSERT_EQ(unlocks.size(), 1u);
    EXPECT_EQ(unlocks[0]->args[0], 0u);

    const RecordingTexture* texture = device->textureById(creates[0]->object);
    ASSERT_NE(texture, nullptr);
    const std::vector<uint8_t>& bits = texture->levelBits[0];
    int white = 0;
    for (int row = 0; row < 64; ++row)
        for (int column = 0; column < 64; ++column) {
            uint32_t texel;
            std::memcpy(&texel, &bits[(row * 64 + column) * 4], 4);
            const bool line = column == 0 || row == 0 || row == 63;
            EXPECT_EQ(texel, line ? 0xFFFFFFFFu : 0u) << "row " << row << " column " << column;
            white += texel == 0xFFFFFFFFu;
        }
    EXPECT_EQ(white, 190);
    for (size_t level = 1; level < texture->levelBits.size(); ++level)
        for (uint8_t byte : texture->levelBits[level]) ASSERT_EQ(byte, 0) << "level " << level;
}

TEST_F(TunnelBoxTest, DrawTurnsThenScalesTheBox) {
    buildTileTexture();
    device->clearLog();
    drawTunnelBox(50.0f, 0.3f, -0.7f, 1.1f);

    ASSERT_EQ(device->calls.size(), 4u);
    EXPECT_EQ(device->calls[0].kind, CallKind::SetTexture);
    EXPECT_EQ(device->texture(), tileTexture);
    EXPECT_EQ(device->calls[1].kind, CallKind::SetFVF);
    EXPECT_EQ(device->fvf(), D3DFVF_XYZ | D3DFVF_TEX1);
    EXPECT_EQ(device->calls[2].kind, CallKind::SetTransform);
    EXPECT_EQ(device->calls[2].args[0], uint32_t(D3DTS_WORLD));

    // A point turned by the yaw-pitch-roll rotation, then scaled.
    D3DXMATRIX rotation;
    MathApi.D3DXMatrixRotationYawPitchRoll(&rotation, 0.3f, -0.7f, 1.1f);
    const D3DXVECTOR3 corner = {3.0f, -3.0f, -3.0f};
    D3DXVECTOR3 turned, drawn;
    MathApi.D3DXVec3TransformCoord(&turned, &corner, &rotation);
    MathApi.D3DXVec3TransformCoord(&drawn, &corner, &device->transform(D3DTS_WORLD));
    EXPECT_NEAR(drawn.x, 50.0f * turned.x, 1e-3f);
    EXPECT_NEAR(drawn.y, 50.0f * turned.y, 1e-3f);
    EXPECT_NEAR(drawn.z, 50.0f * turned.z, 1e-3f);

    const RecordedCall& draw = device->calls[3];
    EXPECT_EQ(draw.kind, CallKind::DrawPrimitiveUP);
    EXPECT_EQ(draw.args[0], uint32_t(D3DPT_TRIANGLELIST));
    EXPECT_EQ(draw.args[1], 10u);
    EXPECT_EQ(draw.args[2], 20u);
    ASSERT_EQ(draw.vertices.size(), sizeof tunnelBoxVertices);
    EXPECT_EQ(std::memcmp(draw.vertices.data(), tunnelBoxVertices, sizeof tunnelBoxVertices), 0);
}

}  // namespace
