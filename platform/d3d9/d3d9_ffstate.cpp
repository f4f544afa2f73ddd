// The fixed-function state of a draw: the two halves of its key, and the
// uniforms derived from the device's states.
#include "d3d9_device.h"
#include "d3d9_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9gl {

namespace {
void Mul(const D3DMATRIX& a, const D3DMATRIX& b, float out[16])
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            out[i * 4 + j] = s;
        }
}

// Transpose of the inverse; the identity when m cannot be inverted.
void InverseTranspose(const float m[16], float out[16])
{
    double inv[16];
    const float* a = m;
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
             a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
             a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
             a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
              a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
             a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
             a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
             a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
              a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
             a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
              a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
              a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
             a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
    double det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    if (std::fabs(det) < 1e-30) {
        for (int i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0f : 0.0f;
        return;
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out[j * 4 + i] = (float)(inv[i * 4 + j] / det);
}
} // namespace

// ---- Uniforms -------------------------------------------------------------------------------
void Device::ComputeFFUniforms()
{
    const DeviceState& st = m_state;
    const DWORD* rs = st.rs;
    if (m_ffComputed[UTransforms] != m_serial[UTransforms] || m_ffComputedMatrices < m_blendMatrices) {
        for (int k = 0; k < m_blendMatrices; ++k) {
            Mul(st.transforms[10 + k], st.transforms[0], m_ffUniforms.worldView[k]);
            InverseTranspose(m_ffUniforms.worldView[k], m_ffUniforms.normalMat[k]);
        }
        m_ffComputed[UTransforms] = m_serial[UTransforms];
        m_ffComputedMatrices = m_blendMatrices;
    }
    if (m_ffComputed[UProjection] != m_serial[UProjection]) {
        std::memcpy(m_ffUniforms.proj, &st.transforms[1], 64);
        m_ffComputed[UProjection] = m_serial[UProjection];
    }
    if (m_ffComputed[UTexMatrices] != m_serial[UTexMatrices]) {
        for (int i = 0; i < 8; ++i) std::memcpy(m_ffUniforms.texMat[i], &st.transforms[2 + i], 64);
        m_ffComputed[UTexMatrices] = m_serial[UTexMatrices];
    }
    if (m_ffComputed[ULights] != m_serial[ULights]) {
        const D3DMATRIX& v = st.transforms[0];
        int n = 0;
        for (const auto& e : st.lights) {
            if (!e.second.enabled || n >= 8) continue;
            const D3DLIGHT9& l = e.second.light;
            std::memcpy(m_ffUniforms.lightDiffuse[n], &l.Diffuse, 16);
            std::memcpy(m_ffUniforms.lightSpecular[n], &l.Specular, 16);
            std::memcpy(m_ffUniforms.lightAmbient[n], &l.Ambient, 16);
            const float px = l.Position.x, py = l.Position.y, pz = l.Position.z;
            m_ffUniforms.lightPos[n][0] = px * v._11 + py * v._21 + pz * v._31 + v._41;
            m_ffUniforms.lightPos[n][1] = px * v._12 + py * v._22 + pz * v._32 + v._42;
            m_ffUniforms.lightPos[n][2] = px * v._13 + py * v._23 + pz * v._33 + v._43;
            m_ffUniforms.lightPos[n][3] = 1.0f;
            const float dx = l.Direction.x, dy = l.Direction.y, dz = l.Direction.z;
            float ex = dx * v._11 + dy * v._21 + dz * v._31;
            float ey = dx * v._12 + dy * v._22 + dz * v._32;
            float ez = dx * v._13 + dy * v._23 + dz * v._33;
            float len = std::sqrt(ex * ex + ey * ey + ez * ez);
            if (len > 0) {
                ex /= len;
                ey /= len;
                ez /= len;
            }
            m_ffUniforms.lightDir[n][0] = ex;
            m_ffUniforms.lightDir[n][1] = ey;
            m_ffUniforms.lightDir[n][2] = ez;
            m_ffUniforms.lightDir[n][3] = 0.0f;
            m_ffUniforms.lightAtt[n][0] = l.Attenuation0;
            m_ffUniforms.lightAtt[n][1] = l.Attenuation1;
            m_ffUniforms.lightAtt[n][2] = l.Attenuation2;
            m_ffUniforms.lightAtt[n][3] = l.Range;
            m_ffUniforms.lightSpot[n][0] = std::cos(l.Theta * 0.5f);
            m_ffUniforms.lightSpot[n][1] = std::cos(l.Phi * 0.5f);
            m_ffUniforms.lightSpot[n][2] = l.Falloff;
            m_ffUniforms.lightSpot[n][3] = 0.0f;
            ++n;
        }
        m_ffUniforms.lightCount = n;
        m_ffComputed[ULights] = m_serial[ULights];
    }
    if (m_ffComputed[UMaterial] != m_serial[UMaterial]) {
        std::memcpy(m_ffUniforms.matDiffuse, &st.material.Diffuse, 16);
        std::memcpy(m_ffUniforms.matAmbient, &st.material.Ambient, 16);
        std::memcpy(m_ffUniforms.matSpecular, &st.material.Specular, 16);
        std::memcpy(m_ffUniforms.matEmissive, &st.material.Emissive, 16);
        m_ffUniforms.matPower = st.material.Power;
        ColorToFloat(rs[D3DRS_AMBIENT], m_ffUniforms.globalAmbient);
        m_ffComputed[UMaterial] = m_serial[UMaterial];
    }
    if (m_ffComputed[UFog] != m_serial[UFog]) {
        m_ffUniforms.fog[0] = DwordFloat(rs[D3DRS_FOGSTART]);
        m_ffUniforms.fog[1] = DwordFloat(rs[D3DRS_FOGEND]);
        m_ffUniforms.fog[2] = DwordFloat(rs[D3DRS_FOGDENSITY]);
        m_ffUniforms.fog[3] = st.transforms[1]._34 != 0.0f ? 1.0f : 0.0f;
        ColorToFloat(rs[D3DRS_FOGCOLOR], m_ffUniforms.fogColor);
        m_ffComputed[UFog] = m_serial[UFog];
    }
    if (m_ffComputed[UPoint] != m_serial[UPoint]) {
        m_ffUniforms.point[0] = DwordFloat(rs[D3DRS_POINTSIZE]);
        m_ffUniforms.point[1] = DwordFloat(rs[D3DRS_POINTSIZE_MIN]);
        m_ffUniforms.point[2] = std::min(DwordFloat(rs[D3DRS_POINTSIZE_MAX]), m_caps.MaxPointSize);
        m_ffUniforms.point[3] = (float)st.viewport.Height;
        m_ffUniforms.pointScale[0] = DwordFloat(rs[D3DRS_POINTSCALE_A]);
        m_ffUniforms.pointScale[1] = DwordFloat(rs[D3DRS_POINTSCALE_B]);
        m_ffUniforms.pointScale[2] = DwordFloat(rs[D3DRS_POINTSCALE_C]);
        m_ffUniforms.pointScale[3] = 0.0f;
        m_ffComputed[UPoint] = m_serial[UPoint];
    }
    if (m_ffComputed[UPixel] != m_serial[UPixel]) {
        ColorToFloat(rs[D3DRS_TEXTUREFACTOR], m_ffUniforms.tfactor);
        for (int i = 0; i < 8; ++i) ColorToFloat(st.tss[i][D3DTSS_CONSTANT], m_ffUniforms.stageConst[i]);
        m_ffUniforms.alphaRef = (float)(rs[D3DRS_ALPHAREF] & 0xFF);
        m_ffComputed[UPixel] = m_serial[UPixel];
    }
    if (m_ffComputed[UViewport] != m_serial[UViewport]) {
        const D3DVIEWPORT9& v = st.viewport;
        m_ffUniforms.viewport[0] = (float)v.X;
        m_ffUniforms.viewport[1] = (float)v.Y;
        m_ffUniforms.viewport[2] = (float)std::max<DWORD>(v.Width, 1);
        m_ffUniforms.viewport[3] = (float)std::max<DWORD>(v.Height, 1);
        m_ffComputed[UViewport] = m_serial[UViewport];
    }
}


void Device::UploadFFUniforms(Program* p)
{
    const FFUniforms& u = m_ffUniforms;
    uint32_t* up = p->uploaded;
    const uint32_t* s = m_serial;
    uint64_t& count = m_gl.counters.uniformUploads;
    if (up[UTransforms] != s[UTransforms] || p->uploadedMatrices != m_blendMatrices) {
        if (p->wv >= 0) gl.glUniformMatrix4fv(p->wv, m_blendMatrices, 0, u.worldView[0]);
        if (p->nm >= 0) gl.glUniformMatrix4fv(p->nm, m_blendMatrices, 0, u.normalMat[0]);
        up[UTransforms] = s[UTransforms];
        p->uploadedMatrices = m_blendMatrices;
        ++count;
    }
    if (up[UProjection] != s[UProjection]) {
        if (p->proj >= 0) gl.glUniformMatrix4fv(p->proj, 1, 0, u.proj);
        up[UProjection] = s[UProjection];
        ++count;
    }
    if (up[UViewport] != s[UViewport]) {
        if (p->vp >= 0) gl.glUniform4fv(p->vp, 1, u.viewport);
        // Half a pixel, and window rows from the target's (reversed in the window).
        float off[4] = {1.0f / u.viewport[2], 1.0f / u.viewport[3], m_boundWindow ? (float)m_backBuffer->height : 0.0f,
                        m_boundWindow ? -1.0f : 1.0f};
        if (p->vpoff >= 0) gl.glUniform4fv(p->vpoff, 1, off);
        up[UViewport] = s[UViewport];
        ++count;
    }
    if (up[UTexMatrices] != s[UTexMatrices]) {
        if (p->texm >= 0) gl.glUniformMatrix4fv(p->texm, 8, 0, u.texMat[0]);
        up[UTexMatrices] = s[UTexMatrices];
        ++count;
    }
    if (up[ULights] != s[ULights]) {
        const int n = std::max(u.lightCount, 1);
        if (p->ld >= 0) gl.glUniform4fv(p->ld, n, u.lightDiffuse[0]);
        if (p->ls >= 0) gl.glUniform4fv(p->ls, n, u.lightSpecular[0]);
        if (p->la >= 0) gl.glUniform4fv(p->la, n, u.lightAmbient[0]);
        if (p->lp >= 0) gl.glUniform4fv(p->lp, n, u.lightPos[0]);
        if (p->ldir >= 0) gl.glUniform4fv(p->ldir, n, u.lightDir[0]);
        if (p->latt >= 0) gl.glUniform4fv(p->latt, n, u.lightAtt[0]);
        if (p->lspot >= 0) gl.glUniform4fv(p->lspot, n, u.lightSpot[0]);
        up[ULights] = s[ULights];
        ++count;
    }
    if (up[UMaterial] != s[UMaterial]) {
        if (p->md >= 0) gl.glUniform4fv(p->md, 1, u.matDiffuse);
        if (p->ma >= 0) gl.glUniform4fv(p->ma, 1, u.matAmbient);
        if (p->ms >= 0) gl.glUniform4fv(p->ms, 1, u.matSpecular);
        if (p->me >= 0) gl.glUniform4fv(p->me, 1, u.matEmissive);
        if (p->mp >= 0) gl.glUniform1f(p->mp, u.matPower);
        if (p->gamb >= 0) gl.glUniform4fv(p->gamb, 1, u.globalAmbient);
        up[UMaterial] = s[UMaterial];
        ++count;
    }
    if (up[UFog] != s[UFog]) {
        if (p->fog >= 0) gl.glUniform4fv(p->fog, 1, u.fog);
        if (p->fogc >= 0) gl.glUniform4fv(p->fogc, 1, u.fogColor);
        up[UFog] = s[UFog];
        ++count;
    }
    if (up[UPoint] != s[UPoint]) {
        if (p->point >= 0) gl.glUniform4fv(p->point, 1, u.point);
        if (p->pscale >= 0) gl.glUniform4fv(p->pscale, 1, u.pointScale);
        up[UPoint] = s[UPoint];
        ++count;
    }
    if (up[UPixel] != s[UPixel]) {
        if (p->tf >= 0) gl.glUniform4fv(p->tf, 1, u.tfactor);
        if (p->cst >= 0) gl.glUniform4fv(p->cst, 8, u.stageConst[0]);
        if (p->aref >= 0) gl.glUniform1f(p->aref, u.alphaRef);
        up[UPixel] = s[UPixel];
        ++count;
    }
}

namespace {
bool OpReads(DWORD op, const DWORD* t, D3DTEXTURESTAGESTATETYPE arg0, D3DTEXTURESTAGESTATETYPE arg1,
             D3DTEXTURESTAGESTATETYPE arg2)
{
    if (op == D3DTOP_DISABLE) return false;
    if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
    auto tex = [&](D3DTEXTURESTAGESTATETYPE a) { return (t[a] & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
    if ((op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP) && tex(arg0)) return true;
    if (op != D3DTOP_SELECTARG2 && tex(arg1)) return true;
    return op != D3DTOP_SELECTARG1 && tex(arg2);
}
} // namespace

bool ColorReadsTexture(const DWORD* t)
{
    return OpReads(t[D3DTSS_COLOROP], t, D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2);
}

// ---- Key halves -----------------------------------------------------------------------------
int Device::ActiveStages() const
{
    int n = 0;
    for (; n < kMaxStages; ++n) {
        const DWORD* t = m_state.tss[n];
        if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE || t[D3DTSS_COLOROP] > D3DTOP_LERP) break;
        // A stage whose colour reads a texture it does not have ends the
        // chain, as a disabled one does: what reaches it passes on unchanged.
        // Its alpha alone reading one does not: there the texture reads as
        // the diffuse colour.
        if (!m_state.textures[n] && ColorReadsTexture(t)) break;
    }
    return n;
}

void Device::BuildVertexKey(FFVertexKey& d) const
{
    std::memset(&d, 0, sizeof(d));
    const DWORD* rs = m_state.rs;
    const VertexInput& in = m_layout.input;
    d.pretransformed = in.pretransformed;
    if (!in.pretransformed) {
        const DWORD vb = rs[D3DRS_VERTEXBLEND];
        int weights = 0;
        if (vb >= D3DVBF_1WEIGHTS && vb <= D3DVBF_3WEIGHTS) weights = std::min((int)vb, in.weights);
        d.weights = (uint8_t)weights;
        d.indexed = rs[D3DRS_INDEXEDVERTEXBLENDENABLE] && in.blendIndices && (weights > 0 || vb == D3DVBF_0WEIGHTS);
        d.indicesNormalized = d.indexed && m_layout.indicesNormalized;
        d.palette = d.indexed ? (uint8_t)(m_caps.MaxVertexBlendMatrixIndex + 1) : 0;
    }
    d.normal = in.normal;
    d.psize = in.psize && m_points;
    d.color0 = in.color0;
    d.color1 = in.color1;
    d.texSets = (uint8_t)in.texSets;
    for (int i = 0; i < 8; ++i) d.texSize[i] = (uint8_t)in.texSize[i];
    d.lighting = rs[D3DRS_LIGHTING] && !in.pretransformed;
    d.specular = rs[D3DRS_SPECULARENABLE] ? 1 : 0;
    if (d.lighting) {
        d.localViewer = rs[D3DRS_LOCALVIEWER] ? 1 : 0;
        auto source = [&](DWORD s) -> uint8_t {
            if (!rs[D3DRS_COLORVERTEX]) return 0;
            if (s == D3DMCS_COLOR1 && in.color0) return 1;
            if (s == D3DMCS_COLOR2 && in.color1) return 2;
            return 0;
        };
        d.diffuseSource = source(rs[D3DRS_DIFFUSEMATERIALSOURCE]);
        d.specularSource = source(rs[D3DRS_SPECULARMATERIALSOURCE]);
        d.ambientSource = source(rs[D3DRS_AMBIENTMATERIALSOURCE]);
        d.emissiveSource = source(rs[D3DRS_EMISSIVEMATERIALSOURCE]);
        for (const auto& e : m_state.lights) {
            if (!e.second.enabled || d.lightCount >= 8) continue;
            d.lightType[d.lightCount++] = (uint8_t)e.second.light.Type;
        }
    }
    d.normalize = rs[D3DRS_NORMALIZENORMALS] ? 1 : 0;
    if (rs[D3DRS_FOGENABLE]) {
        d.fog = 1;
        d.tableFog = (uint8_t)(rs[D3DRS_FOGTABLEMODE] <= D3DFOG_LINEAR ? rs[D3DRS_FOGTABLEMODE] : 0);
        d.vertexFog = (uint8_t)(rs[D3DRS_FOGVERTEXMODE] <= D3DFOG_LINEAR ? rs[D3DRS_FOGVERTEXMODE] : 0);
        d.rangeFog = rs[D3DRS_RANGEFOGENABLE] ? 1 : 0;
    }
    d.points = m_points;
    d.pointScale = m_points && rs[D3DRS_POINTSCALEENABLE];
    d.pointSprite = m_points && rs[D3DRS_POINTSPRITEENABLE];
    d.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    d.stageCount = (uint8_t)ActiveStages();
    for (int n = 0; n < d.stageCount; ++n) {
        const DWORD* t = m_state.tss[n];
        FFVertexKey::Stage& s = d.stage[n];
        const DWORD tci = t[D3DTSS_TEXCOORDINDEX];
        s.texIndex = (uint8_t)(tci & 7);
        s.texGen = in.pretransformed ? 0 : (uint8_t)((tci >> 16) & 7);
        s.transformCount = in.pretransformed ? 0 : (uint8_t)(t[D3DTSS_TEXTURETRANSFORMFLAGS] & 7);
    }
}

void Device::BuildPixelKey(FFPixelKey& d, bool shaderInputs) const
{
    std::memset(&d, 0, sizeof(d));
    const DWORD* rs = m_state.rs;
    d.specular = rs[D3DRS_SPECULARENABLE] ? 1 : 0;
    if (rs[D3DRS_FOGENABLE]) {
        d.fog = 1;
        d.tableFog = (uint8_t)(rs[D3DRS_FOGTABLEMODE] <= D3DFOG_LINEAR ? rs[D3DRS_FOGTABLEMODE] : 0);
    }
    d.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    d.pointSprite = !shaderInputs && m_points && rs[D3DRS_POINTSPRITEENABLE];
    d.shaderInputs = shaderInputs;
    d.stageCount = (uint8_t)ActiveStages();
    const bool pretransformed = m_layout.input.pretransformed;
    for (int n = 0; n < d.stageCount; ++n) {
        const DWORD* t = m_state.tss[n];
        FFPixelKey::Stage& s = d.stage[n];
        s.colorOp = (uint8_t)t[D3DTSS_COLOROP];
        s.colorArg[0] = (uint8_t)t[D3DTSS_COLORARG0];
        s.colorArg[1] = (uint8_t)t[D3DTSS_COLORARG1];
        s.colorArg[2] = (uint8_t)t[D3DTSS_COLORARG2];
        s.alphaOp = (uint8_t)(t[D3DTSS_ALPHAOP] <= D3DTOP_LERP ? t[D3DTSS_ALPHAOP] : (DWORD)D3DTOP_DISABLE);
        s.alphaArg[0] = (uint8_t)t[D3DTSS_ALPHAARG0];
        s.alphaArg[1] = (uint8_t)t[D3DTSS_ALPHAARG1];
        s.alphaArg[2] = (uint8_t)t[D3DTSS_ALPHAARG2];
        s.resultTemp = (t[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
        s.hasTexture = m_state.textures[n] != nullptr;
        // Projected coordinates divide by the last of the components the transform gives.
        const DWORD ttf = t[D3DTSS_TEXTURETRANSFORMFLAGS];
        s.projected = (ttf & D3DTTFF_PROJECTED) ? 1 : 0;
        s.transformCount = shaderInputs || pretransformed ? 0 : (uint8_t)(ttf & 7);
    }
    if (rs[D3DRS_ALPHATESTENABLE]) d.alphaFunc = (uint8_t)std::min<DWORD>(rs[D3DRS_ALPHAFUNC], D3DCMP_ALWAYS);
}

} // namespace d3d9gl
