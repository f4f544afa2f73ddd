// Text drawn from one glyph texture rasterised once with GDI: screen text in
// viewport fractions or pixels, and text laid out as quads in the world.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

// Creation flags.
#define FontBold 1
#define FontItalic 2
#define FontZEnable 4

// Draw flags.
#define TextCenterX 1
#define TextCenterY 2
#define TextTwoSided 4
#define TextFiltered 8

struct ScreenTextVertex {
    float x, y, z, rhw;
    DWORD colour;
    float tu, tv;
};
#define SCREENTEXTVERTEX_FVF (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1)

struct WorldTextVertex {
    float x, y, z;
    float nx, ny, nz;
    float tu, tv;
};
#define WORLDTEXTVERTEX_FVF (D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1)

// Margin in texels on each side of every glyph, from the space's cell
// height: the ceiling of the single-precision product height * 0.3.
DWORD GlyphSpacing(LONG cellHeight);

class BitmapFont {
public:
    BitmapFont(const char* fontName, DWORD height, DWORD flags = 0);
    ~BitmapFont();

    HRESULT InitDeviceObjects(IDirect3DDevice9* pd3dDevice);
    HRESULT RestoreDeviceObjects();
    HRESULT InvalidateDeviceObjects();
    HRESULT DeleteDeviceObjects();

    HRESULT GetTextExtent(const char* text, SIZE* pSize);
    HRESULT GetLineExtent(const char* text, SIZE* pSize);

    // (x, y) from -1 to +1 across the viewport; each line is yScale of the
    // viewport's height tall.
    HRESULT DrawTextScaled(float x, float y, float z, float xScale, float yScale, DWORD colour,
                           const char* text, DWORD flags = 0);
    // (x, y) in pixels.
    HRESULT DrawText(float x, float y, DWORD colour, const char* text, DWORD flags = 0);
    // Quads in the z = 0 plane of the current world transform.
    HRESULT Render3DText(const char* text, DWORD flags = 0);
    // Moves the matrix's translation to (x, y, z), scales it and draws the
    // text centred there.
    HRESULT Render3DTextAt(const char* text, float x, float y, float z, float scale,
                           D3DXMATRIX* pMatrix);

    void PaintGlyph(HDC hDC, unsigned char code, SIZE* pSize, DWORD* pX, DWORD* pY);

    char m_fontName[80];
    DWORD m_fontHeight;
    DWORD m_fontFlags;
    IDirect3DDevice9* m_pDevice;
    IDirect3DTexture9* m_pTexture;
    IDirect3DVertexBuffer9* m_pVB;
    DWORD m_texWidth;
    DWORD m_texHeight;
    float m_textScale;
    float m_texCoords[256][4];
    DWORD m_spacing;
    IDirect3DStateBlock9* m_pStateBlockSaved;
    IDirect3DStateBlock9* m_pStateBlockDrawText;

private:
    BitmapFont(const BitmapFont&) = delete;
    BitmapFont& operator=(const BitmapFont&) = delete;

    bool GlyphsFit(HDC hDC, DWORD side);
    float RowHeight() const;
    bool CanDraw() const;
    void BeginDraw(DWORD fvf, UINT stride, DWORD flags, bool world);
    void RecordDrawStates();
};
