// ID3DXKeyframedAnimationSet: named scale, rotation and translation key lists,
// sampled by time with linear and spherical interpolation.
#include "d3dx9anim.h"

#include "d3dx9_unknown.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

const IID IID_ID3DXAnimationSet = {0x54b569ac, 0x0aef, 0x473e, {0x97, 0x04, 0x3f, 0xef, 0x31, 0x7f, 0x64, 0xab}};
const IID IID_ID3DXKeyframedAnimationSet = {0x59a3b37a, 0x65be, 0x4a38, {0x9b, 0x6f, 0x2c, 0x8c, 0x73, 0xd4, 0x03, 0x60}};

namespace {

struct Animation {
    std::string name;
    std::vector<D3DXKEY_VECTOR3> scale;
    std::vector<D3DXKEY_QUATERNION> rotation;
    std::vector<D3DXKEY_VECTOR3> translation;
};

template <class Key>
bool earlier(const Key& a, const Key& b)
{
    return a.Time < b.Time;
}

template <class Key>
void sortKeys(std::vector<Key>& keys)
{
    std::stable_sort(keys.begin(), keys.end(), earlier<Key>);
}

// The key pair around tick t and the fraction between them; before the first
// key or after the last one the end key holds.
template <class Key>
const Key* bracket(const std::vector<Key>& keys, float t, const Key** next, float* f)
{
    Key probe;
    probe.Time = t;
    auto it = std::upper_bound(keys.begin(), keys.end(), probe, earlier<Key>);
    if (it == keys.begin()) {
        *next = nullptr;
        return &keys.front();
    }
    if (it == keys.end()) {
        *next = nullptr;
        return &keys.back();
    }
    const Key* a = &*(it - 1);
    *next = &*it;
    float span = it->Time - a->Time;
    *f = span > 0.0f ? (t - a->Time) / span : 1.0f;
    return a;
}

D3DXVECTOR3 sampleVector(const std::vector<D3DXKEY_VECTOR3>& keys, float t, const D3DXVECTOR3& none)
{
    if (keys.empty())
        return none;
    const D3DXKEY_VECTOR3* b = nullptr;
    float f = 0.0f;
    const D3DXKEY_VECTOR3* a = bracket(keys, t, &b, &f);
    if (!b)
        return a->Value;
    return a->Value + (b->Value - a->Value) * f;
}

D3DXQUATERNION sampleRotation(const std::vector<D3DXKEY_QUATERNION>& keys, float t)
{
    if (keys.empty())
        return D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
    const D3DXKEY_QUATERNION* b = nullptr;
    float f = 0.0f;
    const D3DXKEY_QUATERNION* a = bracket(keys, t, &b, &f);
    if (!b)
        return a->Value;
    D3DXQUATERNION q;
    D3DXQuaternionSlerp(&q, &a->Value, &b->Value, f);
    return q;
}

class KeyframedSet final : public d3dx::Unknown<ID3DXKeyframedAnimationSet> {
public:
    KeyframedSet(LPCSTR name, double ticks, D3DXPLAYBACK_TYPE playback, UINT capacity)
        : name_(name ? name : ""), ticks_(ticks), playback_(playback), capacity_(capacity)
    {
    }

    HRESULT init(UINT numCallbacks, const D3DXKEY_CALLBACK* callbacks)
    {
        try {
            anims_.reserve(std::min<UINT>(capacity_, 4096));
            if (numCallbacks)
                callbacks_.assign(callbacks, callbacks + numCallbacks);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        sortKeys(callbacks_);
        updatePeriod();
        return S_OK;
    }

    HRESULT QueryInterface(REFIID riid, void** obj) override
    {
        return Query(riid, obj, {&IID_ID3DXAnimationSet, &IID_ID3DXKeyframedAnimationSet});
    }

    // ---- ID3DXAnimationSet
    LPCSTR GetName() override { return name_.c_str(); }
    DOUBLE GetPeriod() override { return period_; }

    DOUBLE GetPeriodicPosition(DOUBLE position) override
    {
        double p = period_;
        if (!(p > 0.0) || !std::isfinite(position))
            return 0.0;
        switch (playback_) {
        case D3DXPLAY_ONCE:
            return std::min(std::max(position, 0.0), p);
        case D3DXPLAY_PINGPONG: {
            double r = std::fmod(position, 2.0 * p);
            if (r < 0.0)
                r += 2.0 * p;
            return r > p ? 2.0 * p - r : r;
        }
        default: {
            double r = std::fmod(position, p);
            if (r < 0.0)
                r += p;
            return r >= p ? 0.0 : r;
        }
        }
    }

    UINT GetNumAnimations() override { return (UINT)anims_.size(); }

    HRESULT GetAnimationNameByIndex(UINT index, LPCSTR* name) override
    {
        if (!name || index >= anims_.size())
            return D3DERR_INVALIDCALL;
        *name = anims_[index].name.c_str();
        return S_OK;
    }

    HRESULT GetAnimationIndexByName(LPCSTR name, UINT* index) override
    {
        if (!name || !index)
            return D3DERR_INVALIDCALL;
        for (size_t i = 0; i < anims_.size(); ++i) {
            if (anims_[i].name == name) {
                *index = (UINT)i;
                return S_OK;
            }
        }
        return D3DERR_NOTFOUND;
    }

    HRESULT GetSRT(DOUBLE periodicPosition, UINT animation, D3DXVECTOR3* scale, D3DXQUATERNION* rotation,
                   D3DXVECTOR3* translation) override
    {
        if (animation >= anims_.size())
            return D3DERR_INVALIDCALL;
        const Animation& a = anims_[animation];
        float t = (float)(periodicPosition * ticks_);
        if (scale)
            *scale = sampleVector(a.scale, t, D3DXVECTOR3(1.0f, 1.0f, 1.0f));
        if (rotation)
            *rotation = sampleRotation(a.rotation, t);
        if (translation)
            *translation = sampleVector(a.translation, t, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        return S_OK;
    }

    HRESULT GetCallback(DOUBLE position, DWORD flags, DOUBLE* callbackPosition, LPVOID* callbackData) override
    {
        if (callbacks_.empty() || !std::isfinite(position))
            return D3DERR_NOTFOUND;
        bool behind = (flags & D3DXCALLBACK_SEARCH_BEHIND_INITIAL_POSITION) != 0;
        bool excluding = (flags & D3DXCALLBACK_SEARCH_EXCLUDING_INITIAL_POSITION) != 0;
        double p = period_;
        // Every key occurs once per period; the cycles around the position
        // hold the nearest occurrence in either direction.
        double cycle = p > 0.0 && playback_ != D3DXPLAY_ONCE ? std::floor(position / p) : 0.0;
        double first = p > 0.0 && playback_ != D3DXPLAY_ONCE ? cycle - 1.0 : 0.0;
        double last = p > 0.0 && playback_ != D3DXPLAY_ONCE ? cycle + 1.0 : 0.0;
        bool found = false;
        double best = 0.0;
        LPVOID bestData = nullptr;
        for (double k = first; k <= last; k += 1.0) {
            bool mirrored = playback_ == D3DXPLAY_PINGPONG && std::fmod(std::fabs(k), 2.0) == 1.0;
            for (const D3DXKEY_CALLBACK& key : callbacks_) {
                double t = key.Time / ticks_;
                double local = k * p + (mirrored ? p - t : t);
                if (behind ? local > position : local < position)
                    continue;
                if (excluding && local == position)
                    continue;
                if (!found || (behind ? local > best : local < best)) {
                    found = true;
                    best = local;
                    bestData = key.pCallbackData;
                }
            }
        }
        if (!found)
            return D3DERR_NOTFOUND;
        if (callbackPosition)
            *callbackPosition = best;
        if (callbackData)
            *callbackData = bestData;
        return S_OK;
    }

    // ---- ID3DXKeyframedAnimationSet
    D3DXPLAYBACK_TYPE GetPlaybackType() override { return playback_; }
    DOUBLE GetSourceTicksPerSecond() override { return ticks_; }

    UINT GetNumScaleKeys(UINT animation) override { return animation < anims_.size() ? (UINT)anims_[animation].scale.size() : 0; }
    HRESULT GetScaleKeys(UINT animation, LPD3DXKEY_VECTOR3 keys) override
    {
        return animation < anims_.size() ? copyAll(anims_[animation].scale, keys) : D3DERR_INVALIDCALL;
    }
    HRESULT GetScaleKey(UINT animation, UINT key, LPD3DXKEY_VECTOR3 out) override
    {
        return animation < anims_.size() ? getOne(anims_[animation].scale, key, out) : D3DERR_INVALIDCALL;
    }
    HRESULT SetScaleKey(UINT animation, UINT key, LPD3DXKEY_VECTOR3 in) override
    {
        return animation < anims_.size() ? setOne(anims_[animation].scale, key, in) : D3DERR_INVALIDCALL;
    }

    UINT GetNumRotationKeys(UINT animation) override
    {
        return animation < anims_.size() ? (UINT)anims_[animation].rotation.size() : 0;
    }
    HRESULT GetRotationKeys(UINT animation, LPD3DXKEY_QUATERNION keys) override
    {
        return animation < anims_.size() ? copyAll(anims_[animation].rotation, keys) : D3DERR_INVALIDCALL;
    }
    HRESULT GetRotationKey(UINT animation, UINT key, LPD3DXKEY_QUATERNION out) override
    {
        return animation < anims_.size() ? getOne(anims_[animation].rotation, key, out) : D3DERR_INVALIDCALL;
    }
    HRESULT SetRotationKey(UINT animation, UINT key, LPD3DXKEY_QUATERNION in) override
    {
        return animation < anims_.size() ? setOne(anims_[animation].rotation, key, in) : D3DERR_INVALIDCALL;
    }

    UINT GetNumTranslationKeys(UINT animation) override
    {
        return animation < anims_.size() ? (UINT)anims_[animation].translation.size() : 0;
    }
    HRESULT GetTranslationKeys(UINT animation, LPD3DXKEY_VECTOR3 keys) override
    {
        return animation < anims_.size() ? copyAll(anims_[animation].translation, keys) : D3DERR_INVALIDCALL;
    }
    HRESULT GetTranslationKey(UINT animation, UINT key, LPD3DXKEY_VECTOR3 out) override
    {
        return animation < anims_.size() ? getOne(anims_[animation].translation, key, out) : D3DERR_INVALIDCALL;
    }
    HRESULT SetTranslationKey(UINT animation, UINT key, LPD3DXKEY_VECTOR3 in) override
    {
        return animation < anims_.size() ? setOne(anims_[animation].translation, key, in) : D3DERR_INVALIDCALL;
    }

    UINT GetNumCallbackKeys() override { return (UINT)callbacks_.size(); }
    HRESULT GetCallbackKeys(LPD3DXKEY_CALLBACK keys) override { return copyAll(callbacks_, keys); }
    HRESULT GetCallbackKey(UINT key, LPD3DXKEY_CALLBACK out) override { return getOne(callbacks_, key, out); }
    HRESULT SetCallbackKey(UINT key, LPD3DXKEY_CALLBACK in) override { return setOne(callbacks_, key, in); }

    HRESULT UnregisterScaleKey(UINT animation, UINT key) override
    {
        return animation < anims_.size() ? eraseOne(anims_[animation].scale, key) : D3DERR_INVALIDCALL;
    }
    HRESULT UnregisterRotationKey(UINT animation, UINT key) override
    {
        return animation < anims_.size() ? eraseOne(anims_[animation].rotation, key) : D3DERR_INVALIDCALL;
    }
    HRESULT UnregisterTranslationKey(UINT animation, UINT key) override
    {
        return animation < anims_.size() ? eraseOne(anims_[animation].translation, key) : D3DERR_INVALIDCALL;
    }

    HRESULT RegisterAnimationSRTKeys(LPCSTR name, UINT numScale, UINT numRotation, UINT numTranslation,
                                     const D3DXKEY_VECTOR3* scale, const D3DXKEY_QUATERNION* rotation,
                                     const D3DXKEY_VECTOR3* translation, DWORD* index) override
    {
        if (!name || (numScale && !scale) || (numRotation && !rotation) || (numTranslation && !translation))
            return D3DERR_INVALIDCALL;
        if (anims_.size() >= capacity_)
            return D3DERR_INVALIDCALL;
        for (const Animation& a : anims_)
            if (a.name == name)
                return D3DERR_INVALIDCALL;
        try {
            Animation a;
            a.name = name;
            a.scale.assign(scale, scale + numScale);
            a.rotation.assign(rotation, rotation + numRotation);
            a.translation.assign(translation, translation + numTranslation);
            sortKeys(a.scale);
            sortKeys(a.rotation);
            sortKeys(a.translation);
            anims_.push_back(std::move(a));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        updatePeriod();
        if (index)
            *index = (DWORD)(anims_.size() - 1);
        return S_OK;
    }

    HRESULT UnregisterAnimation(UINT index) override
    {
        if (index >= anims_.size())
            return D3DERR_INVALIDCALL;
        anims_.erase(anims_.begin() + index);
        updatePeriod();
        return S_OK;
    }

private:
    ~KeyframedSet() override = default;

    template <class Key>
    static HRESULT copyAll(const std::vector<Key>& keys, Key* out)
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        if (!keys.empty())
            std::memcpy(out, keys.data(), keys.size() * sizeof(Key));
        return S_OK;
    }

    template <class Key>
    static HRESULT getOne(const std::vector<Key>& keys, UINT key, Key* out)
    {
        if (!out || key >= keys.size())
            return D3DERR_INVALIDCALL;
        *out = keys[key];
        return S_OK;
    }

    // Replaces a key; the list is kept in time order.
    template <class Key>
    HRESULT setOne(std::vector<Key>& keys, UINT key, const Key* in)
    {
        if (!in || key >= keys.size())
            return D3DERR_INVALIDCALL;
        keys[key] = *in;
        sortKeys(keys);
        updatePeriod();
        return S_OK;
    }

    template <class Key>
    HRESULT eraseOne(std::vector<Key>& keys, UINT key)
    {
        if (key >= keys.size())
            return D3DERR_INVALIDCALL;
        keys.erase(keys.begin() + key);
        updatePeriod();
        return S_OK;
    }

    // The period runs from time 0 to the last key of any list.
    void updatePeriod()
    {
        float last = 0.0f;
        auto see = [&last](const auto& keys) {
            if (!keys.empty())
                last = std::max(last, keys.back().Time);
        };
        for (const Animation& a : anims_) {
            see(a.scale);
            see(a.rotation);
            see(a.translation);
        }
        see(callbacks_);
        period_ = last / ticks_;
    }

    std::string name_;
    double ticks_;
    D3DXPLAYBACK_TYPE playback_;
    UINT capacity_;
    double period_ = 0.0;
    std::vector<Animation> anims_;
    std::vector<D3DXKEY_CALLBACK> callbacks_;
};

} // namespace

HRESULT D3DXCreateKeyframedAnimationSet(LPCSTR pName, DOUBLE TicksPerSecond, D3DXPLAYBACK_TYPE Playback,
                                        UINT NumAnimations, UINT NumCallbackKeys,
                                        const D3DXKEY_CALLBACK* pCallbackKeys,
                                        LPD3DXKEYFRAMEDANIMATIONSET* ppAnimationSet)
{
    if (!ppAnimationSet)
        return D3DERR_INVALIDCALL;
    *ppAnimationSet = nullptr;
    if (!(TicksPerSecond > 0.0) || !std::isfinite(TicksPerSecond) || (NumCallbackKeys && !pCallbackKeys))
        return D3DERR_INVALIDCALL;
    if (Playback != D3DXPLAY_LOOP && Playback != D3DXPLAY_ONCE && Playback != D3DXPLAY_PINGPONG)
        return D3DERR_INVALIDCALL;
    KeyframedSet* set = new (std::nothrow) KeyframedSet(pName, TicksPerSecond, Playback, NumAnimations);
    if (!set)
        return E_OUTOFMEMORY;
    HRESULT hr = set->init(NumCallbackKeys, pCallbackKeys);
    if (FAILED(hr)) {
        set->Release();
        return hr;
    }
    *ppAnimationSet = set;
    return S_OK;
}
