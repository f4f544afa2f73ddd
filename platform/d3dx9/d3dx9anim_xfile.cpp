// Animation sets from the AnimationSet objects of a .x file.
#include "d3dx9anim_xfile.h"

#include <vector>

namespace d3dx {

namespace {

constexpr DWORD kDefaultTicksPerSecond = 4800;

enum KeyType : DWORD { kRotation = 0, kScale = 1, kPosition = 2, kMatrixOld = 3, kMatrix = 4 };

struct Keys {
    std::vector<D3DXKEY_VECTOR3> scale;
    std::vector<D3DXKEY_QUATERNION> rotation;
    std::vector<D3DXKEY_VECTOR3> translation;
};

// One AnimationKey: keyType, nKeys, then per key its time, value count and values.
HRESULT readKeys(const XFileObject& o, Keys* keys)
{
    XFileReader r(o);
    DWORD type = r.Dword();
    DWORD n = r.Dword();
    if (!r.Ok())
        return D3DXERR_INVALIDDATA;
    // Every key takes at least its time and its value count.
    if (n > r.Remaining() / 8)
        return D3DXERR_INVALIDDATA;
    for (DWORD i = 0; i < n; ++i) {
        float time = (float)r.Dword();
        DWORD count = r.Dword();
        float v[16];
        DWORD expected = type == kRotation ? 4 : type == kScale || type == kPosition ? 3 : 16;
        if (!r.Ok() || count != expected || (type != kRotation && type != kScale && type != kPosition &&
                                             type != kMatrix && type != kMatrixOld))
            return D3DXERR_INVALIDDATA;
        for (DWORD k = 0; k < count; ++k)
            v[k] = r.Float();
        if (!r.Ok())
            return D3DXERR_INVALIDDATA;
        switch (type) {
        case kRotation:
            // Stored (w, x, y, z) and as the inverse rotation.
            keys->rotation.push_back(D3DXKEY_QUATERNION{time, D3DXQUATERNION(-v[1], -v[2], -v[3], v[0])});
            break;
        case kScale:
            keys->scale.push_back(D3DXKEY_VECTOR3{time, D3DXVECTOR3(v[0], v[1], v[2])});
            break;
        case kPosition:
            keys->translation.push_back(D3DXKEY_VECTOR3{time, D3DXVECTOR3(v[0], v[1], v[2])});
            break;
        default: {
            D3DXMATRIX m(v);
            D3DXVECTOR3 s, t;
            D3DXQUATERNION q;
            if (FAILED(D3DXMatrixDecompose(&s, &q, &t, &m))) {
                D3DXQuaternionIdentity(&q);
                t = D3DXVECTOR3(m._41, m._42, m._43);
            }
            keys->scale.push_back(D3DXKEY_VECTOR3{time, s});
            keys->rotation.push_back(D3DXKEY_QUATERNION{time, q});
            keys->translation.push_back(D3DXKEY_VECTOR3{time, t});
            break;
        }
        }
    }
    return S_OK;
}

// The frame an Animation drives: the Frame it references (or holds).
const XFileObject* animatedFrame(const XFileTree& tree, const XFileObject& animation)
{
    for (size_t i = 0; i < animation.children.size(); ++i) {
        const XFileObject& c = tree.Child(animation, i);
        if (c.type == "Frame")
            return &c;
    }
    return nullptr;
}

HRESULT buildSet(const XFileTree& tree, const XFileObject& o, DWORD ticks, ID3DXKeyframedAnimationSet** out)
{
    UINT count = 0;
    for (size_t i = 0; i < o.children.size(); ++i)
        count += tree.Child(o, i).type == "Animation";
    ID3DXKeyframedAnimationSet* set = nullptr;
    HRESULT hr = D3DXCreateKeyframedAnimationSet(o.name.c_str(), ticks, D3DXPLAY_LOOP, count, 0, nullptr, &set);
    if (FAILED(hr))
        return hr;
    for (size_t i = 0; i < o.children.size() && SUCCEEDED(hr); ++i) {
        const XFileObject& a = tree.Child(o, i);
        if (a.type != "Animation")
            continue;
        const XFileObject* frame = animatedFrame(tree, a);
        Keys keys;
        try {
            for (size_t k = 0; k < a.children.size() && SUCCEEDED(hr); ++k)
                if (tree.Child(a, k).type == "AnimationKey")
                    hr = readKeys(tree.Child(a, k), &keys);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        }
        if (FAILED(hr) || !frame)
            continue;
        UINT existing;
        if (set->GetAnimationIndexByName(frame->name.c_str(), &existing) == S_OK)
            continue; // a second animation of one frame: the first one holds
        hr = set->RegisterAnimationSRTKeys(frame->name.c_str(), (UINT)keys.scale.size(), (UINT)keys.rotation.size(),
                                           (UINT)keys.translation.size(), keys.scale.data(), keys.rotation.data(),
                                           keys.translation.data(), nullptr);
    }
    if (FAILED(hr)) {
        set->Release();
        return hr;
    }
    *out = set;
    return S_OK;
}

} // namespace

HRESULT XFileAnimationSets(const XFileTree& tree, std::vector<ID3DXKeyframedAnimationSet*>* out)
{
    DWORD ticks = kDefaultTicksPerSecond;
    for (size_t i = 0; i < tree.top.size(); ++i) {
        const XFileObject& o = tree.Top(i);
        if (o.type == "AnimTicksPerSecond") {
            XFileReader r(o);
            DWORD t = r.Dword();
            if (r.Ok() && t > 0)
                ticks = t;
        }
    }
    HRESULT hr = S_OK;
    for (size_t i = 0; i < tree.top.size() && SUCCEEDED(hr); ++i) {
        const XFileObject& o = tree.Top(i);
        if (o.type != "AnimationSet")
            continue;
        ID3DXKeyframedAnimationSet* set = nullptr;
        hr = buildSet(tree, o, ticks, &set);
        if (SUCCEEDED(hr)) {
            try {
                out->push_back(set);
            } catch (const std::bad_alloc&) {
                set->Release();
                hr = E_OUTOFMEMORY;
            }
        }
    }
    if (FAILED(hr)) {
        for (ID3DXKeyframedAnimationSet* s : *out)
            s->Release();
        out->clear();
    }
    return hr;
}

} // namespace d3dx
