// D3DX math checked against GLM. GLM stores matrices column by column and
// transforms column vectors; Direct3D stores rows and transforms row vectors,
// so the same transform has the same 16 floats in memory in both.
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cstring>
#include <vector>

namespace {

glm::mat4 toGlm(const D3DXMATRIX& m)
{
    glm::mat4 g;
    std::memcpy(glm::value_ptr(g), &m._11, sizeof(float) * 16);
    return g;
}

D3DXMATRIX fromGlm(const glm::mat4& g)
{
    return D3DXMATRIX(glm::value_ptr(g));
}

void expectNear(const D3DXMATRIX& a, const glm::mat4& g, float tol = 1e-5f)
{
    const float* b = glm::value_ptr(g);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&a._11)[i], b[i], tol * std::max(1.0f, std::fabs(b[i]))) << "element " << i / 4 + 1 << i % 4 + 1;
}

void expectNear(const D3DXVECTOR3& a, const glm::vec3& b, float tol = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void expectNear(const D3DXQUATERNION& a, const glm::quat& b, float tol = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
    EXPECT_NEAR(a.w, b.w, tol);
}

// A deterministic set of general (non-singular) matrices.
std::vector<D3DXMATRIX> sampleMatrices()
{
    std::vector<D3DXMATRIX> out;
    uint32_t s = 12345;
    auto next = [&s]() {
        s = s * 1664525u + 1013904223u;
        return ((s >> 8) & 0xFFFF) / 65535.0f * 4.0f - 2.0f;
    };
    for (int k = 0; k < 8; ++k) {
        D3DXMATRIX m;
        for (int i = 0; i < 16; ++i)
            (&m._11)[i] = next();
        out.push_back(m);
    }
    return out;
}

const glm::vec3 kAxisX(1, 0, 0), kAxisY(0, 1, 0), kAxisZ(0, 0, 1);

} // namespace

TEST(D3dxMath, MultiplyTransposeInverseDeterminant)
{
    for (const D3DXMATRIX& a : sampleMatrices()) {
        for (const D3DXMATRIX& b : sampleMatrices()) {
            D3DXMATRIX r;
            D3DXMatrixMultiply(&r, &a, &b);
            // Row-vector a * b is column-vector B * A.
            expectNear(r, toGlm(b) * toGlm(a));
            expectNear(a * b, toGlm(b) * toGlm(a));
        }
        D3DXMATRIX t, inv;
        D3DXMatrixTranspose(&t, &a);
        expectNear(t, glm::transpose(toGlm(a)));
        FLOAT det = 0;
        ASSERT_NE(D3DXMatrixInverse(&inv, &det, &a), nullptr);
        expectNear(inv, glm::inverse(toGlm(a)), 1e-3f);
        EXPECT_NEAR(det, glm::determinant(toGlm(a)), 1e-3f * std::max(1.0f, std::fabs(det)));
        EXPECT_NEAR(D3DXMatrixDeterminant(&a), det, 1e-4f * std::max(1.0f, std::fabs(det)));
    }
}

TEST(D3dxMath, MultiplyMayAliasItsInputs)
{
    D3DXMATRIX a = sampleMatrices()[0], b = sampleMatrices()[1];
    glm::mat4 expected = toGlm(b) * toGlm(a);
    D3DXMATRIX x = a;
    D3DXMatrixMultiply(&x, &x, &b);
    expectNear(x, expected);
    D3DXMATRIX y = b;
    D3DXMatrixMultiply(&y, &a, &y);
    expectNear(y, expected);
    D3DXMATRIX z = a;
    z *= b;
    expectNear(z, expected);
}

TEST(D3dxMath, SingularInverseFailsAndLeavesOutput)
{
    D3DXMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1);
    D3DXMATRIX out;
    D3DXMatrixIdentity(&out);
    FLOAT det = 5;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&out));
}

TEST(D3dxMath, BasicTransforms)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 1.5f, -2.0f, 3.0f);
    expectNear(m, glm::translate(glm::mat4(1.0f), glm::vec3(1.5f, -2.0f, 3.0f)));
    D3DXMatrixScaling(&m, 2.0f, 0.5f, -3.0f);
    expectNear(m, glm::scale(glm::mat4(1.0f), glm::vec3(2.0f, 0.5f, -3.0f)));

    struct Case {
        D3DXMATRIX* (*fn)(D3DXMATRIX*, FLOAT);
        glm::vec3 axis;
    } cases[] = {{D3DXMatrixRotationX, kAxisX}, {D3DXMatrixRotationY, kAxisY}, {D3DXMatrixRotationZ, kAxisZ}};
    for (const Case& c : cases) {
        for (float angle : {0.0f, 0.3f, -1.2f, 2.5f, 3.14159f}) {
            c.fn(&m, angle);
            expectNear(m, glm::rotate(glm::mat4(1.0f), angle, c.axis));
        }
    }
    D3DXVECTOR3 axis(1.0f, 2.0f, -0.5f);
    D3DXMatrixRotationAxis(&m, &axis, 0.8f);
    expectNear(m, glm::rotate(glm::mat4(1.0f), 0.8f, glm::vec3(1.0f, 2.0f, -0.5f)));
}

TEST(D3dxMath, RotationXTurnsYTowardZ)
{
    // Left-handed: a quarter turn about x takes +y to +z.
    D3DXMATRIX m;
    D3DXMatrixRotationX(&m, D3DX_PI / 2);
    D3DXVECTOR3 v(0, 1, 0), r;
    D3DXVec3TransformCoord(&r, &v, &m);
    expectNear(r, glm::vec3(0, 0, 1));
}

TEST(D3dxMath, YawPitchRollAppliesRollThenPitchThenYaw)
{
    for (float yaw : {0.0f, 0.7f, -2.0f})
        for (float pitch : {0.0f, 0.4f, -1.1f})
            for (float roll : {0.0f, 1.3f, -0.2f}) {
                glm::mat4 expected = glm::rotate(glm::mat4(1.0f), yaw, kAxisY) *
                                     glm::rotate(glm::mat4(1.0f), pitch, kAxisX) *
                                     glm::rotate(glm::mat4(1.0f), roll, kAxisZ);
                D3DXMATRIX m;
                D3DXMatrixRotationYawPitchRoll(&m, yaw, pitch, roll);
                expectNear(m, expected);
                D3DXQUATERNION q;
                D3DXQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
                D3DXMatrixRotationQuaternion(&m, &q);
                expectNear(m, expected);
            }
}

TEST(D3dxMath, LookAtAndProjectionsMatchGlm)
{
    D3DXVECTOR3 eye(3, 4, -5), at(0.5f, 1, 2), up(0, 1, 0);
    glm::vec3 ge(3, 4, -5), ga(0.5f, 1, 2), gu(0, 1, 0);
    D3DXMATRIX m;
    D3DXMatrixLookAtLH(&m, &eye, &at, &up);
    expectNear(m, glm::lookAtLH(ge, ga, gu));
    D3DXMatrixLookAtRH(&m, &eye, &at, &up);
    expectNear(m, glm::lookAtRH(ge, ga, gu));

    D3DXMatrixPerspectiveFovLH(&m, 0.9f, 4.0f / 3.0f, 0.5f, 300.0f);
    expectNear(m, glm::perspectiveLH_ZO(0.9f, 4.0f / 3.0f, 0.5f, 300.0f));
    D3DXMatrixPerspectiveFovRH(&m, 0.9f, 4.0f / 3.0f, 0.5f, 300.0f);
    expectNear(m, glm::perspectiveRH_ZO(0.9f, 4.0f / 3.0f, 0.5f, 300.0f));
    // GLM's left-handed off-centre frustum flips the sign of its centre
    // terms; check this one by where the frustum's corners land instead.
    D3DXMatrixPerspectiveOffCenterLH(&m, -1.0f, 2.0f, -0.5f, 1.5f, 0.5f, 100.0f);
    D3DXVECTOR3 nearCorner(-1.0f, -0.5f, 0.5f), farCorner(2.0f * 200.0f, 1.5f * 200.0f, 100.0f), r;
    D3DXVec3TransformCoord(&r, &nearCorner, &m);
    expectNear(r, glm::vec3(-1, -1, 0));
    D3DXVec3TransformCoord(&r, &farCorner, &m);
    expectNear(r, glm::vec3(1, 1, 1), 1e-4f);
    D3DXMatrixPerspectiveOffCenterRH(&m, -1.0f, 2.0f, -0.5f, 1.5f, 0.5f, 100.0f);
    expectNear(m, glm::frustumRH_ZO(-1.0f, 2.0f, -0.5f, 1.5f, 0.5f, 100.0f));
    D3DXMatrixPerspectiveLH(&m, 2.0f, 1.5f, 0.5f, 100.0f);
    expectNear(m, glm::frustumLH_ZO(-1.0f, 1.0f, -0.75f, 0.75f, 0.5f, 100.0f));
    D3DXMatrixPerspectiveRH(&m, 2.0f, 1.5f, 0.5f, 100.0f);
    expectNear(m, glm::frustumRH_ZO(-1.0f, 1.0f, -0.75f, 0.75f, 0.5f, 100.0f));

    D3DXMatrixOrthoOffCenterLH(&m, -3.0f, 5.0f, -1.0f, 2.0f, 0.1f, 50.0f);
    expectNear(m, glm::orthoLH_ZO(-3.0f, 5.0f, -1.0f, 2.0f, 0.1f, 50.0f));
    D3DXMatrixOrthoOffCenterRH(&m, -3.0f, 5.0f, -1.0f, 2.0f, 0.1f, 50.0f);
    expectNear(m, glm::orthoRH_ZO(-3.0f, 5.0f, -1.0f, 2.0f, 0.1f, 50.0f));
    D3DXMatrixOrthoLH(&m, 8.0f, 3.0f, 0.1f, 50.0f);
    expectNear(m, glm::orthoLH_ZO(-4.0f, 4.0f, -1.5f, 1.5f, 0.1f, 50.0f));
    D3DXMatrixOrthoRH(&m, 8.0f, 3.0f, 0.1f, 50.0f);
    expectNear(m, glm::orthoRH_ZO(-4.0f, 4.0f, -1.5f, 1.5f, 0.1f, 50.0f));
}

TEST(D3dxMath, PerspectiveMapsNearAndFarToZeroAndOne)
{
    D3DXMATRIX m;
    D3DXMatrixPerspectiveFovLH(&m, D3DX_PI / 4, 1.0f, 1.0f, 100.0f);
    D3DXVECTOR3 nearPt(0, 0, 1), farPt(0, 0, 100), r;
    D3DXVec3TransformCoord(&r, &nearPt, &m);
    EXPECT_NEAR(r.z, 0.0f, 1e-6f);
    D3DXVec3TransformCoord(&r, &farPt, &m);
    EXPECT_NEAR(r.z, 1.0f, 1e-6f);
}

TEST(D3dxMath, VectorTransforms)
{
    D3DXMATRIX m = sampleMatrices()[2];
    glm::mat4 g = toGlm(m);
    D3DXVECTOR3 v(0.3f, -1.2f, 2.0f);
    glm::vec4 p = g * glm::vec4(0.3f, -1.2f, 2.0f, 1.0f);
    glm::vec4 n = g * glm::vec4(0.3f, -1.2f, 2.0f, 0.0f);

    D3DXVECTOR4 v4;
    D3DXVec3Transform(&v4, &v, &m);
    EXPECT_NEAR(v4.x, p.x, 1e-5f);
    EXPECT_NEAR(v4.w, p.w, 1e-5f);
    D3DXVECTOR3 r;
    D3DXVec3TransformCoord(&r, &v, &m);
    expectNear(r, glm::vec3(p) / p.w, 1e-4f);
    D3DXVec3TransformNormal(&r, &v, &m);
    expectNear(r, glm::vec3(n));

    D3DXVECTOR4 in(1.0f, 2.0f, -3.0f, 0.5f), out;
    D3DXVec4Transform(&out, &in, &m);
    glm::vec4 e = g * glm::vec4(1.0f, 2.0f, -3.0f, 0.5f);
    EXPECT_NEAR(out.x, e.x, 1e-5f);
    EXPECT_NEAR(out.y, e.y, 1e-5f);
    EXPECT_NEAR(out.z, e.z, 1e-5f);
    EXPECT_NEAR(out.w, e.w, 1e-5f);

    // Strided arrays: every element transformed, padding untouched.
    struct Vertex {
        D3DXVECTOR3 pos;
        float pad;
    } verts[3] = {{D3DXVECTOR3(1, 0, 0), 7.0f}, {D3DXVECTOR3(0, 1, 0), 7.0f}, {D3DXVECTOR3(0.3f, -1.2f, 2.0f), 7.0f}};
    D3DXVec3TransformCoordArray(&verts[0].pos, sizeof(Vertex), &verts[0].pos, sizeof(Vertex), &m, 3);
    expectNear(verts[2].pos, glm::vec3(p) / p.w, 1e-4f);
    EXPECT_EQ(verts[1].pad, 7.0f);
}

TEST(D3dxMath, VectorBasics)
{
    D3DXVECTOR3 a(1, 2, 3), b(-4, 0.5f, 2), r;
    D3DXVec3Cross(&r, &a, &b);
    expectNear(r, glm::cross(glm::vec3(1, 2, 3), glm::vec3(-4, 0.5f, 2)));
    EXPECT_FLOAT_EQ(D3DXVec3Dot(&a, &b), glm::dot(glm::vec3(1, 2, 3), glm::vec3(-4, 0.5f, 2)));
    D3DXVec3Normalize(&r, &a);
    expectNear(r, glm::normalize(glm::vec3(1, 2, 3)));
    D3DXVECTOR3 zero(0, 0, 0);
    D3DXVec3Normalize(&r, &zero);
    EXPECT_EQ(r, zero);
    D3DXVec3Lerp(&r, &a, &b, 0.25f);
    expectNear(r, glm::mix(glm::vec3(1, 2, 3), glm::vec3(-4, 0.5f, 2), 0.25f));
    EXPECT_EQ(a + b, D3DXVECTOR3(-3, 2.5f, 5));
    EXPECT_EQ(2.0f * a - b, D3DXVECTOR3(6, 3.5f, 4));

    D3DXVECTOR4 v4(1, -2, 2, 4), n4;
    D3DXVec4Normalize(&n4, &v4);
    EXPECT_FLOAT_EQ(n4.w, 0.8f);
    // The 4D cross product is orthogonal to its three inputs.
    D3DXVECTOR4 p(1, 2, 3, 4), q(-1, 0.5f, 2, 1), s(0, 1, -1, 2), c;
    D3DXVec4Cross(&c, &p, &q, &s);
    EXPECT_NEAR(D3DXVec4Dot(&c, &p), 0.0f, 1e-4f);
    EXPECT_NEAR(D3DXVec4Dot(&c, &q), 0.0f, 1e-4f);
    EXPECT_NEAR(D3DXVec4Dot(&c, &s), 0.0f, 1e-4f);
    EXPECT_GT(D3DXVec4Length(&c), 1.0f);

    // Hermite and Catmull-Rom pass through their end points.
    D3DXVECTOR3 t1(1, 0, 0), t2(0, 1, 0), v0(-5, 0, 0), v3(9, 9, 9);
    D3DXVec3Hermite(&r, &a, &t1, &b, &t2, 0.0f);
    EXPECT_EQ(r, a);
    D3DXVec3Hermite(&r, &a, &t1, &b, &t2, 1.0f);
    expectNear(r, glm::vec3(-4, 0.5f, 2));
    D3DXVec3CatmullRom(&r, &v0, &a, &b, &v3, 0.0f);
    expectNear(r, glm::vec3(1, 2, 3));
    D3DXVec3CatmullRom(&r, &v0, &a, &b, &v3, 1.0f);
    expectNear(r, glm::vec3(-4, 0.5f, 2));
    D3DXVec3BaryCentric(&r, &a, &b, &v3, 0.5f, 0.25f);
    expectNear(r, glm::vec3(1, 2, 3) + 0.5f * (glm::vec3(-4, 0.5f, 2) - glm::vec3(1, 2, 3)) +
                      0.25f * (glm::vec3(9, 9, 9) - glm::vec3(1, 2, 3)));
}

TEST(D3dxMath, ProjectAndUnprojectRoundTrip)
{
    D3DXMATRIX world, view, proj;
    D3DXMatrixRotationY(&world, 0.4f);
    D3DXVECTOR3 eye(0, 2, -10), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 4, 640.0f / 480.0f, 1.0f, 100.0f);
    D3DVIEWPORT9 vp = {10, 20, 640, 480, 0.0f, 1.0f};
    D3DXVECTOR3 p(1, 0.5f, -2), s, back;
    ASSERT_NE(D3DXVec3Project(&s, &p, &vp, &proj, &view, &world), nullptr);
    glm::vec3 g = glm::projectZO(glm::vec3(1, 0.5f, -2), toGlm(view) * toGlm(world), toGlm(proj),
                                 glm::vec4(10, 20, 640, 480));
    // GLM's window y grows upward; the viewport's grows downward.
    EXPECT_NEAR(s.x, g.x, 1e-3f);
    EXPECT_NEAR(s.y, 20 + 480 - (g.y - 20), 1e-3f);
    EXPECT_NEAR(s.z, g.z, 1e-5f);
    ASSERT_NE(D3DXVec3Unproject(&back, &s, &vp, &proj, &view, &world), nullptr);
    expectNear(back, glm::vec3(1, 0.5f, -2), 1e-3f);
}

TEST(D3dxMath, QuaternionsMatchGlm)
{
    D3DXVECTOR3 axis(0.2f, 1.0f, -0.4f);
    glm::vec3 gaxis = glm::normalize(glm::vec3(0.2f, 1.0f, -0.4f));
    D3DXQUATERNION q1, q2, r;
    D3DXQuaternionRotationAxis(&q1, &axis, 1.1f);
    glm::quat g1 = glm::angleAxis(1.1f, gaxis);
    expectNear(q1, g1);
    D3DXVECTOR3 axis2(1, 0, 0.5f);
    D3DXQuaternionRotationAxis(&q2, &axis2, -0.6f);
    glm::quat g2 = glm::angleAxis(-0.6f, glm::normalize(glm::vec3(1, 0, 0.5f)));

    // Multiply(q1, q2) rotates by q1 first: glm's q2 * q1.
    D3DXQuaternionMultiply(&r, &q1, &q2);
    expectNear(r, g2 * g1);
    expectNear(q1 * q2, g2 * g1);
    D3DXMATRIX m, m1, m2;
    D3DXMatrixRotationQuaternion(&m, &r);
    D3DXMatrixRotationQuaternion(&m1, &q1);
    D3DXMatrixRotationQuaternion(&m2, &q2);
    expectNear(m, toGlm(m1 * m2));
    expectNear(m1, glm::mat4_cast(g1));

    D3DXQUATERNION back;
    D3DXQuaternionRotationMatrix(&back, &m1);
    if (back.w * q1.w < 0)
        back = -back;
    expectNear(back, g1);
    // Every branch of the matrix-to-quaternion conversion.
    for (float angle : {3.0f, -3.0f, 0.1f})
        for (const glm::vec3& ax : {kAxisX, kAxisY, kAxisZ, glm::normalize(glm::vec3(1, 1, 1))}) {
            glm::quat g = glm::angleAxis(angle, ax);
            D3DXMATRIX rm = fromGlm(glm::mat4_cast(g));
            D3DXQuaternionRotationMatrix(&back, &rm);
            if (back.x * g.x + back.y * g.y + back.z * g.z + back.w * g.w < 0)
                back = -back;
            expectNear(back, g, 1e-4f);
        }

    for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
        D3DXQuaternionSlerp(&r, &q1, &q2, t);
        expectNear(r, glm::slerp(g1, g2, t), 1e-4f);
    }
    // The shorter arc is taken even when the second quaternion is negated.
    D3DXQUATERNION nq2 = -q2, viaNeg;
    D3DXQuaternionSlerp(&r, &q1, &q2, 0.4f);
    D3DXQuaternionSlerp(&viaNeg, &q1, &nq2, 0.4f);
    D3DXMatrixRotationQuaternion(&m1, &r);
    D3DXMatrixRotationQuaternion(&m2, &viaNeg);
    expectNear(m1, toGlm(m2), 1e-4f);

    D3DXQuaternionInverse(&r, &q1);
    expectNear(r, glm::inverse(g1));
    D3DXQuaternionConjugate(&r, &q1);
    expectNear(r, glm::conjugate(g1));
    D3DXQUATERNION big(1, 2, 3, 4);
    D3DXQuaternionNormalize(&r, &big);
    expectNear(r, glm::normalize(glm::quat(4, 1, 2, 3)));

    // Ln and Exp are inverse for unit quaternions.
    D3DXQUATERNION ln, ex;
    D3DXQuaternionLn(&ln, &q1);
    EXPECT_EQ(ln.w, 0.0f);
    D3DXQuaternionExp(&ex, &ln);
    expectNear(ex, g1);

    D3DXVECTOR3 outAxis;
    FLOAT angle;
    D3DXQuaternionToAxisAngle(&q1, &outAxis, &angle);
    EXPECT_NEAR(angle, 1.1f, 1e-5f);
}

TEST(D3dxMath, DecomposeRecoversTransform)
{
    D3DXVECTOR3 axis(1, 2, 3), s(2, 3, 0.5f), t(4, -5, 6);
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &axis, 0.7f);
    D3DXMATRIX m;
    D3DXMatrixTransformation(&m, nullptr, nullptr, &s, nullptr, &q, &t);
    glm::mat4 g = glm::translate(glm::mat4(1.0f), glm::vec3(4, -5, 6)) *
                  glm::mat4_cast(glm::angleAxis(0.7f, glm::normalize(glm::vec3(1, 2, 3)))) *
                  glm::scale(glm::mat4(1.0f), glm::vec3(2, 3, 0.5f));
    expectNear(m, g);
    D3DXVECTOR3 os, ot;
    D3DXQUATERNION oq;
    ASSERT_EQ(D3DXMatrixDecompose(&os, &oq, &ot, &m), S_OK);
    expectNear(os, glm::vec3(2, 3, 0.5f), 1e-5f);
    expectNear(ot, glm::vec3(4, -5, 6));
    if (oq.w * q.w < 0)
        oq = -oq;
    EXPECT_NEAR(oq.x, q.x, 1e-5f);
    EXPECT_NEAR(oq.w, q.w, 1e-5f);

    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 0, 1);
    EXPECT_TRUE(FAILED(D3DXMatrixDecompose(&os, &oq, &ot, &flat)));

    // Rotation about a centre keeps the centre fixed.
    D3DXVECTOR3 centre(1, 1, 0), moved;
    D3DXMatrixAffineTransformation(&m, 1.0f, &centre, &q, nullptr);
    D3DXVec3TransformCoord(&moved, &centre, &m);
    expectNear(moved, glm::vec3(1, 1, 0));
}

TEST(D3dxMath, PlanesFromPointsAndFrustumWinding)
{
    D3DXVECTOR3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    D3DXPLANE p;
    D3DXPlaneFromPoints(&p, &a, &b, &c);
    // (b - a) x (c - a) = +z.
    EXPECT_FLOAT_EQ(p.c, 1.0f);
    EXPECT_FLOAT_EQ(p.d, 0.0f);
    D3DXVECTOR3 a2(0, 0, 5), b2(2, 0, 5), c2(0, 3, 5), above(1, 1, 7);
    D3DXPlaneFromPoints(&p, &a2, &b2, &c2);
    EXPECT_FLOAT_EQ(D3DXPlaneDotCoord(&p, &above), 2.0f);

    D3DXPLANE scaled(0, 0, 4, -20), n;
    D3DXPlaneNormalize(&n, &scaled);
    EXPECT_EQ(n, D3DXPLANE(0, 0, 1, -5));

    D3DXVECTOR3 from(0, 0, 0), to(0, 0, 10), hit;
    ASSERT_NE(D3DXPlaneIntersectLine(&hit, &n, &from, &to), nullptr);
    expectNear(hit, glm::vec3(0, 0, 5));
    D3DXVECTOR3 sideways(1, 0, 0);
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &n, &from, &sideways), nullptr);

    // A plane moved with a translation: transform by the inverse transpose.
    D3DXMATRIX t, inv, invT;
    D3DXMatrixTranslation(&t, 0, 0, 3);
    D3DXMatrixInverse(&inv, nullptr, &t);
    D3DXMatrixTranspose(&invT, &inv);
    D3DXPlaneTransform(&p, &n, &invT);
    EXPECT_NEAR(p.d, -8.0f, 1e-6f);
}

TEST(D3dxMath, ShadowAndReflect)
{
    D3DXPLANE ground(0, 1, 0, 0);
    D3DXMATRIX m;
    D3DXMatrixReflect(&m, &ground);
    D3DXVECTOR3 v(1, 2, 3), r;
    D3DXVec3TransformCoord(&r, &v, &m);
    expectNear(r, glm::vec3(1, -2, 3));
    D3DXVECTOR4 sun(0, 1, 0, 0);
    D3DXMatrixShadow(&m, &sun, &ground);
    D3DXVec3TransformCoord(&r, &v, &m);
    expectNear(r, glm::vec3(1, 0, 3));
}

TEST(D3dxMath, ColoursConvertAndMix)
{
    D3DXCOLOR c(0xFF8040C0);
    EXPECT_FLOAT_EQ(c.a, 1.0f);
    EXPECT_FLOAT_EQ(c.r, 128.0f / 255.0f);
    EXPECT_EQ((DWORD)c, 0xFF8040C0u);
    EXPECT_EQ((DWORD)D3DXCOLOR(2.0f, -1.0f, 0.5f, 1.0f), 0xFFFF0080u);
    D3DXCOLOR a(1, 0, 0, 1), b(0, 0, 1, 0), r;
    D3DXColorLerp(&r, &a, &b, 0.25f);
    EXPECT_EQ(r, D3DXCOLOR(0.75f, 0, 0.25f, 0.75f));
    D3DXColorModulate(&r, &a, &c);
    EXPECT_FLOAT_EQ(r.r, c.r);
    EXPECT_EQ(r.g, 0.0f);
    D3DXColorNegative(&r, &a);
    EXPECT_EQ(r, D3DXCOLOR(0, 1, 1, 1));
    D3DXCOLOR grey(0.5f, 0.5f, 0.5f, 0.3f);
    D3DXColorAdjustSaturation(&r, &grey, 3.0f);
    EXPECT_NEAR(r.r, 0.5f, 1e-6f);
    D3DXColorAdjustContrast(&r, &a, 0.0f);
    EXPECT_EQ(r, D3DXCOLOR(0.5f, 0.5f, 0.5f, 1));
    const D3DCOLORVALUE& cv = a;
    EXPECT_EQ(cv.r, 1.0f);
}
