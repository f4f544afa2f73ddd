// Private to D3DX: animation sets read from a parsed .x file.
#pragma once

#include "d3dx9anim.h"
#include "xfile_tree.h"

#include <vector>

namespace d3dx {

// One keyframed set per AnimationSet object, in file order, each animation
// named after the frame it drives. Key times are in the file's
// AnimTicksPerSecond (4800 when it has none); rotation keys, stored (w, x, y,
// z) as the inverse rotation, are conjugated; matrix keys become scale,
// rotation and translation keys. The caller releases the sets.
HRESULT XFileAnimationSets(const XFileTree& tree, std::vector<ID3DXKeyframedAnimationSet*>* out);

} // namespace d3dx
