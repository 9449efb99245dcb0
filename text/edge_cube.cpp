// edge_cube.cpp: the unit wireframe cube every lit text pixel is drawn as.
#include "text/text.h"

const float EdgeCubeCorners[8][3] = {
    {0.0f, 0.0f, 0.0f},  // 0
    {0.0f, 1.0f, 0.0f},  // 1
    {1.0f, 0.0f, 0.0f},  // 2
    {1.0f, 1.0f, 0.0f},  // 3
    {0.0f, 0.0f, 1.0f},  // 4
    {0.0f, 1.0f, 1.0f},  // 5
    {1.0f, 0.0f, 1.0f},  // 6
    {1.0f, 1.0f, 1.0f},  // 7
};
static_assert(sizeof EdgeCubeCorners == 8 * 3 * sizeof(float));

const uint16_t EdgeCubeEdges[24] = {
    0, 1,  1, 3,  3, 2,  2, 0,  // the square at z = 0
    0, 4,  1, 5,  2, 6,  3, 7,  // the four edges along z
    4, 5,  5, 7,  7, 6,  6, 4,  // the square at z = 1
};
static_assert(sizeof EdgeCubeEdges == 24 * sizeof(uint16_t));

ColorVertex edgeCubeLines[24];

// Alpha 0x0F is never seen: the text is drawn without blending.
constexpr D3DCOLOR edgeCubeColor = 0x0FFFFFFFu;

void buildEdgeCube() {
    for (int n = 0; n < 24; ++n) {
        const float* corner = EdgeCubeCorners[EdgeCubeEdges[n]];
        edgeCubeLines[n] = {corner[0], corner[1], corner[2], edgeCubeColor};
    }
}
