#include "d3dx9math.h"

#include <algorithm>

namespace {

template <typename V>
const V* stridedAt(const V* base, UINT stride, UINT i)
{
    return reinterpret_cast<const V*>(reinterpret_cast<const BYTE*>(base) + (size_t)stride * i);
}

template <typename V>
V* stridedAt(V* base, UINT stride, UINT i)
{
    return reinterpret_cast<V*>(reinterpret_cast<BYTE*>(base) + (size_t)stride * i);
}

void hermiteWeights(FLOAT s, FLOAT& h1, FLOAT& h2, FLOAT& h3, FLOAT& h4)
{
    FLOAT s2 = s * s, s3 = s2 * s;
    h1 = 2.0f * s3 - 3.0f * s2 + 1.0f;
    h2 = s3 - 2.0f * s2 + s;
    h3 = -2.0f * s3 + 3.0f * s2;
    h4 = s3 - s2;
}

// Catmull-Rom of one coordinate.
FLOAT catmull(FLOAT p0, FLOAT p1, FLOAT p2, FLOAT p3, FLOAT s)
{
    FLOAT s2 = s * s, s3 = s2 * s;
    return 0.5f * (2.0f * p1 + (p2 - p0) * s + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * s2 +
                   (-p0 + 3.0f * p1 - 3.0f * p2 + p3) * s3);
}

} // namespace

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& mat)
{
    D3DXMatrixMultiply(this, this, &mat);
    return *this;
}

D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q)
{
    D3DXQuaternionMultiply(this, this, &q);
    return *this;
}

// ---- 2D vectors ------------------------------------------------------------

D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b)
{
    *out = D3DXVECTOR2(a->x + b->x, a->y + b->y);
    return out;
}

D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b)
{
    *out = D3DXVECTOR2(a->x - b->x, a->y - b->y);
    return out;
}

D3DXVECTOR2* D3DXVec2Minimize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b)
{
    *out = D3DXVECTOR2(std::min(a->x, b->x), std::min(a->y, b->y));
    return out;
}

D3DXVECTOR2* D3DXVec2Maximize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b)
{
    *out = D3DXVECTOR2(std::max(a->x, b->x), std::max(a->y, b->y));
    return out;
}

D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* out, const D3DXVECTOR2* v, FLOAT s)
{
    *out = D3DXVECTOR2(v->x * s, v->y * s);
    return out;
}

D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b, FLOAT s)
{
    *out = D3DXVECTOR2(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y));
    return out;
}

D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v)
{
    FLOAT len = D3DXVec2Length(v);
    if (len == 0.0f)
        *out = D3DXVECTOR2(0.0f, 0.0f);
    else
        *out = D3DXVECTOR2(v->x / len, v->y / len);
    return out;
}

D3DXVECTOR2* D3DXVec2Hermite(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* t1,
                             const D3DXVECTOR2* v2, const D3DXVECTOR2* t2, FLOAT s)
{
    FLOAT h1, h2, h3, h4;
    hermiteWeights(s, h1, h2, h3, h4);
    *out = D3DXVECTOR2(h1 * v1->x + h2 * t1->x + h3 * v2->x + h4 * t2->x,
                       h1 * v1->y + h2 * t1->y + h3 * v2->y + h4 * t2->y);
    return out;
}

D3DXVECTOR2* D3DXVec2CatmullRom(D3DXVECTOR2* out, const D3DXVECTOR2* v0, const D3DXVECTOR2* v1,
                                const D3DXVECTOR2* v2, const D3DXVECTOR2* v3, FLOAT s)
{
    *out = D3DXVECTOR2(catmull(v0->x, v1->x, v2->x, v3->x, s), catmull(v0->y, v1->y, v2->y, v3->y, s));
    return out;
}

D3DXVECTOR2* D3DXVec2BaryCentric(D3DXVECTOR2* out, const D3DXVECTOR2* v1, const D3DXVECTOR2* v2,
                                 const D3DXVECTOR2* v3, FLOAT f, FLOAT g)
{
    *out = D3DXVECTOR2(v1->x + f * (v2->x - v1->x) + g * (v3->x - v1->x),
                       v1->y + f * (v2->y - v1->y) + g * (v3->y - v1->y));
    return out;
}

D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r(v->x * m->_11 + v->y * m->_21 + m->_41, v->x * m->_12 + v->y * m->_22 + m->_42,
                  v->x * m->_13 + v->y * m->_23 + m->_43, v->x * m->_14 + v->y * m->_24 + m->_44);
    *out = r;
    return out;
}

D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m)
{
    FLOAT w = v->x * m->_14 + v->y * m->_24 + m->_44;
    D3DXVECTOR2 r((v->x * m->_11 + v->y * m->_21 + m->_41) / w, (v->x * m->_12 + v->y * m->_22 + m->_42) / w);
    *out = r;
    return out;
}

D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m)
{
    D3DXVECTOR2 r(v->x * m->_11 + v->y * m->_21, v->x * m->_12 + v->y * m->_22);
    *out = r;
    return out;
}

D3DXVECTOR4* D3DXVec2TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR2* v, UINT vStride,
                                    const D3DXMATRIX* m, UINT n)
{
    for (UINT i = 0; i < n; ++i)
        D3DXVec2Transform(stridedAt(out, outStride, i), stridedAt(v, vStride, i), m);
    return out;
}

D3DXVECTOR2* D3DXVec2TransformCoordArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v, UINT vStride,
                                         const D3DXMATRIX* m, UINT n)
{
    for (UINT i = 0; i < n; ++i)
        D3DXVec2TransformCoord(stridedAt(out, outStride, i), stridedAt(v, vStride, i), m);
    return out;
}

D3DXVECTOR2* D3DXVec2TransformNormalArray(D3DXVECTOR2* out, UINT outStride, const D3DXVECTOR2* v, UINT vStride,
                                          const D3DXMATRIX* m, UINT n)
{
    for (UINT i = 0; i < n; ++i)
        D3DXVec2TransformNormal(stridedAt(out, outStride, i), stridedAt(v, vStride, i), m);
    return out;
}

// ---- 3D vectors ------------------------------------------------------------

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    D3DXVECTOR3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *out = D3DXVECTOR3(a->x + b->x, a->y + b->y, a->z + b->z);
    return out;
}

D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *out = D3DXVECTOR3(a->x - b->x, a->y - b->y, a->z - b->z);
    return out;
}

D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *out = D3DXVECTOR3(std::min(a->x, b->x), std::min(a->y, b->y), std::min(a->z, b->z));
    return out;
}

D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *out = D3DXVECTOR3(std::max(a->x, b->x), std::max(a->y, b->y), std::max(a->z, b->z));
    return out;
}

D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, FLOAT s)
{
    *out = D3DXVECTOR3(v->x * s, v->y * s, v->z * s);
    return out;
}

D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, FLOAT s)
{
    *out = D3DXVECTOR3(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z));
    return out;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v)
{
    FLOAT len = D3DXVec3Length(v);
    if (len == 0.0f)
        *out = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    else
        *out = D3DXVECTOR3(v->x / len, v->y / len, v->z / len);
    return out;
}

D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, FLOAT s)
{
    FLOAT h1, h2, h3, h4;
    hermiteWeights(s, h1, h2, h3, h4);
    *out = D3DXVECTOR3(h1 * v1->x + h2 * t1->x + h3 * v2->x + h4 * t2->x,
                       h1 * v1->y + h2 * t1->y + h3 * v2->y + h4 * t2->y,
                       h1 * v1->z + h2 * t1->z + h3 * v2->z + h4 * t2->z);
    return out;
}

D3DXVECTOR3* D3DXVec3CatmullRom(D3DXVECTOR3* out, const D3DXVECTOR3* v0, const D3DXVECTOR3* v1,
                                const D3DXVECTOR3* v2, const D3DXVECTOR3* v3, FLOAT s)
{
    *out = D3DXVECTOR3(catmull(v0->x, v1->x, v2->x, v3->x, s), catmull(v0->y, v1->y, v2->y, v3->y, s),
                       catmull(v0->z, v1->z, v2->z, v3->z, s));
    return out;
}

D3DXVECTOR3* D3DXVec3BaryCentric(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                                 const D3DXVECTOR3* v3, FLOAT f, FLOAT g)
{
    *out = D3DXVECTOR3(v1->x + f * (v2->x - v1->x) + g * (v3->x - v1->x),
                       v1->y + f * (v2->y - v1->y) + g * (v3->y - v1->y),
                       v1->z + f * (v2->z - v1->z) + g * (v3->z - v1->z));
    return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r(v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41,
                  v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42,
                  v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43,
                  v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44);
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    FLOAT w = v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44;
    D3DXVECTOR3 r((v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41) / w,
                  (v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42) / w,
                  (v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43) / w);
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    D3DXVECTOR3 r(v->x * m->_11 + v->y * m->_21 + v->z * m->_31, v->x * m->_12 + v->y * m->_22 + v->z * m->_32,
                  v->x * m->_13 + v->y * m->_23 + v->z * m->_33);
    *out = r;
    return out;
}

D3DXVECTOR4* D3DXVec3TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR3* v, UINT vStride,
                                    const D3DXMATRIX* m, UINT n)
{
    for (UINT i = 0; i < n; ++i)
        D3DXVec3Transform(stridedAt(out, outStride, i), stridedAt(v, vStride, i), m);
    return out;
}

D3DXVECTOR3* D3DXVec3TransformCoordArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v, UINT vStride,
                                         const D3DXMATRIX* m, UINT n)
{
    for (UINT i = 0; i < n; ++i)
        D3DXVec3TransformCoord(stridedAt(out, outStride, i), stridedAt(v, vStride, i), m);
    return out;
}

D3DXVECTOR3* D3DXVec3TransformNormalArray(D3DXVECTOR3* out, UINT outStride, const D3DXVECTOR3* v, UINT vStride,
                                          const D3DXMATRIX* m, UINT n)
{
    for (UINT i = 0; i < n; ++i)
        D3DXVec3TransformNormal(stridedAt(out, outStride, i), stridedAt(v, vStride, i), m);
    return out;
}

namespace {
// world * view * projection, null ones skipped.
D3DXMATRIX combined(const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world)
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    if (world)
        m = *world;
    if (view)
        D3DXMatrixMultiply(&m, &m, view);
    if (projection)
        D3DXMatrixMultiply(&m, &m, projection);
    return m;
}
} // namespace

D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT9* viewport,
                             const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world)
{
    D3DXMATRIX m = combined(projection, view, world);
    D3DXVECTOR3 r;
    D3DXVec3TransformCoord(&r, v, &m);
    if (viewport) {
        r.x = viewport->X + (1.0f + r.x) * viewport->Width / 2.0f;
        r.y = viewport->Y + (1.0f - r.y) * viewport->Height / 2.0f;
        r.z = viewport->MinZ + r.z * (viewport->MaxZ - viewport->MinZ);
    }
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3Unproject(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT9* viewport,
                               const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world)
{
    D3DXMATRIX m = combined(projection, view, world);
    D3DXMATRIX inv;
    if (!D3DXMatrixInverse(&inv, nullptr, &m))
        return nullptr;
    D3DXVECTOR3 ndc = *v;
    if (viewport) {
        ndc.x = 2.0f * (v->x - viewport->X) / viewport->Width - 1.0f;
        ndc.y = 1.0f - 2.0f * (v->y - viewport->Y) / viewport->Height;
        ndc.z = (v->z - viewport->MinZ) / (viewport->MaxZ - viewport->MinZ);
    }
    D3DXVec3TransformCoord(out, &ndc, &inv);
    return out;
}

// ---- 4D vectors ------------------------------------------------------------

D3DXVECTOR4* D3DXVec4Add(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b)
{
    *out = *a + *b;
    return out;
}

D3DXVECTOR4* D3DXVec4Subtract(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b)
{
    *out = *a - *b;
    return out;
}

D3DXVECTOR4* D3DXVec4Minimize(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b)
{
    *out = D3DXVECTOR4(std::min(a->x, b->x), std::min(a->y, b->y), std::min(a->z, b->z), std::min(a->w, b->w));
    return out;
}

D3DXVECTOR4* D3DXVec4Maximize(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b)
{
    *out = D3DXVECTOR4(std::max(a->x, b->x), std::max(a->y, b->y), std::max(a->z, b->z), std::max(a->w, b->w));
    return out;
}

D3DXVECTOR4* D3DXVec4Scale(D3DXVECTOR4* out, const D3DXVECTOR4* v, FLOAT s)
{
    *out = *v * s;
    return out;
}

D3DXVECTOR4* D3DXVec4Lerp(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b, FLOAT s)
{
    *out = D3DXVECTOR4(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z),
                       a->w + s * (b->w - a->w));
    return out;
}

D3DXVECTOR4* D3DXVec4Cross(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2, const D3DXVECTOR4* v3)
{
    // Cofactors of the 3x4 matrix of the three rows.
    FLOAT a = v2->z * v3->w - v3->z * v2->w;
    FLOAT b = v2->y * v3->w - v3->y * v2->w;
    FLOAT c = v2->y * v3->z - v3->y * v2->z;
    FLOAT d = v2->x * v3->w - v3->x * v2->w;
    FLOAT e = v2->x * v3->z - v3->x * v2->z;
    FLOAT f = v2->x * v3->y - v3->x * v2->y;
    D3DXVECTOR4 r(v1->y * a - v1->z * b + v1->w * c, -(v1->x * a - v1->z * d + v1->w * e),
                  v1->x * b - v1->y * d + v1->w * f, -(v1->x * c - v1->y * e + v1->z * f));
    *out = r;
    return out;
}

D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v)
{
    FLOAT len = D3DXVec4Length(v);
    if (len == 0.0f)
        *out = D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f);
    else
        *out = D3DXVECTOR4(v->x / len, v->y / len, v->z / len, v->w / len);
    return out;
}

D3DXVECTOR4* D3DXVec4Hermite(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* t1,
                             const D3DXVECTOR4* v2, const D3DXVECTOR4* t2, FLOAT s)
{
    FLOAT h1, h2, h3, h4;
    hermiteWeights(s, h1, h2, h3, h4);
    *out = *v1 * h1 + *t1 * h2 + *v2 * h3 + *t2 * h4;
    return out;
}

D3DXVECTOR4* D3DXVec4CatmullRom(D3DXVECTOR4* out, const D3DXVECTOR4* v0, const D3DXVECTOR4* v1,
                                const D3DXVECTOR4* v2, const D3DXVECTOR4* v3, FLOAT s)
{
    *out = D3DXVECTOR4(catmull(v0->x, v1->x, v2->x, v3->x, s), catmull(v0->y, v1->y, v2->y, v3->y, s),
                       catmull(v0->z, v1->z, v2->z, v3->z, s), catmull(v0->w, v1->w, v2->w, v3->w, s));
    return out;
}

D3DXVECTOR4* D3DXVec4BaryCentric(D3DXVECTOR4* out, const D3DXVECTOR4* v1, const D3DXVECTOR4* v2,
                                 const D3DXVECTOR4* v3, FLOAT f, FLOAT g)
{
    *out = *v1 + (*v2 - *v1) * f + (*v3 - *v1) * g;
    return out;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r(v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + v->w * m->_41,
                  v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + v->w * m->_42,
                  v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + v->w * m->_43,
                  v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + v->w * m->_44);
    *out = r;
    return out;
}

D3DXVECTOR4* D3DXVec4TransformArray(D3DXVECTOR4* out, UINT outStride, const D3DXVECTOR4* v, UINT vStride,
                                    const D3DXMATRIX* m, UINT n)
{
    for (UINT i = 0; i < n; ++i)
        D3DXVec4Transform(stridedAt(out, outStride, i), stridedAt(v, vStride, i), m);
    return out;
}

// ---- Matrices --------------------------------------------------------------

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out)
{
    *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}

BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m->m[r][c] != (r == c ? 1.0f : 0.0f))
                return FALSE;
    return TRUE;
}

FLOAT D3DXMatrixDeterminant(const D3DXMATRIX* m)
{
    const FLOAT(*a)[4] = m->m;
    FLOAT s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    FLOAT s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    FLOAT s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    FLOAT s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    FLOAT s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    FLOAT s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    FLOAT c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    FLOAT c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    FLOAT c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    FLOAT c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    FLOAT c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    FLOAT c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m)
{
    const FLOAT(*a)[4] = m->m;
    FLOAT s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    FLOAT s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    FLOAT s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    FLOAT s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    FLOAT s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    FLOAT s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    FLOAT c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    FLOAT c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    FLOAT c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    FLOAT c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    FLOAT c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    FLOAT c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    FLOAT det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (determinant)
        *determinant = det;
    if (det == 0.0f || !std::isfinite(det))
        return nullptr;
    FLOAT k = 1.0f / det;
    D3DXMATRIX r;
    r.m[0][0] = (a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * k;
    r.m[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * k;
    r.m[0][2] = (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * k;
    r.m[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * k;
    r.m[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * k;
    r.m[1][1] = (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * k;
    r.m[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * k;
    r.m[1][3] = (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * k;
    r.m[2][0] = (a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * k;
    r.m[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * k;
    r.m[2][2] = (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * k;
    r.m[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * k;
    r.m[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * k;
    r.m[3][1] = (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * k;
    r.m[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * k;
    r.m[3][3] = (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * k;
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m)
{
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m->m[j][i];
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2)
{
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m1->m[i][0] * m2->m[0][j] + m1->m[i][1] * m2->m[1][j] + m1->m[i][2] * m2->m[2][j] +
                        m1->m[i][3] * m2->m[3][j];
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2)
{
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, m1, m2);
    return D3DXMatrixTranspose(out, &r);
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz)
{
    *out = D3DXMATRIX(sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z)
{
    *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle)
{
    FLOAT s = std::sin(angle), c = std::cos(angle);
    *out = D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, FLOAT angle)
{
    FLOAT s = std::sin(angle), c = std::cos(angle);
    *out = D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle)
{
    FLOAT s = std::sin(angle), c = std::cos(angle);
    *out = D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle)
{
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    FLOAT s = std::sin(angle), c = std::cos(angle), t = 1.0f - c;
    *out = D3DXMATRIX(t * v.x * v.x + c, t * v.x * v.y + s * v.z, t * v.x * v.z - s * v.y, 0,
                      t * v.x * v.y - s * v.z, t * v.y * v.y + c, t * v.y * v.z + s * v.x, 0,
                      t * v.x * v.z + s * v.y, t * v.y * v.z - s * v.x, t * v.z * v.z + c, 0,
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q)
{
    FLOAT x = q->x, y = q->y, z = q->z, w = q->w;
    *out = D3DXMATRIX(1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + z * w), 2.0f * (x * z - y * w), 0,
                      2.0f * (x * y - z * w), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + x * w), 0,
                      2.0f * (x * z + y * w), 2.0f * (y * z - x * w), 1.0f - 2.0f * (x * x + y * y), 0,
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch, FLOAT roll)
{
    D3DXMATRIX rz, rx, ry;
    D3DXMatrixRotationZ(&rz, roll);
    D3DXMatrixRotationX(&rx, pitch);
    D3DXMatrixRotationY(&ry, yaw);
    D3DXMatrixMultiply(&rz, &rz, &rx);
    return D3DXMatrixMultiply(out, &rz, &ry);
}

D3DXMATRIX* D3DXMatrixTransformation(D3DXMATRIX* out, const D3DXVECTOR3* scalingCenter,
                                     const D3DXQUATERNION* scalingRotation, const D3DXVECTOR3* scaling,
                                     const D3DXVECTOR3* rotationCenter, const D3DXQUATERNION* rotation,
                                     const D3DXVECTOR3* translation)
{
    // Msc^-1 * Msr^-1 * Ms * Msr * Msc * Mrc^-1 * Mr * Mrc * Mt
    D3DXMATRIX r, t;
    D3DXMatrixIdentity(&r);
    D3DXVECTOR3 sc = scalingCenter ? *scalingCenter : D3DXVECTOR3(0, 0, 0);
    D3DXVECTOR3 rc = rotationCenter ? *rotationCenter : D3DXVECTOR3(0, 0, 0);
    if (scaling) {
        D3DXMATRIX sr, srInv;
        D3DXMatrixIdentity(&sr);
        if (scalingRotation)
            D3DXMatrixRotationQuaternion(&sr, scalingRotation);
        D3DXMatrixTranspose(&srInv, &sr);
        D3DXMatrixTranslation(&r, -sc.x, -sc.y, -sc.z);
        D3DXMatrixMultiply(&r, &r, &srInv);
        D3DXMatrixScaling(&t, scaling->x, scaling->y, scaling->z);
        D3DXMatrixMultiply(&r, &r, &t);
        D3DXMatrixMultiply(&r, &r, &sr);
        D3DXMatrixTranslation(&t, sc.x, sc.y, sc.z);
        D3DXMatrixMultiply(&r, &r, &t);
    }
    if (rotation) {
        D3DXMatrixTranslation(&t, -rc.x, -rc.y, -rc.z);
        D3DXMatrixMultiply(&r, &r, &t);
        D3DXMatrixRotationQuaternion(&t, rotation);
        D3DXMatrixMultiply(&r, &r, &t);
        D3DXMatrixTranslation(&t, rc.x, rc.y, rc.z);
        D3DXMatrixMultiply(&r, &r, &t);
    }
    if (translation) {
        D3DXMatrixTranslation(&t, translation->x, translation->y, translation->z);
        D3DXMatrixMultiply(&r, &r, &t);
    }
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixTransformation2D(D3DXMATRIX* out, const D3DXVECTOR2* scalingCenter, FLOAT scalingRotation,
                                       const D3DXVECTOR2* scaling, const D3DXVECTOR2* rotationCenter,
                                       FLOAT rotation, const D3DXVECTOR2* translation)
{
    D3DXVECTOR3 sc(scalingCenter ? scalingCenter->x : 0.0f, scalingCenter ? scalingCenter->y : 0.0f, 0.0f);
    D3DXVECTOR3 s(scaling ? scaling->x : 1.0f, scaling ? scaling->y : 1.0f, 1.0f);
    D3DXVECTOR3 rc(rotationCenter ? rotationCenter->x : 0.0f, rotationCenter ? rotationCenter->y : 0.0f, 0.0f);
    D3DXVECTOR3 t(translation ? translation->x : 0.0f, translation ? translation->y : 0.0f, 0.0f);
    D3DXVECTOR3 zAxis(0, 0, 1);
    D3DXQUATERNION sr, r;
    D3DXQuaternionRotationAxis(&sr, &zAxis, scalingRotation);
    D3DXQuaternionRotationAxis(&r, &zAxis, rotation);
    return D3DXMatrixTransformation(out, &sc, &sr, &s, &rc, &r, &t);
}

D3DXMATRIX* D3DXMatrixAffineTransformation(D3DXMATRIX* out, FLOAT scaling, const D3DXVECTOR3* rotationCenter,
                                           const D3DXQUATERNION* rotation, const D3DXVECTOR3* translation)
{
    D3DXVECTOR3 s(scaling, scaling, scaling);
    return D3DXMatrixTransformation(out, nullptr, nullptr, &s, rotationCenter, rotation, translation);
}

D3DXMATRIX* D3DXMatrixAffineTransformation2D(D3DXMATRIX* out, FLOAT scaling, const D3DXVECTOR2* rotationCenter,
                                             FLOAT rotation, const D3DXVECTOR2* translation)
{
    D3DXVECTOR2 s(scaling, scaling);
    return D3DXMatrixTransformation2D(out, nullptr, 0.0f, &s, rotationCenter, rotation, translation);
}

namespace {
D3DXMATRIX* lookAt(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3& forward, const D3DXVECTOR3* up)
{
    D3DXVECTOR3 z, x, y;
    D3DXVec3Normalize(&z, &forward);
    D3DXVec3Cross(&x, up, &z);
    D3DXVec3Normalize(&x, &x);
    D3DXVec3Cross(&y, &z, &x);
    *out = D3DXMATRIX(x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0,
                      -D3DXVec3Dot(&x, eye), -D3DXVec3Dot(&y, eye), -D3DXVec3Dot(&z, eye), 1);
    return out;
}
} // namespace

D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up)
{
    return lookAt(out, eye, *eye - *at, up);
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up)
{
    return lookAt(out, eye, *at - *eye, up);
}

D3DXMATRIX* D3DXMatrixPerspectiveRH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    *out = D3DXMATRIX(2 * zn / w, 0, 0, 0, 0, 2 * zn / h, 0, 0, 0, 0, zf / (zn - zf), -1, 0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    *out = D3DXMATRIX(2 * zn / w, 0, 0, 0, 0, 2 * zn / h, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovRH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf)
{
    FLOAT ys = 1.0f / std::tan(fovy / 2.0f), xs = ys / aspect;
    *out = D3DXMATRIX(xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, zf / (zn - zf), -1, 0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf)
{
    FLOAT ys = 1.0f / std::tan(fovy / 2.0f), xs = ys / aspect;
    *out = D3DXMATRIX(xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, -zn * zf / (zf - zn), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf)
{
    *out = D3DXMATRIX(2 * zn / (r - l), 0, 0, 0, 0, 2 * zn / (t - b), 0, 0, (l + r) / (r - l), (t + b) / (t - b),
                      zf / (zn - zf), -1, 0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf)
{
    *out = D3DXMATRIX(2 * zn / (r - l), 0, 0, 0, 0, 2 * zn / (t - b), 0, 0, (l + r) / (l - r), (t + b) / (b - t),
                      zf / (zf - zn), 1, 0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoRH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    *out = D3DXMATRIX(2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, 1 / (zn - zf), 0, 0, 0, zn / (zn - zf), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    *out = D3DXMATRIX(2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, 1 / (zf - zn), 0, 0, 0, zn / (zn - zf), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf)
{
    *out = D3DXMATRIX(2 / (r - l), 0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, 1 / (zn - zf), 0,
                      (l + r) / (l - r), (t + b) / (b - t), zn / (zn - zf), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf)
{
    *out = D3DXMATRIX(2 / (r - l), 0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, 1 / (zf - zn), 0,
                      (l + r) / (l - r), (t + b) / (b - t), zn / (zn - zf), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixShadow(D3DXMATRIX* out, const D3DXVECTOR4* light, const D3DXPLANE* plane)
{
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, plane);
    FLOAT dot = D3DXPlaneDot(&p, light);
    const FLOAT pv[4] = {p.a, p.b, p.c, p.d};
    const FLOAT lv[4] = {light->x, light->y, light->z, light->w};
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = (i == j ? dot : 0.0f) - pv[i] * lv[j];
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane)
{
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, plane);
    *out = D3DXMATRIX(1 - 2 * p.a * p.a, -2 * p.a * p.b, -2 * p.a * p.c, 0,
                      -2 * p.b * p.a, 1 - 2 * p.b * p.b, -2 * p.b * p.c, 0,
                      -2 * p.c * p.a, -2 * p.c * p.b, 1 - 2 * p.c * p.c, 0,
                      -2 * p.d * p.a, -2 * p.d * p.b, -2 * p.d * p.c, 1);
    return out;
}

HRESULT D3DXMatrixDecompose(D3DXVECTOR3* outScale, D3DXQUATERNION* outRotation, D3DXVECTOR3* outTranslation,
                            const D3DXMATRIX* m)
{
    D3DXVECTOR3 rows[3] = {D3DXVECTOR3(m->_11, m->_12, m->_13), D3DXVECTOR3(m->_21, m->_22, m->_23),
                           D3DXVECTOR3(m->_31, m->_32, m->_33)};
    D3DXVECTOR3 s(D3DXVec3Length(&rows[0]), D3DXVec3Length(&rows[1]), D3DXVec3Length(&rows[2]));
    if (s.x == 0.0f || s.y == 0.0f || s.z == 0.0f)
        return D3DERR_INVALIDCALL;
    // A mirrored basis keeps the rotation proper by flipping one axis.
    D3DXVECTOR3 c;
    D3DXVec3Cross(&c, &rows[0], &rows[1]);
    if (D3DXVec3Dot(&c, &rows[2]) < 0.0f)
        s.x = -s.x;
    if (outScale)
        *outScale = s;
    if (outTranslation)
        *outTranslation = D3DXVECTOR3(m->_41, m->_42, m->_43);
    if (outRotation) {
        D3DXMATRIX r;
        D3DXMatrixIdentity(&r);
        for (int i = 0; i < 3; ++i) {
            FLOAT k = (&s.x)[i];
            r.m[i][0] = rows[i].x / k;
            r.m[i][1] = rows[i].y / k;
            r.m[i][2] = rows[i].z / k;
        }
        D3DXQuaternionRotationMatrix(outRotation, &r);
    }
    return S_OK;
}

// ---- Quaternions -----------------------------------------------------------

D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out)
{
    *out = D3DXQUATERNION(0, 0, 0, 1);
    return out;
}

BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* q)
{
    return q->x == 0.0f && q->y == 0.0f && q->z == 0.0f && q->w == 1.0f;
}

D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q)
{
    *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
    return out;
}

void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle)
{
    if (axis)
        *axis = D3DXVECTOR3(q->x, q->y, q->z);
    if (angle)
        *angle = 2.0f * std::acos(std::max(-1.0f, std::min(1.0f, q->w)));
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m)
{
    FLOAT trace = m->_11 + m->_22 + m->_33;
    D3DXQUATERNION q;
    if (trace > 0.0f) {
        FLOAT s = std::sqrt(trace + 1.0f) * 2.0f;
        q.w = 0.25f * s;
        q.x = (m->_23 - m->_32) / s;
        q.y = (m->_31 - m->_13) / s;
        q.z = (m->_12 - m->_21) / s;
    } else if (m->_11 >= m->_22 && m->_11 >= m->_33) {
        FLOAT s = std::sqrt(1.0f + m->_11 - m->_22 - m->_33) * 2.0f;
        q.x = 0.25f * s;
        q.y = (m->_12 + m->_21) / s;
        q.z = (m->_13 + m->_31) / s;
        q.w = (m->_23 - m->_32) / s;
    } else if (m->_22 >= m->_33) {
        FLOAT s = std::sqrt(1.0f + m->_22 - m->_11 - m->_33) * 2.0f;
        q.x = (m->_12 + m->_21) / s;
        q.y = 0.25f * s;
        q.z = (m->_23 + m->_32) / s;
        q.w = (m->_31 - m->_13) / s;
    } else {
        FLOAT s = std::sqrt(1.0f + m->_33 - m->_11 - m->_22) * 2.0f;
        q.x = (m->_13 + m->_31) / s;
        q.y = (m->_23 + m->_32) / s;
        q.z = 0.25f * s;
        q.w = (m->_12 - m->_21) / s;
    }
    *out = q;
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, FLOAT angle)
{
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    FLOAT s = std::sin(angle / 2.0f);
    *out = D3DXQUATERNION(v.x * s, v.y * s, v.z * s, std::cos(angle / 2.0f));
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch, FLOAT roll)
{
    FLOAT sy = std::sin(yaw / 2), cy = std::cos(yaw / 2);
    FLOAT sp = std::sin(pitch / 2), cp = std::cos(pitch / 2);
    FLOAT sr = std::sin(roll / 2), cr = std::cos(roll / 2);
    D3DXQUATERNION qz(0, 0, sr, cr), qx(sp, 0, 0, cp), qy(0, sy, 0, cy);
    D3DXQUATERNION r;
    D3DXQuaternionMultiply(&r, &qz, &qx);
    return D3DXQuaternionMultiply(out, &r, &qy);
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2)
{
    // Hamilton product q2 q1.
    const D3DXQUATERNION a = *q2, b = *q1;
    *out = D3DXQUATERNION(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
                          a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
    return out;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q)
{
    FLOAT len = D3DXQuaternionLength(q);
    if (len == 0.0f)
        *out = D3DXQUATERNION(0, 0, 0, 0);
    else
        *out = D3DXQUATERNION(q->x / len, q->y / len, q->z / len, q->w / len);
    return out;
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q)
{
    FLOAT n = D3DXQuaternionLengthSq(q);
    if (n == 0.0f) {
        *out = D3DXQUATERNION(0, 0, 0, 0);
        return out;
    }
    *out = D3DXQUATERNION(-q->x / n, -q->y / n, -q->z / n, q->w / n);
    return out;
}

D3DXQUATERNION* D3DXQuaternionLn(D3DXQUATERNION* out, const D3DXQUATERNION* q)
{
    FLOAT w = std::max(-1.0f, std::min(1.0f, q->w));
    FLOAT theta = std::acos(w);
    FLOAT s = std::sin(theta);
    FLOAT k = s != 0.0f ? theta / s : 1.0f;
    *out = D3DXQUATERNION(q->x * k, q->y * k, q->z * k, 0.0f);
    return out;
}

D3DXQUATERNION* D3DXQuaternionExp(D3DXQUATERNION* out, const D3DXQUATERNION* q)
{
    FLOAT theta = std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z);
    FLOAT k = theta != 0.0f ? std::sin(theta) / theta : 1.0f;
    *out = D3DXQUATERNION(q->x * k, q->y * k, q->z * k, std::cos(theta));
    return out;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2, FLOAT t)
{
    FLOAT dot = D3DXQuaternionDot(q1, q2);
    FLOAT sign = 1.0f;
    if (dot < 0.0f) {
        dot = -dot;
        sign = -1.0f;
    }
    FLOAT k0, k1;
    if (1.0f - dot > 0.001f) {
        FLOAT theta = std::acos(std::min(1.0f, dot));
        FLOAT s = std::sin(theta);
        k0 = std::sin((1.0f - t) * theta) / s;
        k1 = std::sin(t * theta) / s;
    } else {
        k0 = 1.0f - t;
        k1 = t;
    }
    k1 *= sign;
    *out = D3DXQUATERNION(k0 * q1->x + k1 * q2->x, k0 * q1->y + k1 * q2->y, k0 * q1->z + k1 * q2->z,
                          k0 * q1->w + k1 * q2->w);
    return out;
}

D3DXQUATERNION* D3DXQuaternionSquad(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* a,
                                    const D3DXQUATERNION* b, const D3DXQUATERNION* c, FLOAT t)
{
    D3DXQUATERNION s1, s2;
    D3DXQuaternionSlerp(&s1, q1, c, t);
    D3DXQuaternionSlerp(&s2, a, b, t);
    return D3DXQuaternionSlerp(out, &s1, &s2, 2.0f * t * (1.0f - t));
}

namespace {
// The control point between neighbours prev and next of q (all unit).
D3DXQUATERNION squadControl(const D3DXQUATERNION& prev, const D3DXQUATERNION& q, const D3DXQUATERNION& next)
{
    D3DXQUATERNION inv, toNext, toPrev, lnNext, lnPrev, e, r;
    D3DXQuaternionConjugate(&inv, &q);
    D3DXQuaternionMultiply(&toNext, &next, &inv); // inv(q) then next, as Hamilton q^-1 * next
    D3DXQuaternionMultiply(&toPrev, &prev, &inv);
    D3DXQuaternionLn(&lnNext, &toNext);
    D3DXQuaternionLn(&lnPrev, &toPrev);
    D3DXQUATERNION sum = (lnNext + lnPrev) * -0.25f;
    D3DXQuaternionExp(&e, &sum);
    D3DXQuaternionMultiply(&r, &e, &q); // Hamilton q * e
    return r;
}

D3DXQUATERNION nearer(const D3DXQUATERNION& ref, const D3DXQUATERNION& q)
{
    D3DXQUATERNION sum = ref + q, diff = ref - q;
    return D3DXQuaternionLengthSq(&sum) < D3DXQuaternionLengthSq(&diff) ? -q : q;
}
} // namespace

void D3DXQuaternionSquadSetup(D3DXQUATERNION* outA, D3DXQUATERNION* outB, D3DXQUATERNION* outC,
                              const D3DXQUATERNION* q0, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                              const D3DXQUATERNION* q3)
{
    D3DXQUATERNION p1 = *q1;
    D3DXQUATERNION p0 = nearer(p1, *q0);
    D3DXQUATERNION p2 = nearer(p1, *q2);
    D3DXQUATERNION p3 = nearer(p2, *q3);
    D3DXQUATERNION a = squadControl(p0, p1, p2);
    D3DXQUATERNION b = squadControl(p1, p2, p3);
    *outA = a;
    *outB = b;
    *outC = p2;
}

D3DXQUATERNION* D3DXQuaternionBaryCentric(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                                          const D3DXQUATERNION* q3, FLOAT f, FLOAT g)
{
    FLOAT fg = f + g;
    if (fg == 0.0f) {
        *out = *q1;
        return out;
    }
    D3DXQUATERNION a, b;
    D3DXQuaternionSlerp(&a, q1, q2, fg);
    D3DXQuaternionSlerp(&b, q1, q3, fg);
    return D3DXQuaternionSlerp(out, &a, &b, g / fg);
}

// ---- Planes ----------------------------------------------------------------

D3DXPLANE* D3DXPlaneScale(D3DXPLANE* out, const D3DXPLANE* p, FLOAT s)
{
    *out = *p * s;
    return out;
}

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p)
{
    FLOAT len = std::sqrt(p->a * p->a + p->b * p->b + p->c * p->c);
    if (len == 0.0f)
        *out = D3DXPLANE(0, 0, 0, 0);
    else
        *out = D3DXPLANE(p->a / len, p->b / len, p->c / len, p->d / len);
    return out;
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2)
{
    D3DXVECTOR3 dir = *v2 - *v1;
    FLOAT dot = D3DXPlaneDotNormal(p, &dir);
    if (dot == 0.0f)
        return nullptr;
    FLOAT t = -D3DXPlaneDotCoord(p, v1) / dot;
    *out = *v1 + dir * t;
    return out;
}

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal)
{
    *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
    return out;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c)
{
    D3DXVECTOR3 e1 = *b - *a, e2 = *c - *a, n;
    D3DXVec3Cross(&n, &e1, &e2);
    D3DXVec3Normalize(&n, &n);
    return D3DXPlaneFromPointNormal(out, a, &n);
}

D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m)
{
    D3DXVECTOR4 v(p->a, p->b, p->c, p->d);
    D3DXVec4Transform(&v, &v, m);
    *out = D3DXPLANE(v.x, v.y, v.z, v.w);
    return out;
}

D3DXPLANE* D3DXPlaneTransformArray(D3DXPLANE* out, UINT outStride, const D3DXPLANE* p, UINT pStride,
                                   const D3DXMATRIX* m, UINT n)
{
    for (UINT i = 0; i < n; ++i)
        D3DXPlaneTransform(stridedAt(out, outStride, i), stridedAt(p, pStride, i), m);
    return out;
}

// ---- Colours ---------------------------------------------------------------

D3DXCOLOR* D3DXColorNegative(D3DXCOLOR* out, const D3DXCOLOR* c)
{
    *out = D3DXCOLOR(1.0f - c->r, 1.0f - c->g, 1.0f - c->b, c->a);
    return out;
}

D3DXCOLOR* D3DXColorAdd(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b)
{
    *out = *a + *b;
    return out;
}

D3DXCOLOR* D3DXColorSubtract(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b)
{
    *out = *a - *b;
    return out;
}

D3DXCOLOR* D3DXColorScale(D3DXCOLOR* out, const D3DXCOLOR* c, FLOAT s)
{
    *out = *c * s;
    return out;
}

D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b)
{
    *out = D3DXCOLOR(a->r * b->r, a->g * b->g, a->b * b->b, a->a * b->a);
    return out;
}

D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b, FLOAT s)
{
    *out = D3DXCOLOR(a->r + s * (b->r - a->r), a->g + s * (b->g - a->g), a->b + s * (b->b - a->b),
                     a->a + s * (b->a - a->a));
    return out;
}

D3DXCOLOR* D3DXColorAdjustSaturation(D3DXCOLOR* out, const D3DXCOLOR* c, FLOAT s)
{
    FLOAT grey = c->r * 0.2125f + c->g * 0.7154f + c->b * 0.0721f;
    *out = D3DXCOLOR(grey + s * (c->r - grey), grey + s * (c->g - grey), grey + s * (c->b - grey), c->a);
    return out;
}

D3DXCOLOR* D3DXColorAdjustContrast(D3DXCOLOR* out, const D3DXCOLOR* c, FLOAT k)
{
    *out = D3DXCOLOR(0.5f + k * (c->r - 0.5f), 0.5f + k * (c->g - 0.5f), 0.5f + k * (c->b - 0.5f), c->a);
    return out;
}
