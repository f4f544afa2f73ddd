#include "hlsl_compile.h"

#include <d3d9.h>

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross/spirv_cross_c.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include <pthread.h>

namespace hlsl {

namespace {

const unsigned kVertexFloatRegisters = 256;
const unsigned kPixelFloatRegisters = 224;
const unsigned kIntRegisters = 16;
const unsigned kBoolRegisters = 16;
const unsigned kSamplers = 16;

// glslang and SPIRV-Cross recurse along the program's nesting (brackets, a
// chain of else-ifs or of operators), so a compile runs on a thread with a
// stack of its own, sized for the longest shader text taken: about 220 bytes
// of stack per character in the worst shapes measured.
const size_t kCompileStack = (size_t)512 << 20;
const size_t kMaxShaderCharacters = (size_t)1 << 20;  // white space not counted

// glslang keeps process-wide tables: set up once, torn down at exit.
struct GlslangProcess {
    GlslangProcess() { glslang::InitializeProcess(); }
    ~GlslangProcess() { glslang::FinalizeProcess(); }
};

void EnsureGlslang()
{
    static GlslangProcess process;
    (void)process;
}

bool ParseProfile(const std::string& profile, bool& vertex, DWORD& version)
{
    if (profile.size() < 6 || (profile.compare(0, 3, "vs_") != 0 && profile.compare(0, 3, "ps_") != 0) ||
        profile[4] != '_')
        return false;
    vertex = profile[0] == 'v';
    const int major = profile[3] - '0';
    const std::string minor = profile.substr(5);
    int m = 0;
    if (minor == "0" || minor == "1" || minor == "2" || minor == "3" || minor == "4")
        m = minor[0] - '0';
    else if (minor != "a" && minor != "b" && minor != "sw")
        return false;
    if (major < 1 || major > 3 || (major == 1 && m == 0) || (major > 1 && m != 0))
        return false;
    version = vertex ? D3DVS_VERSION(major, m) : D3DPS_VERSION(major, m);
    return true;
}

std::string HlslTypeName(const fx::Parameter& p)
{
    const fx::Type& t = p.type;
    std::string base = t.base == fx::Base::Float ? "float" : t.base == fx::Base::Int ? "int" : "bool";
    std::string s;
    if (t.cls == fx::Class::MatrixRows || t.cls == fx::Class::MatrixColumns)
        s = std::string(t.cls == fx::Class::MatrixRows ? "row_major " : "column_major ") + base +
            std::to_string(t.rows) + "x" + std::to_string(t.columns);
    else if (t.cls == fx::Class::Vector)
        s = base + std::to_string(t.columns);
    else
        s = base;
    return s;
}

const char* SamplerTypeName(fx::Base b)
{
    switch (b) {
    case fx::Base::Sampler1D: return "sampler1D";
    case fx::Base::Sampler3D: return "sampler3D";
    case fx::Base::SamplerCube: return "samplerCUBE";
    default: return "sampler2D";
    }
}

// Declarations of the parameters for the compiler, all on the first line so
// that the user's line numbers stay: numbers grouped by register file.
std::string Declarations(const fx::Effect& e)
{
    std::string groups[3];
    std::string samplers;
    for (const fx::Parameter& p : e.parameters) {
        if (p.type.IsSampler()) {
            samplers += std::string(SamplerTypeName(p.type.base)) + " " + p.name + "; ";
            continue;
        }
        if (!p.type.Numeric())
            continue;
        const int g = p.type.base == fx::Base::Float ? 0 : p.type.base == fx::Base::Int ? 1 : 2;
        groups[g] += HlslTypeName(p) + " " + p.name;
        if (p.type.elements)
            groups[g] += "[" + std::to_string(p.type.elements) + "]";
        groups[g] += "; ";
    }
    static const char* const kNames[3] = {"nimb_c", "nimb_i", "nimb_b"};
    std::string s;
    for (int g = 0; g < 3; ++g)
        if (!groups[g].empty())
            s += std::string("cbuffer ") + kNames[g] + " { " + groups[g] + "} ";
    return s + samplers;
}

// "ERROR: 0:12: 'x' : message" becomes "file(line): error: 'x' : message".
std::string TranslateLog(const std::string& log, const fx::Effect& e)
{
    std::string out;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 1;
        int file = 0, number = 0, used = 0;
        char kind[16] = {0};
        if (std::sscanf(line.c_str(), "%15[A-Z]: %d:%d:%n", kind, &file, &number, &used) == 3 && used > 0) {
            std::string k = kind;
            for (char& c : k)
                c = (char)std::tolower((unsigned char)c);
            std::string rest = line.substr((size_t)used);
            while (!rest.empty() && rest[0] == ' ')
                rest.erase(0, 1);
            out += e.source.Where(number) + ": " + k + ": " + rest + "\n";
        } else if (!line.empty() && line.find("compilation errors") == std::string::npos &&
                   line.find("HLSL parsing failed") == std::string::npos) {
            out += line + "\n";
        }
    }
    return out;
}

struct Semantic {
    std::string name;
    int index = 0;
};

Semantic SplitSemantic(const char* s)
{
    Semantic r;
    std::string t = s ? s : "";
    for (char& c : t)
        c = (char)std::toupper((unsigned char)c);
    size_t n = t.size();
    while (n > 0 && std::isdigit((unsigned char)t[n - 1]))
        --n;
    r.name = t.substr(0, n);
    r.index = n < t.size() ? std::atoi(t.c_str() + n) : 0;
    if (r.name == "SV_POSITION")
        r.name = "POSITION";
    if (r.name == "SV_TARGET")
        r.name = "COLOR";
    return r;
}

// Location of a vertex input by its usage (see d3d9.h).
int InputLocation(const Semantic& s)
{
    if (s.name == "POSITION" && s.index == 0) return 0;
    if (s.name == "BLENDWEIGHT" && s.index == 0) return 1;
    if (s.name == "BLENDINDICES" && s.index == 0) return 2;
    if (s.name == "NORMAL" && s.index == 0) return 3;
    if (s.name == "PSIZE" && s.index == 0) return 4;
    if (s.name == "COLOR" && s.index < 2) return 5 + s.index;
    if (s.name == "TEXCOORD" && s.index < 8) return 7 + s.index;
    if (s.name == "TANGENT" && s.index == 0) return 15;
    return -1;
}

// The name a value between the two stages travels under, as the device's
// fixed-function stages read them.
std::string VaryingName(const Semantic& s)
{
    if (s.name == "COLOR" && s.index < 2) return "oD" + std::to_string(s.index);
    if (s.name == "TEXCOORD" && s.index < 8) return "oT" + std::to_string(s.index);
    if (s.name == "FOG" && s.index == 0) return "oFog";
    return "v_" + s.name + std::to_string(s.index);
}

std::string GlslType(spvc_basetype base, unsigned size)
{
    const char* scalar = base == SPVC_BASETYPE_INT32 ? "int" : base == SPVC_BASETYPE_UINT32 ? "uint" : "float";
    const char* vec = base == SPVC_BASETYPE_INT32 ? "ivec" : base == SPVC_BASETYPE_UINT32 ? "uvec" : "vec";
    return size <= 1 ? scalar : vec + std::to_string(size);
}

// value (of `size` components) as a vec4, padded as Direct3D pads.
std::string ToVec4(const std::string& value, unsigned size)
{
    switch (size) {
    case 1: return "vec4(float(" + value + "), 0.0, 0.0, 1.0)";
    case 2: return "vec4(vec2(" + value + "), 0.0, 1.0)";
    case 3: return "vec4(vec3(" + value + "), 1.0)";
    default: return "vec4(" + value + ")";
    }
}

std::string FromVec4(const std::string& v, spvc_basetype base, unsigned size)
{
    static const char* const kSwizzle[5] = {"", ".x", ".xy", ".xyz", ""};
    return GlslType(base, size) + "(" + v + kSwizzle[size > 4 ? 4 : size] + ")";
}

// Replaces the whole line that declares `name` with `replacement`.
bool ReplaceDeclaration(std::string& glsl, const std::string& name, const std::string& replacement)
{
    const std::string needle = " " + name + ";";
    size_t at = glsl.find(needle);
    if (at == std::string::npos) {
        const std::string arrayNeedle = " " + name + "[";
        at = glsl.find(arrayNeedle);
        if (at == std::string::npos)
            return false;
    }
    size_t begin = glsl.rfind('\n', at);
    begin = begin == std::string::npos ? 0 : begin + 1;
    size_t end = glsl.find('\n', at);
    if (end == std::string::npos)
        end = glsl.size();
    glsl.replace(begin, end - begin, replacement);
    return true;
}

std::string Number(const std::string& literal, spvc_basetype base, bool& ok)
{
    std::string s = literal;
    if (s == "true" || s == "TRUE")
        s = "1";
    if (s == "false" || s == "FALSE")
        s = "0";
    while (!s.empty() && std::strchr("fFhHlLuU", s.back()))
        s.pop_back();
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    ok = !s.empty() && end && !*end;
    char buf[64];
    if (base == SPVC_BASETYPE_INT32)
        std::snprintf(buf, sizeof(buf), "int(%d)", (int)v);
    else if (base == SPVC_BASETYPE_UINT32)
        std::snprintf(buf, sizeof(buf), "uint(%u)", v != 0 ? (unsigned)(v < 0 ? 1 : v) : 0u);
    else
        std::snprintf(buf, sizeof(buf), "float(%.9g)", v);
    return buf;
}

class CrossCompiler {
public:
    CrossCompiler() { spvc_context_create(&m_ctx); }
    CrossCompiler(const CrossCompiler&) = delete;
    CrossCompiler& operator=(const CrossCompiler&) = delete;
    ~CrossCompiler()
    {
        if (m_ctx)
            spvc_context_destroy(m_ctx);
    }
    spvc_context m_ctx = nullptr;
    spvc_compiler m_comp = nullptr;
};

struct Block {
    spvc_variable_id id = 0;
    spvc_type_id type = 0;
    std::string name;
};

} // namespace

unsigned RegistersPerElement(const fx::Type& type)
{
    if (type.cls == fx::Class::MatrixColumns)
        return type.columns;
    if (type.cls == fx::Class::MatrixRows)
        return type.rows;
    return 1;
}

std::vector<DWORD> ShaderTokens(DWORD version, const std::string& glsl)
{
    std::vector<DWORD> t;
    t.push_back(version);
    const size_t len = glsl.size() + 1;
    const size_t words = (len + 3) / 4;
    t.push_back(0xFFFEu | (DWORD)((words + 1) << 16));
    t.push_back(D3DSHADER_GLSL_TAG);
    const size_t at = t.size();
    t.resize(at + words, 0);
    std::memcpy(&t[at], glsl.c_str(), len);
    t.push_back(0x0000FFFFu);
    return t;
}

namespace {

// One entry function on its way from HLSL to the device's GLSL, phase by
// phase; each phase appends its errors and says whether to go on.
class Compilation {
public:
    Compilation(const fx::Effect& effect, const std::string& profile, const std::string& entry,
                const std::vector<std::string>& args, int line, Shader& out, std::string& errors)
        : m_effect(effect), m_profile(profile), m_entry(entry), m_args(args), m_line(line), m_out(out),
          m_errors(errors)
    {
    }

    bool Run();

private:
    // A stage input or output: the private variable SPIRV-Cross writes, and
    // what it travels as between the stages.
    struct Io {
        std::string name;
        std::string varying;
        spvc_basetype base;
        unsigned size;
    };

    bool Fail(const std::string& message)
    {
        m_errors += m_effect.source.Where(m_line) + ": error: " + message + "\n";
        return false;
    }
    bool ToSpirv(std::vector<unsigned>& spirv);
    bool Reflect(const std::vector<unsigned>& spirv);
    bool BindArguments(const spvc_reflected_resource& block);
    bool BindConstants();
    bool BindSamplers();
    bool IoType(spvc_type_id id, spvc_basetype& base, unsigned& size) const;
    bool BindInputs();
    bool BindOutputs();
    bool Translate(std::string& glsl);
    bool ApplyConventions(std::string glsl);

    const fx::Effect& m_effect;
    const std::string& m_profile;
    const std::string& m_entry;
    const std::vector<std::string>& m_args;
    const int m_line;
    Shader& m_out;
    std::string& m_errors;

    CrossCompiler m_cc;
    spvc_compiler m_comp = nullptr;
    spvc_resources m_res = nullptr;
    std::string m_prefix;    // "vs_" or "ps_": the device's register files
    std::string m_argsDecl;  // the entry's uniform arguments as a constant
    bool m_bools = false;
    unsigned m_used[3] = {0, 0, 0};  // float, integer and boolean registers taken
    std::vector<Io> m_inputs, m_outputs;
    std::string m_decls;  // the varyings the wrapper declares
    std::set<std::string> m_declared;
};

bool Compilation::Run()
{
    m_out = Shader();
    if (!ParseProfile(m_profile, m_out.vertex, m_out.version))
        return Fail("unknown shader profile '" + m_profile + "'");
    if (std::find(m_effect.functions.begin(), m_effect.functions.end(), m_entry) == m_effect.functions.end())
        return Fail("there is no function '" + m_entry + "'");
    m_prefix = m_out.vertex ? "vs_" : "ps_";
    size_t characters = 0;
    for (char c : m_effect.hlsl)
        characters += !std::isspace((unsigned char)c);
    if (characters > kMaxShaderCharacters)
        return Fail("the effect's shader code is longer than " + std::to_string(kMaxShaderCharacters) +
                    " characters");
    EnsureGlslang();
    std::vector<unsigned> spirv;
    std::string glsl;
    return ToSpirv(spirv) && Reflect(spirv) && BindConstants() && BindSamplers() && BindInputs() && BindOutputs() &&
           Translate(glsl) && ApplyConventions(glsl);
}

// HLSL to SPIR-V through glslang.
bool Compilation::ToSpirv(std::vector<unsigned>& spirv)
{
    const std::string text = Declarations(m_effect) + m_effect.hlsl;
    const EShLanguage stage = m_out.vertex ? EShLangVertex : EShLangFragment;
    const EShMessages messages =
        (EShMessages)(EShMsgReadHlsl | EShMsgSpvRules | EShMsgHlslDX9Compatible | EShMsgHlslOffsets);
    glslang::TShader shader(stage);
    const char* strings[1] = {text.c_str()};
    shader.setStrings(strings, 1);
    shader.setEntryPoint(m_entry.c_str());
    shader.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1();
    shader.setAutoMapLocations(true);
    shader.setAutoMapBindings(true);
    if (!shader.parse(GetDefaultResources(), 100, false, messages)) {
        m_errors += TranslateLog(shader.getInfoLog(), m_effect);
        return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages)) {
        m_errors += TranslateLog(program.getInfoLog(), m_effect);
        if (m_errors.empty())
            return Fail("'" + m_entry + "' could not be linked");
        return false;
    }
    glslang::SpvOptions options;
    options.disableOptimizer = true;
    glslang::GlslangToSpv(*program.getIntermediate(stage), spirv, &options);
    return true;
}

// SPIR-V into SPIRV-Cross, with the resources the entry function uses.
bool Compilation::Reflect(const std::vector<unsigned>& spirv)
{
    spvc_parsed_ir ir = nullptr;
    if (!m_cc.m_ctx || spvc_context_parse_spirv(m_cc.m_ctx, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
        spvc_context_create_compiler(m_cc.m_ctx, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP,
                                     &m_cc.m_comp) != SPVC_SUCCESS)
        return Fail(std::string("SPIR-V translation failed: ") +
                    (m_cc.m_ctx ? spvc_context_get_last_error_string(m_cc.m_ctx) : "no context"));
    m_comp = m_cc.m_comp;
    spvc_set active = nullptr;
    spvc_compiler_get_active_interface_variables(m_comp, &active);
    spvc_compiler_set_enabled_interface_variables(m_comp, active);
    spvc_compiler_create_shader_resources_for_active_variables(m_comp, &m_res, active);
    return true;
}

// Uniform parameters of the entry function: the compile statement's literals.
bool Compilation::BindArguments(const spvc_reflected_resource& block)
{
    spvc_type type = spvc_compiler_get_type_handle(m_comp, block.base_type_id);
    const unsigned members = spvc_type_get_num_member_types(type);
    if (m_args.size() != members)
        return Fail("'" + m_entry + "' takes " + std::to_string(members) + " uniform arguments, " +
                    std::to_string(m_args.size()) + " given");
    std::string values;
    for (unsigned m = 0; m < members; ++m) {
        spvc_type mt = spvc_compiler_get_type_handle(m_comp, spvc_type_get_member_type(type, m));
        const spvc_basetype base = spvc_type_get_basetype(mt);
        const unsigned size = spvc_type_get_vector_size(mt);
        if (spvc_type_get_columns(mt) > 1 || spvc_type_get_num_array_dimensions(mt) > 0 ||
            (base != SPVC_BASETYPE_FP32 && base != SPVC_BASETYPE_INT32 && base != SPVC_BASETYPE_UINT32))
            return Fail("uniform argument " + std::to_string(m + 1) + " of '" + m_entry +
                        "' must be a scalar or vector");
        bool ok = true;
        const std::string v = Number(m_args[m], base, ok);
        if (!ok)
            return Fail("argument '" + m_args[m] + "' of '" + m_entry + "' must be a literal number");
        values += (m ? ", " : "") + (size > 1 ? GlslType(base, size) + "(" + v + ")" : v);
    }
    spvc_compiler_set_name(m_comp, block.id, "nimb_args");
    spvc_compiler_set_name(m_comp, block.base_type_id, "nimb_args_t");
    m_argsDecl = "const nimb_args_t nimb_args = nimb_args_t(" + values + ");";
    return true;
}

// Constant registers: each file is one flattened block whose members get the
// registers of the parameters the shader reads.
bool Compilation::BindConstants()
{
    std::map<std::string, const fx::Parameter*> byName;
    for (const fx::Parameter& p : m_effect.parameters)
        byName[p.name] = &p;
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;
    spvc_resources_get_resource_list_for_type(m_res, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &count);
    for (size_t i = 0; i < count; ++i) {
        const std::string name = list[i].name;
        if (name == "$Global") {
            if (!BindArguments(list[i]))
                return false;
            continue;
        }
        const int g = name == "nimb_c" ? 0 : name == "nimb_i" ? 1 : name == "nimb_b" ? 2 : -1;
        if (g < 0)
            return Fail("unexpected constant block '" + name + "'");
        spvc_type type = spvc_compiler_get_type_handle(m_comp, list[i].base_type_id);
        const unsigned members = spvc_type_get_num_member_types(type);
        const spvc_buffer_range* ranges = nullptr;
        size_t nranges = 0;
        spvc_compiler_get_active_buffer_ranges(m_comp, list[i].id, &ranges, &nranges);
        std::set<unsigned> active;
        for (size_t r = 0; r < nranges; ++r)
            active.insert(ranges[r].index);
        for (unsigned m = 0; m < members; ++m) {
            const char* mname = spvc_compiler_get_member_name(m_comp, list[i].base_type_id, m);
            auto it = byName.find(mname ? mname : "");
            unsigned offset = 0;
            if (active.count(m) && it != byName.end()) {
                const fx::Parameter& p = *it->second;
                Constant c;
                c.name = p.name;
                c.set = g == 0 ? RegisterSet::Float : g == 1 ? RegisterSet::Int : RegisterSet::Bool;
                c.start = m_used[g];
                c.count = RegistersPerElement(p.type) * p.type.Count();
                m_used[g] += c.count;
                offset = c.start * 16;
                m_out.constants.push_back(c);
            }
            spvc_compiler_set_member_decoration(m_comp, list[i].base_type_id, m, SpvDecorationOffset, offset);
        }
        spvc_compiler_flatten_buffer_block(m_comp, list[i].id);
        const std::string file = g == 0 ? m_prefix + "c" : g == 1 ? m_prefix + "i" : "nimb_b";
        spvc_compiler_set_name(m_comp, list[i].id, file.c_str());
        spvc_compiler_set_name(m_comp, list[i].base_type_id, file.c_str());
        m_bools = m_bools || g == 2;
    }
    if (!m_args.empty() && m_argsDecl.empty())
        return Fail("'" + m_entry + "' takes no uniform arguments, " + std::to_string(m_args.size()) + " given");
    const unsigned floatLimit = m_out.vertex ? kVertexFloatRegisters : kPixelFloatRegisters;
    if (m_used[0] > floatLimit || m_used[1] > kIntRegisters || m_used[2] > kBoolRegisters)
        return Fail("'" + m_entry + "' reads more constants than " + m_profile + " has registers for (" +
                    std::to_string(m_used[0]) + " float, " + std::to_string(m_used[1]) + " integer, " +
                    std::to_string(m_used[2]) + " boolean)");
    return true;
}

// Samplers: s0, s1... in the order the parameters are declared.
bool Compilation::BindSamplers()
{
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;
    spvc_resources_get_resource_list_for_type(m_res, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &count);
    std::vector<std::pair<size_t, spvc_variable_id>> samplers;
    for (size_t i = 0; i < count; ++i) {
        size_t order = m_effect.parameters.size();
        for (size_t k = 0; k < m_effect.parameters.size(); ++k)
            if (m_effect.parameters[k].name == list[i].name)
                order = k;
        if (order == m_effect.parameters.size())
            return Fail(std::string("sampler '") + list[i].name + "' is not an effect parameter");
        samplers.push_back({order, list[i].id});
    }
    if (!samplers.empty() && m_out.vertex)
        return Fail("vertex shaders cannot sample textures ('" + m_entry + "')");
    if (samplers.size() > kSamplers)
        return Fail("'" + m_entry + "' uses more than 16 samplers");
    std::sort(samplers.begin(), samplers.end());
    for (size_t i = 0; i < samplers.size(); ++i) {
        Constant c;
        c.name = m_effect.parameters[samplers[i].first].name;
        c.set = RegisterSet::Sampler;
        c.start = (unsigned)i;
        c.count = 1;
        m_out.constants.push_back(c);
        spvc_compiler_set_name(m_comp, samplers[i].second, ("s" + std::to_string(i)).c_str());
        spvc_compiler_unset_decoration(m_comp, samplers[i].second, SpvDecorationBinding);
    }
    return true;
}

// A stage interface variable's type; false unless a scalar or a vector.
bool Compilation::IoType(spvc_type_id id, spvc_basetype& base, unsigned& size) const
{
    spvc_type t = spvc_compiler_get_type_handle(m_comp, id);
    base = spvc_type_get_basetype(t);
    size = spvc_type_get_vector_size(t);
    return spvc_type_get_columns(t) <= 1 && spvc_type_get_num_array_dimensions(t) == 0;
}

// Stage inputs, matched by semantic: vertex inputs at the device's attribute
// locations, pixel inputs from the varyings the vertex stage writes.
bool Compilation::BindInputs()
{
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;
    spvc_resources_get_resource_list_for_type(m_res, SPVC_RESOURCE_TYPE_STAGE_INPUT, &list, &count);
    for (size_t i = 0; i < count; ++i) {
        const char* sem = spvc_compiler_get_decoration_string(m_comp, list[i].id, SpvDecorationHlslSemanticGOOGLE);
        const Semantic s = SplitSemantic(sem);
        spvc_basetype base;
        unsigned size;
        if (!IoType(list[i].type_id, base, size))
            return Fail(std::string("input '") + list[i].name + "' must be a scalar or vector");
        if (m_out.vertex) {
            const int location = InputLocation(s);
            if (location < 0)
                return Fail("vertex input semantic '" + std::string(sem ? sem : "") + "' is not supported");
            spvc_compiler_set_decoration(m_comp, list[i].id, SpvDecorationLocation, (unsigned)location);
            continue;
        }
        const std::string priv = "nimb_i" + std::to_string(i);
        spvc_compiler_set_name(m_comp, list[i].id, priv.c_str());
        Io io{priv, "", base, size};
        if (s.name == "POSITION")
            io.varying = "";  // not readable in a Direct3D 9 pixel shader: zeros
        else if (s.name == "VPOS")
            io.varying = "(gl_FragCoord - vec4(0.5, 0.5, 0.0, 0.0))";  // pixel corners, not centres
        else if (s.name == "VFACE")
            io.varying = "vec4(gl_FrontFacing ? 1.0 : -1.0)";
        else
            io.varying = VaryingName(s);
        if (io.varying.compare(0, 1, "o") == 0 || io.varying.compare(0, 2, "v_") == 0) {
            if (m_declared.insert(io.varying).second)
                m_decls += io.varying == "oFog" ? "in float oFog;\n" : "in vec4 " + io.varying + ";\n";
        }
        m_inputs.push_back(io);
    }
    return true;
}

// Stage outputs, matched by semantic: the pixel colour, or the varyings and
// built-ins the vertex stage writes.
bool Compilation::BindOutputs()
{
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;
    spvc_resources_get_resource_list_for_type(m_res, SPVC_RESOURCE_TYPE_STAGE_OUTPUT, &list, &count);
    for (size_t i = 0; i < count; ++i) {
        const char* sem = spvc_compiler_get_decoration_string(m_comp, list[i].id, SpvDecorationHlslSemanticGOOGLE);
        const Semantic s = SplitSemantic(sem);
        spvc_basetype base;
        unsigned size;
        if (!IoType(list[i].type_id, base, size))
            return Fail(std::string("output '") + list[i].name + "' must be a scalar or vector");
        if (!m_out.vertex) {
            if (s.name != "COLOR" || s.index != 0)
                return Fail("pixel output semantic '" + std::string(sem ? sem : "") + "' is not supported");
            spvc_compiler_set_name(m_comp, list[i].id, "oC0");
            spvc_compiler_set_decoration(m_comp, list[i].id, SpvDecorationLocation, 0);
            if (size != 4 || base != SPVC_BASETYPE_FP32)
                return Fail("the pixel shader's colour must be a float4");
            continue;
        }
        const std::string priv = "nimb_o" + std::to_string(i);
        spvc_compiler_set_name(m_comp, list[i].id, priv.c_str());
        Io io{priv, "", base, size};
        if (s.name == "POSITION")
            io.varying = "gl_Position";
        else if (s.name == "PSIZE")
            io.varying = "gl_PointSize";
        else
            io.varying = VaryingName(s);
        if (!m_declared.insert(io.varying).second)
            return Fail("two outputs of '" + m_entry + "' have the semantic '" + std::string(sem ? sem : "") + "'");
        if (io.varying[0] != 'g')
            m_decls += io.varying == "oFog" ? "out float oFog;\n" : "out vec4 " + io.varying + ";\n";
        m_outputs.push_back(io);
    }
    return true;
}

// SPIR-V to GLSL 3.30 with the names and registers bound above.
bool Compilation::Translate(std::string& glsl)
{
    spvc_compiler_options options = nullptr;
    spvc_compiler_create_compiler_options(m_comp, &options);
    spvc_compiler_options_set_uint(options, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_EMIT_UNIFORM_BUFFER_AS_PLAIN_UNIFORMS,
                                   SPVC_TRUE);
    spvc_compiler_install_compiler_options(m_comp, options);
    const char* source = nullptr;
    if (spvc_compiler_compile(m_comp, &source) != SPVC_SUCCESS || !source)
        return Fail(std::string("GLSL translation failed: ") + spvc_context_get_last_error_string(m_cc.m_ctx));
    glsl = source;
    return true;
}

// The device's conventions: whole register files, the arguments as a
// constant, and a main that moves the varyings in and out of the entry.
bool Compilation::ApplyConventions(std::string glsl)
{
    const unsigned floatLimit = m_out.vertex ? kVertexFloatRegisters : kPixelFloatRegisters;
    if (glsl.compare(0, 9, "#version ") == 0)
        glsl.erase(0, glsl.find('\n') + 1);
    for (const char* file : {"c", "i"}) {
        const std::string n = m_prefix + file;
        const std::string decl = std::string(file[0] == 'c' ? "uniform vec4 " : "uniform ivec4 ") + n + "[" +
                                 std::to_string(file[0] == 'c' ? floatLimit : kIntRegisters) + "];";
        ReplaceDeclaration(glsl, n, decl);
    }
    if (m_bools)
        ReplaceDeclaration(glsl, "nimb_b", "uniform bool " + m_prefix + "b[16];\nuvec4 nimb_b[16];");
    if (!m_argsDecl.empty() && !ReplaceDeclaration(glsl, "nimb_args", m_argsDecl))
        return Fail("the uniform arguments of '" + m_entry + "' could not be bound");
    for (const Io& io : m_inputs)
        ReplaceDeclaration(glsl, io.name, GlslType(io.base, io.size) + " " + io.name + ";");
    for (const Io& io : m_outputs)
        ReplaceDeclaration(glsl, io.name, GlslType(io.base, io.size) + " " + io.name + ";");
    const size_t mainAt = glsl.find("void main()");
    if (mainAt == std::string::npos)
        return Fail("GLSL translation gave no main function");
    glsl.replace(mainAt, 11, "void nimb_main()");
    std::string wrapper = m_decls + "void main()\n{\n";
    if (m_bools)
        wrapper += "    for (int i = 0; i < 16; ++i)\n        nimb_b[i] = uvec4(" + m_prefix + "b[i] ? 1u : 0u);\n";
    for (const Io& io : m_inputs) {
        if (io.varying.empty())
            wrapper += "    " + io.name + " = " + GlslType(io.base, io.size) + "(0);\n";
        else if (io.varying == "oFog")
            wrapper += "    " + io.name + " = " + FromVec4("vec4(oFog)", io.base, io.size) + ";\n";
        else
            wrapper += "    " + io.name + " = " + FromVec4(io.varying, io.base, io.size) + ";\n";
    }
    wrapper += "    nimb_main();\n";
    for (const Io& io : m_outputs) {
        if (io.varying == "oFog" || io.varying == "gl_PointSize")
            wrapper += "    " + io.varying + " = float(" + io.name + (io.size > 1 ? ".x" : "") + ");\n";
        else
            wrapper += "    " + io.varying + " = " + ToVec4(io.name, io.size) + ";\n";
    }
    wrapper += "}\n";
    m_out.glsl = glsl + "\n" + wrapper;
    if (m_out.glsl.size() + 1 > (size_t)0x7FFE * 4)
        return Fail("the translated shader of '" + m_entry + "' is too long");
    m_out.tokens = ShaderTokens(m_out.version, m_out.glsl);
    return true;
}

} // namespace

bool Compile(const fx::Effect& effect, const std::string& profile, const std::string& entry,
             const std::vector<std::string>& args, int line, Shader& out, std::string& errors)
{
    struct Job {
        Compilation compilation;
        bool result;
        static void* Run(void* job)
        {
            Job* j = static_cast<Job*>(job);
            j->result = j->compilation.Run();
            return nullptr;
        }
    } job{Compilation(effect, profile, entry, args, line, out, errors), false};
    pthread_attr_t attr;
    pthread_t thread;
    const bool threaded = pthread_attr_init(&attr) == 0;
    if (threaded && pthread_attr_setstacksize(&attr, kCompileStack) == 0 &&
        pthread_create(&thread, &attr, &Job::Run, &job) == 0)
        pthread_join(thread, nullptr);
    else
        Job::Run(&job);  // no thread to be had: the caller's stack
    if (threaded)
        pthread_attr_destroy(&attr);
    return job.result;
}

} // namespace hlsl
