// The engine's meshes on the recording fake: for the length of a test the
// fake is the system's device, in a scratch working folder whose
// data/models/ and data/textures/ hold the test's own files.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_d3d9.h"
#include "scratch_folder.h"

class Config;

// One piece of a test mesh: `faces` separate triangles in the z = 0 plane
// with one material.
struct XPiece {
    int faces;
    float alpha;         // the material's diffuse alpha
    std::string texture; // file name, "" for none
};

// A .x text mesh of the pieces, in order (piece i is attribute i); with
// `colours` every vertex carries a colour. No normals.
std::string XMeshText(const std::vector<XPiece>& pieces, bool colours = false);

// The 2 x 2 square in the z = 0 plane, centred on the origin, two faces.
std::string XSquareText();

class FakeEngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes data/models/<name> (or any path below the folder).
    static void WriteFile(const std::string& path, const std::string& bytes);
    static std::string ReadFile(const std::string& path);
    // A 2 x 2 24-bit BMP of one colour under data/textures/.
    static void WriteTexture(const std::string& name, DWORD rgb);

    FakeD3D9 fake;
    IDirect3DDevice9* dev = nullptr;

private:
    std::unique_ptr<ScratchFolder> m_folder;
    IDirect3DDevice9* m_previousDevice = nullptr;
    D3DCAPS9 m_previousCaps{};
    IDirect3DStateBlock9* m_previousDefaults = nullptr;
    Config* m_previousConfig = nullptr;
    size_t m_cachedBefore = 0;
};
