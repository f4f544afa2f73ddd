// D3DX math: vectors, matrices, quaternions, planes and colours in
// Direct3D's convention (left-handed, row vectors: p' = p * M).
#pragma once

#include <d3d9.h>

#include <cfloat>
#include <cmath>

#define D3DX_PI ((FLOAT)3.141592654f)
#define D3DX_1BYPI ((FLOAT)0.318309886f)
#define D3DXToRadian(degree) ((degree) * (D3DX_PI / 180.0f))
#define D3DXToDegree(radian) ((radian) * (180.0f / D3DX_PI))

// ---- D3DXVECTOR2 -----------------------------------------------------------
struct D3DXVECTOR2 {
    FLOAT x, y;

    D3DXVECTOR2() = default;
    explicit D3DXVECTOR2(const FLOAT* f) : x(f[0]), y(f[1]) {}
    D3DXVECTOR2(FLOAT fx, FLOAT fy) : x(fx), y(fy) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR2& operator+=(const D3DXVECTOR2& v) { x += v.x; y += v.y; return *this; }
    D3DXVECTOR2& operator-=(const D3DXVECTOR2& v) { x -= v.x; y -= v.y; return *this; }
    D3DXVECTOR2& operator*=(FLOAT f) { x *= f; y *= f; return *this; }
    D3DXVECTOR2& operator/=(FLOAT f) { FLOAT r = 1.0f / f; x *= r; y *= r; return *this; }

    D3DXVECTOR2 operator+() const { return *this; }
    D3DXVECTOR2 operator-() const { return D3DXVECTOR2(-x, -y); }
    D3DXVECTOR2 operator+(const D3DXVECTOR2& v) const { return D3DXVECTOR2(x + v.x, y + v.y); }
    D3DXVECTOR2 operator-(const D3DXVECTOR2& v) const { return D3DXVECTOR2(x - v.x, y - v.y); }
    D3DXVECTOR2 operator*(FLOAT f) const { return D3DXVECTOR2(x * f, y * f); }
    D3DXVECTOR2 operator/(FLOAT f) const { FLOAT r = 1.0f / f; return D3DXVECTOR2(x * r, y * r); }
    friend D3DXVECTOR2 operator*(FLOAT f, const D3DXVECTOR2& v) { return D3DXVECTOR2(f * v.x, f * v.y); }

    bool operator==(const D3DXVECTOR2& v) const { return x == v.x && y == v.y; }
    bool operator!=(const D3DXVECTOR2& v) const { return !(*this == v); }
};
typedef D3DXVECTOR2* LPD3DXVECTOR2;

// ---- D3DXVECTOR3 -----------------------------------------------------------
struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() = default;
    explicit D3DXVECTOR3(const FLOAT* f) { x = f[0]; y = f[1]; z = f[2]; }
    D3DXVECTOR3(const D3DVECTOR& v) { x = v.x; y = v.y; z = v.z; }
    D3DXVECTOR3(FLOAT fx, FLOAT fy, FLOAT fz) { x = fx; y = fy; z = fz; }

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) { x += v.x; y += v.y; z += v.z; return *this; }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
    D3DXVECTOR3& operator*=(FLOAT f) { x *= f; y *= f; z *= f; return *this; }
    D3DXVECTOR3& operator/=(FLOAT f) { FLOAT r = 1.0f / f; x *= r; y *= r; z *= r; return *this; }

    D3DXVECTOR3 operator+() const { return *this; }
    D3DXVECTOR3 operator-() const { return D3DXVECTOR3(-x, -y, -z); }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return D3DXVECTOR3(x + v.x, y + v.y, z + v.z); }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return D3DXVECTOR3(x - v.x, y - v.y, z - v.z); }
    D3DXVECTOR3 operator*(FLOAT f) const { return D3DXVECTOR3(x * f, y * f, z * f); }
    D3DXVECTOR3 operator/(FLOAT f) const { FLOAT r = 1.0f / f; return D3DXVECTOR3(x * r, y * r, z * r); }
    friend D3DXVECTOR3 operator*(FLOAT f, const D3DXVECTOR3& v) { return D3DXVECTOR3(f * v.x, f * v.y, f * v.z); }

    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
};
typedef D3DXVECTOR3* LPD3DXVECTOR3;

// ---- D3DXVECTOR4 -----------------------------------------------------------
struct D3DXVECTOR4 {
    FLOAT x, y, z, w;

    D3DXVECTOR4() = default;
    explicit D3DXVECTOR4(const FLOAT* f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXVECTOR4(const D3DVECTOR& v, FLOAT fw) : x(v.x), y(v.y), z(v.z), w(fw) {}
    D3DXVECTOR4(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw) : x(fx), y(fy), z(fz), w(fw) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR4& operator+=(const D3DXVECTOR4& v) { x += v.x; y += v.y; z += v.z; w += v.w; return *this; }
    D3DXVECTOR4& operator-=(const D3DXVECTOR4& v) { x -= v.x; y -= v.y; z -= v.z; w -= v.w; return *this; }
    D3DXVECTOR4& operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
    D3DXVECTOR4& operator/=(FLOAT f) { FLOAT r = 1.0f / f; x *= r; y *= r; z *= r; w *= r; return *this; }

    D3DXVECTOR4 operator+() const { return *this; }
    D3DXVECTOR4 operator-() const { return D3DXVECTOR4(-x, -y, -z, -w); }
    D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const { return D3DXVECTOR4(x + v.x, y + v.y, z + v.z, w + v.w); }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const { return D3DXVECTOR4(x - v.x, y - v.y, z - v.z, w - v.w); }
    D3DXVECTOR4 operator*(FLOAT f) const { return D3DXVECTOR4(x * f, y * f, z * f, w * f); }
    D3DXVECTOR4 operator/(FLOAT f) const { FLOAT r = 1.0f / f; return D3DXVECTOR4(x * r, y * r, z * r, w * r); }
    friend D3DXVECTOR4 operator*(FLOAT f, const D3DXVECTOR4& v) { return D3DXVECTOR4(f * v.x, f * v.y, f * v.z, f * v.w); }

    bool operator==(const D3DXVECTOR4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    bool operator!=(const D3DXVECTOR4& v) const { return !(*this == v); }
};
typedef D3DXVECTOR4* LPD3DXVECTOR4;

// ---- D3DXMATRIX ------------------------------------------------------------
struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() = default;
    explicit D3DXMATRIX(const FLOAT* f) { for (int i = 0; i < 16; ++i) (&_11)[i] = f[i]; }
    D3DXMATRIX(const D3DMATRIX& mat) : D3DMATRIX(mat) {}
    D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14,
               FLOAT f21, FLOAT f22, FLOAT f23, FLOAT f24,
               FLOAT f31, FLOAT f32, FLOAT f33, FLOAT f34,
               FLOAT f41, FLOAT f42, FLOAT f43, FLOAT f44)
    {
        _11 = f11; _12 = f12; _13 = f13; _14 = f14;
        _21 = f21; _22 = f22; _23 = f23; _24 = f24;
        _31 = f31; _32 = f32; _33 = f33; _34 = f34;
        _41 = f41; _42 = f42; _43 = f43; _44 = f44;
    }

    FLOAT& operator()(UINT row, UINT col) { return m[row][col]; }
    FLOAT operator()(UINT row, UINT col) const { return m[row][col]; }

    operator FLOAT*() { return &_11; }
    operator const FLOAT*() const { return &_11; }

    D3DXMATRIX& operator*=(const D3DXMATRIX& mat);
    D3DXMATRIX& operator+=(const D3DXMATRIX& mat) { for (int i = 0; i < 16; ++i) (&_11)[i] += (&mat._11)[i]; return *this; }
    D3DXMATRIX& operator-=(const D3DXMATRIX& mat) { for (int i = 0; i < 16; ++i) (&_11)[i] -= (&mat._11)[i]; return *this; }
    D3DXMATRIX& operator*=(FLOAT f) { for (int i = 0; i < 16; ++i) (&_11)[i] *= f; return *this; }
    D3DXMATRIX& operator/=(FLOAT f) { FLOAT r = 1.0f / f; for (int i = 0; i < 16; ++i) (&_11)[i] *= r; return *this; }

    D3DXMATRIX operator+() const { return *this; }
    D3DXMATRIX operator-() const { D3DXMATRIX r(*this); r *= -1.0f; return r; }
    D3DXMATRIX operator*(const D3DXMATRIX& mat) const { D3DXMATRIX r(*this); r *= mat; return r; }
    D3DXMATRIX operator+(const D3DXMATRIX& mat) const { D3DXMATRIX r(*this); r += mat; return r; }
    D3DXMATRIX operator-(const D3DXMATRIX& mat) const { D3DXMATRIX r(*this); r -= mat; return r; }
    D3DXMATRIX operator*(FLOAT f) const { D3DXMATRIX r(*this); r *= f; return r; }
    D3DXMATRIX operator/(FLOAT f) const { D3DXMATRIX r(*this); r /= f; return r; }
    friend D3DXMATRIX operator*(FLOAT f, const D3DXMATRIX& mat) { return mat * f; }

    bool operator==(const D3DXMATRIX& mat) const
    {
        for (int i = 0; i < 16; ++i)
            if ((&_11)[i] != (&mat._11)[i])
                return false;
        return true;
    }
    bool operator!=(const D3DXMATRIX& mat) const { return !(*this == mat); }
};
typedef D3DXMATRIX* LPD3DXMATRIX;
typedef D3DXMATRIX D3DXMATRIXA16;
typedef D3DXMATRIX* LPD3DXMATRIXA16;

// ---- D3DXQUATERNION --------------------------------------------------------
struct D3DXQUATERNION {
    FLOAT x, y, z, w;

    D3DXQUATERNION() = default;
    explicit D3DXQUATERNION(const FLOAT* f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXQUATERNION(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw) : x(fx), y(fy), z(fz), w(fw) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXQUATERNION& operator+=(const D3DXQUATERNION& q) { x += q.x; y += q.y; z += q.z; w += q.w; return *this; }
    D3DXQUATERNION& operator-=(const D3DXQUATERNION& q) { x -= q.x; y -= q.y; z -= q.z; w -= q.w; return *this; }
    // Rotation by *this followed by q (the order of D3DXQuaternionMultiply).
    D3DXQUATERNION& operator*=(const D3DXQUATERNION& q);
    D3DXQUATERNION& operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
    D3DXQUATERNION& operator/=(FLOAT f) { FLOAT r = 1.0f / f; x *= r; y *= r; z *= r; w *= r; return *this; }

    D3DXQUATERNION operator+() const { return *this; }
    D3DXQUATERNION operator-() const { return D3DXQUATERNION(-x, -y, -z, -w); }
    D3DXQUATERNION operator+(const D3DXQUATERNION& q) const { return D3DXQUATERNION(x + q.x, y + q.y, z + q.z, w + q.w); }
    D3DXQUATERNION operator-(const D3DXQUATERNION& q) const { return D3DXQUATERNION(x - q.x, y - q.y, z - q.z, w - q.w); }
    D3DXQUATERNION operator*(const D3DXQUATERNION& q) const { D3DXQUATERNION r(*this); r *= q; return r; }
    D3DXQUATERNION operator*(FLOAT f) const { return D3DXQUATERNION(x * f, y * f, z * f, w * f); }
    D3DXQUATERNION operator/(FLOAT f) const { FLOAT r = 1.0f / f; return D3DXQUATERNION(x * r, y * r, z * r, w * r); }
    friend D3DXQUATERNION operator*(FLOAT f, const D3DXQUATERNION& q) { return q * f; }

    bool operator==(const D3DXQUATERNION& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    bool operator!=(const D3DXQUATERNION& q) const { return !(*this == q); }
};
typedef D3DXQUATERNION* LPD3DXQUATERNION;

// ---- D3DXPLANE -------------------------------------------------------------
// a*x + b*y + c*z + d = 0
struct D3DXPLANE {
    FLOAT a, b, c, d;

    D3DXPLANE() = default;
    explicit D3DXPLANE(const FLOAT* f) : a(f[0]), b(f[1]), c(f[2]), d(f[3]) {}
    D3DXPLANE(FLOAT fa, FLOAT fb, FLOAT fc, FLOAT fd) : a(fa), b(fb), c(fc), d(fd) {}

    operator FLOAT*() { return &a; }
    operator const FLOAT*() const { return &a; }

    D3DXPLANE& operator*=(FLOAT f) { a *= f; b *= f; c *= f; d *= f; return *this; }
    D3DXPLANE& operator/=(FLOAT f) { FLOAT r = 1.0f / f; a *= r; b *= r; c *= r; d *= r; return *this; }

    D3DXPLANE operator+() const { return *this; }
    D3DXPLANE operator-() const { return D3DXPLANE(-a, -b, -c, -d); }
    D3DXPLANE operator*(FLOAT f) const { return D3DXPLANE(a * f, b * f, c * f, d * f); }
    D3DXPLANE operator/(FLOAT f) const { FLOAT r = 1.0f / f; return D3DXPLANE(a * r, b * r, c * r, d * r); }
    friend D3DXPLANE operator*(FLOAT f, const D3DXPLANE& p) { return p * f; }

    bool operator==(const D3DXPLANE& p) const { return a == p.a && b == p.b && c == p.c && d == p.d; }
    bool operator!=(const D3DXPLANE& p) const { return !(*this == p); }
};
typedef D3DXPLANE* LPD3DXPLANE;

// ---- D3DXCOLOR -------------------------------------------------------------
// Floating-point colour; converts to and from 32-bit ARGB.
struct D3DXCOLOR {
    FLOAT r, g, b, a;

    D3DXCOLOR() = default;
    D3DXCOLOR(DWORD argb)
        : r(((argb >> 16) & 0xFF) * (1.0f / 255.0f)), g(((argb >> 8) & 0xFF) * (1.0f / 255.0f)),
          b((argb & 0xFF) * (1.0f / 255.0f)), a(((argb >> 24) & 0xFF) * (1.0f / 255.0f)) {}
    explicit D3DXCOLOR(const FLOAT* f) : r(f[0]), g(f[1]), b(f[2]), a(f[3]) {}
    D3DXCOLOR(const D3DCOLORVALUE& c) : r(c.r), g(c.g), b(c.b), a(c.a) {}
    D3DXCOLOR(FLOAT fr, FLOAT fg, FLOAT fb, FLOAT fa) : r(fr), g(fg), b(fb), a(fa) {}

    operator DWORD() const
    {
        DWORD dr = channel(r), dg = channel(g), db = channel(b), da = channel(a);
        return (da << 24) | (dr << 16) | (dg << 8) | db;
    }
    operator FLOAT*() { return &r; }
    operator const FLOAT*() const { return &r; }
    operator D3DCOLORVALUE*() { return reinterpret_cast<D3DCOLORVALUE*>(&r); }
    operator const D3DCOLORVALUE*() const { return reinterpret_cast<const D3DCOLORVALUE*>(&r); }
    operator D3DCOLORVALUE&() { return *reinterpret_cast<D3DCOLORVALUE*>(&r); }
    operator const D3DCOLORVALUE&() const { return *reinterpret_cast<const D3DCOLORVALUE*>(&r); }

    D3DXCOLOR& operator+=(const D3DXCOLOR& c) { r += c.r; g += c.g; b += c.b; a += c.a; return *this; }
    D3DXCOLOR& operator-=(const D3DXCOLOR& c) { r -= c.r; g -= c.g; b -= c.b; a -= c.a; return *this; }
    D3DXCOLOR& operator*=(FLOAT f) { r *= f; g *= f; b *= f; a *= f; return *this; }
    D3DXCOLOR& operator/=(FLOAT f) { FLOAT i = 1.0f / f; r *= i; g *= i; b *= i; a *= i; return *this; }

    D3DXCOLOR operator+() const { return *this; }
    D3DXCOLOR operator-() const { return D3DXCOLOR(-r, -g, -b, -a); }
    D3DXCOLOR operator+(const D3DXCOLOR& c) const { return D3DXCOLOR(r + c.r, g + c.g, b + c.b, a + c.a); }
    D3DXCOLOR operator-(const D3DXCOLOR& c) const { return D3DXCOLOR(r - c.r, g - c.g, b - c.b, a - c.a); }
    D3DXCOLOR operator*(FLOAT f) const { return D3DXCOLOR(r * f, g * f, b * f, a * f); }
    D3DXCOLOR operator/(FLOAT f) const { FLOAT i = 1.0f / f; return D3DXCOLOR(r * i, g * i, b * i, a * i); }
    friend D3DXCOLOR operator*(FLOAT f, const D3DXCOLOR& c) { return c * f; }

    bool operator==(const D3DXCOLOR& c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
    bool operator!=(const D3DXCOLOR& c) const { return !(*this == c); }

private:
    static DWORD channel(FLOAT v)
    {
        return v >= 1.0f ? 0xFFu : v <= 0.0f ? 0x00u : (DWORD)(v * 255.0f + 0.5f);
    }
};
typedef D3DXCOLOR* LPD3DXCOLOR;

// ---- 2D vectors ------------------------------------------------------------
inline FLOAT D3DXVec2Length(const D3DXVECTOR2* v) { return std::sqrt(v->x * v->x + v->y * v->y); }
inline FLOAT D3DXVec2LengthSq(const D3DXVECTOR2* v) { return v->x * v->x + v->y * v->y; }
inline FLOAT D3DXVec2Dot(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->x + a->y * b->y; }
// z of the 3D cross product.
inline FLOAT D3DXVec2CCW(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->y - a->y * b->x; }
D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b);
D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b);
D3DXVECTOR2* D3DXVec2Minimize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b);
D3DXVECTOR2* D3DXVec2Maximize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b);
D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* out, const D3DXVECTOR2* v, FLOAT s);
D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b, FLOAT s);
D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v);
D3DXVECTOR2* D3DXVec2Hermite(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* t1,
                             const D3DXVECTOR2* v2, const D3DXVECTOR2* t2, FLOAT s);
D3DXVECTOR2* D3DXVec2CatmullRom(D3DXVECTOR2* out, const D3DXVECTOR2* v0, const D3DXVECTOR2* v1,
                                const D3DXVECTOR2* v2, const D3DXVECTOR2* v3, FLOAT s);
D3DXVECTOR2* D3DXVec2BaryCentric(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* v2,
                                 const D3DXVECTOR2* v3, FLOAT f, FLOAT g);
D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v, const D3DXMATRIX* m);
D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m);
D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m);
D3DXVECTOR4* D3DXVec2TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR2* v, UINT vStride,
                                    const D3DXMATRIX* m, UINT n);
D3DXVECTOR2* D3DXVec2TransformCoordArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v, UINT vStride,
                                         const D3DXMATRIX* m, UINT n);
D3DXVECTOR2* D3DXVec2TransformNormalArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v, UINT vStride,
                                          const D3DXMATRIX* m, UINT n);

// ---- 3D vectors ------------------------------------------------------------
inline FLOAT D3DXVec3Length(const D3DXVECTOR3* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }
inline FLOAT D3DXVec3LengthSq(const D3DXVECTOR3* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }
inline FLOAT D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, FLOAT s);
D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, FLOAT s);
// A zero vector normalises to zero.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, FLOAT s);
D3DXVECTOR3* D3DXVec3CatmullRom(D3DXVECTOR3* out, const D3DXVECTOR3* v0, const D3DXVECTOR3* v1,
                                const D3DXVECTOR3* v2, const D3DXVECTOR3* v3, FLOAT s);
D3DXVECTOR3* D3DXVec3BaryCentric(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                                 const D3DXVECTOR3* v3, FLOAT f, FLOAT g);
// (x, y, z, 1) * m.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 1) * m, divided by the resulting w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 0) * m.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
D3DXVECTOR4* D3DXVec3TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR3* v, UINT vStride,
                                    const D3DXMATRIX* m, UINT n);
D3DXVECTOR3* D3DXVec3TransformCoordArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v, UINT vStride,
                                         const D3DXMATRIX* m, UINT n);
D3DXVECTOR3* D3DXVec3TransformNormalArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v, UINT vStride,
                                          const D3DXMATRIX* m, UINT n);
// Object space to viewport (pixels, depth range) and back; null matrices are identity.
D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT9* viewport,
                             const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world);
D3DXVECTOR3* D3DXVec3Unproject(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT9* viewport,
                               const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world);

// ---- 4D vectors ------------------------------------------------------------
inline FLOAT D3DXVec4Length(const D3DXVECTOR4* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w); }
inline FLOAT D3DXVec4LengthSq(const D3DXVECTOR4* v) { return v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w; }
inline FLOAT D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b) { return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w; }
D3DXVECTOR4* D3DXVec4Add(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b);
D3DXVECTOR4* D3DXVec4Subtract(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b);
D3DXVECTOR4* D3DXVec4Minimize(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b);
D3DXVECTOR4* D3DXVec4Maximize(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b);
D3DXVECTOR4* D3DXVec4Scale(D3DXVECTOR4* out, const D3DXVECTOR4* v, FLOAT s);
D3DXVECTOR4* D3DXVec4Lerp(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b, FLOAT s);
// The vector orthogonal to all three (4D cross product).
D3DXVECTOR4* D3DXVec4Cross(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2, const D3DXVECTOR4* v3);
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v);
D3DXVECTOR4* D3DXVec4Hermite(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* t1,
                             const D3DXVECTOR4* v2, const D3DXVECTOR4* t2, FLOAT s);
D3DXVECTOR4* D3DXVec4CatmullRom(D3DXVECTOR4* out, const D3DXVECTOR4* v0, const D3DXVECTOR4* v1,
                                const D3DXVECTOR4* v2, const D3DXVECTOR4* v3, FLOAT s);
D3DXVECTOR4* D3DXVec4BaryCentric(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                                 const D3DXVECTOR4* v3, FLOAT f, FLOAT g);
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);
D3DXVECTOR4* D3DXVec4TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR4* v, UINT vStride,
                                    const D3DXMATRIX* m, UINT n);

// ---- Matrices --------------------------------------------------------------
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m);
FLOAT D3DXMatrixDeterminant(const D3DXMATRIX* m);
// Splits an affine matrix into scale, rotation and translation.
HRESULT D3DXMatrixDecompose(D3DXVECTOR3* outScale, D3DXQUATERNION* outRotation, D3DXVECTOR3* outTranslation,
                            const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
// out = m1 * m2: m1 acts first. out may alias either input.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2);
D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2);
// Returns null (out unchanged) when m is singular.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z);
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q);
// Roll about z first, then pitch about x, then yaw about y.
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch, FLOAT roll);
D3DXMATRIX* D3DXMatrixTransformation(D3DXMATRIX* out, const D3DXVECTOR3* scalingCenter,
                                     const D3DXQUATERNION* scalingRotation, const D3DXVECTOR3* scaling,
                                     const D3DXVECTOR3* rotationCenter, const D3DXQUATERNION* rotation,
                                     const D3DXVECTOR3* translation);
D3DXMATRIX* D3DXMatrixTransformation2D(D3DXMATRIX* out, const D3DXVECTOR2* scalingCenter, FLOAT scalingRotation,
                                       const D3DXVECTOR2* scaling, const D3DXVECTOR2* rotationCenter,
                                       FLOAT rotation, const D3DXVECTOR2* translation);
D3DXMATRIX* D3DXMatrixAffineTransformation(D3DXMATRIX* out, FLOAT scaling, const D3DXVECTOR3* rotationCenter,
                                           const D3DXQUATERNION* rotation, const D3DXVECTOR3* translation);
D3DXMATRIX* D3DXMatrixAffineTransformation2D(D3DXMATRIX* out, FLOAT scaling, const D3DXVECTOR2* rotationCenter,
                                             FLOAT rotation, const D3DXVECTOR2* translation);
D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up);
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up);
D3DXMATRIX* D3DXMatrixPerspectiveRH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixPerspectiveFovRH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixOrthoRH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf);
// Flattens geometry onto the plane as seen from the light (w = 0: directional).
D3DXMATRIX* D3DXMatrixShadow(D3DXMATRIX* out, const D3DXVECTOR4* light, const D3DXPLANE* plane);
D3DXMATRIX* D3DXMatrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane);

// ---- Quaternions -----------------------------------------------------------
inline FLOAT D3DXQuaternionLength(const D3DXQUATERNION* q) { return std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w); }
inline FLOAT D3DXQuaternionLengthSq(const D3DXQUATERNION* q) { return q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w; }
inline FLOAT D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) { return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w; }
D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out);
BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q);
void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle);
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m);
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, FLOAT angle);
D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch, FLOAT roll);
// Rotation by q1 followed by q2.
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2);
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionLn(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionExp(D3DXQUATERNION* out, const D3DXQUATERNION* q);
// Spherical interpolation along the shorter arc.
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2, FLOAT t);
D3DXQUATERNION* D3DXQuaternionSquad(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* a,
                                    const D3DXQUATERNION* b, const D3DXQUATERNION* c, FLOAT t);
void D3DXQuaternionSquadSetup(D3DXQUATERNION* outA, D3DXQUATERNION* outB, D3DXQUATERNION* outC,
                              const D3DXQUATERNION* q0, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                              const D3DXQUATERNION* q3);
D3DXQUATERNION* D3DXQuaternionBaryCentric(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                                          const D3DXQUATERNION* q3, FLOAT f, FLOAT g);

// ---- Planes ----------------------------------------------------------------
inline FLOAT D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) { return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w; }
inline FLOAT D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) { return p->a * v->x + p->b * v->y + p->c * v->z + p->d; }
inline FLOAT D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) { return p->a * v->x + p->b * v->y + p->c * v->z; }
D3DXPLANE* D3DXPlaneScale(D3DXPLANE* out, const D3DXPLANE* p, FLOAT s);
// Scales so that (a, b, c) has unit length.
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p);
// Null when the line is parallel to the plane.
D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2);
D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal);
// normal = unit((b - a) x (c - a)), d = -normal . a
D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c);
// The plane (as a row 4-vector) times m; m is the inverse transpose of the point transform.
D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m);
D3DXPLANE* D3DXPlaneTransformArray(D3DXPLANE* out, UINT outStride, const D3DXPLANE* p, UINT pStride,
                                   const D3DXMATRIX* m, UINT n);

// ---- Colours ---------------------------------------------------------------
D3DXCOLOR* D3DXColorNegative(D3DXCOLOR* out, const D3DXCOLOR* c);
D3DXCOLOR* D3DXColorAdd(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b);
D3DXCOLOR* D3DXColorSubtract(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b);
D3DXCOLOR* D3DXColorScale(D3DXCOLOR* out, const D3DXCOLOR* c, FLOAT s);
D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b);
D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b, FLOAT s);
D3DXCOLOR* D3DXColorAdjustSaturation(D3DXCOLOR* out, const D3DXCOLOR* c, FLOAT s);
D3DXCOLOR* D3DXColorAdjustContrast(D3DXCOLOR* out, const D3DXCOLOR* c, FLOAT k);
