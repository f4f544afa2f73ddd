// The show's meshes and their textures, authored in code. Each model is a
// pure function of its arguments, so the files are the same on every run.
#pragma once

#include <string>
#include <vector>

#include "picture.h"
#include "xwriter.h"

namespace tools {

// A small arrow, 0.41 units long, pointing along -y, opaque, with a texture
// that carries its own shading (the trails draw it unlit).
XFile ArrowModel();
Image ArrowTexture();
extern const char* const kArrowTexture;

// A conifer about 104 units tall and 68 wide, origin at mid-height, drawn
// with two opaque textures.
XFile TreeModel();
Image TreeBarkTexture();
Image TreeLeavesTexture();
extern const char* const kTreeBarkTexture;
extern const char* const kTreeLeavesTexture;

// The skinned walker: about 530 units tall with its origin at mid-height,
// facing -z, 21 bones, a looping walk. Three texture variants and three
// levels of detail (0 the finest) share the skeleton and the animation.
const int kPlayerVariants = 3;
const int kPlayerLods = 3;
const unsigned kPlayerTicksPerSecond = 4800;
const unsigned kPlayerCycleTicks = 3840; // one walk cycle (two steps): 0.8 s
XFile PlayerModel(int variant, int lod);
Image PlayerTexture(int variant);
std::string PlayerFile(int variant, int lod);    // "tiny-tex000-lod0.x"
std::string PlayerTextureFile(int variant);      // "tiny-tex000.png"

} // namespace tools
