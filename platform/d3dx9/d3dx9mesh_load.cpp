// Meshes from .x files: Mesh objects with their normals, texture coordinates,
// vertex colours and materials, and whole files with their frames.
#include "d3dx9mesh_internal.h"

#include <cstring>
#include <map>

namespace {

const DWORD kNone = 0xFFFFFFFF;

const XFileObject* firstChild(const XFileTree& tree, const XFileObject& o, const GUID& type)
{
    for (const XFileChild& c : o.children)
        if (tree.objects[c.object].typeId == type)
            return &tree.objects[c.object];
    return nullptr;
}

D3DCOLORVALUE color(XFileReader& r, bool alpha)
{
    D3DCOLORVALUE c;
    c.r = r.Float();
    c.g = r.Float();
    c.b = r.Float();
    c.a = alpha ? r.Float() : 1.0f;
    return c;
}

HRESULT readMaterial(const XFileTree& tree, const XFileObject& o, d3dx::XMaterial* out)
{
    XFileReader r(o);
    D3DMATERIAL9& m = out->material;
    m = D3DMATERIAL9{};
    m.Diffuse = color(r, true);
    m.Power = r.Float();
    m.Specular = color(r, false);
    m.Emissive = color(r, false);
    if (!r.Ok())
        return D3DXERR_INVALIDDATA;
    if (const XFileObject* t = firstChild(tree, o, TID_D3DRMTextureFilename)) {
        XFileReader tr(*t);
        out->texture = tr.String();
        out->hasTexture = tr.Ok();
    }
    return D3D_OK;
}

d3dx::XMaterial defaultMaterial()
{
    d3dx::XMaterial m;
    m.material.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
    m.material.Specular = {0.5f, 0.5f, 0.5f, 1.0f};
    return m;
}

// One loaded piece of a file with the transform of its frames applied.
struct Piece {
    d3dx::XLoadedMesh mesh;
};

HRESULT collect(const XFileTree& tree, size_t index, const D3DXMATRIX& parent, DWORD options,
                IDirect3DDevice9* device, std::vector<Piece>& pieces, int depth)
{
    const XFileObject& o = tree.objects[index];
    if (depth > kXFileMaxDepth)
        return D3DXFERR_PARSEERROR;
    if (o.typeId == TID_D3DRMMesh) {
        pieces.emplace_back();
        return d3dx::LoadXMesh(tree, index, options, device, &parent, &pieces.back().mesh);
    }
    if (o.typeId != TID_D3DRMFrame)
        return D3D_OK;
    D3DXMATRIX world = parent;
    if (const XFileObject* t = firstChild(tree, o, TID_D3DRMFrameTransformMatrix)) {
        if (t->data.size() < 64)
            return D3DXERR_INVALIDDATA;
        D3DXMATRIX local;
        std::memcpy(&local, t->data.data(), 64);
        D3DXMatrixMultiply(&world, &local, &parent);
    }
    for (const XFileChild& c : o.children) {
        HRESULT hr = collect(tree, c.object, world, options, device, pieces, depth + 1);
        if (FAILED(hr))
            return hr;
    }
    return D3D_OK;
}

void release(std::vector<Piece>& pieces)
{
    for (Piece& p : pieces)
        if (p.mesh.mesh) {
            p.mesh.mesh->Release();
            p.mesh.mesh = nullptr;
        }
}

HRESULT handOut(d3dx::XLoadedMesh& m, ID3DXBuffer** adjacency, ID3DXBuffer** materials, ID3DXBuffer** effects,
                DWORD* numMaterials, ID3DXMesh** out)
{
    ID3DXBuffer* a = nullptr;
    ID3DXBuffer* mt = nullptr;
    ID3DXBuffer* e = nullptr;
    HRESULT hr = D3D_OK;
    if (adjacency)
        hr = d3dx::DwordBuffer(m.adjacency, &a);
    if (SUCCEEDED(hr) && materials)
        hr = d3dx::MaterialsBuffer(m.materials, &mt);
    if (SUCCEEDED(hr) && effects)
        hr = d3dx::EffectInstancesBuffer(m.materials, &e);
    if (FAILED(hr)) {
        for (ID3DXBuffer* b : {a, mt, e})
            if (b)
                b->Release();
        m.mesh->Release();
        m.mesh = nullptr;
        return hr;
    }
    if (adjacency)
        *adjacency = a;
    if (materials)
        *materials = mt;
    if (effects)
        *effects = e;
    if (numMaterials)
        *numMaterials = (DWORD)m.materials.size();
    *out = m.mesh;
    m.mesh = nullptr;
    return D3D_OK;
}

HRESULT loadTree(const XFileTree& tree, DWORD options, IDirect3DDevice9* device, ID3DXBuffer** adjacency,
                 ID3DXBuffer** materials, ID3DXBuffer** effects, DWORD* numMaterials, ID3DXMesh** out)
{
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    std::vector<Piece> pieces;
    for (size_t i = 0; i < tree.top.size(); ++i) {
        HRESULT hr = collect(tree, tree.top[i], identity, options, device, pieces, 0);
        if (FAILED(hr)) {
            release(pieces);
            return hr;
        }
    }
    if (pieces.empty())
        return D3DXERR_LOADEDMESHHASNODATA;
    if (pieces.size() == 1)
        return handOut(pieces[0].mesh, adjacency, materials, effects, numMaterials, out);
    // Several meshes become one, in a layout holding every piece's components.
    DWORD fvf = 0;
    for (const Piece& p : pieces)
        fvf |= p.mesh.mesh->GetFVF();
    d3dx::XLoadedMesh all;
    d3dx::MeshData merged;
    HRESULT hr = D3D_OK;
    for (Piece& p : pieces) {
        ID3DXMesh* same = nullptr;
        hr = p.mesh.mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, fvf, device, &same);
        d3dx::MeshData d;
        if (SUCCEEDED(hr)) {
            hr = d3dx::ReadMesh(same, &d);
            same->Release();
        }
        if (FAILED(hr))
            break;
        const DWORD baseVertex = merged.NumVertices(), baseFace = merged.NumFaces();
        const DWORD baseMaterial = (DWORD)all.materials.size();
        merged.decl = d.decl;
        merged.stride = d.stride;
        merged.vertices.insert(merged.vertices.end(), d.vertices.begin(), d.vertices.end());
        for (DWORD i : d.indices)
            merged.indices.push_back(i + baseVertex);
        for (DWORD a : d.attributes)
            merged.attributes.push_back(a + baseMaterial);
        for (DWORD a : p.mesh.adjacency)
            all.adjacency.push_back(a == kNone ? kNone : a + baseFace);
        all.materials.insert(all.materials.end(), p.mesh.materials.begin(), p.mesh.materials.end());
        all.originalVertex.insert(all.originalVertex.end(), p.mesh.originalVertex.begin(), p.mesh.originalVertex.end());
    }
    release(pieces);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = d3dx::WriteMesh(merged, options, device, &all.mesh)))
        return hr;
    return handOut(all, adjacency, materials, effects, numMaterials, out);
}

HRESULT loadBytes(const void* bytes, size_t size, DWORD options, IDirect3DDevice9* device, ID3DXBuffer** adjacency,
                  ID3DXBuffer** materials, ID3DXBuffer** effects, DWORD* numMaterials, ID3DXMesh** out)
{
    XFileTree tree;
    HRESULT hr = XFileParse(bytes, size, nullptr, &tree);
    if (FAILED(hr))
        return hr;
    return loadTree(tree, options, device, adjacency, materials, effects, numMaterials, out);
}

void clearOuts(ID3DXBuffer** adjacency, ID3DXBuffer** materials, ID3DXBuffer** effects, ID3DXMesh** out)
{
    for (ID3DXBuffer** b : {adjacency, materials, effects})
        if (b)
            *b = nullptr;
    if (out)
        *out = nullptr;
}

// What a Mesh object and its children hold, read template by template.
struct XMeshParts {
    std::vector<D3DXVECTOR3> positions;
    // Polygons become fans of triangles; each triangle remembers its polygon and corners.
    std::vector<DWORD> corners;       // position index per triangle corner
    std::vector<DWORD> polygonCorner; // that corner's place in its polygon's list
    std::vector<DWORD> triPolygon;
    std::vector<DWORD> polygonSize;
    // Normals: one index per polygon corner.
    std::vector<D3DXVECTOR3> normals;
    std::vector<std::vector<DWORD>> faceNormals;
    std::vector<float> uv;
    std::vector<D3DCOLOR> colors;
    std::vector<DWORD> polygonMaterial;
};

// The vertices a mesh is written with: the object's own in their order, then
// copies of those met again with another normal.
struct XMeshVertices {
    std::vector<DWORD> original;      // per vertex: the object's vertex
    std::vector<DWORD> vertexNormal;  // per vertex: its normal, kNone without
    std::vector<DWORD> indices;       // per triangle corner
};

// Mesh: the positions and the polygons.
HRESULT readFaces(const XFileObject& o, XMeshParts& m)
{
    XFileReader r(o);
    const DWORD nVertices = r.Dword();
    if (!r.Ok() || (uint64_t)nVertices * 12 > r.Remaining())
        return D3DXERR_INVALIDDATA;
    m.positions.resize(nVertices);
    for (D3DXVECTOR3& p : m.positions) {
        p.x = r.Float();
        p.y = r.Float();
        p.z = r.Float();
    }
    const DWORD nFaces = r.Dword();
    if (!r.Ok() || (uint64_t)nFaces * 4 > r.Remaining())
        return D3DXERR_INVALIDDATA;
    m.polygonSize.assign(nFaces, 0);
    for (DWORD f = 0; f < nFaces; ++f) {
        const DWORD n = r.Dword();
        if (!r.Ok() || n < 3 || (uint64_t)n * 4 > r.Remaining())
            return D3DXERR_INVALIDDATA;
        m.polygonSize[f] = n;
        std::vector<DWORD> poly(n);
        for (DWORD& v : poly) {
            v = r.Dword();
            if (v >= nVertices)
                return D3DXERR_INVALIDDATA;
        }
        for (DWORD k = 1; k + 1 < n; ++k) {
            const DWORD pick[3] = {0, k, k + 1};
            for (DWORD c : pick) {
                m.corners.push_back(poly[c]);
                m.polygonCorner.push_back(c);
            }
            m.triPolygon.push_back(f);
        }
    }
    if (!r.Ok() || m.corners.empty() || nVertices == 0)
        return D3DXERR_LOADEDMESHHASNODATA;
    return D3D_OK;
}

// MeshNormals: the normals and one index per polygon corner.
HRESULT readNormals(const XFileObject& o, XMeshParts& m)
{
    XFileReader nr(o);
    const DWORD count = nr.Dword();
    if (!nr.Ok() || (uint64_t)count * 12 > nr.Remaining())
        return D3DXERR_INVALIDDATA;
    m.normals.resize(count);
    for (D3DXVECTOR3& v : m.normals) {
        v.x = nr.Float();
        v.y = nr.Float();
        v.z = nr.Float();
    }
    const DWORD faces = nr.Dword();
    if (!nr.Ok() || faces != m.polygonSize.size())
        return D3DXERR_INVALIDDATA;
    m.faceNormals.resize(faces);
    for (DWORD f = 0; f < faces; ++f) {
        const DWORD k = nr.Dword();
        if (!nr.Ok() || k != m.polygonSize[f])
            return D3DXERR_INVALIDDATA;
        m.faceNormals[f].resize(k);
        for (DWORD& i : m.faceNormals[f]) {
            i = nr.Dword();
            if (i >= count)
                return D3DXERR_INVALIDDATA;
        }
    }
    return nr.Ok() ? D3D_OK : D3DXERR_INVALIDDATA;
}

// MeshTextureCoords: one pair per vertex.
HRESULT readTextureCoords(const XFileObject& o, XMeshParts& m)
{
    XFileReader tr(o);
    const DWORD count = tr.Dword();
    if (!tr.Ok() || count != m.positions.size() || (uint64_t)count * 8 > tr.Remaining())
        return D3DXERR_INVALIDDATA;
    m.uv.resize((size_t)count * 2);
    for (float& f : m.uv)
        f = tr.Float();
    return D3D_OK;
}

// MeshVertexColors: colours of some vertices; the others are white.
HRESULT readVertexColors(const XFileObject& o, XMeshParts& m)
{
    XFileReader cr(o);
    const DWORD count = cr.Dword();
    if (!cr.Ok() || (uint64_t)count * 20 > cr.Remaining())
        return D3DXERR_INVALIDDATA;
    m.colors.assign(m.positions.size(), 0xFFFFFFFF);
    for (DWORD i = 0; i < count; ++i) {
        const DWORD v = cr.Dword();
        float rgba[4];
        for (float& f : rgba)
            f = cr.Float();
        if (v >= m.positions.size())
            return D3DXERR_INVALIDDATA;
        BYTE bytes[4];
        d3dx::WriteElement(bytes, D3DDECLTYPE_D3DCOLOR, rgba);
        std::memcpy(&m.colors[v], bytes, 4);
    }
    return D3D_OK;
}

// MeshMaterialList: one id per polygon (a short list repeats its last
// entry) and the materials.
HRESULT readMaterialList(const XFileTree& tree, const XFileObject& list, XMeshParts& m, d3dx::XLoadedMesh* out)
{
    const size_t nFaces = m.polygonSize.size();
    XFileReader lr(list);
    const DWORD nMaterials = lr.Dword();
    const DWORD nIndexes = lr.Dword();
    if (!lr.Ok() || (uint64_t)nIndexes * 4 > lr.Remaining())
        return D3DXERR_INVALIDDATA;
    for (DWORD i = 0; i < nIndexes; ++i) {
        const DWORD id = lr.Dword();
        if (id >= nMaterials)
            return D3DXERR_INVALIDDATA;
        if (i < nFaces)
            m.polygonMaterial[i] = id;
    }
    for (size_t f = nIndexes; f < nFaces && nIndexes > 0; ++f)
        m.polygonMaterial[f] = m.polygonMaterial[nIndexes - 1];
    for (const XFileChild& c : list.children) {
        const XFileObject& mo = tree.objects[c.object];
        if (mo.typeId != TID_D3DRMMaterial || out->materials.size() == nMaterials)
            continue;
        out->materials.emplace_back();
        HRESULT hr = readMaterial(tree, mo, &out->materials.back());
        if (FAILED(hr))
            return hr;
    }
    if (out->materials.size() != nMaterials)
        return D3DXERR_INVALIDDATA;
    out->hadMaterials = nMaterials > 0;
    return D3D_OK;
}

// Vertices keep their order; a vertex met again with another normal is copied.
XMeshVertices splitByNormals(const XMeshParts& m)
{
    const DWORD nVertices = (DWORD)m.positions.size();
    XMeshVertices v;
    v.vertexNormal.assign(nVertices, kNone);
    v.original.resize(nVertices);
    for (DWORD i = 0; i < nVertices; ++i)
        v.original[i] = i;
    std::map<std::pair<DWORD, DWORD>, DWORD> copies;
    v.indices.resize(m.corners.size());
    for (size_t i = 0; i < m.corners.size(); ++i) {
        const DWORD p = m.corners[i];
        DWORD at = p;
        if (!m.faceNormals.empty()) {
            const DWORD n = m.faceNormals[m.triPolygon[i / 3]][m.polygonCorner[i]];
            if (v.vertexNormal[p] == kNone) {
                v.vertexNormal[p] = n;
            } else if (v.vertexNormal[p] != n) {
                auto it = copies.find({p, n});
                if (it == copies.end()) {
                    it = copies.insert({{p, n}, (DWORD)v.original.size()}).first;
                    v.original.push_back(p);
                    v.vertexNormal.push_back(n);
                }
                at = it->second;
            }
        }
        v.indices[i] = at;
    }
    return v;
}

// The mesh's vertices, faces and attributes, moved by `transform` when it is not null.
d3dx::MeshData meshData(const XMeshParts& m, XMeshVertices& v, const D3DXMATRIX* transform)
{
    const bool hasNormals = !m.faceNormals.empty();
    const DWORD fvf = D3DFVF_XYZ | (hasNormals ? D3DFVF_NORMAL : 0) | (m.colors.empty() ? 0 : D3DFVF_DIFFUSE) |
                      (m.uv.empty() ? 0 : D3DFVF_TEX1);
    d3dx::MeshData d;
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    D3DXDeclaratorFromFVF(fvf, decl);
    d.decl.assign(decl, decl + D3DXGetDeclLength(decl) + 1);
    d.stride = D3DXGetFVFVertexSize(fvf);
    d.vertices.assign(v.original.size() * d.stride, 0);
    for (size_t i = 0; i < v.original.size(); ++i) {
        BYTE* dst = d.vertices.data() + i * d.stride;
        D3DXVECTOR3 p = m.positions[v.original[i]];
        if (transform)
            D3DXVec3TransformCoord(&p, &p, transform);
        std::memcpy(dst, &p, 12);
        size_t off = 12;
        if (hasNormals) {
            D3DXVECTOR3 n = v.vertexNormal[i] == kNone ? D3DXVECTOR3(0, 0, 0) : m.normals[v.vertexNormal[i]];
            if (transform) {
                D3DXVec3TransformNormal(&n, &n, transform);
                D3DXVec3Normalize(&n, &n);
            }
            std::memcpy(dst + off, &n, 12);
            off += 12;
        }
        if (!m.colors.empty()) {
            std::memcpy(dst + off, &m.colors[v.original[i]], 4);
            off += 4;
        }
        if (!m.uv.empty())
            std::memcpy(dst + off, &m.uv[(size_t)v.original[i] * 2], 8);
    }
    d.indices = std::move(v.indices);
    d.attributes.resize(m.triPolygon.size());
    for (size_t t = 0; t < m.triPolygon.size(); ++t)
        d.attributes[t] = m.polygonMaterial[m.triPolygon[t]];
    return d;
}

} // namespace

namespace d3dx {

HRESULT LoadXMesh(const XFileTree& tree, size_t index, DWORD options, IDirect3DDevice9* device,
                  const D3DXMATRIX* transform, XLoadedMesh* out)
{
    if (!device || index >= tree.objects.size() || tree.objects[index].typeId != TID_D3DRMMesh)
        return D3DERR_INVALIDCALL;
    const XFileObject& o = tree.objects[index];
    XMeshParts parts;
    HRESULT hr = readFaces(o, parts);
    if (SUCCEEDED(hr))
        if (const XFileObject* n = firstChild(tree, o, TID_D3DRMMeshNormals))
            hr = readNormals(*n, parts);
    if (SUCCEEDED(hr))
        if (const XFileObject* t = firstChild(tree, o, TID_D3DRMMeshTextureCoords))
            hr = readTextureCoords(*t, parts);
    if (SUCCEEDED(hr))
        if (const XFileObject* c = firstChild(tree, o, TID_D3DRMMeshVertexColors))
            hr = readVertexColors(*c, parts);
    if (FAILED(hr))
        return hr;
    out->materials.clear();
    out->hadMaterials = false;
    parts.polygonMaterial.assign(parts.polygonSize.size(), 0);
    if (const XFileObject* list = firstChild(tree, o, TID_D3DRMMeshMaterialList))
        if (FAILED(hr = readMaterialList(tree, *list, parts, out)))
            return hr;
    if (out->materials.empty()) {
        out->materials.push_back(defaultMaterial());
        std::fill(parts.polygonMaterial.begin(), parts.polygonMaterial.end(), 0);
    }
    XMeshVertices vertices = splitByNormals(parts);
    MeshData d = meshData(parts, vertices, transform);
    out->adjacency = AdjacencyFromPointReps(d.indices, PointReps(d, 0.0f));
    out->originalVertex = std::move(vertices.original);
    if (out->mesh) {
        out->mesh->Release();
        out->mesh = nullptr;
    }
    return WriteMesh(d, options, device, &out->mesh);
}

HRESULT MaterialsBuffer(const std::vector<XMaterial>& materials, ID3DXBuffer** out)
{
    size_t size = materials.size() * sizeof(D3DXMATERIAL);
    for (const XMaterial& m : materials)
        if (m.hasTexture)
            size += m.texture.size() + 1;
    HRESULT hr = D3DXCreateBuffer((DWORD)size, out);
    if (FAILED(hr))
        return hr;
    BYTE* base = (BYTE*)(*out)->GetBufferPointer();
    D3DXMATERIAL* list = (D3DXMATERIAL*)base;
    char* text = (char*)(base + materials.size() * sizeof(D3DXMATERIAL));
    for (size_t i = 0; i < materials.size(); ++i) {
        list[i].MatD3D = materials[i].material;
        list[i].pTextureFilename = nullptr;
        if (materials[i].hasTexture) {
            std::memcpy(text, materials[i].texture.c_str(), materials[i].texture.size() + 1);
            list[i].pTextureFilename = text;
            text += materials[i].texture.size() + 1;
        }
    }
    return D3D_OK;
}

HRESULT EffectInstancesBuffer(const std::vector<XMaterial>& materials, ID3DXBuffer** out)
{
    // Each material's defaults: its texture's name where it has one, then its
    // colours and power. The instances come first, then every default, then
    // the values (floats before names) and the parameter names.
    struct Value {
        const char* name;
        D3DXEFFECTDEFAULTTYPE type;
        const void* data;
        DWORD bytes;
    };
    std::vector<std::vector<Value>> values(materials.size());
    size_t defaults = 0, floatBytes = 0, textBytes = 0;
    for (size_t i = 0; i < materials.size(); ++i) {
        const XMaterial& m = materials[i];
        std::vector<Value>& v = values[i];
        if (m.hasTexture)
            v.push_back({"Texture0@Name", D3DXEDT_STRING, m.texture.c_str(), (DWORD)m.texture.size() + 1});
        v.push_back({"Diffuse", D3DXEDT_FLOATS, &m.material.Diffuse, sizeof(D3DCOLORVALUE)});
        v.push_back({"Power", D3DXEDT_FLOATS, &m.material.Power, sizeof(float)});
        v.push_back({"Specular", D3DXEDT_FLOATS, &m.material.Specular, sizeof(D3DCOLORVALUE)});
        v.push_back({"Emissive", D3DXEDT_FLOATS, &m.material.Emissive, sizeof(D3DCOLORVALUE)});
        for (const Value& d : v) {
            (d.type == D3DXEDT_STRING ? textBytes : floatBytes) += d.bytes;
            textBytes += std::strlen(d.name) + 1;
        }
        defaults += v.size();
    }
    const size_t instanceBytes = materials.size() * sizeof(D3DXEFFECTINSTANCE);
    const size_t defaultBytes = defaults * sizeof(D3DXEFFECTDEFAULT);
    HRESULT hr = D3DXCreateBuffer((DWORD)(instanceBytes + defaultBytes + floatBytes + textBytes), out);
    if (FAILED(hr))
        return hr;
    BYTE* base = (BYTE*)(*out)->GetBufferPointer();
    D3DXEFFECTINSTANCE* instance = (D3DXEFFECTINSTANCE*)base;
    D3DXEFFECTDEFAULT* def = (D3DXEFFECTDEFAULT*)(base + instanceBytes);
    BYTE* floats = base + instanceBytes + defaultBytes;
    BYTE* text = floats + floatBytes;
    for (size_t i = 0; i < materials.size(); ++i) {
        instance[i].pEffectFilename = nullptr;
        instance[i].NumDefaults = (DWORD)values[i].size();
        instance[i].pDefaults = def;
        for (const Value& v : values[i]) {
            def->pParamName = (LPSTR)text;
            std::memcpy(text, v.name, std::strlen(v.name) + 1);
            text += std::strlen(v.name) + 1;
            def->Type = v.type;
            def->NumBytes = v.bytes;
            BYTE*& at = v.type == D3DXEDT_STRING ? text : floats;
            def->pValue = at;
            std::memcpy(at, v.data, v.bytes);
            at += v.bytes;
            ++def;
        }
    }
    return D3D_OK;
}

} // namespace d3dx

HRESULT D3DXLoadMeshFromXA(LPCSTR path, DWORD options, LPDIRECT3DDEVICE9 device, LPD3DXBUFFER* adjacency,
                           LPD3DXBUFFER* materials, LPD3DXBUFFER* effects, DWORD* numMaterials, LPD3DXMESH* out)
{
    clearOuts(adjacency, materials, effects, out);
    if (!path || !device || !out)
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (!XFileReadWhole(path, &bytes))
        return D3DXFERR_FILENOTFOUND;
    return loadBytes(bytes.data(), bytes.size(), options, device, adjacency, materials, effects, numMaterials, out);
}

HRESULT D3DXLoadMeshFromXInMemory(LPCVOID memory, DWORD size, DWORD options, LPDIRECT3DDEVICE9 device,
                                  LPD3DXBUFFER* adjacency, LPD3DXBUFFER* materials, LPD3DXBUFFER* effects,
                                  DWORD* numMaterials, LPD3DXMESH* out)
{
    clearOuts(adjacency, materials, effects, out);
    if (!memory || !device || !out)
        return D3DERR_INVALIDCALL;
    return loadBytes(memory, size, options, device, adjacency, materials, effects, numMaterials, out);
}

HRESULT D3DXLoadMeshFromXof(LPD3DXFILEDATA data, DWORD options, LPDIRECT3DDEVICE9 device, LPD3DXBUFFER* adjacency,
                            LPD3DXBUFFER* materials, LPD3DXBUFFER* effects, DWORD* numMaterials, LPD3DXMESH* out)
{
    clearOuts(adjacency, materials, effects, out);
    std::shared_ptr<const XFileTree> tree;
    size_t index = 0;
    if (!data || !device || !out || !XFileDataObject(data, &tree, &index))
        return D3DERR_INVALIDCALL;
    d3dx::XLoadedMesh m;
    HRESULT hr = d3dx::LoadXMesh(*tree, index, options, device, nullptr, &m);
    if (FAILED(hr)) {
        if (m.mesh)
            m.mesh->Release();
        return hr;
    }
    return handOut(m, adjacency, materials, effects, numMaterials, out);
}
