// The skinned walker of the multiplayer-client scene ("tiny"): a humanoid of
// lofted tubes on a 21-bone skeleton, with a looping walk cycle.
#include <cmath>
#include <cstdio>
#include <map>

#include "meshkit.h"
#include "models.h"

namespace tools {

namespace {

enum BoneId {
    kHips, kSpine, kChest, kNeck, kHead,
    kLClavicle, kLUpperArm, kLForeArm, kLHand,
    kRClavicle, kRUpperArm, kRForeArm, kRHand,
    kLThigh, kLCalf, kLFoot, kLToe,
    kRThigh, kRCalf, kRFoot, kRToe,
    kBoneCount
};

struct BoneDef {
    const char* name;
    int parent;
    Vec3 joint; // bind-pose joint in model space; the character's left is +x
};

const BoneDef kBones[kBoneCount] = {
    {"Hips", -1, {0, 0, 0}},
    {"Spine", kHips, {0, 40, 0}},
    {"Chest", kSpine, {0, 110, 0}},
    {"Neck", kChest, {0, 176, 0}},
    {"Head", kNeck, {0, 198, 0}},
    {"L_Clavicle", kChest, {10, 166, 0}},
    {"L_UpperArm", kLClavicle, {64, 158, 2}},
    {"L_ForeArm", kLUpperArm, {74, 64, 6}},
    {"L_Hand", kLForeArm, {80, -22, 1}},
    {"R_Clavicle", kChest, {-10, 166, 0}},
    {"R_UpperArm", kRClavicle, {-64, 158, 2}},
    {"R_ForeArm", kRUpperArm, {-74, 64, 6}},
    {"R_Hand", kRForeArm, {-80, -22, 1}},
    {"L_Thigh", kHips, {42, -14, 0}},
    {"L_Calf", kLThigh, {44, -132, -4}},
    {"L_Foot", kLCalf, {45, -236, 5}},
    {"L_Toe", kLFoot, {46, -257, -40}},
    {"R_Thigh", kHips, {-42, -14, 0}},
    {"R_Calf", kRThigh, {-44, -132, -4}},
    {"R_Foot", kRCalf, {-45, -236, 5}},
    {"R_Toe", kRFoot, {-46, -257, -40}},
};

// Atlas regions, two texels inside their 256-texel blocks.
const float kT = 1.0f / 256.0f;
const UvRect kTorsoUv{2 * kT, 2 * kT, 126 * kT, 126 * kT};
const UvRect kHeadUv{130 * kT, 2 * kT, 254 * kT, 126 * kT};
const UvRect kArmUv{2 * kT, 130 * kT, 126 * kT, 190 * kT};
const UvRect kLegUv{130 * kT, 130 * kT, 254 * kT, 190 * kT};
const UvRect kFootUv{2 * kT, 194 * kT, 126 * kT, 254 * kT};

// A cross-section perpendicular to `tangent`: `side` and `front` are
// straightened against it; t = 90 degrees points to the front.
Ring Section(Vec3 c, Vec3 tangent, Vec3 side, Vec3 front, float rSide, float rFront, float v, Influence inf)
{
    Vec3 t = Normalize(tangent);
    Vec3 a1 = Normalize(side - t * Dot(side, t));
    Vec3 a2 = Normalize(front - t * Dot(front, t) - a1 * Dot(front, a1));
    return Ring{c, a1 * rSide, a2 * rFront, v, inf};
}

struct Station {
    Vec3 c;
    float rSide, rFront, v;
    Influence inf;
};

// Weights of a ring halfway between two rings (at most two bones kept).
Influence Between(const Influence& a, const Influence& b)
{
    std::map<int, float> w;
    auto add = [&w](const Influence& i, float k) {
        if (i.a >= 0)
            w[i.a] += k * (i.b >= 0 ? 1.0f - i.w : 1.0f);
        if (i.b >= 0)
            w[i.b] += k * i.w;
    };
    add(a, 0.5f);
    add(b, 0.5f);
    int best = -1, second = -1;
    for (const auto& e : w) {
        if (best < 0 || e.second > w[best]) {
            second = best;
            best = e.first;
        } else if (second < 0 || e.second > w[second]) {
            second = e.first;
        }
    }
    if (second < 0 || w[second] <= 0.0f)
        return Bone(best);
    return Blend(best, second, w[second] / (w[best] + w[second]));
}

// Rings along a path of stations; `fine` adds a ring between each pair.
std::vector<Ring> Loft(const std::vector<Station>& st, Vec3 side, Vec3 front, bool fine)
{
    std::vector<Station> s = st;
    if (fine) {
        s.clear();
        for (size_t i = 0; i < st.size(); ++i) {
            s.push_back(st[i]);
            if (i + 1 < st.size()) {
                const Station &a = st[i], &b = st[i + 1];
                s.push_back(Station{Lerp(a.c, b.c, 0.5f), (a.rSide + b.rSide) * 0.5f, (a.rFront + b.rFront) * 0.5f,
                                    (a.v + b.v) * 0.5f, Between(a.inf, b.inf)});
            }
        }
    }
    std::vector<Ring> rings;
    for (size_t i = 0; i < s.size(); ++i) {
        Vec3 t = s[std::min(i + 1, s.size() - 1)].c - s[i > 0 ? i - 1 : 0].c;
        rings.push_back(Section(s[i].c, t, side, front, s[i].rSide, s[i].rFront, s[i].v, s[i].inf));
    }
    return rings;
}

Vec3 Mirror(Vec3 p)
{
    return Vec3{-p.x, p.y, p.z};
}

int Other(int bone)
{
    switch (bone) {
    case kLClavicle: return kRClavicle;
    case kLUpperArm: return kRUpperArm;
    case kLForeArm: return kRForeArm;
    case kLHand: return kRHand;
    case kLThigh: return kRThigh;
    case kLCalf: return kRCalf;
    case kLFoot: return kRFoot;
    case kLToe: return kRToe;
    default: return bone;
    }
}

std::vector<Station> Mirrored(const std::vector<Station>& st)
{
    std::vector<Station> out = st;
    for (Station& s : out) {
        s.c = Mirror(s.c);
        s.inf.a = s.inf.a >= 0 ? Other(s.inf.a) : -1;
        s.inf.b = s.inf.b >= 0 ? Other(s.inf.b) : -1;
    }
    return out;
}

Cap Dome(float d)
{
    Cap c;
    c.present = true;
    c.dome = d;
    return c;
}

XMesh BodyMesh(int lod, const std::string& texture)
{
    const int sides = lod == 0 ? 16 : (lod == 1 ? 10 : 6);
    const bool fine = lod == 0;
    const Vec3 X{1, 0, 0}, Up{0, 1, 0}, Front{0, 0, -1};
    MeshBuilder b;

    // Torso from the pelvis up into the head.
    std::vector<Station> torso = {
        {{0, -46, 0}, 34, 24, 1.0f, Bone(kHips)},
        {{0, -30, 0}, 46, 28, 0.93f, Bone(kHips)},
        {{0, -6, 0}, 49, 29, 0.84f, Bone(kHips)},
        {{0, 20, 0}, 46, 27, 0.72f, Blend(kHips, kSpine, 0.5f)},
        {{0, 48, 0}, 44, 26, 0.62f, Bone(kSpine)},
        {{0, 80, -1}, 48, 28, 0.5f, Blend(kSpine, kChest, 0.5f)},
        {{0, 112, -3}, 55, 31, 0.38f, Bone(kChest)},
        {{0, 142, -2}, 60, 30, 0.26f, Bone(kChest)},
        {{0, 162, 0}, 55, 26, 0.17f, Bone(kChest)},
        {{0, 174, 1}, 34, 21, 0.11f, Blend(kChest, kNeck, 0.3f)},
        {{0, 182, 1}, 17, 16, 0.07f, Bone(kNeck)},
        {{0, 204, 0}, 15, 15, 0.0f, Blend(kNeck, kHead, 0.6f)},
    };
    size_t first = b.VertexCount();
    b.Tube(Loft(torso, X, Front, fine), sides, kTorsoUv, 0, Dome(6), Cap{});
    // The tops of the shoulders follow the clavicles.
    b.Reweigh(first, [](Vec3 p, Influence inf) {
        if (inf.b >= 0 || inf.a != kChest)
            return inf;
        float k = 0.7f * Clamp01((std::fabs(p.x) - 36.0f) / 24.0f) * Clamp01((p.y - 130.0f) / 32.0f);
        if (k <= 0.0f)
            return inf;
        return Blend(kChest, p.x > 0 ? kLClavicle : kRClavicle, std::min(k, 0.7f));
    });

    // Head: an egg of latitude rings from the chin to the crown.
    {
        const int lat = lod == 0 ? 12 : (lod == 1 ? 8 : 5);
        const Vec3 c{0, 226, -3};
        const float rx = 29, ry = 39, rz = 33;
        std::vector<Ring> rings;
        for (int k = 1; k < lat; ++k) {
            float phi = -1.5707964f + 3.1415927f * k / lat;
            float y = c.y + ry * std::sin(phi), cp = std::cos(phi);
            Influence inf = k == 1 ? Blend(kHead, kNeck, 0.3f) : Bone(kHead);
            rings.push_back(Ring{Vec3{c.x, y, c.z}, X * (rx * cp), Front * (rz * cp), 1.0f - (float)k / lat, inf});
        }
        float pole = ry * (1.0f - std::sin(1.5707964f - 3.1415927f / lat));
        Cap bottom = Dome(pole), top = Dome(pole);
        bottom.uv = Vec2{(kHeadUv.u0 + kHeadUv.u1) * 0.5f, kHeadUv.v1};
        top.uv = Vec2{(kHeadUv.u0 + kHeadUv.u1) * 0.5f, kHeadUv.v0};
        b.Tube(rings, sides + 2, kHeadUv, 0, bottom, top);
    }

    // Arms, hanging with the palms toward the body.
    std::vector<Station> arm = {
        {{52, 166, 1}, 18, 19, 0.0f, Blend(kLClavicle, kLUpperArm, 0.4f)},
        {{64, 154, 2}, 19, 20, 0.1f, Bone(kLUpperArm)},
        {{69, 120, 3}, 17, 18, 0.25f, Bone(kLUpperArm)},
        {{72, 88, 4}, 15, 16, 0.38f, Bone(kLUpperArm)},
        {{74, 64, 6}, 13, 14, 0.48f, Blend(kLUpperArm, kLForeArm, 0.5f)},
        {{76, 40, 6}, 13, 14, 0.57f, Bone(kLForeArm)},
        {{78, 10, 4}, 11, 12, 0.7f, Bone(kLForeArm)},
        {{80, -20, 1}, 9, 10, 0.8f, Blend(kLForeArm, kLHand, 0.5f)},
        {{81, -40, 0}, 7, 15, 0.87f, Bone(kLHand)},
        {{82, -62, -1}, 7, 14, 0.94f, Bone(kLHand)},
        {{82, -78, -2}, 5, 9, 1.0f, Bone(kLHand)},
    };
    b.Tube(Loft(arm, X, Front, fine), sides, kArmUv, 0, Dome(8), Dome(6));
    b.Tube(Loft(Mirrored(arm), X * -1.0f, Front, fine), sides, kArmUv, 0, Dome(8), Dome(6));

    // Legs from inside the pelvis to the ankles.
    std::vector<Station> leg = {
        {{42, -8, 0}, 26, 27, 0.0f, Blend(kHips, kLThigh, 0.6f)},
        {{43, -30, 0}, 27, 28, 0.1f, Bone(kLThigh)},
        {{44, -70, -1}, 23, 24, 0.28f, Bone(kLThigh)},
        {{44, -105, -2}, 19, 20, 0.42f, Bone(kLThigh)},
        {{44, -132, -4}, 16, 17, 0.52f, Blend(kLThigh, kLCalf, 0.5f)},
        {{44, -158, -1}, 17, 19, 0.62f, Bone(kLCalf)},
        {{45, -195, 1}, 13, 14, 0.78f, Bone(kLCalf)},
        {{45, -228, 5}, 11, 11, 0.9f, Blend(kLCalf, kLFoot, 0.5f)},
        {{45, -244, 6}, 10, 10, 1.0f, Bone(kLFoot)},
    };
    b.Tube(Loft(leg, X, Front, fine), sides, kLegUv, 0, Dome(6), Dome(4));
    b.Tube(Loft(Mirrored(leg), X * -1.0f, Front, fine), sides, kLegUv, 0, Dome(6), Dome(4));

    // Shoes from the heel to the toe tip; the sole is flat at y = -265.
    std::vector<Station> foot = {
        {{45, -250, 24}, 12, 11, 0.0f, Bone(kLFoot)},
        {{45, -251, 12}, 15, 14, 0.15f, Bone(kLFoot)},
        {{45, -252, -10}, 16, 13, 0.4f, Bone(kLFoot)},
        {{46, -255, -38}, 17, 10, 0.65f, Blend(kLFoot, kLToe, 0.5f)},
        {{46, -257, -56}, 15, 8, 0.85f, Bone(kLToe)},
        {{46, -259, -68}, 9, 5, 1.0f, Bone(kLToe)},
    };
    b.Tube(Loft(foot, X, Up, fine), sides, kFootUv, 0, Dome(5), Dome(5));
    b.Tube(Loft(Mirrored(foot), X * -1.0f, Up, fine), sides, kFootUv, 0, Dome(5), Dome(5));

    std::vector<std::string> names;
    std::vector<Matrix> offsets;
    for (const BoneDef& d : kBones) {
        names.push_back(d.name);
        offsets.push_back(Translation(d.joint * -1.0f));
    }
    XMaterial m;
    m.power = 12.0f;
    m.specular = Vec3{0.15f, 0.15f, 0.15f};
    m.texture = texture;
    return b.Build("BodyMesh", {m}, names, offsets);
}

float Rad(float degrees)
{
    return degrees * 0.017453292f;
}

// Roll about z, then pitch about x, then yaw about y, in degrees.
Quat Turn(float pitch, float yaw = 0.0f, float roll = 0.0f)
{
    Quat q = AxisAngle(Vec3{0, 0, 1}, Rad(roll));
    q = Then(q, AxisAngle(Vec3{1, 0, 0}, Rad(pitch)));
    return Then(q, AxisAngle(Vec3{0, 1, 0}, Rad(yaw)));
}

struct Pose {
    Quat rot[kBoneCount];
    float bob;
};

// The walk at phase p (0..1, one cycle of two steps). Forward is -z: a
// positive pitch swings a hanging limb forward.
Pose Walk(float p)
{
    const float kTwoPi = 6.2831853f;
    float f = kTwoPi * p;
    Pose pose;
    pose.bob = 5.0f * std::cos(2.0f * f) - 2.0f;
    pose.rot[kHips] = Turn(0.0f, 6.0f * std::sin(f), 2.0f * std::cos(f));
    pose.rot[kSpine] = Turn(-2.0f, -3.0f * std::sin(f));
    pose.rot[kChest] = Turn(-1.0f, -5.0f * std::sin(f), -1.5f * std::cos(f));
    pose.rot[kNeck] = Turn(1.0f, 3.0f * std::sin(f));
    pose.rot[kHead] = Turn(2.0f * std::cos(2.0f * f), 4.0f * std::sin(f));
    for (int side = 0; side < 2; ++side) {
        float g = f + (side ? 3.1415927f : 0.0f);
        float mirror = side ? -1.0f : 1.0f;
        float thigh = 28.0f * std::sin(g);
        float swing = std::max(0.0f, std::cos(g + 0.5f));
        float knee = -(6.0f + 52.0f * swing * std::sqrt(swing));
        float lift = std::max(0.0f, -std::sin(g));
        int t = side ? kRThigh : kLThigh;
        pose.rot[t] = Turn(thigh, 0.0f, mirror * 2.0f);
        pose.rot[t + 1] = Turn(knee);
        pose.rot[t + 2] = Turn(-(thigh + knee) * 0.55f - 4.0f * lift);
        pose.rot[t + 3] = Turn(22.0f * lift * lift);
        int a = side ? kRClavicle : kLClavicle;
        float arm = -22.0f * std::sin(g);
        pose.rot[a] = Turn(0.0f, 0.0f, mirror * 2.0f * std::sin(g));
        pose.rot[a + 1] = Turn(arm, 0.0f, mirror * 4.0f);
        pose.rot[a + 2] = Turn(12.0f + 16.0f * std::max(0.0f, -std::sin(g)));
        pose.rot[a + 3] = Turn(4.0f * std::sin(g));
    }
    return pose;
}

XFrame SkeletonFrame(int bone)
{
    XFrame f;
    f.name = kBones[bone].name;
    int parent = kBones[bone].parent;
    f.transform = Translation(parent >= 0 ? kBones[bone].joint - kBones[parent].joint : kBones[bone].joint);
    for (int c = 0; c < kBoneCount; ++c)
        if (kBones[c].parent == bone)
            f.children.push_back(SkeletonFrame(c));
    return f;
}

struct Outfit {
    uint32_t skin, hair, shirt, trim, trousers, shoes, sole;
    int pattern; // 0 a band across the chest and back, 1 stripes, 2 two-tone
};

const Outfit kOutfits[kPlayerVariants] = {
    {0xe2ae86, 0x4a2c17, 0xc8322d, 0xf2f2f2, 0x2c4a7a, 0x2a2320, 0xe8e8e8, 0},
    {0xc28a62, 0x18181c, 0x2f8f4e, 0xf0d040, 0x5a5a62, 0x6b3a1f, 0x2a2a2a, 1},
    {0xf0c8a8, 0xd8b868, 0xe8b22a, 0x3050a0, 0x4a3222, 0x202830, 0xd0d0d0, 2},
};

// Distance in the atlas between (u, v) and (cu, cv), with u going round.
float RoundDistance(float u, float v, float cu, float cv, float su, float sv)
{
    float du = u - cu;
    du -= std::floor(du + 0.5f);
    return std::sqrt((du / su) * (du / su) + ((v - cv) / sv) * ((v - cv) / sv));
}

// Front of the body is at u = 0.25, the back at 0.75.
Rgba TorsoColour(const Outfit& o, float u, float v, float grain)
{
    Rgba shirt = Hex(o.shirt), trim = Hex(o.trim);
    if (v < 0.095f)
        return Hex(o.skin);
    if (v < 0.13f)
        return trim; // collar
    if (v > 0.855f)
        return Scale(Hex(o.trousers), 0.95f + 0.1f * grain);
    if (v > 0.8f) {
        Rgba belt = Hex(0x2e2218);
        if (RoundDistance(u, v, 0.25f, 0.827f, 0.02f, 0.02f) < 1.0f)
            return Hex(0xd8c060); // buckle
        return belt;
    }
    Rgba c = shirt;
    float back = std::cos((u - 0.75f) * 6.2831853f);
    if (o.pattern == 0 && v > 0.3f && v < 0.4f)
        c = trim;
    if (o.pattern == 1 && std::fmod(v * 20.0f, 2.0f) < 0.6f)
        c = Mix(shirt, trim, 0.85f);
    if (o.pattern == 2 && back > 0.0f && v < 0.45f)
        c = Mix(shirt, trim, 0.8f * Smooth(0.0f, 0.15f, back));
    // A number-like mark on the back: two bars.
    if (back > 0.93f && v > 0.42f && v < 0.66f && std::fabs(std::fmod((u - 0.75f + 1.0f) * 60.0f, 2.0f) - 1.0f) > 0.5f)
        c = Mix(c, trim, 0.9f);
    // Buttons down the front.
    if (RoundDistance(u, std::fmod(v, 0.1f), 0.25f, 0.05f, 0.008f, 0.012f) < 1.0f && v > 0.15f)
        c = Scale(c, 0.6f);
    return Scale(c, 0.92f + 0.12f * grain);
}

Rgba HeadColour(const Outfit& o, float u, float v, float grain)
{
    Rgba skin = Hex(o.skin), hair = Scale(Hex(o.hair), 0.9f + 0.2f * grain);
    float back = std::max(0.0f, std::cos((u - 0.75f) * 6.2831853f));
    float hairline = 0.3f + 0.32f * back;
    if (v < hairline - 0.015f)
        return hair;
    Rgba c = Mix(hair, skin, Smooth(hairline - 0.015f, hairline + 0.015f, v));
    // Face features around u = 0.25.
    for (float eu : {0.205f, 0.295f}) {
        float d = RoundDistance(u, v, eu, 0.47f, 0.028f, 0.022f);
        if (d < 1.0f)
            c = d < 0.45f ? Hex(0x302010) : Hex(0xffffff);
        if (RoundDistance(u, v, eu, 0.415f, 0.03f, 0.008f) < 1.0f)
            c = Scale(hair, 0.8f); // brows
    }
    if (RoundDistance(u, v, 0.25f, 0.56f, 0.012f, 0.04f) < 1.0f)
        c = Scale(skin, 0.85f); // nose shadow
    if (RoundDistance(u, v, 0.25f, 0.66f, 0.045f, 0.01f) < 1.0f)
        c = Hex(0x9a3a3a); // mouth
    for (float eu : {0.0f, 0.5f})
        if (RoundDistance(u, v, eu, 0.52f, 0.03f, 0.06f) < 1.0f)
            c = Scale(skin, 0.88f); // ears
    return c;
}

Rgba ArmColour(const Outfit& o, float /*u*/, float v, float grain)
{
    if (v < 0.27f)
        return Scale(Hex(o.shirt), 0.92f + 0.12f * grain);
    if (v < 0.31f)
        return Hex(o.trim); // sleeve hem
    Rgba skin = Hex(o.skin);
    return v > 0.8f ? Scale(skin, 0.96f) : skin;
}

Rgba LegColour(const Outfit& o, float u, float v, float grain)
{
    if (v > 0.86f)
        return Hex(o.shoes);
    Rgba c = Scale(Hex(o.trousers), 0.92f + 0.14f * grain);
    // Side seams.
    if (std::fabs(std::fmod(u + 1.0f, 0.5f)) < 0.012f)
        c = Scale(c, 0.8f);
    return c;
}

Rgba FootColour(const Outfit& o, float u, float v, float /*grain*/)
{
    // u = 0.25 is the top of the shoe, 0.75 the sole.
    float sole = std::fabs(u - 0.75f);
    if (sole < 0.16f)
        return Hex(o.sole);
    Rgba c = Hex(o.shoes);
    if (std::fabs(u - 0.25f) < 0.07f && v > 0.3f && v < 0.62f && std::fmod(v * 40.0f, 2.0f) < 0.7f)
        c = Mix(c, Hex(0xf0f0f0), 0.8f); // laces
    if (v > 0.86f)
        c = Scale(c, 1.15f); // toe cap
    return c;
}

} // namespace

Image PlayerTexture(int variant)
{
    const Outfit& o = kOutfits[variant % kPlayerVariants];
    Image img(256, 256);
    TileNoise weave(64, 900 + variant);
    struct Block {
        UvRect uv;
        Rgba (*paint)(const Outfit&, float, float, float);
    };
    const Block blocks[] = {{kTorsoUv, TorsoColour}, {kHeadUv, HeadColour}, {kArmUv, ArmColour},
                            {kLegUv, LegColour}, {kFootUv, FootColour}};
    img.Fill(Hex(o.skin));
    for (const Block& b : blocks) {
        // Each block fills its 256-texel cell, margins included.
        int x0 = (int)std::lround(b.uv.u0 * 256) - 2, x1 = (int)std::lround(b.uv.u1 * 256) + 2;
        int y0 = (int)std::lround(b.uv.v0 * 256) - 2, y1 = (int)std::lround(b.uv.v1 * 256) + 2;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                float u = Clamp01(((x + 0.5f) / 256.0f - b.uv.u0) / (b.uv.u1 - b.uv.u0));
                float v = Clamp01(((y + 0.5f) / 256.0f - b.uv.v0) / (b.uv.v1 - b.uv.v0));
                float grain = weave.Fractal(x * 0.25f, y * 0.25f, 3);
                Rgba c = b.paint(o, u, v, grain);
                c.a = 1.0f;
                img.At(x, y) = c;
            }
    }
    return img;
}

std::string PlayerFile(int variant, int lod)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "tiny-tex%03d-lod%d.x", variant, lod);
    return buf;
}

std::string PlayerTextureFile(int variant)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "tiny-tex%03d.png", variant);
    return buf;
}

XFile PlayerModel(int variant, int lod)
{
    XFrame body;
    body.name = "Body";
    body.meshes.push_back(BodyMesh(lod, PlayerTextureFile(variant)));
    body.children.push_back(SkeletonFrame(kHips));

    const int kKeys = 16;
    XAnimationSet walk;
    walk.name = "Walk";
    for (int bone = 0; bone < kBoneCount; ++bone) {
        XAnimation a;
        a.frame = kBones[bone].name;
        int parent = kBones[bone].parent;
        Vec3 offset = parent >= 0 ? kBones[bone].joint - kBones[parent].joint : kBones[bone].joint;
        for (int k = 0; k <= kKeys; ++k) {
            Pose pose = Walk((float)(k % kKeys) / kKeys);
            uint32_t time = kPlayerCycleTicks * k / kKeys;
            a.rotations.push_back({time, pose.rot[bone]});
            a.positions.push_back({time, bone == kHips ? offset + Vec3{0, pose.bob, 0} : offset});
        }
        walk.animations.push_back(a);
    }
    XFile file;
    file.frames.push_back(body);
    file.ticksPerSecond = kPlayerTicksPerSecond;
    file.animationSets.push_back(walk);
    return file;
}

} // namespace tools
