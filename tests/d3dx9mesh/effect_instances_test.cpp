// The effect instances the .x loaders give: one per material, without an
// effect file, with the material's texture name and colours as defaults.
#include "mesh_fixture.h"

#include <functional>
#include <sstream>
#include <string>

namespace {

const char kFile[] = R"(xof 0303txt 0032
Frame Root {
  Mesh Piece {
    3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;;
    2; 3;0,1,2;, 3;0,2,1;;
    MeshMaterialList {
      2; 2; 0, 1;;
      Material Plain { 0.5;0.25;1.0;0.75;; 10.0; 0.125;0.25;0.375;; 0.0;0.0;0.5;; }
      Material Textured { 1.0;1.0;1.0;1.0;; 2.5; 0.0;0.0;0.0;; 1.0;0.0;0.0;; TextureFilename { "stone.png"; } }
    }
  }
}
)";

const char kPlainFile[] =
    "xof 0303txt 0032\nFrame Root { Mesh Bare { 3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 3;0,1,2;; } }\n";

// One default as text: name, type and value.
std::string Describe(const D3DXEFFECTDEFAULT& d)
{
    std::ostringstream s;
    s << d.pParamName;
    if (d.Type == D3DXEDT_STRING) {
        s << " string \"" << std::string((const char*)d.pValue, d.NumBytes) << "\"";
    } else if (d.Type == D3DXEDT_FLOATS) {
        s << " floats";
        for (DWORD i = 0; i < d.NumBytes / 4; ++i)
            s << " " << ((const float*)d.pValue)[i];
    } else {
        s << " type " << d.Type << " of " << d.NumBytes << " bytes";
    }
    return s.str();
}

// Each instance's effect file (or "none") and defaults.
std::vector<std::vector<std::string>> Describe(const D3DXEFFECTINSTANCE* e, DWORD n)
{
    std::vector<std::vector<std::string>> out;
    for (DWORD i = 0; i < n; ++i) {
        out.emplace_back();
        out.back().push_back(e[i].pEffectFilename ? e[i].pEffectFilename : "none");
        for (DWORD k = 0; k < e[i].NumDefaults; ++k)
            out.back().push_back(Describe(e[i].pDefaults[k]));
    }
    return out;
}

const std::vector<std::vector<std::string>> kFileInstances = {
    {"none", "Diffuse floats 0.5 0.25 1 0.75", "Power floats 10", "Specular floats 0.125 0.25 0.375 1",
     "Emissive floats 0 0 0.5 1"},
    {"none", std::string("Texture0@Name string \"stone.png") + '\0' + "\"", "Diffuse floats 1 1 1 1",
     "Power floats 2.5", "Specular floats 0 0 0 1", "Emissive floats 1 0 0 1"}};
const std::vector<std::vector<std::string>> kDefaultInstance = {
    {"none", "Diffuse floats 0.5 0.5 0.5 1", "Power floats 0", "Specular floats 0.5 0.5 0.5 1",
     "Emissive floats 0 0 0 0"}};

// A hierarchy allocator that keeps each container's effect instances as text.
struct RecordingAllocator : ID3DXAllocateHierarchy {
    std::vector<std::vector<std::string>> instances;
    HRESULT CreateFrame(LPCSTR, LPD3DXFRAME* out) override
    {
        *out = new D3DXFRAME();
        return S_OK;
    }
    HRESULT CreateMeshContainer(LPCSTR, const D3DXMESHDATA*, const D3DXMATERIAL*, const D3DXEFFECTINSTANCE* effects,
                                DWORD numMaterials, const DWORD*, LPD3DXSKININFO, LPD3DXMESHCONTAINER* out) override
    {
        instances = Describe(effects, numMaterials);
        *out = nullptr;
        return S_OK;
    }
    HRESULT DestroyFrame(LPD3DXFRAME f) override
    {
        delete f;
        return S_OK;
    }
    HRESULT DestroyMeshContainer(LPD3DXMESHCONTAINER) override { return S_OK; }
};

// A loader, given a file's text, gives its one mesh's instances.
using Loader = std::function<std::vector<std::vector<std::string>>(IDirect3DDevice9*, const std::string&)>;

std::vector<std::vector<std::string>> FromBuffer(HRESULT hr, ID3DXBuffer* effects, DWORD n,
                                                 std::initializer_list<IUnknown*> release)
{
    std::vector<std::vector<std::string>> out;
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr) && effects) {
        EXPECT_GE(effects->GetBufferSize(), n * sizeof(D3DXEFFECTINSTANCE));
        out = Describe((const D3DXEFFECTINSTANCE*)effects->GetBufferPointer(), n);
    }
    for (IUnknown* u : release)
        if (u)
            u->Release();
    if (effects)
        effects->Release();
    return out;
}

// The mesh object of the file's frame, through the file interfaces.
template <class F>
std::vector<std::vector<std::string>> WithMeshData(const std::string& text, F use)
{
    std::vector<std::vector<std::string>> out;
    ID3DXFile* file = nullptr;
    D3DXFileCreate(&file);
    D3DXF_FILELOADMEMORY mem{text.data(), text.size()};
    ID3DXFileEnumObject* e = nullptr;
    ID3DXFileData* frame = nullptr;
    ID3DXFileData* mesh = nullptr;
    if (SUCCEEDED(file->CreateEnumObject(&mem, D3DXF_FILELOAD_FROMMEMORY, &e)) && SUCCEEDED(e->GetChild(0, &frame)) &&
        SUCCEEDED(frame->GetChild(0, &mesh)))
        out = use(mesh);
    for (IUnknown* u : {(IUnknown*)mesh, (IUnknown*)frame, (IUnknown*)e})
        if (u)
            u->Release();
    file->Release();
    return out;
}

struct LoaderCase {
    const char* name;
    Loader load;
};

class EffectInstances : public MeshTest, public ::testing::WithParamInterface<LoaderCase> {};

TEST_P(EffectInstances, CarryEachMaterialsTextureAndColours)
{
    EXPECT_EQ(GetParam().load(dev, kFile), kFileInstances) << GetParam().name;
}

TEST_P(EffectInstances, OfTheDefaultMaterialCarryItsColours)
{
    EXPECT_EQ(GetParam().load(dev, kPlainFile), kDefaultInstance) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Loaders, EffectInstances,
    ::testing::Values(
        LoaderCase{"D3DXLoadMeshFromXInMemory",
                   [](IDirect3DDevice9* dev, const std::string& text) {
                       ID3DXMesh* m = nullptr;
                       ID3DXBuffer* effects = nullptr;
                       DWORD n = 0;
                       HRESULT hr = D3DXLoadMeshFromXInMemory(text.data(), (DWORD)text.size(), D3DXMESH_SYSTEMMEM,
                                                              dev, nullptr, nullptr, &effects, &n, &m);
                       return FromBuffer(hr, effects, n, {m});
                   }},
        LoaderCase{"D3DXLoadMeshFromXof",
                   [](IDirect3DDevice9* dev, const std::string& text) {
                       return WithMeshData(text, [&](ID3DXFileData* data) {
                           ID3DXMesh* m = nullptr;
                           ID3DXBuffer* effects = nullptr;
                           DWORD n = 0;
                           HRESULT hr = D3DXLoadMeshFromXof(data, D3DXMESH_SYSTEMMEM, dev, nullptr, nullptr,
                                                            &effects, &n, &m);
                           return FromBuffer(hr, effects, n, {m});
                       });
                   }},
        LoaderCase{"D3DXLoadSkinMeshFromXof",
                   [](IDirect3DDevice9* dev, const std::string& text) {
                       return WithMeshData(text, [&](ID3DXFileData* data) {
                           ID3DXMesh* m = nullptr;
                           ID3DXSkinInfo* skin = nullptr;
                           ID3DXBuffer* effects = nullptr;
                           DWORD n = 0;
                           HRESULT hr = D3DXLoadSkinMeshFromXof(data, D3DXMESH_SYSTEMMEM, dev, nullptr, nullptr,
                                                                &effects, &n, &skin, &m);
                           return FromBuffer(hr, effects, n, {m, skin});
                       });
                   }},
        LoaderCase{"D3DXLoadMeshHierarchyFromXInMemory", [](IDirect3DDevice9* dev, const std::string& text) {
                       RecordingAllocator alloc;
                       D3DXFRAME* root = nullptr;
                       EXPECT_EQ(D3DXLoadMeshHierarchyFromXInMemory(text.data(), (DWORD)text.size(),
                                                                    D3DXMESH_SYSTEMMEM, dev, &alloc, nullptr, &root,
                                                                    nullptr),
                                 S_OK);
                       if (root)
                           D3DXFrameDestroy(root, &alloc);
                       return alloc.instances;
                   }}));

} // namespace
