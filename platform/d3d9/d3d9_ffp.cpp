// The fixed-function pipeline as GLSL, and the cache of shader objects and programs.
#include "d3d9_ffp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace d3d9gl {

namespace {
std::string Str(int i) { return std::to_string(i); }

// A stage argument as a GLSL vec4 expression.
std::string Arg(uint8_t a, int stage)
{
    std::string v;
    switch (a & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: v = "diff"; break;
    case D3DTA_CURRENT: v = "cur"; break;
    case D3DTA_TEXTURE: v = "t" + Str(stage); break;
    case D3DTA_TFACTOR: v = "u_tf"; break;
    case D3DTA_SPECULAR: v = "spec"; break;
    case D3DTA_TEMP: v = "temp"; break;
    case D3DTA_CONSTANT: v = "u_cst[" + Str(stage) + "]"; break;
    default: v = "vec4(1.0)"; break;
    }
    if (a & D3DTA_ALPHAREPLICATE) v = "vec4((" + v + ").a)";
    if (a & D3DTA_COMPLEMENT) v = "(vec4(1.0) - " + v + ")";
    return v;
}

// The result of an operation; `sw` picks the channels (".rgb" or ".a").
std::string Op(uint8_t op, const std::string& a0, const std::string& a1, const std::string& a2, int stage,
               const std::string& sw)
{
    const std::string x1 = "(" + a1 + ")" + sw, x2 = "(" + a2 + ")" + sw, x0 = "(" + a0 + ")" + sw;
    const std::string t = "t" + Str(stage);
    switch (op) {
    case D3DTOP_SELECTARG1: return x1;
    case D3DTOP_SELECTARG2: return x2;
    case D3DTOP_MODULATE: return x1 + " * " + x2;
    case D3DTOP_MODULATE2X: return "2.0 * " + x1 + " * " + x2;
    case D3DTOP_MODULATE4X: return "4.0 * " + x1 + " * " + x2;
    case D3DTOP_ADD: return x1 + " + " + x2;
    case D3DTOP_ADDSIGNED: return x1 + " + " + x2 + " - 0.5";
    case D3DTOP_ADDSIGNED2X: return "2.0 * (" + x1 + " + " + x2 + " - 0.5)";
    case D3DTOP_SUBTRACT: return x1 + " - " + x2;
    case D3DTOP_ADDSMOOTH: return x1 + " + " + x2 + " - " + x1 + " * " + x2;
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + x2 + ", " + x1 + ", diff.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + x2 + ", " + x1 + ", " + t + ".a)";
    case D3DTOP_BLENDFACTORALPHA: return "mix(" + x2 + ", " + x1 + ", u_tf.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM: return x1 + " + " + x2 + " * (1.0 - " + t + ".a)";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(" + x2 + ", " + x1 + ", cur.a)";
    case D3DTOP_PREMODULATE: return x1;
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
        return sw == ".a" ? x1 : "(" + a1 + ").rgb + (" + a1 + ").a * (" + a2 + ").rgb";
    case D3DTOP_MODULATECOLOR_ADDALPHA:
        return sw == ".a" ? x1 : "(" + a1 + ").rgb * (" + a2 + ").rgb + vec3((" + a1 + ").a)";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
        return sw == ".a" ? x1 : "(1.0 - (" + a1 + ").a) * (" + a2 + ").rgb + (" + a1 + ").rgb";
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        return sw == ".a" ? x1 : "(vec3(1.0) - (" + a1 + ").rgb) * (" + a2 + ").rgb + vec3((" + a1 + ").a)";
    case D3DTOP_DOTPRODUCT3: {
        std::string d = "clamp(4.0 * dot((" + a1 + ").rgb - 0.5, (" + a2 + ").rgb - 0.5), 0.0, 1.0)";
        return sw == ".a" ? d : "vec3(" + d + ")";
    }
    case D3DTOP_MULTIPLYADD: return x0 + " + " + x1 + " * " + x2;
    case D3DTOP_LERP: return "mix(" + x2 + ", " + x1 + ", " + x0 + ")";
    default: return x1;
    }
}

bool UsesArg(const FFPixelKey::Stage& s, uint8_t which, bool alpha)
{
    const uint8_t op = alpha ? s.alphaOp : s.colorOp;
    if (op == D3DTOP_DISABLE) return false;
    if (which == 0) return op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP;
    if (which == 2) return op != D3DTOP_SELECTARG1;
    return op != D3DTOP_SELECTARG2;
}
} // namespace

std::string FFVertexSource(const FFVertexKey& d)
{
    std::string s = "#version 330 core\n";
    const int matrices = d.pretransformed ? 0 : (d.indexed ? (int)d.palette : d.weights + 1);
    s += "layout(location = 0) in vec4 a_pos;\n";
    if (d.weights) s += "layout(location = 1) in vec4 a_weights;\n";
    if (d.indexed) s += "layout(location = 2) in vec4 a_indices;\n";
    if (d.normal) s += "layout(location = 3) in vec3 a_normal;\n";
    if (d.psize) s += "layout(location = 4) in float a_psize;\n";
    if (d.color0) s += "layout(location = 5) in vec4 a_color0;\n";
    if (d.color1) s += "layout(location = 6) in vec4 a_color1;\n";
    for (int i = 0; i < d.texSets; ++i) s += "layout(location = " + Str(7 + i) + ") in vec4 a_tex" + Str(i) + ";\n";
    if (matrices) {
        s += "uniform mat4 u_wv[" + Str(matrices) + "];\n";
        if (d.normal) s += "uniform mat4 u_nm[" + Str(matrices) + "];\n";
    }
    s += "uniform mat4 u_proj;\nuniform vec4 u_vp;\nuniform vec4 u_vpoff;\nuniform mat4 u_texm[8];\n";
    s += "uniform vec4 u_ld[8], u_ls[8], u_la[8], u_lp[8], u_ldir[8], u_latt[8], u_lspot[8];\n";
    s += "uniform vec4 u_md, u_ma, u_ms, u_me, u_gamb;\nuniform float u_mp;\nuniform vec4 u_fog;\n";
    s += "uniform vec4 u_point, u_pscale;\n";
    const std::string fl = d.flat ? "flat " : "";
    s += fl + "out vec4 v_diff;\n" + fl + "out vec4 v_spec;\nout float v_fog;\nout float v_fogz;\n";
    for (int i = 0; i < d.stageCount; ++i) s += "out vec4 v_tex" + Str(i) + ";\n";
    if (d.pointSprite) s += "flat out vec4 v_sprite;\n";
    s += "void main() {\n";
    s += "  vec4 eye = vec4(0.0, 0.0, 0.0, 1.0);\n  vec3 n = vec3(0.0);\n";
    if (d.pretransformed) {
        // Screen-space vertices: pixel centres at integers, z as depth.
        s += "  float w = a_pos.w > 0.0 ? 1.0 / a_pos.w : 1.0;\n";
        s += "  vec2 ndc = (a_pos.xy + 0.5 - u_vp.xy) / u_vp.zw * 2.0 - 1.0;\n";
        s += "  gl_Position = vec4(ndc * w, (a_pos.z * 2.0 - 1.0) * w, w);\n";
        s += "  eye = vec4(a_pos.xyz, 1.0);\n";
    } else {
        s += "  vec4 p = vec4(a_pos.xyz, 1.0);\n";
        if (matrices == 1) {
            s += "  eye = u_wv[0] * p;\n";
            if (d.normal) s += "  n = mat3(u_nm[0]) * a_normal;\n";
        } else {
            const int count = d.weights + 1;
            s += "  float wsum = 0.0;\n  eye = vec4(0.0);\n";
            for (int k = 0; k < count; ++k) {
                std::string w = k < d.weights ? "a_weights[" + Str(k) + "]" : "(1.0 - wsum)";
                std::string idx = Str(k);
                if (d.indexed)
                    idx = d.indicesNormalized ? "int(a_indices[" + Str(k) + "] * 255.0 + 0.5)"
                                              : "int(a_indices[" + Str(k) + "] + 0.5)";
                s += "  { float wk = " + w + "; int m = clamp(" + idx + ", 0, " + Str(matrices - 1) + ");\n";
                s += "    eye += wk * (u_wv[m] * p);\n";
                if (d.normal) s += "    n += wk * (mat3(u_nm[m]) * a_normal);\n";
                if (k < d.weights) s += "    wsum += wk;\n";
                s += "  }\n";
            }
            s += "  eye.w = 1.0;\n";
        }
        if (d.normalize && d.normal) s += "  n = length(n) > 0.0 ? normalize(n) : n;\n";
        // Direct3D clip space (y up, z from 0 to w) to GL's, rows kept in
        // Direct3D order, pixel centres moved by half a pixel.
        s += "  vec4 c = u_proj * eye;\n";
        s += "  gl_Position = vec4(c.x + c.w * u_vpoff.x, -c.y + c.w * u_vpoff.y, 2.0 * c.z - c.w, c.w);\n";
    }
    s += std::string("  vec4 col0 = ") + (d.color0 ? "a_color0" : "vec4(1.0)") + ";\n";
    s += std::string("  vec4 col1 = ") + (d.color1 ? "a_color1" : "vec4(0.0)") + ";\n";
    if (d.lighting && !d.pretransformed) {
        auto src = [&](uint8_t which, const char* mat) -> std::string {
            return which == 1 ? "col0" : which == 2 ? "col1" : mat;
        };
        s += "  vec4 mdif = " + src(d.diffuseSource, "u_md") + ";\n";
        s += "  vec4 mspc = " + src(d.specularSource, "u_ms") + ";\n";
        s += "  vec4 mamb = " + src(d.ambientSource, "u_ma") + ";\n";
        s += "  vec4 memi = " + src(d.emissiveSource, "u_me") + ";\n";
        s += "  vec3 amb = vec3(0.0), dif = vec3(0.0), spc = vec3(0.0);\n";
        s += "  vec3 V = eye.xyz;\n";
        for (int i = 0; i < d.lightCount; ++i) {
            const std::string I = "[" + Str(i) + "]";
            s += "  {\n    vec3 L; float att = 1.0;\n";
            if (d.lightType[i] == D3DLIGHT_DIRECTIONAL) {
                s += "    L = -u_ldir" + I + ".xyz;\n";
            } else {
                s += "    vec3 dv = u_lp" + I + ".xyz - V; float dist = length(dv);\n";
                s += "    L = dist > 0.0 ? dv / dist : vec3(0.0, 0.0, -1.0);\n";
                s += "    att = dist > u_latt" + I + ".w ? 0.0 : 1.0 / max(u_latt" + I + ".x + u_latt" + I +
                     ".y * dist + u_latt" + I + ".z * dist * dist, 1e-20);\n";
                if (d.lightType[i] == D3DLIGHT_SPOT) {
                    s += "    float rho = dot(-L, u_ldir" + I + ".xyz);\n";
                    s += "    float spot = rho > u_lspot" + I + ".x ? 1.0 : (rho <= u_lspot" + I +
                         ".y ? 0.0 : pow(max((rho - u_lspot" + I + ".y) / max(u_lspot" + I + ".x - u_lspot" + I +
                         ".y, 1e-20), 0.0), u_lspot" + I + ".z));\n";
                    s += "    att *= spot;\n";
                }
            }
            s += "    float ndl = max(dot(n, L), 0.0);\n";
            s += "    amb += u_la" + I + ".rgb * att;\n";
            s += "    dif += u_ld" + I + ".rgb * ndl * att;\n";
            if (d.specular) {
                s += std::string("    vec3 toEye = ") +
                     (d.localViewer ? "length(V) > 0.0 ? normalize(-V) : vec3(0.0, 0.0, -1.0)" : "vec3(0.0, 0.0, -1.0)") +
                     ";\n";
                s += "    vec3 H = normalize(toEye + L);\n";
                s += "    if (ndl > 0.0 && u_mp > 0.0) spc += u_ls" + I + ".rgb * pow(max(dot(n, H), 0.0), u_mp) * att;\n";
            }
            s += "  }\n";
        }
        s += "  v_diff = vec4(clamp(memi.rgb + mamb.rgb * (u_gamb.rgb + amb) + mdif.rgb * dif, 0.0, 1.0), "
             "clamp(mdif.a, 0.0, 1.0));\n";
        if (d.specular) s += "  v_spec = vec4(clamp(mspc.rgb * spc, 0.0, 1.0), clamp(mspc.a, 0.0, 1.0));\n";
        else s += "  v_spec = vec4(0.0);\n";
    } else {
        s += "  v_diff = col0;\n  v_spec = col1;\n";
    }
    // Fog: vertex fog from camera-space depth (or distance with range fog);
    // pre-transformed vertices bring their factor in the specular alpha.
    // Table fog is computed per pixel from v_fogz: camera depth under a
    // perspective projection, else the depth-buffer z; pre-transformed
    // vertices give their z.
    s += "  v_fog = 1.0;\n  v_fogz = 0.0;\n";
    if (d.fog) {
        if (d.tableFog) {
            if (d.pretransformed) s += "  v_fogz = a_pos.z;\n";
            else s += "  v_fogz = u_fog.w != 0.0 ? eye.z : (c.w != 0.0 ? c.z / c.w : c.z);\n";
        } else if (d.pretransformed || !d.vertexFog) {
            // No fog formula applies: the vertex brings its factor in the specular alpha.
            s += "  v_fog = col1.a;\n";
        } else {
            s += std::string("  float fd = ") + (d.rangeFog ? "length(eye.xyz)" : "abs(eye.z)") + ";\n";
            // Equal start and end fog everything.
            if (d.vertexFog == D3DFOG_LINEAR)
                s += "  v_fog = u_fog.y != u_fog.x ? (u_fog.y - fd) / (u_fog.y - u_fog.x) : 0.0;\n";
            else if (d.vertexFog == D3DFOG_EXP)
                s += "  v_fog = exp(-fd * u_fog.z);\n";
            else
                s += "  v_fog = exp(-(fd * u_fog.z) * (fd * u_fog.z));\n";
            s += "  v_fog = clamp(v_fog, 0.0, 1.0);\n";
        }
    }
    for (int i = 0; i < d.stageCount; ++i) {
        const FFVertexKey::Stage& st = d.stage[i];
        std::string tc;
        if (st.texGen == 1) tc = "vec4(n, 1.0)";
        else if (st.texGen == 2) tc = "vec4(eye.xyz, 1.0)";
        else if (st.texGen == 3 || st.texGen == 4) {
            s += "  vec3 r" + Str(i) + " = reflect(length(eye.xyz) > 0.0 ? normalize(eye.xyz) : vec3(0,0,1), n);\n";
            if (st.texGen == 3) tc = "vec4(r" + Str(i) + ", 1.0)";
            else {
                s += "  float m" + Str(i) + " = 2.0 * length(r" + Str(i) + " + vec3(0.0, 0.0, 1.0));\n";
                tc = "vec4(r" + Str(i) + ".xy / max(m" + Str(i) + ", 1e-6) + 0.5, 0.0, 1.0)";
            }
        } else if (st.texIndex < d.texSets) {
            const int sz = d.texSize[st.texIndex];
            const std::string a = "a_tex" + Str(st.texIndex);
            // Coordinates are completed with 1 after the last given one.
            if (sz == 1) tc = "vec4(" + a + ".x, 1.0, 0.0, 0.0)";
            else if (sz == 2) tc = "vec4(" + a + ".xy, 1.0, 0.0)";
            else if (sz == 3) tc = "vec4(" + a + ".xyz, 1.0)";
            else tc = a;
        } else {
            tc = "vec4(0.0, 0.0, 1.0, 0.0)";
        }
        if (st.transformCount) s += "  v_tex" + Str(i) + " = u_texm[" + Str(i) + "] * " + tc + ";\n";
        else s += "  v_tex" + Str(i) + " = " + tc + ";\n";
    }
    if (d.points) {
        s += std::string("  float ps = ") + (d.psize ? "a_psize" : "u_point.x") + ";\n";
        if (d.pointScale && !d.pretransformed) {
            s += "  float de = length(eye.xyz);\n";
            s += "  ps = u_point.w * ps * sqrt(1.0 / max(u_pscale.x + u_pscale.y * de + u_pscale.z * de * de, 1e-20));\n";
        }
        s += "  gl_PointSize = max(clamp(ps, u_point.y, u_point.z), 1.0 / 64.0);\n";
        // Sprite coordinates come from the window position of the fragment
        // against the point's centre, so v = 0 is the point's top row (the
        // centre's row in the target's own order, w the way rows run).
        if (d.pointSprite)
            s += "  v_sprite = vec4(((gl_Position.xy / gl_Position.w * 0.5 + 0.5) * u_vp.zw + u_vp.xy) *\n"
                 "    vec2(1.0, u_vpoff.w) + vec2(0.0, u_vpoff.z), gl_PointSize, u_vpoff.w);\n";
    }
    s += "}\n";
    return s;
}

std::string FFFragmentSource(const FFPixelKey& d)
{
    std::string s = "#version 330 core\n";
    const std::string fl = d.flat ? "flat " : "";
    if (d.shaderInputs) {
        // The vertex shader's outputs by their register names; what the
        // stages do not read is not asked of it.
        bool specular = d.specular != 0;
        for (int i = 0; i < d.stageCount; ++i)
            for (int k = 0; k < 3; ++k)
                specular = specular || (d.stage[i].colorArg[k] & D3DTA_SELECTMASK) == D3DTA_SPECULAR ||
                           (d.stage[i].alphaArg[k] & D3DTA_SELECTMASK) == D3DTA_SPECULAR;
        s += fl + "in vec4 oD0;\n#define v_diff oD0\n";
        s += specular ? fl + "in vec4 oD1;\n#define v_spec oD1\n" : "#define v_spec vec4(0.0)\n";
        s += d.fog ? "in float oFog;\n#define v_fog oFog\n" : "#define v_fog 1.0\n";
        s += "#define v_fogz 0.0\n";
        for (int i = 0; i < d.stageCount; ++i) {
            if (d.stage[i].hasTexture) {
                s += "in vec4 oT" + Str(i) + ";\n#define v_tex" + Str(i) + " oT" + Str(i) + "\n";
                s += "uniform sampler2D s" + Str(i) + ";\n";
            } else {
                s += "#define v_tex" + Str(i) + " vec4(0.0)\n";
            }
        }
    } else {
        s += fl + "in vec4 v_diff;\n" + fl + "in vec4 v_spec;\nin float v_fog;\nin float v_fogz;\n";
        if (d.pointSprite) s += "flat in vec4 v_sprite;\n";
        for (int i = 0; i < d.stageCount; ++i) {
            s += "in vec4 v_tex" + Str(i) + ";\n";
            if (d.stage[i].hasTexture) s += "uniform sampler2D s" + Str(i) + ";\n";
        }
    }
    s += "uniform vec4 u_tf;\nuniform vec4 u_cst[8];\nuniform vec4 u_fogc;\nuniform vec4 u_fog;\nuniform float u_aref;\n";
    s += "out vec4 oC0;\nvoid main() {\n";
    s += "  vec4 diff = v_diff, spec = v_spec, cur = v_diff, temp = vec4(0.0);\n";
    for (int i = 0; i < d.stageCount; ++i) {
        const FFPixelKey::Stage& st = d.stage[i];
        const std::string I = Str(i);
        if (st.hasTexture) {
            std::string coord;
            if (d.pointSprite) coord = "(gl_FragCoord.xy - v_sprite.xy) * vec2(1.0, v_sprite.w) / v_sprite.z + 0.5";
            else if (st.projected && st.transformCount >= 2)
                coord = "v_tex" + I + ".xy / v_tex" + I + "[" + Str(st.transformCount - 1) + "]";
            else coord = "v_tex" + I + ".xy";
            s += "  vec4 t" + I + " = texture(s" + I + ", " + coord + ");\n";
        } else {
            s += "  vec4 t" + I + " = vec4(1.0);\n";
        }
        const std::string c0 = UsesArg(st, 0, false) ? Arg(st.colorArg[0], i) : "vec4(0.0)";
        const std::string c1 = UsesArg(st, 1, false) ? Arg(st.colorArg[1], i) : "vec4(0.0)";
        const std::string c2 = UsesArg(st, 2, false) ? Arg(st.colorArg[2], i) : "vec4(0.0)";
        std::string color = Op(st.colorOp, c0, c1, c2, i, ".rgb");
        std::string alpha;
        if (st.colorOp == D3DTOP_DOTPRODUCT3) {
            alpha = Op(st.colorOp, c0, c1, c2, i, ".a");
        } else if (st.alphaOp == D3DTOP_DISABLE) {
            alpha = "cur.a";
        } else {
            const std::string a0 = UsesArg(st, 0, true) ? Arg(st.alphaArg[0], i) : "vec4(0.0)";
            const std::string a1 = UsesArg(st, 1, true) ? Arg(st.alphaArg[1], i) : "vec4(0.0)";
            const std::string a2 = UsesArg(st, 2, true) ? Arg(st.alphaArg[2], i) : "vec4(0.0)";
            alpha = Op(st.alphaOp, a0, a1, a2, i, ".a");
        }
        s += "  vec4 r" + I + " = clamp(vec4(" + color + ", " + alpha + "), 0.0, 1.0);\n";
        s += std::string("  ") + (st.resultTemp ? "temp" : "cur") + " = r" + I + ";\n";
    }
    if (d.specular) s += "  cur.rgb = clamp(cur.rgb + spec.rgb, 0.0, 1.0);\n";
    if (d.fog && d.shaderInputs) {
        s += "  cur.rgb = mix(u_fogc.rgb, cur.rgb, clamp(v_fog, 0.0, 1.0));\n";
    } else if (d.fog) {
        if (d.tableFog) {
            s += "  float fz = v_fogz, f = 1.0;\n";
            // Equal start and end make a step at the end.
            if (d.tableFog == D3DFOG_LINEAR)
                s += "  f = u_fog.y != u_fog.x ? (u_fog.y - fz) / (u_fog.y - u_fog.x) : (fz < u_fog.y ? 1.0 : 0.0);\n";
            else if (d.tableFog == D3DFOG_EXP)
                s += "  f = exp(-fz * u_fog.z);\n";
            else
                s += "  f = exp(-(fz * u_fog.z) * (fz * u_fog.z));\n";
            s += "  cur.rgb = mix(u_fogc.rgb, cur.rgb, clamp(f, 0.0, 1.0));\n";
        } else {
            s += "  cur.rgb = mix(u_fogc.rgb, cur.rgb, clamp(v_fog, 0.0, 1.0));\n";
        }
    }
    if (d.alphaFunc) {
        static const char* ops[] = {"", "false", "<", "==", "<=", ">", "!=", ">=", "true"};
        if (d.alphaFunc == D3DCMP_NEVER) s += "  discard;\n";
        else if (d.alphaFunc != D3DCMP_ALWAYS)
            s += std::string("  if (!(floor(clamp(cur.a, 0.0, 1.0) * 255.0 + 0.5) ") + ops[d.alphaFunc] +
                 " u_aref)) discard;\n";
    }
    s += "  oC0 = cur;\n}\n";
    return s;
}

bool CompileShaderObject(GLuint& shader, const std::string& source, bool vertex)
{
    shader = gl.glCreateShader(vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    const char* text = source.c_str();
    gl.glShaderSource(shader, 1, &text, nullptr);
    gl.glCompileShader(shader);
    GLint ok = 0;
    gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {0};
        gl.glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
        std::fprintf(stderr, "d3d9: %s shader does not compile:\n%s\n", vertex ? "vertex" : "pixel", log);
        gl.glDeleteShader(shader);
        shader = 0;
        return false;
    }
    return true;
}

// ---- The cache of shaders and programs ------------------------------------------------------
namespace {
size_t HashBytes(const void* p, size_t n)
{
    // FNV-1a over the key's bytes.
    uint64_t h = 1469598103934665603ull;
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return (size_t)h;
}

void FindUniforms(Program* prog, GLuint p)
{
    prog->program = p;
    for (uint32_t& u : prog->uploaded) u = ~0u;
    auto loc = [&](const char* n) { return gl.glGetUniformLocation(p, n); };
    prog->wv = loc("u_wv");
    prog->nm = loc("u_nm");
    prog->proj = loc("u_proj");
    prog->vp = loc("u_vp");
    prog->vpoff = loc("u_vpoff");
    prog->texm = loc("u_texm");
    prog->ld = loc("u_ld");
    prog->ls = loc("u_ls");
    prog->la = loc("u_la");
    prog->lp = loc("u_lp");
    prog->ldir = loc("u_ldir");
    prog->latt = loc("u_latt");
    prog->lspot = loc("u_lspot");
    prog->md = loc("u_md");
    prog->ma = loc("u_ma");
    prog->ms = loc("u_ms");
    prog->me = loc("u_me");
    prog->mp = loc("u_mp");
    prog->gamb = loc("u_gamb");
    prog->fog = loc("u_fog");
    prog->point = loc("u_point");
    prog->pscale = loc("u_pscale");
    prog->tf = loc("u_tf");
    prog->cst = loc("u_cst");
    prog->fogc = loc("u_fogc");
    prog->aref = loc("u_aref");
    prog->vsc = loc("vs_c");
    prog->psc = loc("ps_c");
    prog->vsi = loc("vs_i");
    prog->psi = loc("ps_i");
    prog->vsb = loc("vs_b");
    prog->psb = loc("ps_b");
    prog->shaderVpoff = loc("d3d_vpoff");
    prog->shaderFragY = loc("d3d_fragy");
    prog->afunc = loc("d3d_afunc");
    prog->shaderAref = loc("d3d_aref");
    prog->kvs = loc("k_vs");
    prog->kps = loc("k_ps");
}
} // namespace

bool FFVertexKey::operator==(const FFVertexKey& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
size_t FFVertexKey::Hash() const { return HashBytes(this, sizeof(*this)); }
bool FFPixelKey::operator==(const FFPixelKey& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
size_t FFPixelKey::Hash() const { return HashBytes(this, sizeof(*this)); }

GLuint FFCache::VertexShader(const FFVertexKey& key)
{
    auto it = m_vertex.find(key);
    if (it != m_vertex.end()) return it->second;
    GLuint s = 0;
    ++m_state.counters.shaderCompiles;
    CompileShaderObject(s, FFVertexSource(key), true);
    m_vertex.emplace(key, s);
    return s;
}

GLuint FFCache::FragmentShader(const FFPixelKey& key)
{
    auto it = m_fragment.find(key);
    if (it != m_fragment.end()) return it->second;
    GLuint s = 0;
    ++m_state.counters.shaderCompiles;
    CompileShaderObject(s, FFFragmentSource(key), false);
    m_fragment.emplace(key, s);
    return s;
}

GLuint LinkShaders(GLuint vs, GLuint fs)
{
    GLuint p = gl.glCreateProgram();
    gl.glAttachShader(p, vs);
    gl.glAttachShader(p, fs);
    gl.glBindFragDataLocation(p, 0, "oC0");
    gl.glLinkProgram(p);
    GLint ok = 0;
    gl.glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (ok) return p;
    char log[2048] = {0};
    gl.glGetProgramInfoLog(p, sizeof(log) - 1, nullptr, log);
    std::fprintf(stderr, "d3d9: program does not link:\n%s\n", log);
    gl.glDeleteProgram(p);
    return 0;
}

Program* MakeProgram(GLStateCache& state, GLuint p)
{
    Program* prog = new Program();
    FindUniforms(prog, p);
    // Samplers are fixed: s<n> reads texture unit n.
    state.UseProgram(p);
    for (int i = 0; i < 16; ++i) {
        GLint l = gl.glGetUniformLocation(p, ("s" + std::to_string(i)).c_str());
        if (l >= 0) gl.glUniform1i(l, i);
    }
    return prog;
}

Program* FFCache::Link(GLuint vs, GLuint fs)
{
    if (!vs || !fs) return nullptr;
    const uint64_t key = (uint64_t)vs << 32 | fs;
    auto it = m_programs.find(key);
    if (it != m_programs.end()) return it->second;
    ++m_state.counters.programLinks;
    const GLuint p = LinkShaders(vs, fs);
    Program* prog = p ? MakeProgram(m_state, p) : nullptr;
    m_programs[key] = prog;
    return prog;
}

void FFCache::ForgetShader(GLuint shader)
{
    for (auto it = m_programs.begin(); it != m_programs.end();) {
        if ((GLuint)(it->first >> 32) == shader || (GLuint)it->first == shader) {
            if (it->second) {
                m_state.ForgetProgram(it->second->program);
                gl.glDeleteProgram(it->second->program);
                delete it->second;
            }
            it = m_programs.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace d3d9gl
