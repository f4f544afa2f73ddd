#include "meshframe.h"

#include <cstring>

namespace {

// Frames nested deeper than this (through references) fail the load, so
// that no walk of the tree runs out of stack.
const int kMaxFrameDepth = 256;

// Deletes a sibling chain one frame at a time.
void DeleteChain(MeshFrame* frame)
{
    while (frame) {
        MeshFrame* next = frame->m_pNext;
        frame->m_pNext = nullptr;
        delete frame;
        frame = next;
    }
}

// A wide resource name or type in 8 bits, cut to 259 characters; numbered
// resources pass as they are.
LPCSTR ResourceName(LPCWSTR wide, char (&buffer)[260])
{
    if (IS_INTRESOURCE(wide))
        return (LPCSTR)wide;
    std::memset(buffer, 0, sizeof(buffer));
    WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof(buffer), nullptr, nullptr);
    buffer[sizeof(buffer) - 1] = '\0';
    return buffer;
}

} // namespace

MeshFrame::MeshFrame(const char* name) : m_pMesh(nullptr), m_pNext(nullptr), m_pChild(nullptr)
{
    const size_t length = name ? strnlen(name, sizeof(m_name) - 1) : 0;
    if (length)
        std::memcpy(m_name, name, length);
    m_name[length] = '\0';
    D3DXMatrixIdentity(&m_mat);
}

MeshFrame::~MeshFrame()
{
    delete m_pMesh;
    delete m_pChild;
    DeleteChain(m_pNext);
}

void MeshFrame::SetMatrix(const D3DXMATRIX* mat)
{
    if (mat)
        m_mat = *mat;
}

bool MeshFrame::EnumMeshes(bool (*callback)(MeshResource* mesh, void* context), void* context)
{
    if (!callback)
        return true;
    // Siblings in a loop, children by recursion: a long chain of siblings
    // costs no stack.
    for (MeshFrame* f = this; f; f = f->m_pNext) {
        if (f->m_pMesh)
            callback(f->m_pMesh, context);
        if (f->m_pChild)
            f->m_pChild->EnumMeshes(callback, context);
    }
    return true;
}

MeshResource* MeshFrame::FindMesh(const char* name)
{
    for (MeshFrame* f = this; f; f = f->m_pNext) {
        if (f->m_pMesh && lstrcmpiA(f->m_pMesh->m_name, name) == 0)
            return f->m_pMesh;
        if (f->m_pChild)
            if (MeshResource* found = f->m_pChild->FindMesh(name))
                return found;
    }
    return nullptr;
}

MeshFrame* MeshFrame::FindFrame(const char* name)
{
    for (MeshFrame* f = this; f; f = f->m_pNext) {
        if (lstrcmpiA(f->m_name, name) == 0)
            return f;
        if (f->m_pChild)
            if (MeshFrame* found = f->m_pChild->FindFrame(name))
                return found;
    }
    return nullptr;
}

HRESULT MeshFrame::RestoreDeviceObjects(IDirect3DDevice9* device)
{
    for (MeshFrame* f = this; f; f = f->m_pNext) {
        if (f->m_pMesh)
            f->m_pMesh->RestoreDeviceObjects(device);
        if (f->m_pChild)
            f->m_pChild->RestoreDeviceObjects(device);
    }
    return S_OK;
}

HRESULT MeshFrame::InvalidateDeviceObjects()
{
    for (MeshFrame* f = this; f; f = f->m_pNext) {
        if (f->m_pMesh)
            f->m_pMesh->InvalidateDeviceObjects();
        if (f->m_pChild)
            f->m_pChild->InvalidateDeviceObjects();
    }
    return S_OK;
}

HRESULT MeshFrame::Destroy()
{
    for (MeshFrame* f = this; f; f = f->m_pNext) {
        if (f->m_pMesh)
            f->m_pMesh->Destroy();
        if (f->m_pChild)
            f->m_pChild->Destroy();
    }
    delete m_pMesh;
    m_pMesh = nullptr;
    DeleteChain(m_pNext);
    m_pNext = nullptr;
    delete m_pChild;
    m_pChild = nullptr;
    return S_OK;
}

HRESULT MeshFrame::Render(IDirect3DDevice9* device, bool drawOpaque, bool drawAlpha, const D3DXMATRIX* parentWorld)
{
    if (!device)
        return E_INVALIDARG;
    D3DXMATRIX saved;
    if (parentWorld)
        saved = *parentWorld;
    else
        device->GetTransform(D3DTS_WORLD, &saved);
    for (MeshFrame* f = this; f; f = f->m_pNext) {
        const D3DXMATRIX world = f->m_mat * saved;
        device->SetTransform(D3DTS_WORLD, &world);
        if (f->m_pMesh)
            f->m_pMesh->Render(device, drawOpaque, drawAlpha);
        if (f->m_pChild)
            f->m_pChild->Render(device, drawOpaque, drawAlpha, &world);
        device->SetTransform(D3DTS_WORLD, &saved);
    }
    return S_OK;
}

MeshFile::MeshFile() : MeshFrame("")
{
}

HRESULT MeshFile::Create(IDirect3DDevice9* device, const char* file)
{
    if (!file)
        return E_INVALIDARG;
    return Load(device, file, D3DXF_FILELOAD_FROMFILE);
}

HRESULT MeshFile::CreateFromResource(IDirect3DDevice9* device, LPCWSTR resource, LPCWSTR type)
{
    char name[260], kind[260];
    D3DXF_FILELOADRESOURCE source;
    source.hModule = nullptr;
    source.lpName = ResourceName(resource, name);
    source.lpType = ResourceName(type, kind);
    return Load(device, &source, D3DXF_FILELOAD_FROMRESOURCE);
}

HRESULT MeshFile::Load(IDirect3DDevice9* device, const void* source, D3DXF_FILELOADOPTIONS options)
{
    ID3DXFile* file = nullptr;
    if (FAILED(D3DXFileCreate(&file)) || !file)
        return E_FAIL;
    if (FAILED(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) {
        file->Release();
        return E_FAIL;
    }
    ID3DXFileEnumObject* records = nullptr;
    HRESULT hr = file->CreateEnumObject(source, options, &records);
    if (FAILED(hr)) {
        file->Release();
        return hr;
    }
    SIZE_T count = 0;
    hr = records->GetChildren(&count);
    for (SIZE_T i = 0; SUCCEEDED(hr) && i < count; ++i) {
        ID3DXFileData* record = nullptr;
        hr = records->GetChild(i, &record);
        if (FAILED(hr))
            break;
        const HRESULT loaded = LoadFrame(device, record, this);
        record->Release();
        if (FAILED(loaded))
            hr = E_FAIL;
    }
    records->Release();
    file->Release();
    return FAILED(hr) ? hr : S_OK;
}

HRESULT MeshFile::LoadFrame(IDirect3DDevice9* device, ID3DXFileData* data, MeshFrame* parent)
{
    return LoadRecord(device, data, parent, 0);
}

HRESULT MeshFile::LoadRecord(IDirect3DDevice9* device, ID3DXFileData* data, MeshFrame* parent, int depth)
{
    if (!data || !parent)
        return E_INVALIDARG;
    GUID type;
    HRESULT hr = data->GetType(&type);
    if (FAILED(hr))
        return hr;

    if (type == TID_D3DRMMesh)
        return LoadMesh(device, data, parent);

    if (type == TID_D3DRMFrameTransformMatrix) {
        SIZE_T size = 0;
        LPCVOID bytes = nullptr;
        hr = data->Lock(&size, &bytes);
        if (FAILED(hr))
            return hr;
        // A record shorter than a matrix is not read past its end.
        D3DXMATRIX mat;
        const bool whole = bytes && size >= sizeof(mat);
        if (whole)
            std::memcpy(&mat, bytes, sizeof(mat));
        data->Unlock();
        if (!whole)
            return D3DXFERR_BADVALUE;
        parent->SetMatrix(&mat);
        return S_OK;
    }

    if (type == TID_D3DRMFrame) {
        if (depth >= kMaxFrameDepth)
            return E_FAIL;
        char name[512];
        std::memset(name, 0, sizeof(name));
        SIZE_T size = sizeof(name);
        hr = data->GetName(name, &size);
        if (FAILED(hr))
            return hr;
        MeshFrame* frame = new MeshFrame(name);
        // Each new frame goes first: siblings stand in reverse file order.
        frame->m_pNext = parent->m_pChild;
        parent->m_pChild = frame;
        SIZE_T count = 0;
        hr = data->GetChildren(&count);
        for (SIZE_T i = 0; SUCCEEDED(hr) && i < count; ++i) {
            ID3DXFileData* child = nullptr;
            hr = data->GetChild(i, &child);
            if (FAILED(hr))
                break;
            hr = LoadRecord(device, child, frame, depth + 1);
            child->Release();
        }
        return FAILED(hr) ? hr : S_OK;
    }
    return S_OK;
}

HRESULT MeshFile::LoadMesh(IDirect3DDevice9* device, ID3DXFileData* data, MeshFrame* parent)
{
    if (!data || !parent)
        return E_INVALIDARG;
    // One mesh per frame.
    if (parent->m_pMesh)
        return E_FAIL;
    char name[512];
    std::memset(name, 0, sizeof(name));
    SIZE_T size = sizeof(name);
    const HRESULT hr = data->GetName(name, &size);
    if (FAILED(hr))
        return hr;
    parent->m_pMesh = new MeshResource(name);
    // A mesh that does not load stays empty and draws nothing.
    parent->m_pMesh->CreateFromXData(device, data);
    return S_OK;
}

HRESULT MeshFile::Render(IDirect3DDevice9* device, const D3DXMATRIX* world)
{
    if (!device)
        return E_INVALIDARG;
    D3DXMATRIX saved;
    if (world)
        saved = *world;
    else
        device->GetTransform(D3DTS_WORLD, &saved);
    const D3DXMATRIX w = saved * m_mat;
    device->SetTransform(D3DTS_WORLD, &w);
    if (m_pChild)
        m_pChild->Render(device, true, false, &w);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    if (m_pChild)
        m_pChild->Render(device, false, true, &w);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetTransform(D3DTS_WORLD, &saved);
    return S_OK;
}
