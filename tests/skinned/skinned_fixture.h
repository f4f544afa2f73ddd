// Skinned models on the recording fake device: a scratch run folder with the
// skinned effect and the player textures, .x fixtures written into its
// data\models\, and the renderer's device and capability globals pointed at
// the fake.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_d3d9.h"

namespace skinned {

// A temporary folder made the working folder, with data/shaders and
// data/textures linked to the run folder's and an empty data/models.
class RunFolder {
public:
    RunFolder();
    ~RunFolder();
    bool ok() const { return !path_.empty(); }
    // Writes data/models/<name>.
    void WriteModel(const std::string& name, const std::string& text) const;
    // Links the run folder's data/models/<name> into data/models.
    void LinkRunModel(const std::string& name) const;
    std::string ReadFile(const std::string& relative) const;

private:
    std::string path_;
    std::string previous_;
};

// Options of the two-bone strip.
struct StripOptions {
    bool normals = true;
    bool material = true;                 // one textured material, else none
    std::string texture = "tiny-tex000.png";
    std::string secondBone = "Lower";     // the frame the second skin weights name
    int meshes = 1;                       // skinned meshes in the root frame
    bool plainMesh = false;               // an extra unskinned mesh in Upper
};

// Root > Upper > Lower (10 along x). The Strip mesh in Root has vertices in
// pairs at x = 0, 10 and 20 (y = 0 and 1): Upper weighs the first four, Lower
// the last four, half each at x = 10. Lower turns about z, -90 degrees in
// one second as D3DX reads the file's keys, and keeps its translation.
std::string StripFile(const StripOptions& o = StripOptions());

// `bones` sibling frames under Root, bone i moved to (2 (i % 8), 2 (i / 8), 0)
// and carrying its own unit quad of the Cells mesh, whose quads all lie at
// the origin; no materials. A still animation keeps every bone in place.
std::string CellsFile(int bones);

// Fake device, renderer globals and run folder.
class FakeSkinTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Recreates the device with the given behaviour flags (and the caps as
    // they are in fake.Caps()).
    void Remake(DWORD behavior);

    FakeD3D9 fake;
    RunFolder folder;
    size_t baseline = 0;
};

// Reads the palette the effect holds and blends a vertex of the converted
// mesh as the skinned effect does; the vertices at `bind` (bind-pose
// position) all give the same result, which is returned.
D3DXVECTOR3 BlendAsTheEffect(ID3DXMesh* mesh, ID3DXEffect* effect, DWORD paletteSize, DWORD maxInfluences,
                             const D3DXVECTOR3& bind, int* found);

} // namespace skinned
