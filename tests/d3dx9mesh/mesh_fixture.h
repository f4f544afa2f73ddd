// Meshes on the recording fake device, with helpers to fill and read them.
#pragma once

#include "fake_d3d9.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

struct PosVertex {
    float x, y, z;
};

class MeshTest : public ::testing::Test {
public:
    void SetUp() override { dev = fake.MakeDevice(); }
    void TearDown() override
    {
        if (dev)
            dev->Release();
        EXPECT_EQ(fake.LiveObjects(), 0u) << "a mesh or buffer was not released";
        EXPECT_TRUE(fake.Problems().empty()) << fake.Problems().front();
    }

    // A mesh of XYZ (plus `extra`) vertices with the given positions, faces and attributes.
    ID3DXMesh* MakeMesh(const std::vector<PosVertex>& pos, const std::vector<DWORD>& indices,
                        const std::vector<DWORD>& attributes = {}, DWORD extraFvf = 0, DWORD options = D3DXMESH_MANAGED)
    {
        ID3DXMesh* m = nullptr;
        const DWORD fvf = D3DFVF_XYZ | extraFvf;
        EXPECT_EQ(D3DXCreateMeshFVF((DWORD)indices.size() / 3, (DWORD)pos.size(), options, fvf, dev, &m), S_OK);
        if (!m)
            return nullptr;
        const DWORD stride = m->GetNumBytesPerVertex();
        BYTE* v = nullptr;
        EXPECT_EQ(m->LockVertexBuffer(0, (void**)&v), S_OK);
        std::memset(v, 0, stride * pos.size());
        for (size_t i = 0; i < pos.size(); ++i)
            std::memcpy(v + i * stride, &pos[i], 12);
        m->UnlockVertexBuffer();
        void* ib = nullptr;
        EXPECT_EQ(m->LockIndexBuffer(0, &ib), S_OK);
        for (size_t i = 0; i < indices.size(); ++i) {
            if (options & D3DXMESH_32BIT)
                ((DWORD*)ib)[i] = indices[i];
            else
                ((WORD*)ib)[i] = (WORD)indices[i];
        }
        m->UnlockIndexBuffer();
        DWORD* attr = nullptr;
        EXPECT_EQ(m->LockAttributeBuffer(0, &attr), S_OK);
        for (size_t f = 0; f < indices.size() / 3; ++f)
            attr[f] = f < attributes.size() ? attributes[f] : 0;
        m->UnlockAttributeBuffer();
        return m;
    }

    static std::vector<DWORD> Indices(ID3DXMesh* m)
    {
        std::vector<DWORD> out(m->GetNumFaces() * 3);
        void* ib = nullptr;
        m->LockIndexBuffer(D3DLOCK_READONLY, &ib);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = (m->GetOptions() & D3DXMESH_32BIT) ? ((DWORD*)ib)[i] : ((WORD*)ib)[i];
        m->UnlockIndexBuffer();
        return out;
    }

    static std::vector<DWORD> Attributes(ID3DXMesh* m)
    {
        DWORD* a = nullptr;
        m->LockAttributeBuffer(D3DLOCK_READONLY, &a);
        std::vector<DWORD> out(a, a + m->GetNumFaces());
        m->UnlockAttributeBuffer();
        return out;
    }

    // Element `offset` (bytes) of vertex i as floats.
    static std::vector<float> Floats(ID3DXMesh* m, DWORD i, DWORD offset, int count)
    {
        BYTE* v = nullptr;
        m->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v);
        std::vector<float> out(count);
        std::memcpy(out.data(), v + i * m->GetNumBytesPerVertex() + offset, 4 * count);
        m->UnlockVertexBuffer();
        return out;
    }

    static DWORD Dword(ID3DXMesh* m, DWORD i, DWORD offset)
    {
        BYTE* v = nullptr;
        m->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v);
        DWORD out;
        std::memcpy(&out, v + i * m->GetNumBytesPerVertex() + offset, 4);
        m->UnlockVertexBuffer();
        return out;
    }

    FakeD3D9 fake;
    IDirect3DDevice9* dev = nullptr;
};
