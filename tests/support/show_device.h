// The real device on an off-screen 800 x 600 window for the show's tests, in a
// scratch working folder whose data/textures/ holds the show's pictures and
// the tests' own.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstdint>
#include <string>
#include <vector>

#include "renderer.h"

const int kScreenW = 800;
const int kScreenH = 600;

struct Frame {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // ARGB, top row first
    uint32_t At(int x, int y) const { return pixels[(size_t)y * width + x]; }
    int R(int x, int y) const { return (At(x, y) >> 16) & 255; }
    int G(int x, int y) const { return (At(x, y) >> 8) & 255; }
    int B(int x, int y) const { return At(x, y) & 255; }
};

// Null when no device could be brought up (the tests that need it then fail).
IDirect3DDevice9* ShowDevice();
// The scratch working folder.
const std::string& ShowFolder();

// Writes a 24-bit picture into data/textures/ of the scratch folder;
// `pixel` gives 0xRRGGBB for (x, y), top row first.
void WriteTestPicture(const char* name, int w, int h, uint32_t (*pixel)(int x, int y));

// Clears to the colour, then BeginScene.
void BeginFrame(D3DCOLOR clear);
// EndScene, then reads the back buffer.
Frame EndFrame();
// Reads the back buffer as it stands (also after Present).
Frame ReadBackBuffer();

// Puts the device back to its recorded defaults.
void ResetStates();

// Contents of debug.txt in the scratch folder.
std::string ReadDebugLog();

// A test that draws needs the real device: without one it fails, as the
// device's own fixture does, rather than passing as skipped.
#define REQUIRE_DEVICE() ASSERT_NE(ShowDevice(), nullptr) << "no device could be brought up"
