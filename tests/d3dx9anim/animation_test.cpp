// Keyframed animation sets and the animation controller, without a device.
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kTicks = 4800.0;
constexpr float kPi = 3.14159265358979f;

D3DXQUATERNION rotationY(float angle)
{
    D3DXQUATERNION q;
    D3DXVECTOR3 axis(0.0f, 1.0f, 0.0f);
    D3DXQuaternionRotationAxis(&q, &axis, angle);
    return q;
}

void expectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tol = 1e-5f)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&a._11)[i], (&b._11)[i], tol) << "element " << i / 4 + 1 << i % 4 + 1;
}

// A set named "walk" with one animation "bone" whose translation x runs from 0
// at tick 0 to 1 at tick 4800 (period 1 s).
ID3DXKeyframedAnimationSet* rampSet(D3DXPLAYBACK_TYPE playback = D3DXPLAY_LOOP, UINT numCallbacks = 0,
                                    const D3DXKEY_CALLBACK* callbacks = nullptr)
{
    ID3DXKeyframedAnimationSet* set = nullptr;
    EXPECT_EQ(S_OK, D3DXCreateKeyframedAnimationSet("walk", kTicks, playback, 1, numCallbacks, callbacks, &set));
    D3DXKEY_VECTOR3 keys[2] = {{0.0f, D3DXVECTOR3(0.0f, 0.0f, 0.0f)}, {4800.0f, D3DXVECTOR3(1.0f, 0.0f, 0.0f)}};
    EXPECT_EQ(S_OK, set->RegisterAnimationSRTKeys("bone", 0, 0, 2, nullptr, nullptr, keys, nullptr));
    return set;
}

struct Rig {
    ID3DXAnimationController* controller = nullptr;
    D3DXMATRIX bone;

    explicit Rig(ID3DXAnimationSet* set, UINT tracks = 2)
    {
        D3DXMatrixIdentity(&bone);
        EXPECT_EQ(S_OK, D3DXCreateAnimationController(4, 4, tracks, 0, &controller));
        EXPECT_EQ(S_OK, controller->RegisterAnimationOutput("bone", &bone, nullptr, nullptr, nullptr));
        EXPECT_EQ(S_OK, controller->RegisterAnimationSet(set));
        EXPECT_EQ(S_OK, controller->SetTrackAnimationSet(0, set));
    }
    ~Rig() { controller->Release(); }
};

TEST(AnimationSet, RegisteredRotationKeysAreSlerpedAndUsedAsGiven)
{
    ID3DXKeyframedAnimationSet* set = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateKeyframedAnimationSet("turn", kTicks, D3DXPLAY_LOOP, 1, 0, nullptr, &set));
    D3DXKEY_QUATERNION keys[2] = {{0.0f, rotationY(0.0f)}, {4800.0f, rotationY(kPi / 2)}};
    DWORD index = 99;
    ASSERT_EQ(S_OK, set->RegisterAnimationSRTKeys("bone", 0, 2, 0, nullptr, keys, nullptr, &index));
    EXPECT_EQ(0u, index);
    EXPECT_DOUBLE_EQ(1.0, set->GetPeriod());
    {
        Rig rig(set);
        ASSERT_EQ(S_OK, rig.controller->AdvanceTime(0.25, nullptr));
        D3DXMATRIX expected;
        D3DXMatrixRotationY(&expected, kPi / 8);
        expectMatrixNear(rig.bone, expected);
    }
    set->Release();
}

TEST(AnimationSet, MatrixIsScaleThenRotationThenTranslation)
{
    ID3DXKeyframedAnimationSet* set = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateKeyframedAnimationSet("pose", kTicks, D3DXPLAY_LOOP, 1, 0, nullptr, &set));
    D3DXQUATERNION q;
    D3DXVECTOR3 z(0.0f, 0.0f, 1.0f);
    D3DXQuaternionRotationAxis(&q, &z, kPi / 2);
    D3DXKEY_VECTOR3 s = {0.0f, D3DXVECTOR3(2.0f, 1.0f, 1.0f)};
    D3DXKEY_QUATERNION r = {0.0f, q};
    D3DXKEY_VECTOR3 t = {0.0f, D3DXVECTOR3(5.0f, 0.0f, 0.0f)};
    ASSERT_EQ(S_OK, set->RegisterAnimationSRTKeys("bone", 1, 1, 1, &s, &r, &t, nullptr));
    {
        Rig rig(set);
        ASSERT_EQ(S_OK, rig.controller->AdvanceTime(0.0, nullptr));
        D3DXVECTOR3 p(1.0f, 0.0f, 0.0f), out;
        D3DXVec3TransformCoord(&out, &p, &rig.bone);
        EXPECT_NEAR(5.0f, out.x, 1e-5f);
        EXPECT_NEAR(2.0f, out.y, 1e-5f);
        EXPECT_NEAR(0.0f, out.z, 1e-5f);
    }
    set->Release();
}

// Track position after the steps, and where it lands in the period.
struct WrapCase {
    const char* name;
    D3DXPLAYBACK_TYPE playback;
    float speed;
    std::vector<double> steps;
    double position;
    float x;
};

TEST(AnimationController, TrackSpeedsWrapThroughThePeriod)
{
    const WrapCase cases[] = {
        {"speed 1", D3DXPLAY_LOOP, 1.0f, {0.25}, 0.25, 0.25f},
        {"speed 2 inside", D3DXPLAY_LOOP, 2.0f, {0.3}, 0.6, 0.6f},
        {"speed 2 past the end", D3DXPLAY_LOOP, 2.0f, {0.3, 0.3}, 1.2, 0.2f},
        {"speed -1 wraps backwards", D3DXPLAY_LOOP, -1.0f, {0.25}, -0.25, 0.75f},
        {"speed -1 two periods back", D3DXPLAY_LOOP, -1.0f, {1.0, 1.1}, -2.1, 0.9f},
        {"once stops on the last key", D3DXPLAY_ONCE, 1.0f, {1.25}, 1.25, 1.0f},
        {"once before the start", D3DXPLAY_ONCE, -1.0f, {0.5}, -0.5, 0.0f},
        {"ping-pong comes back", D3DXPLAY_PINGPONG, 1.0f, {1.25}, 1.25, 0.75f},
        {"ping-pong backwards", D3DXPLAY_PINGPONG, -1.0f, {0.25}, -0.25, 0.25f},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.name);
        ID3DXKeyframedAnimationSet* set = rampSet(c.playback);
        {
            Rig rig(set);
            ASSERT_EQ(S_OK, rig.controller->SetTrackSpeed(0, c.speed));
            double total = 0.0;
            for (double step : c.steps) {
                ASSERT_EQ(S_OK, rig.controller->AdvanceTime(step, nullptr));
                total += step;
            }
            D3DXTRACK_DESC desc;
            ASSERT_EQ(S_OK, rig.controller->GetTrackDesc(0, &desc));
            EXPECT_NEAR(c.position, desc.Position, 1e-9);
            EXPECT_FLOAT_EQ(c.speed, desc.Speed);
            EXPECT_NEAR(total, rig.controller->GetTime(), 1e-12);
            EXPECT_NEAR(c.x, rig.bone._41, 1e-5f);
        }
        set->Release();
    }
}

TEST(AnimationController, TracksMixByWeightAndDisabledTracksDoNotCount)
{
    ID3DXKeyframedAnimationSet* a = rampSet();
    ID3DXKeyframedAnimationSet* b = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateKeyframedAnimationSet("hold", kTicks, D3DXPLAY_LOOP, 1, 0, nullptr, &b));
    D3DXKEY_VECTOR3 still = {0.0f, D3DXVECTOR3(0.0f, 4.0f, 0.0f)};
    ASSERT_EQ(S_OK, b->RegisterAnimationSRTKeys("bone", 0, 0, 1, nullptr, nullptr, &still, nullptr));
    {
        Rig rig(a);
        D3DXMATRIX untouched;
        D3DXMatrixScaling(&untouched, 7.0f, 7.0f, 7.0f);
        D3DXMATRIX other = untouched;
        ASSERT_EQ(S_OK, rig.controller->RegisterAnimationOutput("other", &other, nullptr, nullptr, nullptr));
        ASSERT_EQ(S_OK, rig.controller->RegisterAnimationSet(b));
        ASSERT_EQ(S_OK, rig.controller->SetTrackAnimationSet(1, b));
        ASSERT_EQ(S_OK, rig.controller->SetTrackWeight(0, 1.0f));
        ASSERT_EQ(S_OK, rig.controller->SetTrackWeight(1, 3.0f));
        ASSERT_EQ(S_OK, rig.controller->AdvanceTime(0.5, nullptr));
        EXPECT_NEAR(0.125f, rig.bone._41, 1e-5f); // (1 x 0.5 + 3 x 0) / 4
        EXPECT_NEAR(3.0f, rig.bone._42, 1e-5f);   // (1 x 0 + 3 x 4) / 4
        EXPECT_EQ(untouched, other);

        ASSERT_EQ(S_OK, rig.controller->SetTrackEnable(1, FALSE));
        ASSERT_EQ(S_OK, rig.controller->AdvanceTime(0.25, nullptr));
        EXPECT_NEAR(0.75f, rig.bone._41, 1e-5f);
        EXPECT_NEAR(0.0f, rig.bone._42, 1e-5f);
        D3DXTRACK_DESC desc;
        ASSERT_EQ(S_OK, rig.controller->GetTrackDesc(1, &desc));
        EXPECT_DOUBLE_EQ(0.5, desc.Position) << "a disabled track keeps its position";
    }
    a->Release();
    b->Release();
}

struct Recorder : ID3DXAnimationCallbackHandler {
    std::vector<int> seen;
    HRESULT HandleCallback(UINT track, LPVOID data) override
    {
        EXPECT_EQ(0u, track);
        seen.push_back(*static_cast<int*>(data));
        return S_OK;
    }
};

TEST(AnimationController, CallbackKeysFireOnceEachInTheDirectionOfPlay)
{
    int first = 1, second = 2;
    D3DXKEY_CALLBACK keys[2] = {{3600.0f, &second}, {1200.0f, &first}};
    ID3DXKeyframedAnimationSet* set = rampSet(D3DXPLAY_LOOP, 2, keys);
    D3DXKEY_CALLBACK sorted;
    ASSERT_EQ(S_OK, set->GetCallbackKey(0, &sorted));
    EXPECT_EQ(1200.0f, sorted.Time);
    {
        Rig rig(set);
        Recorder rec;
        ASSERT_EQ(S_OK, rig.controller->AdvanceTime(0.5, &rec)); // 0 -> 0.5 passes 0.25
        ASSERT_EQ(S_OK, rig.controller->AdvanceTime(1.0, &rec)); // 0.5 -> 1.5 passes 0.75 and 1.25
        ASSERT_EQ(S_OK, rig.controller->AdvanceTime(0.0, &rec));
        EXPECT_EQ((std::vector<int>{1, 2, 1}), rec.seen);

        rec.seen.clear();
        ASSERT_EQ(S_OK, rig.controller->SetTrackSpeed(0, -1.0f));
        ASSERT_EQ(S_OK, rig.controller->AdvanceTime(1.0, &rec)); // 1.5 -> 0.5 passes 1.25 and 0.75
        EXPECT_EQ((std::vector<int>{1, 2}), rec.seen);
    }
    set->Release();
}

TEST(AnimationController, HoldsReferencesToItsSetsUntilUnregisteredOrReleased)
{
    ID3DXKeyframedAnimationSet* set = rampSet();
    ID3DXAnimationController* controller = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateAnimationController(1, 1, 1, 0, &controller));
    ASSERT_EQ(S_OK, controller->RegisterAnimationSet(set));
    EXPECT_EQ(D3DERR_INVALIDCALL, controller->RegisterAnimationSet(set)) << "registered twice";
    ASSERT_EQ(S_OK, controller->SetTrackAnimationSet(0, set));
    EXPECT_EQ(D3DERR_INVALIDCALL, controller->SetTrackAnimationSet(1, set)) << "only one track";
    EXPECT_EQ(4u, set->AddRef());
    set->Release();

    ID3DXAnimationSet* byName = nullptr;
    ASSERT_EQ(S_OK, controller->GetAnimationSetByName("walk", &byName));
    EXPECT_EQ(static_cast<ID3DXAnimationSet*>(set), byName);
    byName->Release();

    ID3DXAnimationController* clone = nullptr;
    ASSERT_EQ(S_OK, controller->CloneAnimationController(1, 1, 2, 0, &clone));
    EXPECT_EQ(2u, clone->GetMaxNumTracks());
    EXPECT_EQ(1u, clone->GetNumAnimationSets());
    clone->Release();

    ASSERT_EQ(S_OK, controller->UnregisterAnimationSet(set));
    ID3DXAnimationSet* onTrack = reinterpret_cast<ID3DXAnimationSet*>(1);
    ASSERT_EQ(S_OK, controller->GetTrackAnimationSet(0, &onTrack));
    EXPECT_EQ(nullptr, onTrack);
    EXPECT_EQ(2u, set->AddRef());
    set->Release();
    controller->Release();
    EXPECT_EQ(0u, set->Release());
}

TEST(AnimationSet, RefusesBadArguments)
{
    ID3DXKeyframedAnimationSet* set = nullptr;
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXCreateKeyframedAnimationSet("x", 0.0, D3DXPLAY_LOOP, 1, 0, nullptr, &set));
    EXPECT_EQ(D3DERR_INVALIDCALL,
              D3DXCreateKeyframedAnimationSet("x", kTicks, (D3DXPLAYBACK_TYPE)7, 1, 0, nullptr, &set));
    EXPECT_EQ(nullptr, set);
    ASSERT_EQ(S_OK, D3DXCreateKeyframedAnimationSet("x", kTicks, D3DXPLAY_LOOP, 1, 0, nullptr, &set));
    D3DXKEY_VECTOR3 k = {0.0f, D3DXVECTOR3(0.0f, 0.0f, 0.0f)};
    EXPECT_EQ(D3DERR_INVALIDCALL, set->RegisterAnimationSRTKeys("a", 0, 0, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, set->RegisterAnimationSRTKeys("a", 0, 0, 1, nullptr, nullptr, &k, nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, set->RegisterAnimationSRTKeys("b", 0, 0, 1, nullptr, nullptr, &k, nullptr))
        << "beyond the capacity given at creation";
    D3DXVECTOR3 s;
    EXPECT_EQ(D3DERR_INVALIDCALL, set->GetSRT(0.0, 1, &s, nullptr, nullptr));
    EXPECT_EQ(0.0, set->GetPeriodicPosition(5.0)) << "a period of 0 holds position 0";
    set->Release();
}

} // namespace
