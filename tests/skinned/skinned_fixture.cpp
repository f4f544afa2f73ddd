#include "skinned_fixture.h"

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "renderer.h"
#include "texturecache.h"

namespace skinned {

namespace {

const char* const kIdentity = "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;;";

std::string Translation(float x, float y, float z)
{
    return "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, " + std::to_string(x) + "," + std::to_string(y) +
           "," + std::to_string(z) + ",1.0;;";
}

std::string StripMesh(const std::string& name, const StripOptions& o)
{
    std::string s = "  Mesh " + name + " {\n"
                    "    6; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 10.0;0.0;0.0;, 10.0;1.0;0.0;, 20.0;0.0;0.0;, 20.0;1.0;0.0;;\n"
                    "    4; 3;0,2,1;, 3;1,2,3;, 3;2,4,3;, 3;3,4,5;;\n";
    if (o.normals)
        s += "    MeshNormals { 6; 0.0;0.0;-1.0;, 0.0;0.0;-1.0;, 0.0;0.0;-1.0;, 0.0;0.0;-1.0;, 0.0;0.0;-1.0;, "
             "0.0;0.0;-1.0;; 4; 3;0,2,1;, 3;1,2,3;, 3;2,4,3;, 3;3,4,5;; }\n";
    s += "    MeshTextureCoords { 6; 0.0;1.0;, 0.0;0.0;, 0.5;1.0;, 0.5;0.0;, 1.0;1.0;, 1.0;0.0;; }\n";
    if (o.material)
        s += "    MeshMaterialList { 1; 4; 0,0,0,0;; Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; "
             "TextureFilename { \"" + o.texture + "\"; } } }\n";
    s += "    XSkinMeshHeader { 2; 2; 2; }\n"
         "    SkinWeights { \"Upper\"; 4; 0,1,2,3; 1.0,1.0,0.5,0.5; " + std::string(kIdentity) + " }\n"
         "    SkinWeights { \"" + o.secondBone + "\"; 4; 2,3,4,5; 0.5,0.5,1.0,1.0; " + Translation(-10, 0, 0) +
         " }\n"
         "  }\n";
    return s;
}

} // namespace

RunFolder::RunFolder()
{
    char templ[] = "/tmp/nimbskin_XXXXXX";
    char* dir = mkdtemp(templ);
    char cwd[4096];
    previous_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
    if (!dir || chdir(dir) != 0)
        return;
    path_ = dir;
    std::error_code ec;
    std::filesystem::create_directories("data/models", ec);
    std::filesystem::create_directory_symlink(NIMB_RUN_DIR "/data/shaders", "data/shaders", ec);
    std::filesystem::create_directory_symlink(NIMB_RUN_DIR "/data/textures", "data/textures", ec);
}

RunFolder::~RunFolder()
{
    if (chdir(previous_.c_str()) != 0) {
    }
    std::error_code ec;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ec);
}

void RunFolder::WriteModel(const std::string& name, const std::string& text) const
{
    std::ofstream(path_ + "/data/models/" + name, std::ios::binary) << text;
}

void RunFolder::LinkRunModel(const std::string& name) const
{
    std::error_code ec;
    std::filesystem::create_symlink(std::string(NIMB_RUN_DIR) + "/data/models/" + name,
                                    path_ + "/data/models/" + name, ec);
}

std::string RunFolder::ReadFile(const std::string& relative) const
{
    std::ifstream in(path_ + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string StripFile(const StripOptions& o)
{
    std::string s = std::string("xof 0303txt 0032\n") + "Frame Root {\n  FrameTransformMatrix { " + kIdentity + " }\n";
    for (int m = 0; m < o.meshes; ++m)
        s += StripMesh(m == 0 ? "Strip" : "Strip" + std::to_string(m + 1), o);
    s += "  Frame Upper {\n    FrameTransformMatrix { " + std::string(kIdentity) + " }\n";
    if (o.plainMesh)
        s += "    Mesh Plain { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n";
    s += "    Frame Lower {\n      FrameTransformMatrix { " + Translation(10, 0, 0) + " }\n    }\n"
         "  }\n"
         "}\n"
         "AnimTicksPerSecond { 4800; }\n"
         "AnimationSet Bend {\n"
         "  Animation { {Lower}\n"
         "    AnimationKey { 0; 2; 0;4;1.0,0.0,0.0,0.0;;, 4800;4;0.7071068,0.0,0.0,0.7071068;;; }\n"
         "    AnimationKey { 2; 1; 0;3;10.0,0.0,0.0;;; }\n"
         "  }\n"
         "}\n";
    return s;
}

std::string CellsFile(int bones)
{
    std::string s = std::string("xof 0303txt 0032\n") + "Frame Root {\n  FrameTransformMatrix { " + kIdentity + " }\n";
    s += "  Mesh Cells {\n    " + std::to_string(4 * bones) + ";";
    for (int i = 0; i < bones; ++i)
        s += std::string(i ? "," : "") + " 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;";
    s += ";\n    " + std::to_string(2 * bones) + ";";
    for (int i = 0; i < bones; ++i) {
        const int v = 4 * i;
        s += std::string(i ? "," : "") + " 3;" + std::to_string(v) + "," + std::to_string(v + 1) + "," +
             std::to_string(v + 2) + ";, 3;" + std::to_string(v) + "," + std::to_string(v + 2) + "," +
             std::to_string(v + 3) + ";";
    }
    s += ";\n    XSkinMeshHeader { 1; 1; " + std::to_string(bones) + "; }\n";
    for (int i = 0; i < bones; ++i) {
        const int v = 4 * i;
        s += "    SkinWeights { \"B" + std::to_string(i) + "\"; 4; " + std::to_string(v) + "," +
             std::to_string(v + 1) + "," + std::to_string(v + 2) + "," + std::to_string(v + 3) +
             "; 1.0,1.0,1.0,1.0; " + kIdentity + " }\n";
    }
    s += "  }\n";
    for (int i = 0; i < bones; ++i)
        s += "  Frame B" + std::to_string(i) + " { FrameTransformMatrix { " +
             Translation(2.0f * (i % 8), 2.0f * (i / 8), 0.0f) + " } }\n";
    s += "}\n";
    return s;
}

void FakeSkinTest::SetUp()
{
    ASSERT_TRUE(folder.ok());
    baseline = fake.LiveObjects();
    Remake(D3DCREATE_HARDWARE_VERTEXPROCESSING);
}

void FakeSkinTest::Remake(DWORD behavior)
{
    FreeTextureCache();
    if (m_pd3dDevice)
        m_pd3dDevice->Release();
    m_pd3dDevice = fake.MakeDevice(640, 480, D3DFMT_D24S8, behavior);
    ASSERT_NE(m_pd3dDevice, nullptr);
    m_pd3dDevice->GetDeviceCaps(&g_d3dCaps);
    InitTextureCache();
}

void FakeSkinTest::TearDown()
{
    FreeTextureCache();
    if (m_pd3dDevice) {
        EXPECT_EQ(m_pd3dDevice->Release(), 0u) << "something still holds the device";
    }
    m_pd3dDevice = nullptr;
    std::memset(&g_d3dCaps, 0, sizeof g_d3dCaps);
    EXPECT_EQ(fake.LiveObjects(), baseline) << "a mesh, buffer or texture was left alive";
    EXPECT_TRUE(fake.Problems().empty()) << (fake.Problems().empty() ? "" : fake.Problems().front());
}

D3DXVECTOR3 BlendAsTheEffect(ID3DXMesh* mesh, ID3DXEffect* effect, DWORD paletteSize, DWORD maxInfluences,
                             const D3DXVECTOR3& bind, int* found)
{
    *found = 0;
    D3DXVECTOR3 result(0, 0, 0);
    std::vector<D3DXMATRIX> palette(paletteSize);
    if (FAILED(effect->GetMatrixArray("mWorldMatrixArray", palette.data(), paletteSize)))
        return result;
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    if (FAILED(mesh->GetDeclaration(decl)))
        return result;
    int position = -1, weights = -1, indices = -1, weightCount = 0;
    for (const D3DVERTEXELEMENT9* e = decl; e->Stream != 0xFF; ++e) {
        if (e->Usage == D3DDECLUSAGE_POSITION && e->UsageIndex == 0)
            position = e->Offset;
        if (e->Usage == D3DDECLUSAGE_BLENDWEIGHT && e->UsageIndex == 0) {
            weights = e->Offset;
            weightCount = e->Type - D3DDECLTYPE_FLOAT1 + 1;
        }
        if (e->Usage == D3DDECLUSAGE_BLENDINDICES && e->UsageIndex == 0)
            indices = e->Offset;
    }
    if (position < 0 || indices < 0)
        return result;
    const int blended = (int)maxInfluences - 1;
    const BYTE* v = nullptr;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v)))
        return result;
    const DWORD stride = mesh->GetNumBytesPerVertex();
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        const BYTE* p = v + (size_t)i * stride;
        D3DXVECTOR3 pos;
        std::memcpy(&pos, p + position, 12);
        if (std::fabs(pos.x - bind.x) > 1e-5f || std::fabs(pos.y - bind.y) > 1e-5f || std::fabs(pos.z - bind.z) > 1e-5f)
            continue;
        float w[4] = {0, 0, 0, 0};
        if (weights >= 0)
            std::memcpy(w, p + weights, 4 * (size_t)weightCount);
        const BYTE* index = p + indices;
        D3DXVECTOR3 sum(0, 0, 0);
        float last = 1.0f;
        for (int b = 0; b < blended; ++b) {
            D3DXVECTOR3 t;
            D3DXVec3TransformCoord(&t, &pos, &palette.at(index[b]));
            sum += t * w[b];
            last -= w[b];
        }
        D3DXVECTOR3 t;
        D3DXVec3TransformCoord(&t, &pos, &palette.at(index[blended < 0 ? 0 : blended]));
        sum += t * (last > 0.0f ? last : 0.0f);
        const D3DXVECTOR3 apart = sum - result;
        if (*found > 0 && D3DXVec3Length(&apart) > 1e-4f)
            ADD_FAILURE() << "two copies of a vertex blend apart";
        result = sum;
        ++*found;
    }
    mesh->UnlockVertexBuffer();
    return result;
}

} // namespace skinned
