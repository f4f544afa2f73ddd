#include "staticmesh.h"

#include <cstdio>

#include "debuglog.h"
#include "renderer.h"
#include "utils.h"

namespace {
const char kModelsFolder[] = "data\\models\\";

const char* BitName(DWORD fvf, DWORD bit, const char* name)
{
    return (fvf & bit) ? name : "";
}
} // namespace

StaticMesh::StaticMesh() : m_twoSided(false), m_alpha(1.0f), m_pMesh(new MeshResource("")), m_pOwnMesh(m_pMesh)
{
}

StaticMesh::StaticMesh(MeshResource* borrowed)
    : m_twoSided(false), m_alpha(1.0f), m_pMesh(borrowed), m_pOwnMesh(nullptr)
{
}

StaticMesh::~StaticMesh()
{
    delete m_pOwnMesh;
}

HRESULT StaticMesh::Load(const char* file)
{
    char path[4096];
    const int length = std::snprintf(path, sizeof(path), "%s%s", kModelsFolder, file);
    if (length < 0 || length >= (int)sizeof(path)) {
        // A cut path would name another file.
        ReportError("Fichero \"%s\" no encontrado", file);
        return E_INVALIDARG;
    }
    HRESULT hr = m_pMesh->Create(m_pd3dDevice, path);
    if (FAILED(hr)) {
        ReportError("Fichero \"%s\" no encontrado", file);
        return hr;
    }

    const DWORD fvf = m_pMesh->m_pSysMemMesh->GetFVF();
    DebugLog("Cargando StaticMesh \"%s\" FVF: 0x%X (%s|%s|%s|%s|%s|%s)\n", path, (unsigned)fvf,
             BitName(fvf, D3DFVF_DIFFUSE, "D3DFVF_DIFFUSE"), BitName(fvf, D3DFVF_NORMAL, "D3DFVF_NORMAL"),
             BitName(fvf, D3DFVF_PSIZE, "D3DFVF_PSIZE"), BitName(fvf, D3DFVF_SPECULAR, "D3DFVF_SPECULAR"),
             BitName(fvf, D3DFVF_XYZ, "D3DFVF_XYZ"), BitName(fvf, D3DFVF_XYZRHW, "D3DFVF_XYZRHW"));

    ID3DXMesh* loaded = m_pMesh->m_pSysMemMesh;
    if (!(fvf & D3DFVF_NORMAL)) {
        // Create adds normals itself; this only matters when that failed.
        ID3DXMesh* clone = nullptr;
        if (SUCCEEDED(loaded->CloneMeshFVF(loaded->GetOptions(), fvf | D3DFVF_NORMAL | D3DFVF_DIFFUSE, m_pd3dDevice,
                                           &clone))) {
            D3DXComputeNormals(clone, nullptr);
            loaded->Release();
            loaded = m_pMesh->m_pSysMemMesh = clone;
        }
    }

    BYTE* vertices = nullptr;
    if (FAILED(loaded->LockVertexBuffer(0, reinterpret_cast<void**>(&vertices)))) {
        ReportError("LockVertexBuffer FAILED");
    } else {
        const DWORD count = loaded->GetNumVertices();
        const DWORD stride = loaded->GetNumBytesPerVertex();
        const D3DXVECTOR3* first = reinterpret_cast<const D3DXVECTOR3*>(vertices);
        if (FAILED(D3DXComputeBoundingSphere(first, count, stride, &m_sphereCenter, &m_sphereRadius)))
            ReportError("D3DXComputeBoundingSphere FAILED");
        m_hasSphere = true;
        if (FAILED(D3DXComputeBoundingBox(first, count, stride, &m_boxMin, &m_boxMax)))
            ReportError("D3DXComputeBoundingBox FAILED");
        m_hasBox = true;
        if (FAILED(loaded->UnlockVertexBuffer()))
            ReportError("UnlockVertexBuffer FAILED");
    }

    return m_pMesh->RestoreDeviceObjects(m_pd3dDevice);
}

int StaticMesh::Render(Camera*, float)
{
    IDirect3DDevice9* dev = m_pd3dDevice;
    const bool useMaterials = !m_pMesh || m_pMesh->m_useMaterials;
    if (useMaterials) {
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    } else {
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    }
    const bool blended = m_alpha != 1.0f;
    if (blended) {
        dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
        dev->SetRenderState(D3DRS_TEXTUREFACTOR, AlphaToFactor(m_alpha));
    }
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    dev->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    if (blended) {
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRS_ZENABLE, FALSE);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    }
    if (m_twoSided)
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    if (m_pMesh)
        m_pMesh->Render(dev, true, true);
    if (m_twoSided)
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    if (blended) {
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        dev->SetRenderState(D3DRS_ZENABLE, TRUE);
    }
    return 0;
}
