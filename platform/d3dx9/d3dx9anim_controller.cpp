// ID3DXAnimationController: tracks that play animation sets, mixed into the
// registered outputs on every AdvanceTime.
#include "d3dx9anim.h"

#include "d3dx9_unknown.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

const IID IID_ID3DXAnimationController = {0x3a714d34, 0xff61, 0x421e, {0x90, 0x9f, 0x63, 0x9f, 0x38, 0x35, 0x67, 0x08}};

namespace {

// Callback keys one AdvanceTime hands to the handler per track, at most; a
// huge step over a short period would otherwise call it without end.
constexpr int kMaxCallbacksPerAdvance = 4096;
constexpr UINT kMaxTracks = 1024;

struct Output {
    std::string name;
    D3DXMATRIX* matrix;
    D3DXVECTOR3* scale;
    D3DXQUATERNION* rotation;
    D3DXVECTOR3* translation;
};

struct Track {
    ID3DXAnimationSet* set = nullptr;
    D3DXTRACK_DESC desc = {D3DXPRIORITY_LOW, 1.0f, 1.0f, 0.0, TRUE};
};

// The weighted mean of the tracks of one priority that animate an output.
struct Mix {
    float weight = 0.0f;
    int count = 0;
    D3DXVECTOR3 scale = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    D3DXQUATERNION rotation = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 translation = D3DXVECTOR3(0.0f, 0.0f, 0.0f);

    // A track of weight 0 or less adds nothing.
    void add(float w, const D3DXVECTOR3& s, const D3DXQUATERNION& q, const D3DXVECTOR3& t)
    {
        if (!(w > 0.0f))
            return;
        if (count == 0) {
            scale = s;
            rotation = q;
            translation = t;
        } else {
            // Running weighted mean; rotations on the same hemisphere as the mean.
            float f = w / (weight + w);
            scale += (s - scale) * f;
            translation += (t - translation) * f;
            D3DXQUATERNION aligned = D3DXQuaternionDot(&rotation, &q) < 0.0f ? -q : q;
            rotation += (aligned - rotation) * f;
        }
        weight += w;
        ++count;
    }

    void finish()
    {
        if (count > 1)
            D3DXQuaternionNormalize(&rotation, &rotation);
    }
};

class Controller final : public d3dx::Unknown<ID3DXAnimationController> {
public:
    Controller(UINT outputs, UINT sets, UINT tracks, UINT events)
        : maxOutputs_(outputs), maxSets_(sets), maxTracks_(tracks), maxEvents_(events)
    {
    }

    HRESULT init()
    {
        try {
            tracks_.resize(maxTracks_);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT QueryInterface(REFIID riid, void** obj) override { return Query(riid, obj, {&IID_ID3DXAnimationController}); }

    UINT GetMaxNumAnimationOutputs() override { return maxOutputs_; }
    UINT GetMaxNumAnimationSets() override { return maxSets_; }
    UINT GetMaxNumTracks() override { return maxTracks_; }
    UINT GetMaxNumEvents() override { return maxEvents_; }

    // A name registered again takes the new pointers.
    HRESULT RegisterAnimationOutput(LPCSTR name, D3DXMATRIX* matrix, D3DXVECTOR3* scale, D3DXQUATERNION* rotation,
                                    D3DXVECTOR3* translation) override
    {
        if (!name)
            return D3DERR_INVALIDCALL;
        auto it = outputIndex_.find(name);
        if (it != outputIndex_.end()) {
            outputs_[it->second] = Output{name, matrix, scale, rotation, translation};
            return S_OK;
        }
        if (outputs_.size() >= maxOutputs_)
            return D3DERR_INVALIDCALL;
        try {
            outputs_.push_back(Output{name, matrix, scale, rotation, translation});
            outputIndex_.emplace(name, outputs_.size() - 1);
        } catch (const std::bad_alloc&) {
            if (outputs_.size() > outputIndex_.size())
                outputs_.pop_back();
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT RegisterAnimationSet(LPD3DXANIMATIONSET set) override
    {
        if (!set || sets_.size() >= maxSets_)
            return D3DERR_INVALIDCALL;
        for (ID3DXAnimationSet* s : sets_)
            if (s == set)
                return D3DERR_INVALIDCALL;
        try {
            sets_.push_back(set);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        set->AddRef();
        return S_OK;
    }

    // The set also leaves every track that plays it.
    HRESULT UnregisterAnimationSet(LPD3DXANIMATIONSET set) override
    {
        for (size_t i = 0; i < sets_.size(); ++i) {
            if (sets_[i] != set)
                continue;
            for (Track& t : tracks_) {
                if (t.set == set) {
                    t.set = nullptr;
                    set->Release();
                }
            }
            sets_.erase(sets_.begin() + i);
            set->Release();
            return S_OK;
        }
        return D3DERR_INVALIDCALL;
    }

    UINT GetNumAnimationSets() override { return (UINT)sets_.size(); }

    HRESULT GetAnimationSet(UINT index, LPD3DXANIMATIONSET* out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        if (index >= sets_.size())
            return D3DERR_INVALIDCALL;
        *out = sets_[index];
        (*out)->AddRef();
        return S_OK;
    }

    HRESULT GetAnimationSetByName(LPCSTR name, LPD3DXANIMATIONSET* out) override
    {
        if (!name || !out)
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        for (ID3DXAnimationSet* s : sets_) {
            LPCSTR n = s->GetName();
            if (n && std::strcmp(n, name) == 0) {
                *out = s;
                s->AddRef();
                return S_OK;
            }
        }
        return D3DERR_NOTFOUND;
    }

    HRESULT AdvanceTime(DOUBLE delta, LPD3DXANIMATIONCALLBACKHANDLER handler) override
    {
        if (!std::isfinite(delta))
            return D3DERR_INVALIDCALL;
        time_ += delta;
        for (UINT i = 0; i < tracks_.size(); ++i) {
            Track& t = tracks_[i];
            if (!t.desc.Enable || !t.set)
                continue;
            double from = t.desc.Position;
            t.desc.Position += delta * t.desc.Speed;
            if (handler)
                runCallbacks(i, from, t.desc.Position, handler);
        }
        return applyTracks();
    }

    HRESULT ResetTime() override
    {
        time_ = 0.0;
        return S_OK;
    }

    DOUBLE GetTime() override { return time_; }

    HRESULT SetTrackAnimationSet(UINT track, LPD3DXANIMATIONSET set) override
    {
        if (track >= tracks_.size())
            return D3DERR_INVALIDCALL;
        if (set)
            set->AddRef();
        if (tracks_[track].set)
            tracks_[track].set->Release();
        tracks_[track].set = set;
        return S_OK;
    }

    HRESULT GetTrackAnimationSet(UINT track, LPD3DXANIMATIONSET* out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        if (track >= tracks_.size())
            return D3DERR_INVALIDCALL;
        *out = tracks_[track].set;
        if (*out)
            (*out)->AddRef();
        return S_OK;
    }

    HRESULT SetTrackPriority(UINT track, D3DXPRIORITY_TYPE priority) override
    {
        if (track >= tracks_.size() || (priority != D3DXPRIORITY_LOW && priority != D3DXPRIORITY_HIGH))
            return D3DERR_INVALIDCALL;
        tracks_[track].desc.Priority = priority;
        return S_OK;
    }

    HRESULT SetTrackSpeed(UINT track, FLOAT speed) override
    {
        if (track >= tracks_.size())
            return D3DERR_INVALIDCALL;
        tracks_[track].desc.Speed = speed;
        return S_OK;
    }

    HRESULT SetTrackWeight(UINT track, FLOAT weight) override
    {
        if (track >= tracks_.size())
            return D3DERR_INVALIDCALL;
        tracks_[track].desc.Weight = weight;
        return S_OK;
    }

    HRESULT SetTrackPosition(UINT track, DOUBLE position) override
    {
        if (track >= tracks_.size())
            return D3DERR_INVALIDCALL;
        tracks_[track].desc.Position = position;
        return S_OK;
    }

    HRESULT SetTrackEnable(UINT track, BOOL enable) override
    {
        if (track >= tracks_.size())
            return D3DERR_INVALIDCALL;
        tracks_[track].desc.Enable = enable ? TRUE : FALSE;
        return S_OK;
    }

    HRESULT SetTrackDesc(UINT track, LPD3DXTRACK_DESC desc) override
    {
        if (track >= tracks_.size() || !desc)
            return D3DERR_INVALIDCALL;
        if (desc->Priority != D3DXPRIORITY_LOW && desc->Priority != D3DXPRIORITY_HIGH)
            return D3DERR_INVALIDCALL;
        tracks_[track].desc = *desc;
        tracks_[track].desc.Enable = desc->Enable ? TRUE : FALSE;
        return S_OK;
    }

    HRESULT GetTrackDesc(UINT track, LPD3DXTRACK_DESC desc) override
    {
        if (track >= tracks_.size() || !desc)
            return D3DERR_INVALIDCALL;
        *desc = tracks_[track].desc;
        return S_OK;
    }

    HRESULT SetPriorityBlend(FLOAT weight) override
    {
        if (!(weight >= 0.0f && weight <= 1.0f))
            return D3DERR_INVALIDCALL;
        priorityBlend_ = weight;
        return S_OK;
    }

    FLOAT GetPriorityBlend() override { return priorityBlend_; }

    HRESULT CloneAnimationController(UINT maxOutputs, UINT maxSets, UINT maxTracks, UINT maxEvents,
                                     ID3DXAnimationController** out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        if (maxOutputs < outputs_.size() || maxSets < sets_.size())
            return D3DERR_INVALIDCALL;
        Controller* c = nullptr;
        HRESULT hr = create(maxOutputs, maxSets, maxTracks, maxEvents, &c);
        if (FAILED(hr))
            return hr;
        hr = c->copyFrom(*this);
        if (FAILED(hr)) {
            c->Release();
            return hr;
        }
        *out = c;
        return S_OK;
    }

    static HRESULT create(UINT maxOutputs, UINT maxSets, UINT maxTracks, UINT maxEvents, Controller** out)
    {
        // Tracks are allocated up front; the count is the caller's, so bound it.
        if (maxTracks == 0 || maxTracks > kMaxTracks)
            return D3DERR_INVALIDCALL;
        Controller* c = new (std::nothrow) Controller(maxOutputs, maxSets, maxTracks, maxEvents);
        if (!c)
            return E_OUTOFMEMORY;
        HRESULT hr = c->init();
        if (FAILED(hr)) {
            c->Release();
            return hr;
        }
        *out = c;
        return S_OK;
    }

private:
    ~Controller() override
    {
        for (Track& t : tracks_)
            if (t.set)
                t.set->Release();
        for (ID3DXAnimationSet* s : sets_)
            s->Release();
    }

    HRESULT copyFrom(const Controller& o)
    {
        try {
            outputs_ = o.outputs_;
            outputIndex_ = o.outputIndex_;
            sets_ = o.sets_;
        } catch (const std::bad_alloc&) {
            outputs_.clear();
            outputIndex_.clear();
            sets_.clear();
            return E_OUTOFMEMORY;
        }
        for (ID3DXAnimationSet* s : sets_)
            s->AddRef();
        for (size_t i = 0; i < tracks_.size() && i < o.tracks_.size(); ++i) {
            tracks_[i] = o.tracks_[i];
            if (tracks_[i].set)
                tracks_[i].set->AddRef();
        }
        time_ = o.time_;
        priorityBlend_ = o.priorityBlend_;
        return S_OK;
    }

    // Hands the handler every callback key the track passed between the two
    // positions, the start excluded and the end included.
    void runCallbacks(UINT track, double from, double to, LPD3DXANIMATIONCALLBACKHANDLER handler)
    {
        if (to == from)
            return;
        ID3DXAnimationSet* set = tracks_[track].set;
        DWORD flags = D3DXCALLBACK_SEARCH_EXCLUDING_INITIAL_POSITION;
        if (to < from)
            flags |= D3DXCALLBACK_SEARCH_BEHIND_INITIAL_POSITION;
        double at = from;
        for (int n = 0; n < kMaxCallbacksPerAdvance; ++n) {
            double next = 0.0;
            LPVOID data = nullptr;
            if (FAILED(set->GetCallback(at, flags, &next, &data)))
                return;
            if (to > from ? next > to : next < to)
                return;
            if (next == at)
                return;
            handler->HandleCallback(track, data);
            at = next;
        }
    }

    // Samples every enabled track and writes the mix into the outputs.
    HRESULT applyTracks()
    {
        if (outputs_.empty())
            return S_OK;
        try {
            mixes_.assign(outputs_.size() * 2, Mix());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (const Track& t : tracks_) {
            if (!t.desc.Enable || !t.set)
                continue;
            ID3DXAnimationSet* set = t.set;
            double at = set->GetPeriodicPosition(t.desc.Position);
            UINT n = set->GetNumAnimations();
            size_t group = t.desc.Priority == D3DXPRIORITY_HIGH ? 1 : 0;
            for (UINT a = 0; a < n; ++a) {
                LPCSTR name = nullptr;
                if (FAILED(set->GetAnimationNameByIndex(a, &name)) || !name)
                    continue;
                auto it = outputIndex_.find(name);
                if (it == outputIndex_.end())
                    continue;
                D3DXVECTOR3 s, tr;
                D3DXQUATERNION q;
                if (FAILED(set->GetSRT(at, a, &s, &q, &tr)))
                    continue;
                mixes_[it->second * 2 + group].add(t.desc.Weight, s, q, tr);
            }
        }
        for (size_t o = 0; o < outputs_.size(); ++o) {
            Mix& low = mixes_[o * 2];
            Mix& high = mixes_[o * 2 + 1];
            if (!low.count && !high.count)
                continue;
            low.finish();
            high.finish();
            Mix* m = &low;
            if (!low.count) {
                m = &high;
            } else if (high.count) {
                float b = priorityBlend_;
                low.scale += (high.scale - low.scale) * b;
                low.translation += (high.translation - low.translation) * b;
                D3DXQUATERNION q = low.rotation;
                D3DXQuaternionSlerp(&low.rotation, &q, &high.rotation, b);
            }
            write(outputs_[o], m->scale, m->rotation, m->translation);
        }
        return S_OK;
    }

    // The matrix is scaling, then rotation, then translation.
    static void write(const Output& out, const D3DXVECTOR3& s, const D3DXQUATERNION& q, const D3DXVECTOR3& t)
    {
        if (out.matrix) {
            D3DXMATRIX& m = *out.matrix;
            D3DXMatrixRotationQuaternion(&m, &q);
            m._11 *= s.x, m._12 *= s.x, m._13 *= s.x;
            m._21 *= s.y, m._22 *= s.y, m._23 *= s.y;
            m._31 *= s.z, m._32 *= s.z, m._33 *= s.z;
            m._41 = t.x, m._42 = t.y, m._43 = t.z;
        }
        if (out.scale)
            *out.scale = s;
        if (out.rotation)
            *out.rotation = q;
        if (out.translation)
            *out.translation = t;
    }

    UINT maxOutputs_, maxSets_, maxTracks_, maxEvents_;
    std::vector<Output> outputs_;
    std::unordered_map<std::string, size_t> outputIndex_;
    std::vector<ID3DXAnimationSet*> sets_;
    std::vector<Track> tracks_;
    std::vector<Mix> mixes_;
    double time_ = 0.0;
    float priorityBlend_ = 0.0f;
};

} // namespace

HRESULT D3DXCreateAnimationController(UINT MaxNumAnimationOutputs, UINT MaxNumAnimationSets, UINT MaxNumTracks,
                                      UINT MaxNumEvents, LPD3DXANIMATIONCONTROLLER* ppAnimController)
{
    if (!ppAnimController)
        return D3DERR_INVALIDCALL;
    *ppAnimController = nullptr;
    Controller* c = nullptr;
    HRESULT hr = Controller::create(MaxNumAnimationOutputs, MaxNumAnimationSets, MaxNumTracks, MaxNumEvents, &c);
    if (SUCCEEDED(hr))
        *ppAnimController = c;
    return hr;
}
