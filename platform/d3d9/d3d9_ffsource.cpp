// The fixed-function pipeline as GLSL: one text for both kinds of program.
// It reads the key's fields through K_<field> names; a specialised program
// defines them as the key's values (the compiler folds the branches away),
// the uber program as reads of uniform arrays holding the key's bytes.
#include "d3d9_ffp.h"

#include <cstddef>

namespace d3d9gl {

namespace {
std::string Str(size_t i) { return std::to_string(i); }

// The definitions of the key's names: a field, or the entries of a per-stage
// (or per-light) field. With `key` the values, else reads of `array`.
class KeyNames {
public:
    KeyNames(const void* key, const char* array) : m_key(static_cast<const uint8_t*>(key)), m_array(array) {}

    void Field(const char* name, size_t offset)
    {
        if (m_key)
            text += std::string("#define K_") + name + " " + Str(m_key[offset]) + "\n";
        else
            text += std::string("#define K_") + name + " " + m_array + "[" + Str(offset / 4) + "][" +
                    Str(offset % 4) + "]\n";
    }

    void Indexed(const char* name, size_t offset, size_t stride)
    {
        if (m_key) {
            std::string values;
            for (size_t i = 0; i < 8; ++i) values += (i ? ", " : "") + Str(m_key[offset + i * stride]);
            text += std::string("const int K_") + name + "_[8] = int[8](" + values + ");\n";
            text += std::string("#define K_") + name + "(i) K_" + name + "_[i]\n";
        } else {
            const std::string at = "(" + Str(offset) + " + (i) * " + Str(stride) + ")";
            text += std::string("#define K_") + name + "(i) " + m_array + "[" + at + " / 4][" + at + " % 4]\n";
        }
    }

    std::string text;

private:
    const uint8_t* m_key;
    const char* m_array;
};

std::string VertexKeyNames(const FFVertexKey* key)
{
    using K = FFVertexKey;
    using S = FFVertexKey::Stage;
    KeyNames n(key, "k_vs");
    if (!key) n.text += "uniform ivec4 k_vs[" + Str((sizeof(K) + 3) / 4) + "];\n";
#define F(name) n.Field(#name, offsetof(K, name))
    F(pretransformed); F(weights); F(indexed); F(indicesNormalized); F(normal); F(psize); F(color0); F(color1);
    F(palette); F(texSets); F(lighting); F(specular); F(localViewer); F(normalize); F(diffuseSource);
    F(specularSource); F(ambientSource); F(emissiveSource); F(lightCount); F(fog); F(vertexFog); F(tableFog);
    F(rangeFog); F(points); F(pointScale); F(pointSprite); F(stageCount);
#undef F
    n.Indexed("texSize", offsetof(K, texSize), 1);
    n.Indexed("lightType", offsetof(K, lightType), 1);
    n.Indexed("texIndex", offsetof(K, stage) + offsetof(S, texIndex), sizeof(S));
    n.Indexed("texGen", offsetof(K, stage) + offsetof(S, texGen), sizeof(S));
    n.Indexed("transformCount", offsetof(K, stage) + offsetof(S, transformCount), sizeof(S));
    return n.text;
}

std::string PixelKeyNames(const FFPixelKey* key)
{
    using K = FFPixelKey;
    using S = FFPixelKey::Stage;
    KeyNames n(key, "k_ps");
    if (!key) n.text += "uniform ivec4 k_ps[" + Str((sizeof(K) + 3) / 4) + "];\n";
#define F(name) n.Field(#name, offsetof(K, name))
    F(specular); F(fog); F(tableFog); F(flat); F(pointSprite); F(stageCount); F(alphaFunc); F(shaderInputs);
#undef F
#define G(name, field) n.Indexed(name, offsetof(K, stage) + offsetof(S, field), sizeof(S))
    G("colorOp", colorOp); G("colorArg0", colorArg[0]); G("colorArg1", colorArg[1]); G("colorArg2", colorArg[2]);
    G("alphaOp", alphaOp); G("alphaArg0", alphaArg[0]); G("alphaArg1", alphaArg[1]); G("alphaArg2", alphaArg[2]);
    G("resultTemp", resultTemp); G("hasTexture", hasTexture); G("projected", projected);
    G("transformCount", transformCount);
#undef G
    return n.text;
}

// The vertex half; `matrices` sizes the world-view palette.
std::string VertexText(const std::string& keyNames, int matrices)
{
    std::string s = "#version 330 core\n" + keyNames;
    s += "layout(location = 0) in vec4 a_pos;\nlayout(location = 1) in vec4 a_weights;\n"
         "layout(location = 2) in vec4 a_indices;\nlayout(location = 3) in vec3 a_normal;\n"
         "layout(location = 4) in float a_psize;\nlayout(location = 5) in vec4 a_color0;\n"
         "layout(location = 6) in vec4 a_color1;\n";
    for (int i = 0; i < 8; ++i) s += "layout(location = " + Str(7 + i) + ") in vec4 a_tex" + Str(i) + ";\n";
    s += "uniform mat4 u_wv[" + Str(matrices) + "], u_nm[" + Str(matrices) + "];\n";
    s += "uniform mat4 u_proj;\nuniform vec4 u_vp;\nuniform vec4 u_vpoff;\nuniform mat4 u_texm[8];\n";
    s += "uniform vec4 u_ld[8], u_ls[8], u_la[8], u_lp[8], u_ldir[8], u_latt[8], u_lspot[8];\n";
    s += "uniform vec4 u_md, u_ma, u_ms, u_me, u_gamb;\nuniform float u_mp;\nuniform vec4 u_fog;\n";
    s += "uniform vec4 u_point, u_pscale;\n";
    // Colours go out twice, interpolated and flat; the pixel half picks by the shade mode.
    s += "out vec4 v_diff, v_spec;\nflat out vec4 v_fdiff, v_fspec;\nout float v_fog;\nout float v_fogz;\n";
    for (int i = 0; i < 8; ++i) s += "out vec4 v_tex" + Str(i) + ";\n";
    s += "flat out vec4 v_sprite;\n";
    s += "vec4 TexAttr(int i) {\n";
    for (int i = 0; i < 7; ++i) s += "  if (i == " + Str(i) + ") return a_tex" + Str(i) + ";\n";
    s += "  return a_tex7;\n}\n";
    s += "vec4 Source(int which, vec4 material, vec4 col0, vec4 col1) {\n"
         "  return which == 1 ? col0 : (which == 2 ? col1 : material);\n}\n";
    s += R"(void main() {
  vec4 eye = vec4(0.0, 0.0, 0.0, 1.0);
  vec3 n = vec3(0.0);
  vec4 c = vec4(0.0);
  if (K_pretransformed != 0) {
    // Screen-space vertices: pixel centres at integers, z as depth.
    float w = a_pos.w > 0.0 ? 1.0 / a_pos.w : 1.0;
    vec2 ndc = (a_pos.xy + 0.5 - u_vp.xy) / u_vp.zw * 2.0 - 1.0;
    gl_Position = vec4(ndc * w, (a_pos.z * 2.0 - 1.0) * w, w);
    eye = vec4(a_pos.xyz, 1.0);
  } else {
    vec4 p = vec4(a_pos.xyz, 1.0);
    int matrices = K_indexed != 0 ? K_palette : K_weights + 1;
    if (matrices == 1) {
      eye = u_wv[0] * p;
      if (K_normal != 0) n = mat3(u_nm[0]) * a_normal;
    } else {
      float wsum = 0.0;
      eye = vec4(0.0);
      for (int k = 0; k <= K_weights; ++k) {
        float wk = k < K_weights ? a_weights[k] : (1.0 - wsum);
        int idx = k;
        if (K_indexed != 0)
          idx = K_indicesNormalized != 0 ? int(a_indices[k] * 255.0 + 0.5) : int(a_indices[k] + 0.5);
        int m = clamp(idx, 0, matrices - 1);
        eye += wk * (u_wv[m] * p);
        if (K_normal != 0) n += wk * (mat3(u_nm[m]) * a_normal);
        if (k < K_weights) wsum += wk;
      }
      eye.w = 1.0;
    }
    if (K_normalize != 0 && K_normal != 0) n = length(n) > 0.0 ? normalize(n) : n;
    // Direct3D clip space (y up, z from 0 to w) to GL's, rows kept in
    // Direct3D order, pixel centres moved by half a pixel.
    c = u_proj * eye;
    gl_Position = vec4(c.x + c.w * u_vpoff.x, -c.y + c.w * u_vpoff.y, 2.0 * c.z - c.w, c.w);
  }
  vec4 col0 = K_color0 != 0 ? a_color0 : vec4(1.0);
  vec4 col1 = K_color1 != 0 ? a_color1 : vec4(0.0);
  if (K_lighting != 0 && K_pretransformed == 0) {
    vec4 mdif = Source(K_diffuseSource, u_md, col0, col1);
    vec4 mspc = Source(K_specularSource, u_ms, col0, col1);
    vec4 mamb = Source(K_ambientSource, u_ma, col0, col1);
    vec4 memi = Source(K_emissiveSource, u_me, col0, col1);
    vec3 amb = vec3(0.0), dif = vec3(0.0), spc = vec3(0.0);
    vec3 V = eye.xyz;
    for (int i = 0; i < K_lightCount; ++i) {
      vec3 L;
      float att = 1.0;
      int type = K_lightType(i);
      if (type == )" + Str(D3DLIGHT_DIRECTIONAL) + R"() {
        L = -u_ldir[i].xyz;
      } else {
        vec3 dv = u_lp[i].xyz - V;
        float dist = length(dv);
        L = dist > 0.0 ? dv / dist : vec3(0.0, 0.0, -1.0);
        att = dist > u_latt[i].w ? 0.0 : 1.0 / max(u_latt[i].x + u_latt[i].y * dist + u_latt[i].z * dist * dist, 1e-20);
        if (type == )" + Str(D3DLIGHT_SPOT) + R"() {
          float rho = dot(-L, u_ldir[i].xyz);
          float spot = rho > u_lspot[i].x ? 1.0 : (rho <= u_lspot[i].y ? 0.0 :
              pow(max((rho - u_lspot[i].y) / max(u_lspot[i].x - u_lspot[i].y, 1e-20), 0.0), u_lspot[i].z));
          att *= spot;
        }
      }
      float ndl = max(dot(n, L), 0.0);
      amb += u_la[i].rgb * att;
      dif += u_ld[i].rgb * ndl * att;
      if (K_specular != 0) {
        vec3 toEye = K_localViewer != 0 ? (length(V) > 0.0 ? normalize(-V) : vec3(0.0, 0.0, -1.0)) : vec3(0.0, 0.0, -1.0);
        vec3 H = normalize(toEye + L);
        if (ndl > 0.0 && u_mp > 0.0) spc += u_ls[i].rgb * pow(max(dot(n, H), 0.0), u_mp) * att;
      }
    }
    v_diff = vec4(clamp(memi.rgb + mamb.rgb * (u_gamb.rgb + amb) + mdif.rgb * dif, 0.0, 1.0), clamp(mdif.a, 0.0, 1.0));
    v_spec = K_specular != 0 ? vec4(clamp(mspc.rgb * spc, 0.0, 1.0), clamp(mspc.a, 0.0, 1.0)) : vec4(0.0);
  } else {
    v_diff = col0;
    v_spec = col1;
  }
  v_fdiff = v_diff;
  v_fspec = v_spec;
  // Fog: vertex fog from camera-space depth (or distance with range fog);
  // without a formula the vertex brings its factor in the specular alpha.
  // Table fog is computed per pixel from v_fogz: camera depth under a
  // perspective projection, else the depth-buffer z; pre-transformed
  // vertices give their z.
  v_fog = 1.0;
  v_fogz = 0.0;
  if (K_fog != 0) {
    if (K_tableFog != 0) {
      if (K_pretransformed != 0) v_fogz = a_pos.z;
      else v_fogz = u_fog.w != 0.0 ? eye.z : (c.w != 0.0 ? c.z / c.w : c.z);
    } else if (K_pretransformed != 0 || K_vertexFog == 0) {
      v_fog = col1.a;
    } else {
      float fd = K_rangeFog != 0 ? length(eye.xyz) : abs(eye.z);
      // Equal start and end fog everything.
      if (K_vertexFog == )" + Str(D3DFOG_LINEAR) + R"()
        v_fog = u_fog.y != u_fog.x ? (u_fog.y - fd) / (u_fog.y - u_fog.x) : 0.0;
      else if (K_vertexFog == )" + Str(D3DFOG_EXP) + R"()
        v_fog = exp(-fd * u_fog.z);
      else
        v_fog = exp(-(fd * u_fog.z) * (fd * u_fog.z));
      v_fog = clamp(v_fog, 0.0, 1.0);
    }
  }
  vec4 tc[8];
  for (int i = 0; i < 8; ++i) tc[i] = vec4(0.0);
  for (int i = 0; i < K_stageCount; ++i) {
    int gen = K_texGen(i);
    vec4 t;
    if (gen == 1) {
      t = vec4(n, 1.0);
    } else if (gen == 2) {
      t = vec4(eye.xyz, 1.0);
    } else if (gen == 3 || gen == 4) {
      vec3 r = reflect(length(eye.xyz) > 0.0 ? normalize(eye.xyz) : vec3(0,0,1), n);
      if (gen == 3) {
        t = vec4(r, 1.0);
      } else {
        float m = 2.0 * length(r + vec3(0.0, 0.0, 1.0));
        t = vec4(r.xy / max(m, 1e-6) + 0.5, 0.0, 1.0);
      }
    } else if (K_texIndex(i) < K_texSets) {
      // Coordinates are completed with 1 after the last given one.
      vec4 a = TexAttr(K_texIndex(i));
      int size = K_texSize(K_texIndex(i));
      if (size == 1) t = vec4(a.x, 1.0, 0.0, 0.0);
      else if (size == 2) t = vec4(a.xy, 1.0, 0.0);
      else if (size == 3) t = vec4(a.xyz, 1.0);
      else t = a;
    } else {
      t = vec4(0.0, 0.0, 1.0, 0.0);
    }
    tc[i] = K_transformCount(i) != 0 ? u_texm[i] * t : t;
  }
)";
    for (int i = 0; i < 8; ++i) s += "  v_tex" + Str(i) + " = tc[" + Str(i) + "];\n";
    s += R"(  v_sprite = vec4(0.0);
  if (K_points != 0) {
    float ps = K_psize != 0 ? a_psize : u_point.x;
    if (K_pointScale != 0 && K_pretransformed == 0) {
      float de = length(eye.xyz);
      ps = u_point.w * ps * sqrt(1.0 / max(u_pscale.x + u_pscale.y * de + u_pscale.z * de * de, 1e-20));
    }
    gl_PointSize = max(clamp(ps, u_point.y, u_point.z), 1.0 / 64.0);
    // Sprite coordinates come from the window position of the fragment
    // against the point's centre, so v = 0 is the point's top row (the
    // centre's row in the target's own order, w the way rows run).
    if (K_pointSprite != 0)
      v_sprite = vec4(((gl_Position.xy / gl_Position.w * 0.5 + 0.5) * u_vp.zw + u_vp.xy) * vec2(1.0, u_vpoff.w) +
                      vec2(0.0, u_vpoff.z), gl_PointSize, u_vpoff.w);
  }
}
)";
    return s;
}

// The inputs of the pixel half from an application vertex shader: its
// outputs by their register names, what the stages do not read not asked of it.
std::string ShaderInputs(const FFPixelKey& d)
{
    const std::string fl = d.flat ? "flat " : "";
    bool specular = d.specular != 0;
    for (int i = 0; i < d.stageCount; ++i)
        for (int k = 0; k < 3; ++k)
            specular = specular || (d.stage[i].colorArg[k] & D3DTA_SELECTMASK) == D3DTA_SPECULAR ||
                       (d.stage[i].alphaArg[k] & D3DTA_SELECTMASK) == D3DTA_SPECULAR;
    std::string s = fl + "in vec4 oD0;\n#define v_diff oD0\n#define v_fdiff oD0\n";
    s += specular ? fl + "in vec4 oD1;\n#define v_spec oD1\n#define v_fspec oD1\n"
                  : "#define v_spec vec4(0.0)\n#define v_fspec vec4(0.0)\n";
    s += d.fog ? "in float oFog;\n#define v_fog oFog\n" : "#define v_fog 1.0\n";
    s += "#define v_fogz 0.0\n#define v_sprite vec4(0.0)\n";
    for (int i = 0; i < 8; ++i) {
        if (i < d.stageCount && d.stage[i].hasTexture)
            s += "in vec4 oT" + Str(i) + ";\n#define v_tex" + Str(i) + " oT" + Str(i) + "\n";
        else
            s += "#define v_tex" + Str(i) + " vec4(0.0)\n";
    }
    return s;
}

// The pixel half; `inputs` declares what it reads.
std::string FragmentText(const std::string& keyNames, const std::string& inputs)
{
    std::string s = "#version 330 core\n" + keyNames + inputs;
    for (int i = 0; i < 8; ++i) s += "uniform sampler2D s" + Str(i) + ";\n";
    s += "uniform vec4 u_tf;\nuniform vec4 u_cst[8];\nuniform vec4 u_fogc;\nuniform vec4 u_fog;\nuniform float u_aref;\n";
    s += "out vec4 oC0;\n";
    // A stage argument.
    s += "vec4 Arg(int a, int i, vec4 diff, vec4 cur, vec4 t, vec4 temp, vec4 spec) {\n  vec4 v;\n  int sel = a & " +
         Str(D3DTA_SELECTMASK) + ";\n";
    s += "  if (sel == " + Str(D3DTA_DIFFUSE) + ") v = diff;\n";
    s += "  else if (sel == " + Str(D3DTA_CURRENT) + ") v = cur;\n";
    s += "  else if (sel == " + Str(D3DTA_TEXTURE) + ") v = t;\n";
    s += "  else if (sel == " + Str(D3DTA_TFACTOR) + ") v = u_tf;\n";
    s += "  else if (sel == " + Str(D3DTA_SPECULAR) + ") v = spec;\n";
    s += "  else if (sel == " + Str(D3DTA_TEMP) + ") v = temp;\n";
    s += "  else if (sel == " + Str(D3DTA_CONSTANT) + ") v = u_cst[i];\n";
    s += "  else v = vec4(1.0);\n";
    s += "  if ((a & " + Str(D3DTA_ALPHAREPLICATE) + ") != 0) v = vec4(v.a);\n";
    s += "  if ((a & " + Str(D3DTA_COMPLEMENT) + ") != 0) v = vec4(1.0) - v;\n  return v;\n}\n";
    // An operation: the colour result in rgb, the alpha result in a.
    s += "vec4 Op(int op, vec4 a0, vec4 a1, vec4 a2, vec4 t, vec4 diff, vec4 cur) {\n";
    struct Case {
        D3DTEXTUREOP op;
        const char* result;
    } cases[] = {
        {D3DTOP_SELECTARG2, "a2"},
        {D3DTOP_MODULATE, "a1 * a2"},
        {D3DTOP_MODULATE2X, "2.0 * a1 * a2"},
        {D3DTOP_MODULATE4X, "4.0 * a1 * a2"},
        {D3DTOP_ADD, "a1 + a2"},
        {D3DTOP_ADDSIGNED, "a1 + a2 - 0.5"},
        {D3DTOP_ADDSIGNED2X, "2.0 * (a1 + a2 - 0.5)"},
        {D3DTOP_SUBTRACT, "a1 - a2"},
        {D3DTOP_ADDSMOOTH, "a1 + a2 - a1 * a2"},
        {D3DTOP_BLENDDIFFUSEALPHA, "mix(a2, a1, diff.a)"},
        {D3DTOP_BLENDTEXTUREALPHA, "mix(a2, a1, t.a)"},
        {D3DTOP_BLENDFACTORALPHA, "mix(a2, a1, u_tf.a)"},
        {D3DTOP_BLENDTEXTUREALPHAPM, "a1 + a2 * (1.0 - t.a)"},
        {D3DTOP_BLENDCURRENTALPHA, "mix(a2, a1, cur.a)"},
        {D3DTOP_MODULATEALPHA_ADDCOLOR, "vec4(a1.rgb + a1.a * a2.rgb, a1.a)"},
        {D3DTOP_MODULATECOLOR_ADDALPHA, "vec4(a1.rgb * a2.rgb + vec3(a1.a), a1.a)"},
        {D3DTOP_MODULATEINVALPHA_ADDCOLOR, "vec4((1.0 - a1.a) * a2.rgb + a1.rgb, a1.a)"},
        {D3DTOP_MODULATEINVCOLOR_ADDALPHA, "vec4((vec3(1.0) - a1.rgb) * a2.rgb + vec3(a1.a), a1.a)"},
        {D3DTOP_DOTPRODUCT3, "vec4(clamp(4.0 * dot(a1.rgb - 0.5, a2.rgb - 0.5), 0.0, 1.0))"},
        {D3DTOP_MULTIPLYADD, "a0 + a1 * a2"},
        {D3DTOP_LERP, "mix(a2, a1, a0)"},
    };
    for (const Case& c : cases) s += "  if (op == " + Str(c.op) + ") return " + c.result + ";\n";
    s += "  return a1;\n}\n";
    s += "void main() {\n";
    s += "  vec4 diff = K_flat != 0 ? v_fdiff : v_diff, spec = K_flat != 0 ? v_fspec : v_spec;\n";
    s += "  vec4 cur = diff, temp = vec4(0.0);\n  vec4 tex[8];\n";
    // Samplers are indexed by constants only: one fetch per stage, unrolled.
    // A stage in the chain without a texture reads only its alpha from it:
    // the diffuse colour stands in, as for the default first argument.
    // Projected coordinates divide by the last of the components the transform gives.
    for (int i = 0; i < 8; ++i) {
        const std::string I = Str(i);
        s += "  tex[" + I + "] = diff;\n";
        s += "  if (" + I + " < K_stageCount && K_hasTexture(" + I + ") != 0) {\n";
        s += "    vec2 co = v_tex" + I + ".xy;\n";
        s += "    if (K_pointSprite != 0) co = (gl_FragCoord.xy - v_sprite.xy) * vec2(1.0, v_sprite.w) / v_sprite.z + 0.5;\n";
        s += "    else if (K_projected(" + I + ") != 0 && K_transformCount(" + I + ") >= 2)\n";
        s += "      co = v_tex" + I + ".xy / v_tex" + I + "[max(K_transformCount(" + I + ") - 1, 0)];\n";
        s += "    tex[" + I + "] = texture(s" + I + ", co);\n  }\n";
    }
    s += R"(  for (int i = 0; i < K_stageCount; ++i) {
    vec4 t = tex[i];
    int cop = K_colorOp(i), aop = K_alphaOp(i);
    vec4 c = Op(cop, Arg(K_colorArg0(i), i, diff, cur, t, temp, spec), Arg(K_colorArg1(i), i, diff, cur, t, temp, spec),
                Arg(K_colorArg2(i), i, diff, cur, t, temp, spec), t, diff, cur);
    float alpha;
    if (cop == )" + Str(D3DTOP_DOTPRODUCT3) + R"() alpha = c.a;
    else if (aop == )" + Str(D3DTOP_DISABLE) + R"() alpha = cur.a;
    else alpha = Op(aop, Arg(K_alphaArg0(i), i, diff, cur, t, temp, spec), Arg(K_alphaArg1(i), i, diff, cur, t, temp, spec),
                    Arg(K_alphaArg2(i), i, diff, cur, t, temp, spec), t, diff, cur).a;
    vec4 r = clamp(vec4(c.rgb, alpha), 0.0, 1.0);
    if (K_resultTemp(i) != 0) temp = r;
    else cur = r;
  }
  if (K_specular != 0) cur.rgb = clamp(cur.rgb + spec.rgb, 0.0, 1.0);
  if (K_fog != 0) {
    float f = v_fog;
    // An application vertex shader gives its own fog factor.
    if (K_tableFog != 0 && K_shaderInputs == 0) {
      float fz = v_fogz;
      // Equal start and end make a step at the end.
      if (K_tableFog == )" + Str(D3DFOG_LINEAR) + R"()
        f = u_fog.y != u_fog.x ? (u_fog.y - fz) / (u_fog.y - u_fog.x) : (fz < u_fog.y ? 1.0 : 0.0);
      else if (K_tableFog == )" + Str(D3DFOG_EXP) + R"()
        f = exp(-fz * u_fog.z);
      else
        f = exp(-(fz * u_fog.z) * (fz * u_fog.z));
    }
    cur.rgb = mix(u_fogc.rgb, cur.rgb, clamp(f, 0.0, 1.0));
  }
  int af = K_alphaFunc;
  if (af == )" + Str(D3DCMP_NEVER) + R"() discard;
  if (af > )" + Str(D3DCMP_NEVER) + " && af < " + Str(D3DCMP_ALWAYS) + R"() {
    float a = floor(clamp(cur.a, 0.0, 1.0) * 255.0 + 0.5);
    bool pass = af == )" + Str(D3DCMP_LESS) + " ? a < u_aref : af == " + Str(D3DCMP_EQUAL) + " ? a == u_aref : af == " +
         Str(D3DCMP_LESSEQUAL) + " ? a <= u_aref : af == " + Str(D3DCMP_GREATER) + " ? a > u_aref : af == " +
         Str(D3DCMP_NOTEQUAL) + R"( ? a != u_aref : a >= u_aref;
    if (!pass) discard;
  }
  oC0 = cur;
}
)";
    return s;
}

const char kFixedFunctionInputs[] =
    "in vec4 v_diff, v_spec;\nflat in vec4 v_fdiff, v_fspec;\nin float v_fog;\nin float v_fogz;\n"
    "in vec4 v_tex0, v_tex1, v_tex2, v_tex3, v_tex4, v_tex5, v_tex6, v_tex7;\nflat in vec4 v_sprite;\n";
} // namespace

std::string FFVertexSource(const FFVertexKey& k)
{
    const int matrices = k.pretransformed ? 1 : (k.indexed ? (int)k.palette : k.weights + 1);
    return VertexText(VertexKeyNames(&k), matrices > 0 ? matrices : 1);
}

std::string FFFragmentSource(const FFPixelKey& k)
{
    return FragmentText(PixelKeyNames(&k), k.shaderInputs ? ShaderInputs(k) : kFixedFunctionInputs);
}

std::string FFUberVertexSource(int palette) { return VertexText(VertexKeyNames(nullptr), palette); }

std::string FFUberFragmentSource() { return FragmentText(PixelKeyNames(nullptr), kFixedFunctionInputs); }

} // namespace d3d9gl
