// Vector, quaternion and matrix helpers for the data generators, in the
// conventions of D3DX: left-handed coordinates, row vectors (a point is
// transformed as p x M, so in A x B the transform A acts first), matrices
// stored row by row with the translation in the fourth row.
#pragma once

#include <cmath>

namespace tools {

struct Vec2 {
    float u, v;
};

struct Vec3 {
    float x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
inline Vec3 operator*(float k, Vec3 a) { return a * k; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(Vec3 a)
{
    float l = Length(a);
    return l > 0.0f ? a * (1.0f / l) : Vec3{0, 0, 0};
}
inline Vec3 Lerp(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }

// Rotation quaternion as D3DX stores it: (x, y, z) the vector part, w last.
struct Quat {
    float x, y, z, w;
};

// The rotation by `angle` radians about `axis`, as D3DXQuaternionRotationAxis.
inline Quat AxisAngle(Vec3 axis, float angle)
{
    Vec3 n = Normalize(axis);
    float s = std::sin(angle * 0.5f);
    return {n.x * s, n.y * s, n.z * s, std::cos(angle * 0.5f)};
}

// a then b (the rotation b x a in quaternion algebra; D3DXQuaternionMultiply(a, b)).
inline Quat Then(Quat a, Quat b)
{
    return {b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y, b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x,
            b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w, b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z};
}

struct Matrix {
    float m[16];
};

inline Matrix Identity()
{
    return {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

inline Matrix Translation(Vec3 t)
{
    Matrix r = Identity();
    r.m[12] = t.x;
    r.m[13] = t.y;
    r.m[14] = t.z;
    return r;
}

// As D3DXMatrixRotationQuaternion.
inline Matrix Rotation(Quat q)
{
    float x = q.x, y = q.y, z = q.z, w = q.w;
    return {{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0,
             2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0,
             2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0,
             0, 0, 0, 1}};
}

inline Matrix operator*(const Matrix& a, const Matrix& b)
{
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k)
                s += a.m[i * 4 + k] * b.m[k * 4 + j];
            r.m[i * 4 + j] = s;
        }
    return r;
}

inline Vec3 TransformPoint(Vec3 p, const Matrix& m)
{
    return {p.x * m.m[0] + p.y * m.m[4] + p.z * m.m[8] + m.m[12],
            p.x * m.m[1] + p.y * m.m[5] + p.z * m.m[9] + m.m[13],
            p.x * m.m[2] + p.y * m.m[6] + p.z * m.m[10] + m.m[14]};
}

} // namespace tools
