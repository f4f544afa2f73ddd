// The ground of the multiplayer-client scene: a height field over the
// terrain's 1024 x 1024 world units (x and z from -512 to 512, heights in
// world units at the scene's height scale of 64), and the pictures made
// from it.
#pragma once

#include "picture.h"

namespace tools {

// Where the local player starts; the ground is a smooth meadow around it.
const float kStartX = 100.0f, kStartZ = 0.0f;

// Ground height in world units at (x, z); above 10 on the meadow, the hills
// and the uplands, below 10 where trees grow: in the valleys in front of the
// start, short of the fog, and along the left and far edges.
float GroundHeight(float x, float z);

// "TerrainHeight.png": 128 x 128 grey samples s, height = (s - 128) / 4;
// row 0 is z = -512, column 0 x = -512, 8 units a sample.
Image TerrainHeightMap();
// "TerrainBase.dds": the ground picture stretched once over the terrain.
Image TerrainBase();
// "TerrainDetail.dds": a tiling detail picture; its red channel is the bump.
Image TerrainDetail();

} // namespace tools
