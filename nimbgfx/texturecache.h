// Shared textures loaded from "data\textures\", counted per user, and the
// rebuild of a texture's mip chain through a temporary BMP file.
#pragma once

#include <list>

#include <windows.h>
#include <d3d9.h>

class TextureCacheEntry {
public:
    TextureCacheEntry(const char* name, IDirect3DTexture9* pTexture);
    ~TextureCacheEntry();
    void AddRef() { m_refCount++; }
    void DecRef() { m_refCount--; }

    int m_refCount;
    char* m_name;
    IDirect3DTexture9* m_pTexture;

private:
    TextureCacheEntry(const TextureCacheEntry&) = delete;
    TextureCacheEntry& operator=(const TextureCacheEntry&) = delete;
};

// Entries in order of first load.
extern std::list<TextureCacheEntry*> g_textureCache;

// S_OK on a hit or a successful load (the same pointer for the same name),
// else the loader's failure code; *ppTexture is then not to be used.
HRESULT LoadTextureFromFile(const char* name, IDirect3DTexture9** ppTexture);
// Gives back one successful load; unknown pointers are ignored.
void ReleaseTexture(IDirect3DTexture9* pTexture);

void InitTextureCache();
// Empties the cache, releasing every texture still held.
void FreeTextureCache();

// With mip-mapping configured, rebuilds the texture with a full mip chain;
// the pointer may change, and is null when the rebuild failed.
void GenerateMipmaps(IDirect3DTexture9** ppTexture);

// Writes the top level to "<clock>.bmp"; true on success.
bool SaveTextureToBmp(IDirect3DTexture9* pTexture);
