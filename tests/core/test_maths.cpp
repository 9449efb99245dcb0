// test_maths.cpp: the extension-library maths and the fixed matrices built at start-up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/core.h"

namespace {

D3DXVECTOR3 transform(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    MathApi.D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

void expectVector(const D3DXVECTOR3& v, float x, float y, float z, float tolerance = 1e-6f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

class MathsTest : public ::testing::Test {
protected:
    void SetUp() override { loadMathApi(); }
};

TEST_F(MathsTest, ProjectionEntries) {
    const D3DXMATRIX& p = projectionMatrix;
    uint32_t fovBits;
    std::memcpy(&fovBits, &projectionFovY, 4);
    EXPECT_EQ(fovBits, 0x3F4910E9u);
    const float yScale = 1.0f / std::tan(projectionFovY / 2.0f);
    EXPECT_FLOAT_EQ(p._22, yScale);
    EXPECT_FLOAT_EQ(p._11, yScale / 0.75f) << "aspect is height over width";
    EXPECT_FLOAT_EQ(p._33, 4000.0f / (4000.0f - 0.1f));
    EXPECT_FLOAT_EQ(p._43, -0.1f * 4000.0f / (4000.0f - 0.1f));
    EXPECT_EQ(p._34, 1.0f);
    EXPECT_EQ(p._44, 0.0f);
    for (float v : {p._12, p._13, p._14, p._21, p._23, p._24, p._31, p._32, p._41, p._42})
        EXPECT_EQ(v, 0.0f);
    // Depth runs 0 at the near plane to 1 at the far plane, as Direct3D's does.
    EXPECT_NEAR(transform({0, 0, 0.1f}, p).z, 0.0f, 1e-5f);
    EXPECT_NEAR(transform({0, 0, 4000.0f}, p).z, 1.0f, 1e-5f);
}

TEST_F(MathsTest, QuarterTurnsAndTheirSigns) {
    uint32_t bits;
    std::memcpy(&bits, &quarterTurn, 4);
    EXPECT_EQ(bits, 0x3FC90FDBu);
    const float t = 1e-6f;
    expectVector(transform({0, 1, 0}, quarterTurnXPos), 0, 0, 1, t);   // +Y toward +Z
    expectVector(transform({0, 1, 0}, quarterTurnXNeg), 0, 0, -1, t);
    expectVector(transform({0, 0, 1}, quarterTurnYPos), 1, 0, 0, t);   // +Z toward +X
    expectVector(transform({0, 0, 1}, quarterTurnYNeg), -1, 0, 0, t);
    expectVector(transform({1, 0, 0}, quarterTurnZPos), 0, 1, 0, t);   // +X toward +Y
    expectVector(transform({1, 0, 0}, quarterTurnZNeg), 0, -1, 0, t);
    expectVector(transform({1, 2, 3}, identityMatrix), 1, 2, 3, 0);
    expectVector(transform({1, 2, 3}, particleViewMatrix), 1, 2, 13, 0);
}

TEST_F(MathsTest, LookAtAgainstHandComputedView) {
    // Eye at (60, 20, -120) looking along +z: the view is a pure translation.
    const D3DXVECTOR3 eye = {60, 20, -120}, at = {60, 20, 0}, up = {0, 1, 0};
    D3DXMATRIX view;
    MathApi.D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    expectVector(transform({60, 20, 0}, view), 0, 0, 120);
    expectVector(transform({61, 21, -120}, view), 1, 1, 0);
    // Eye on +z looking at the origin turns half round about y: +x appears on the left.
    const D3DXVECTOR3 eye2 = {0, 0, 20}, origin = {0, 0, 0};
    MathApi.D3DXMatrixLookAtLH(&view, &eye2, &origin, &up);
    expectVector(transform({0, 0, 0}, view), 0, 0, 20);
    expectVector(transform({1, 0, 0}, view), -1, 0, 20);
    expectVector(transform({0, 1, 0}, view), 0, 1, 20);
}

TEST_F(MathsTest, YawPitchRollAppliesRollThenPitchThenYaw) {
    const float yaw = 0.3f, pitch = -0.7f, roll = 1.1f;
    D3DXMATRIX combined, rz, rx, ry, expected;
    MathApi.D3DXMatrixRotationYawPitchRoll(&combined, yaw, pitch, roll);
    MathApi.D3DXMatrixRotationZ(&rz, roll);
    MathApi.D3DXMatrixRotationX(&rx, pitch);
    MathApi.D3DXMatrixRotationY(&ry, yaw);
    MathApi.D3DXMatrixMultiply(&expected, &rz, &rx);
    MathApi.D3DXMatrixMultiply(&expected, &expected, &ry);  // out aliasing the first factor
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(combined.m[r][c], expected.m[r][c], 1e-6f) << r << c;
    D3DXMATRIX wrongOrder;
    MathApi.D3DXMatrixMultiply(&wrongOrder, &ry, &rx);
    MathApi.D3DXMatrixMultiply(&wrongOrder, &wrongOrder, &rz);
    EXPECT_GT(std::fabs(wrongOrder._12 - combined._12) + std::fabs(wrongOrder._31 - combined._31), 0.01f);
}

TEST_F(MathsTest, MultiplyAppliesTheFirstFactorFirst) {
    D3DXMATRIX translate, turn, product;
    MathApi.D3DXMatrixTranslation(&translate, 5, 0, 0);
    product = quarterTurnZPos;
    turn = quarterTurnZPos;
    MathApi.D3DXMatrixMultiply(&product, &translate, &product);  // out aliasing the second factor
    expectVector(transform({0, 0, 0}, product), 0, 5, 0, 1e-5f);  // moved, then turned
    MathApi.D3DXMatrixMultiply(&product, &turn, &translate);
    expectVector(transform({0, 0, 0}, product), 5, 0, 0, 1e-5f);
    D3DXMATRIX scale;
    MathApi.D3DXMatrixScaling(&scale, 2, 3, 4);
    expectVector(transform({1, 1, 1}, scale), 2, 3, 4, 0);
}

TEST_F(MathsTest, HermiteEndsAndTangents) {
    const D3DXVECTOR3 p1 = {1, 2, 3}, t1 = {10, 0, 0}, p2 = {4, 6, 8}, t2 = {0, -10, 0};
    D3DXVECTOR3 out;
    MathApi.D3DXVec3Hermite(&out, &p1, &t1, &p2, &t2, 0.0f);
    expectVector(out, 1, 2, 3, 0);
    MathApi.D3DXVec3Hermite(&out, &p1, &t1, &p2, &t2, 1.0f);
    expectVector(out, 4, 6, 8, 0);
    // Slopes by finite differences at both ends.
    const float h = 1e-3f;
    D3DXVECTOR3 a, b;
    MathApi.D3DXVec3Hermite(&a, &p1, &t1, &p2, &t2, 0.0f);
    MathApi.D3DXVec3Hermite(&b, &p1, &t1, &p2, &t2, h);
    expectVector({(b.x - a.x) / h, (b.y - a.y) / h, (b.z - a.z) / h}, 10, 0, 0, 0.05f);
    MathApi.D3DXVec3Hermite(&a, &p1, &t1, &p2, &t2, 1.0f - h);
    MathApi.D3DXVec3Hermite(&b, &p1, &t1, &p2, &t2, 1.0f);
    expectVector({(b.x - a.x) / h, (b.y - a.y) / h, (b.z - a.z) / h}, 0, -10, 0, 0.05f);
}

TEST_F(MathsTest, LerpNormalizeAndTransformCoord) {
    const D3DXVECTOR3 a = {0, 10, -4}, b = {10, 20, 4};
    D3DXVECTOR3 out;
    MathApi.D3DXVec3Lerp(&out, &a, &b, 0.25f);
    expectVector(out, 2.5f, 12.5f, -2, 0);
    MathApi.D3DXVec3Lerp(&out, &a, &b, 2.0f);  // not clamped
    expectVector(out, 20, 30, 12, 0);
    const D3DXVECTOR3 zero = {0, 0, 0}, v = {3, 0, 4};
    MathApi.D3DXVec3Normalize(&out, &zero);
    expectVector(out, 0, 0, 0, 0);
    EXPECT_FALSE(std::isnan(out.x));
    MathApi.D3DXVec3Normalize(&out, &v);
    expectVector(out, 0.6f, 0, 0.8f);
    // The division by w of a projected point.
    expectVector(transform({0, 0, 10}, projectionMatrix), 0, 0,
                 (10 * projectionMatrix._33 + projectionMatrix._43) / 10, 1e-6f);
}

}  // namespace
