#include "bitmapfont.h"

#include <cmath>
#include <cstring>

#include "debuglog.h"
#include "texturecache.h"
#include "utils.h"

namespace {

const DWORD kMaxVertices = 300;
const UINT kVertexBufferSize = kMaxVertices * sizeof(WorldTextVertex);

// Codes beyond ASCII that get glyphs of their own, in painting order.
const unsigned char kExtraGlyphs[20] = {
    225, 233, 237, 243, 250, 193, 201, 205, 211, 218,
    241, 209, 191, 161, 128, 186, 170, 172, 252, 220,
};

// Side of the glyph texture for a font height in points.
DWORD TextureSideFor(DWORD height)
{
    if (height > 110)
        return 4096;
    if (height > 55)
        return 2048;
    if (height > 27)
        return 1024;
    if (height > 13)
        return 512;
    return 256;
}

// One vertex-buffer fill: quads are appended and drawn in batches.
class Batch {
public:
    Batch(IDirect3DDevice9* dev, IDirect3DVertexBuffer9* vb, UINT stride)
        : m_dev(dev), m_vb(vb), m_stride(stride), m_pData(NULL), m_numTriangles(0)
    {
        Lock();
    }

    // Room for six more vertices, or null when the buffer could not be locked.
    BYTE* Next()
    {
        if (m_pData == NULL)
            return NULL;
        return m_pData + m_numTriangles * 3 * m_stride;
    }

    void Added()
    {
        m_numTriangles += 2;
        if (m_numTriangles * 3 > kMaxVertices - 6) {
            m_vb->Unlock();
            m_dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, m_numTriangles);
            m_numTriangles = 0;
            Lock();
        }
    }

    void Finish()
    {
        if (m_pData != NULL)
            m_vb->Unlock();
        if (m_numTriangles > 0)
            m_dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, m_numTriangles);
        m_pData = NULL;
        m_numTriangles = 0;
    }

private:
    void Lock()
    {
        void* p = NULL;
        if (FAILED(m_vb->Lock(0, 0, &p, D3DLOCK_DISCARD)))
            p = NULL;
        m_pData = (BYTE*)p;
    }

    IDirect3DDevice9* m_dev;
    IDirect3DVertexBuffer9* m_vb;
    UINT m_stride;
    BYTE* m_pData;
    DWORD m_numTriangles;
};

void SetScreenVertex(BYTE* p, int i, float x, float y, float z, DWORD colour, float tu, float tv)
{
    ScreenTextVertex v = {x, y, z, 1.0f, colour, tu, tv};
    std::memcpy(p + i * sizeof(ScreenTextVertex), &v, sizeof(v));
}

// Two triangles of screen text, shifted by half a pixel onto pixel centres.
void SetScreenQuad(BYTE* v, float px, float py, float gw, float gh, float z, DWORD colour,
                   const float* tc)
{
    float l = px - 0.5f, t = py - 0.5f, r = px + gw - 0.5f, b = py + gh - 0.5f;
    SetScreenVertex(v, 0, l, b, z, colour, tc[0], tc[3]);
    SetScreenVertex(v, 1, l, t, z, colour, tc[0], tc[1]);
    SetScreenVertex(v, 2, r, b, z, colour, tc[2], tc[3]);
    SetScreenVertex(v, 3, r, t, z, colour, tc[2], tc[1]);
    SetScreenVertex(v, 4, r, b, z, colour, tc[2], tc[3]);
    SetScreenVertex(v, 5, l, t, z, colour, tc[0], tc[1]);
}

void SetWorldVertex(BYTE* p, int i, float x, float y, float tu, float tv)
{
    WorldTextVertex v = {x, y, 0.0f, 0.0f, 0.0f, -1.0f, tu, tv};
    std::memcpy(p + i * sizeof(WorldTextVertex), &v, sizeof(v));
}

}  // namespace

DWORD GlyphSpacing(LONG cellHeight)
{
    float product = (float)cellHeight * 0.3f;
    return product > 0.0f ? (DWORD)std::ceil(product) : 0;
}

BitmapFont::BitmapFont(const char* fontName, DWORD height, DWORD flags)
    : m_fontHeight(height), m_fontFlags(flags), m_pDevice(NULL), m_pTexture(NULL), m_pVB(NULL),
      m_texWidth(0), m_texHeight(0), m_textScale(1.0f), m_spacing(0), m_pStateBlockSaved(NULL),
      m_pStateBlockDrawText(NULL)
{
    std::memset(m_fontName, 0, sizeof(m_fontName));
    if (fontName != NULL)
        std::strncpy(m_fontName, fontName, sizeof(m_fontName) - 1);
    std::memset(m_texCoords, 0, sizeof(m_texCoords));
}

BitmapFont::~BitmapFont()
{
    InvalidateDeviceObjects();
    DeleteDeviceObjects();
}

// Lays the glyphs out on a texture of the given side without painting them:
// true when every cell lies inside it.
bool BitmapFont::GlyphsFit(HDC hDC, DWORD side)
{
    DWORD x = m_spacing;
    DWORD y = 0;
    auto place = [&](unsigned char code) {
        char str[2] = {(char)code, 0};
        SIZE size = {0, 0};
        GetTextExtentPoint32A(hDC, str, 1, &size);
        DWORD cx = (DWORD)size.cx;
        DWORD cy = (DWORD)size.cy;
        if (x + cx + m_spacing > side) {
            x = m_spacing;
            y += cy + 1;
        }
        bool fits = x + cx + m_spacing <= side && y + cy <= side;
        x += cx + 2 * m_spacing;
        return fits;
    };
    bool all = true;
    for (int c = 32; c < 127; c++)
        all = place((unsigned char)c) && all;
    for (unsigned char c : kExtraGlyphs)
        all = place(c) && all;
    return all;
}

// Paints one glyph at the pen, wrapping to the next row when the row is
// full, and records its cell. A cell that would leave the texture is not
// painted and keeps the space's cell.
void BitmapFont::PaintGlyph(HDC hDC, unsigned char code, SIZE* pSize, DWORD* pX, DWORD* pY)
{
    char str[2] = {(char)code, 0};
    pSize->cx = 0;
    pSize->cy = 0;
    GetTextExtentPoint32A(hDC, str, 1, pSize);
    DWORD cx = (DWORD)pSize->cx;
    DWORD cy = (DWORD)pSize->cy;

    if (*pX + cx + m_spacing > m_texWidth) {
        *pX = m_spacing;
        *pY += cy + 1;
    }
    bool fits = *pX + cx + m_spacing <= m_texWidth && *pY + cy <= m_texHeight;
    if (fits || code == 32) {
        if (fits)
            ExtTextOutA(hDC, (int)*pX, (int)*pY, ETO_OPAQUE, NULL, str, 1, NULL);
        m_texCoords[code][0] = (float)(*pX - m_spacing) / m_texWidth;
        m_texCoords[code][1] = (float)(*pY) / m_texHeight;
        m_texCoords[code][2] = (float)(*pX + cx + m_spacing) / m_texWidth;
        m_texCoords[code][3] = (float)(*pY + cy) / m_texHeight;
    } else {
        std::memcpy(m_texCoords[code], m_texCoords[32], sizeof(m_texCoords[code]));
    }
    *pX += cx + 2 * m_spacing;
}

HRESULT BitmapFont::InitDeviceObjects(IDirect3DDevice9* pd3dDevice)
{
    if (pd3dDevice == NULL)
        return E_FAIL;
    m_pDevice = pd3dDevice;
    m_textScale = 1.0f;

    DWORD side = TextureSideFor(m_fontHeight);
    D3DCAPS9 caps;
    std::memset(&caps, 0, sizeof(caps));
    m_pDevice->GetDeviceCaps(&caps);
    DWORD maxSide = caps.MaxTextureWidth;
    if (side > maxSide && maxSide > 0) {
        m_textScale = (float)maxSide / (float)side;
        side = maxSide;
    }
    m_texWidth = m_texHeight = side;

    HDC hDC = CreateCompatibleDC(NULL);
    if (hDC == NULL)
        return E_FAIL;
    SetMapMode(hDC, MM_TEXT);
    int height = -MulDiv((int)m_fontHeight, (int)(GetDeviceCaps(hDC, LOGPIXELSY) * m_textScale), 72);
    DWORD weight = (m_fontFlags & FontBold) ? FW_BOLD : FW_NORMAL;
    DWORD italic = (m_fontFlags & FontItalic) ? TRUE : FALSE;
    HFONT hFont = CreateFontA(height, 0, 0, 0, (int)weight, italic, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                              VARIABLE_PITCH, m_fontName);
    if (hFont == NULL) {
        DeleteDC(hDC);
        return E_FAIL;
    }
    HGDIOBJ hOldFont = SelectObject(hDC, hFont);

    SIZE size = {0, 0};
    GetTextExtentPoint32A(hDC, " ", 1, &size);
    m_spacing = GlyphSpacing(size.cy);

    // Grow the texture until every glyph's cell fits; past the device's
    // limit the glyphs that do not fit show the space's cell.
    while (!GlyphsFit(hDC, side)) {
        if (maxSide > 0 && side * 2 > maxSide) {
            ReportError("Glyphs of \"%s\" %u do not fit a %ux%u texture [BitmapFont]", m_fontName,
                        (unsigned)m_fontHeight, (unsigned)side, (unsigned)side);
            break;
        }
        side *= 2;
    }
    m_texWidth = m_texHeight = side;

    if (FAILED(m_pDevice->CreateTexture(m_texWidth, m_texHeight, 1, 0, D3DFMT_A4R4G4B4,
                                        D3DPOOL_MANAGED, &m_pTexture, NULL)) ||
        m_pTexture == NULL) {
        ReportWarning("CreateTexture FAILED");
        m_pTexture = NULL;
        SelectObject(hDC, hOldFont);
        DeleteObject(hFont);
        DeleteDC(hDC);
        return E_FAIL;
    }

    BITMAPINFO bmi;
    std::memset(&bmi, 0, sizeof(bmi));
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = (LONG)m_texWidth;
    bmi.bmiHeader.biHeight = -(LONG)m_texHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biCompression = BI_RGB;
    bmi.bmiHeader.biBitCount = 32;
    DWORD* pBitmapBits = NULL;
    HBITMAP hbmBitmap = CreateDIBSection(hDC, &bmi, DIB_RGB_COLORS, (void**)&pBitmapBits, NULL, 0);
    if (hbmBitmap == NULL || pBitmapBits == NULL) {
        if (hbmBitmap != NULL)
            DeleteObject(hbmBitmap);
        SelectObject(hDC, hOldFont);
        DeleteObject(hFont);
        DeleteDC(hDC);
        m_pTexture->Release();
        m_pTexture = NULL;
        return E_FAIL;
    }
    HGDIOBJ hOldBitmap = SelectObject(hDC, hbmBitmap);
    SetTextColor(hDC, RGB(255, 255, 255));
    SetBkColor(hDC, 0x00000000);
    SetTextAlign(hDC, TA_TOP);

    DWORD x = m_spacing;
    DWORD y = 0;
    for (int c = 32; c < 127; c++)
        PaintGlyph(hDC, (unsigned char)c, &size, &x, &y);
    for (int c = 0; c < 256; c++) {
        if (c < 32 || c > 126)
            std::memcpy(m_texCoords[c], m_texCoords[32], sizeof(m_texCoords[c]));
    }
    for (unsigned char c : kExtraGlyphs)
        PaintGlyph(hDC, c, &size, &x, &y);

    D3DLOCKED_RECT lr;
    if (SUCCEEDED(m_pTexture->LockRect(0, &lr, NULL, 0)) && lr.pBits != NULL) {
        BYTE* pDstRow = (BYTE*)lr.pBits;
        for (DWORD row = 0; row < m_texHeight; row++) {
            WORD* pDst16 = (WORD*)pDstRow;
            const DWORD* pSrc = pBitmapBits + row * m_texWidth;
            for (DWORD col = 0; col < m_texWidth; col++) {
                BYTE a = (BYTE)((pSrc[col] & 0xFF) >> 4);
                pDst16[col] = a > 0 ? (WORD)((a << 12) | 0x0FFF) : (WORD)0x0000;
            }
            pDstRow += lr.Pitch;
        }
        m_pTexture->UnlockRect(0);
    }

    SelectObject(hDC, hOldBitmap);
    SelectObject(hDC, hOldFont);
    DeleteObject(hbmBitmap);
    DeleteObject(hFont);
    DeleteDC(hDC);

    GenerateMipmaps(&m_pTexture);
    return S_OK;
}

void BitmapFont::RecordDrawStates()
{
    IDirect3DDevice9* d = m_pDevice;
    d->SetTexture(0, m_pTexture);
    d->SetRenderState(D3DRS_ZENABLE, (m_fontFlags & FontZEnable) ? TRUE : FALSE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHAREF, 0x08);
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    d->SetRenderState(D3DRS_STENCILENABLE, FALSE);
    d->SetRenderState(D3DRS_CLIPPING, TRUE);
    d->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
    d->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    d->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
    d->SetRenderState(D3DRS_COLORWRITEENABLE, 0x0F);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
}

HRESULT BitmapFont::RestoreDeviceObjects()
{
    if (m_pDevice == NULL)
        return E_FAIL;
    if (FAILED(m_pDevice->EvictManagedResources()))
        ReportError("EvictManagedResources FAILED");

    HRESULT hr = m_pDevice->CreateVertexBuffer(kVertexBufferSize,
                                               D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, 0,
                                               D3DPOOL_DEFAULT, &m_pVB, NULL);
    if (FAILED(hr)) {
        m_pVB = NULL;
        return hr;
    }

    for (int which = 0; which < 2; which++) {
        IDirect3DStateBlock9* pBlock = NULL;
        m_pDevice->BeginStateBlock();
        RecordDrawStates();
        m_pDevice->EndStateBlock(&pBlock);
        if (which == 0)
            m_pStateBlockSaved = pBlock;
        else
            m_pStateBlockDrawText = pBlock;
    }
    return S_OK;
}

HRESULT BitmapFont::InvalidateDeviceObjects()
{
    SafeRelease(m_pVB);
    SafeRelease(m_pStateBlockSaved);
    SafeRelease(m_pStateBlockDrawText);
    return S_OK;
}

HRESULT BitmapFont::DeleteDeviceObjects()
{
    SafeRelease(m_pTexture);
    m_pDevice = NULL;
    return S_OK;
}

float BitmapFont::RowHeight() const
{
    return (m_texCoords[32][3] - m_texCoords[32][1]) * (float)m_texHeight;
}

// Drawing needs the device, the buffer and both blocks, and a laid-out font.
bool BitmapFont::CanDraw() const
{
    return m_pDevice != NULL && m_pVB != NULL && m_pStateBlockSaved != NULL &&
           m_pStateBlockDrawText != NULL && RowHeight() > 0.0f;
}

static HRESULT MeasureText(const float (*texCoords)[4], DWORD texWidth, DWORD spacing, float rowHeight,
                           const char* text, SIZE* pSize, bool firstLineOnly)
{
    if (text == NULL || pSize == NULL)
        return E_FAIL;
    float w = 0.0f;
    float r = 0.0f;
    float h = rowHeight;
    for (const unsigned char* p = (const unsigned char*)text; *p != 0; p++) {
        unsigned char c = *p;
        if (c == '\n') {
            if (firstLineOnly)
                break;
            r = 0.0f;
            h += rowHeight;
        }
        r += (texCoords[c][2] - texCoords[c][0]) * (float)texWidth - 2.0f * (float)spacing;
        if (r > w)
            w = r;
    }
    pSize->cx = (LONG)w;
    pSize->cy = (LONG)h;
    return S_OK;
}

HRESULT BitmapFont::GetTextExtent(const char* text, SIZE* pSize)
{
    return MeasureText(m_texCoords, m_texWidth, m_spacing, RowHeight(), text, pSize, false);
}

HRESULT BitmapFont::GetLineExtent(const char* text, SIZE* pSize)
{
    return MeasureText(m_texCoords, m_texWidth, m_spacing, RowHeight(), text, pSize, true);
}

void BitmapFont::BeginDraw(DWORD fvf, UINT stride, DWORD flags, bool world)
{
    m_pStateBlockSaved->Capture();
    m_pStateBlockDrawText->Apply();
    m_pDevice->SetFVF(fvf);
    m_pDevice->SetPixelShader(NULL);
    m_pDevice->SetStreamSource(0, m_pVB, 0, stride);
    if (flags & TextFiltered) {
        m_pDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        m_pDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        if (world)
            m_pDevice->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    }
}

HRESULT BitmapFont::DrawTextScaled(float x, float y, float z, float xScale, float yScale,
                                   DWORD colour, const char* text, DWORD flags)
{
    if (!CanDraw() || text == NULL)
        return E_FAIL;

    D3DVIEWPORT9 vp;
    std::memset(&vp, 0, sizeof(vp));
    m_pDevice->GetViewport(&vp);
    const float W = (float)vp.Width;
    const float H = (float)vp.Height;
    const float L = RowHeight();
    const float kx = xScale * H / L;
    const float ky = yScale * H / L;
    const float gap = 2.0f * (float)m_spacing * kx;

    if (flags & TextCenterX) {
        float lw = 0.0f;
        for (const unsigned char* p = (const unsigned char*)text; *p != 0 && *p != '\n'; p++)
            lw += (m_texCoords[*p][2] - m_texCoords[*p][0]) * (float)m_texWidth * kx - gap;
        x = W > 0.0f ? -lw / W : 0.0f;
    }
    if (flags & TextCenterY)
        y = H > 0.0f ? -L / H : 0.0f;

    float px = (x + 1.0f) * W / 2.0f - (float)m_spacing * kx;
    float py = (y + 1.0f) * H / 2.0f;
    const float lineStart = px;

    BeginDraw(SCREENTEXTVERTEX_FVF, sizeof(ScreenTextVertex), flags, false);
    Batch batch(m_pDevice, m_pVB, sizeof(ScreenTextVertex));
    for (const unsigned char* p = (const unsigned char*)text; *p != 0; p++) {
        unsigned char c = *p;
        if (c == '\n') {
            px = lineStart;
            py += yScale * H;
        }
        const float* tc = m_texCoords[c];
        float gw = (tc[2] - tc[0]) * (float)m_texWidth * kx;
        float gh = (tc[3] - tc[1]) * (float)m_texHeight * ky;
        if (c != ' ') {
            BYTE* v = batch.Next();
            if (v == NULL)
                break;
            SetScreenQuad(v, px, py, gw, gh, z, colour, tc);
            batch.Added();
        }
        px += gw - gap;
    }
    batch.Finish();
    m_pStateBlockSaved->Apply();
    return S_OK;
}

HRESULT BitmapFont::DrawText(float x, float y, DWORD colour, const char* text, DWORD flags)
{
    if (!CanDraw() || text == NULL)
        return E_FAIL;

    D3DVIEWPORT9 vp;
    std::memset(&vp, 0, sizeof(vp));
    m_pDevice->GetViewport(&vp);
    const float W = (float)vp.Width;
    const float H = (float)vp.Height;
    const float L = RowHeight();
    const float spacing = (float)m_spacing;

    if (flags & TextCenterX) {
        float lw = 0.0f;
        for (const unsigned char* p = (const unsigned char*)text; *p != 0 && *p != '\n'; p++)
            lw += (m_texCoords[*p][2] - m_texCoords[*p][0]) * (float)m_texWidth / m_textScale -
                  2.0f * spacing;
        x = (W - lw) / 2.0f;
    }
    if (flags & TextCenterY)
        y = (H - L) / 2.0f;

    float px = x - spacing;
    float py = y;
    const float lineStart = px;

    BeginDraw(SCREENTEXTVERTEX_FVF, sizeof(ScreenTextVertex), flags, false);
    Batch batch(m_pDevice, m_pVB, sizeof(ScreenTextVertex));
    for (const unsigned char* p = (const unsigned char*)text; *p != 0; p++) {
        unsigned char c = *p;
        if (c == '\n') {
            px = lineStart;
            py += L;
        }
        const float* tc = m_texCoords[c];
        float gw = (tc[2] - tc[0]) * (float)m_texWidth / m_textScale;
        float gh = (tc[3] - tc[1]) * (float)m_texHeight / m_textScale;
        if (c != ' ') {
            BYTE* v = batch.Next();
            if (v == NULL)
                break;
            SetScreenQuad(v, px, py, gw, gh, 0.9f, colour, tc);
            batch.Added();
        }
        px += gw - 2.0f * spacing;
    }
    batch.Finish();
    m_pStateBlockSaved->Apply();
    return S_OK;
}

HRESULT BitmapFont::Render3DText(const char* text, DWORD flags)
{
    if (!CanDraw() || text == NULL)
        return E_FAIL;

    const float L = RowHeight();
    const float spacing = (float)m_spacing / 10.0f;
    float x = 0.0f;
    float y = 0.0f;
    SIZE size;
    if (flags & TextCenterX) {
        GetLineExtent(text, &size);
        x = -((float)size.cx / 10.0f) / 2.0f;
    }
    if (flags & TextCenterY) {
        GetTextExtent(text, &size);
        y = -((float)size.cy / 10.0f) / 2.0f;
    }

    BeginDraw(WORLDTEXTVERTEX_FVF, sizeof(WorldTextVertex), flags, true);
    if (flags & TextTwoSided)
        m_pDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    x -= spacing;
    const float lineStart = x;
    const float texelSize = 10.0f * m_textScale;

    Batch batch(m_pDevice, m_pVB, sizeof(WorldTextVertex));
    for (const unsigned char* p = (const unsigned char*)text; *p != 0; p++) {
        unsigned char c = *p;
        if (c == '\n') {
            y -= L / 10.0f;
            if (flags & TextCenterX) {
                GetLineExtent((const char*)(p + 1), &size);
                x = -((float)size.cx / 10.0f) / 2.0f - spacing;
            } else {
                x = lineStart;
            }
        }
        const float* tc = m_texCoords[c];
        float gw = (tc[2] - tc[0]) * (float)m_texWidth / texelSize;
        float gh = (tc[3] - tc[1]) * (float)m_texHeight / texelSize;
        if (c != ' ') {
            BYTE* v = batch.Next();
            if (v == NULL)
                break;
            SetWorldVertex(v, 0, x, y, tc[0], tc[3]);
            SetWorldVertex(v, 1, x, y + gh, tc[0], tc[1]);
            SetWorldVertex(v, 2, x + gw, y, tc[2], tc[3]);
            SetWorldVertex(v, 3, x + gw, y + gh, tc[2], tc[1]);
            SetWorldVertex(v, 4, x + gw, y, tc[2], tc[3]);
            SetWorldVertex(v, 5, x, y + gh, tc[0], tc[1]);
            batch.Added();
        }
        x += gw - 2.0f * spacing;
    }
    batch.Finish();
    m_pStateBlockSaved->Apply();
    return S_OK;
}

HRESULT BitmapFont::Render3DTextAt(const char* text, float x, float y, float z, float scale,
                                   D3DXMATRIX* pMatrix)
{
    if (pMatrix == NULL || m_pDevice == NULL)
        return E_FAIL;
    pMatrix->_41 = x;
    pMatrix->_42 = y;
    pMatrix->_43 = z;
    float s = scale * 0.2f;
    D3DXMATRIX scaling;
    D3DXMatrixScaling(&scaling, s, s, s);
    D3DXMATRIX world;
    D3DXMatrixMultiply(&world, &scaling, pMatrix);
    m_pDevice->SetTransform(D3DTS_WORLD, &world);
    return Render3DText(text, TextCenterX | TextFiltered);
}
