#include "texturecache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <d3dx9.h>
#include <mscrt.h>

#include "config.h"
#include "debuglog.h"
#include "renderer.h"
#include "utils.h"

std::list<TextureCacheEntry*> g_textureCache;

static const size_t kPathSize = 4096;

TextureCacheEntry::TextureCacheEntry(const char* name, IDirect3DTexture9* pTexture)
    : m_refCount(1), m_name(NULL), m_pTexture(pTexture)
{
    size_t len = std::strlen(name);
    m_name = (char*)std::malloc(len + 1);
    if (m_name != NULL)
        std::memcpy(m_name, name, len + 1);
}

TextureCacheEntry::~TextureCacheEntry()
{
    std::free(m_name);
    m_name = NULL;
    SafeRelease(m_pTexture);
}

static bool MipmappingOn()
{
    return g_pConfig == NULL || g_pConfig->m_mipmapping;
}

HRESULT LoadTextureFromFile(const char* name, IDirect3DTexture9** ppTexture)
{
    if (name == NULL || ppTexture == NULL)
        return E_POINTER;

    for (TextureCacheEntry* entry : g_textureCache) {
        if (entry->m_name != NULL && std::strcmp(entry->m_name, name) == 0) {
            entry->AddRef();
            *ppTexture = entry->m_pTexture;
            return S_OK;
        }
    }

    char path[kPathSize];
    int n = std::snprintf(path, sizeof(path), "data\\textures\\%s", name);
    if (n < 0 || (size_t)n >= sizeof(path)) {
        *ppTexture = NULL;
        ReportWarning("Fichero \"%s\" no encontrado", name);
        return E_INVALIDARG;
    }

    IDirect3DTexture9* pTexture = NULL;
    HRESULT hr;
    if (MipmappingOn()) {
        hr = D3DXCreateTextureFromFileA(m_pd3dDevice, path, &pTexture);
    } else {
        hr = D3DXCreateTextureFromFileExA(m_pd3dDevice, path, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                          D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                          D3DX_DEFAULT, 0, NULL, NULL, &pTexture);
    }
    if (hr == S_OK && pTexture != NULL) {
        TextureCacheEntry* entry = new TextureCacheEntry(name, pTexture);
        if (entry->m_name == NULL) {
            delete entry;
            *ppTexture = NULL;
            return E_OUTOFMEMORY;
        }
        g_textureCache.push_back(entry);
        *ppTexture = pTexture;
        return S_OK;
    }
    if (pTexture != NULL)
        pTexture->Release();
    *ppTexture = NULL;
    ReportWarning("Fichero \"%s\" no encontrado", name);
    return hr == S_OK ? E_FAIL : hr;
}

void ReleaseTexture(IDirect3DTexture9* pTexture)
{
    if (pTexture == NULL)
        return;
    for (auto it = g_textureCache.begin(); it != g_textureCache.end(); ++it) {
        TextureCacheEntry* entry = *it;
        if (entry->m_pTexture != pTexture)
            continue;
        entry->DecRef();
        if (entry->m_refCount > 0)
            return;
        g_textureCache.erase(it);
        delete entry;
        return;
    }
}

static void EmptyCache()
{
    for (TextureCacheEntry* entry : g_textureCache)
        delete entry;
    g_textureCache.clear();
}

void InitTextureCache()
{
    EmptyCache();
}

void FreeTextureCache()
{
    EmptyCache();
}

// The temporary file: "%TEMP%\temp.bmp", or "temp.bmp" in the working folder.
static bool TempBmpPath(char* out, size_t outSize)
{
    const char* temp = std::getenv("TEMP");
    int n = (temp != NULL) ? std::snprintf(out, outSize, "%s\\temp.bmp", temp)
                           : std::snprintf(out, outSize, "temp.bmp");
    return n >= 0 && (size_t)n < outSize;
}

// Creates the file afresh, refusing to open whatever is already there: a
// stale file or a link is removed first, and the exclusive create fails if
// anything appears at the name in between.
static bool CreateFreshFile(const char* resolved)
{
    std::remove(resolved);
    FILE* f = std::fopen(resolved, "wbx");
    if (f == NULL)
        return false;
    std::fclose(f);
    return true;
}

void GenerateMipmaps(IDirect3DTexture9** ppTexture)
{
    if (ppTexture == NULL || *ppTexture == NULL || !MipmappingOn())
        return;

    char file[kPathSize];
    char resolved[kPathSize];
    if (!TempBmpPath(file, sizeof(file)) || !ms_resolve_path(file, resolved, sizeof(resolved)))
        return;
    if (!CreateFreshFile(resolved))
        return;

    if (FAILED(D3DXSaveTextureToFileA(file, D3DXIFF_BMP, *ppTexture, NULL))) {
        std::remove(resolved);
        return;
    }

    (*ppTexture)->Release();
    *ppTexture = NULL;

    IDirect3DTexture9* pNew = NULL;
    if (FAILED(D3DXCreateTextureFromFileA(m_pd3dDevice, file, &pNew)) || pNew == NULL) {
        if (pNew != NULL)
            pNew->Release();
        pNew = NULL;
        ReportError("D3DXCreateTextureFromFile - \"%s\"", file);
    }
    *ppTexture = pNew;
    std::remove(resolved);
}

bool SaveTextureToBmp(IDirect3DTexture9* pTexture)
{
    if (pTexture == NULL)
        return false;
    char file[256];
    std::snprintf(file, sizeof(file), "%ld.bmp", ms_clock());
    return SUCCEEDED(D3DXSaveTextureToFileA(file, D3DXIFF_BMP, pTexture, NULL));
}
