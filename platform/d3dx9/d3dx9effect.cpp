#include "d3dx9effect_impl.h"

#include "d3d9/d3d9_programs.h"

#include <mscrt.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>

const IID IID_ID3DXBaseEffect = {0x17c18ac, 0x103f, 0x4417, {0x8c, 0x51, 0x6b, 0xf6, 0xef, 0x1e, 0x56, 0xbe}};
const IID IID_ID3DXEffect = {0xf6ceb4b3, 0x4e4c, 0x40dd, {0xb8, 0x83, 0x8d, 0x8d, 0xe5, 0xea, 0x0c, 0xd5}};

namespace d3dx9fx {

namespace {

float Float(DWORD d)
{
    return (float)LoadNumber(fx::Base::Float, d);
}

void Blank(Param& p)
{
    p.data.assign(p.Components(), 0);
}

// The numbers of an initial value or annotation into the parameter's data.
void Fill(Param& p, const fx::Value& v)
{
    for (size_t i = 0; i < p.data.size() && i < v.numbers.size(); ++i)
        p.data[i] = StoreNumber(p.type.base, v.numbers[i]);
    p.text = v.text;
}

} // namespace

// ---- Construction --------------------------------------------------------------------

Effect::Effect(IDirect3DDevice9* device, DWORD flags) : m_device(device), m_flags(flags)
{
    m_device->AddRef();
    std::memset(&m_caps, 0, sizeof(m_caps));
    m_device->GetDeviceCaps(&m_caps);
}

Effect::~Effect()
{
    if (m_restore)
        m_restore->Release();
    for (auto& t : m_techniques)
        for (IDirect3DStateBlock9*& b : t->saved)
            if (b)
                b->Release();
    for (auto& p : m_params)
        if (p->texture)
            p->texture->Release();
    for (auto& s : m_shaders)
        if (s->object)
            s->object->Release();
    m_device->Release();
}

void Effect::Register(Param* p)
{
    m_handles[p] = kParam;
    for (auto& a : p->annotations)
        Register(a.get());
    for (auto& e : p->elements)
        Register(e.get());
}

std::unique_ptr<Param> Effect::MakeAnnotation(const fx::Annotation& a)
{
    std::unique_ptr<Param> p(new Param());
    p->name = a.name;
    p->type = a.type;
    p->flags = D3DX_PARAMETER_ANNOTATION;
    Blank(*p);
    Fill(*p, a.value);
    return p;
}

std::unique_ptr<Param> Effect::MakeParam(const fx::Parameter& decl, DWORD flags)
{
    std::unique_ptr<Param> p(new Param());
    p->name = decl.name;
    p->semantic = decl.semantic;
    p->type = decl.type;
    p->rowMajor = decl.rowMajor;
    p->flags = flags | (decl.shared ? D3DX_PARAMETER_SHARED : 0);
    Blank(*p);
    if (decl.hasInitializer)
        Fill(*p, decl.initial);
    for (const fx::Annotation& a : decl.annotations)
        p->annotations.push_back(MakeAnnotation(a));
    if (decl.type.elements) {
        const unsigned comps = decl.type.Components();
        for (unsigned i = 0; i < decl.type.elements; ++i) {
            std::unique_ptr<Param> e(new Param());
            e->name = decl.name + "[" + std::to_string(i) + "]";
            e->semantic = decl.semantic;
            e->type = decl.type;
            e->type.elements = 0;
            e->rowMajor = decl.rowMajor;
            e->root = p.get();
            e->offset = i * comps;
            p->elements.push_back(std::move(e));
        }
    }
    p->version = m_changes;
    return p;
}

bool Effect::ResolveState(const fx::State& s, bool inSampler, ResolvedState& out, const fx::Effect& parsed,
                          std::string& errors)
{
    auto fail = [&](const std::string& message) {
        errors += parsed.source.Where(s.line) + ": error: " + message + "\n";
        return false;
    };
    if (!fx::LookupState(s.name, s.index, inSampler, out.target))
        return fail("unknown state '" + s.name + (s.index ? "[" + std::to_string(s.index) + "]" : "") + "'");
    const fx::StateValue& v = s.value;
    Param* named = (v.kind == fx::StateValue::Reference || v.kind == fx::StateValue::Name) ? ParamByName(v.name.c_str())
                                                                                          : nullptr;
    switch (out.target.kind) {
    case fx::StateKind::VertexShader:
    case fx::StateKind::PixelShader: {
        if (v.kind == fx::StateValue::Null)
            return true;
        if (v.kind != fx::StateValue::Compile)
            return fail("'" + s.name + "' takes a compile statement or NULL");
        out.shader = ShaderFor(s, out.target.kind == fx::StateKind::VertexShader, parsed, errors);
        return out.shader >= 0;
    }
    case fx::StateKind::Texture:
        if (v.kind == fx::StateValue::Null)
            return true;
        if (!named || !named->type.IsTexture())
            return fail("'" + s.name + "' takes a texture parameter");
        out.ref = named;
        return true;
    case fx::StateKind::SamplerRef:
        if (!named || !named->type.IsSampler())
            return fail("'" + s.name + "' takes a sampler parameter");
        out.ref = named;
        return true;
    case fx::StateKind::Transform:
        if (!named || named->type.base != fx::Base::Float || named->type.rows != 4 || named->type.columns != 4 ||
            named->type.elements)
            return fail("'" + s.name + "' takes a float4x4 parameter");
        out.ref = named;
        return true;
    default:
        break;
    }
    if (named) {
        if (!named->type.Numeric() || named->type.elements)
            return fail("'" + v.name + "' is not a number for '" + s.name + "'");
        out.ref = named;
        return true;
    }
    if (v.kind == fx::StateValue::Reference) {
        fx::StateValue asName = v;
        asName.kind = fx::StateValue::Name;
        std::string error;
        if (fx::StateValueBits(out.target, asName, out.bits, error))
            return true;
        return fail("'" + v.name + "' is not a parameter");
    }
    std::string error;
    if (!fx::StateValueBits(out.target, v, out.bits, error))
        return fail(error + " ('" + s.name + "')");
    return true;
}

int Effect::ShaderFor(const fx::State& s, bool vertex, const fx::Effect& parsed, std::string& errors)
{
    std::string key = s.value.profile + " " + s.value.name + "(";
    for (const std::string& a : s.value.args)
        key += a + ",";
    auto it = m_shaderKeys.find(key);
    if (it != m_shaderKeys.end())
        return it->second;
    std::unique_ptr<ShaderObject> obj(new ShaderObject());
    if (!hlsl::Compile(parsed, s.value.profile, s.value.name, s.value.args, s.line, obj->info, errors))
        return -1;
    if (obj->info.vertex != vertex) {
        errors += parsed.source.Where(s.line) + ": error: '" + s.name + "' cannot take a " + s.value.profile +
                  " shader\n";
        return -1;
    }
    HRESULT hr;
    if (vertex) {
        IDirect3DVertexShader9* vs = nullptr;
        hr = m_device->CreateVertexShader(obj->info.tokens.data(), &vs);
        obj->object = vs;
    } else {
        IDirect3DPixelShader9* ps = nullptr;
        hr = m_device->CreatePixelShader(obj->info.tokens.data(), &ps);
        obj->object = ps;
    }
    if (FAILED(hr) || !obj->object) {
        errors += parsed.source.Where(s.line) + ": error: the device refused the shader '" + s.value.name + "'\n";
        return -1;
    }
    for (const hlsl::Constant& c : obj->info.constants) {
        Param* p = ParamByName(c.name.c_str());
        if (p)
            obj->constants.push_back({p, c});
    }
    m_shaders.push_back(std::move(obj));
    m_shaderKeys[key] = (int)m_shaders.size() - 1;
    return (int)m_shaders.size() - 1;
}

bool Effect::Init(const fx::Effect& parsed, const std::string& skipConstants, std::string& errors)
{
    m_parsed.reset(new fx::Effect(parsed));
    m_skipConstants = skipConstants;
    for (const fx::Parameter& decl : parsed.parameters) {
        m_params.push_back(MakeParam(decl, 0));
        Param* p = m_params.back().get();
        Register(p);
        m_byName[p->name] = p;
    }
    // Names of parameters the application keeps to itself.
    size_t start = 0;
    while (start < skipConstants.size()) {
        size_t end = skipConstants.find(';', start);
        if (end == std::string::npos)
            end = skipConstants.size();
        std::string name = skipConstants.substr(start, end - start);
        auto it = m_byName.find(name);
        if (it != m_byName.end())
            it->second->skip = true;
        start = end + 1;
    }
    bool ok = true;
    for (size_t i = 0; i < parsed.parameters.size(); ++i) {
        for (const fx::State& s : parsed.parameters[i].samplerStates) {
            ResolvedState r;
            if (ResolveState(s, true, r, parsed, errors))
                m_params[i]->samplerStates.push_back(r);
            else
                ok = false;
        }
    }
    for (const fx::Technique& t : parsed.techniques) {
        std::unique_ptr<Technique> tech(new Technique());
        tech->name = t.name;
        for (const fx::Annotation& a : t.annotations) {
            tech->annotations.push_back(MakeAnnotation(a));
            Register(tech->annotations.back().get());
        }
        for (const fx::Pass& p : t.passes) {
            std::unique_ptr<PassObject> pass(new PassObject());
            pass->name = p.name;
            pass->technique = tech.get();
            for (const fx::Annotation& a : p.annotations) {
                pass->annotations.push_back(MakeAnnotation(a));
                Register(pass->annotations.back().get());
            }
            for (const fx::State& s : p.states) {
                ResolvedState r;
                if (!ResolveState(s, false, r, parsed, errors)) {
                    ok = false;
                    continue;
                }
                if (r.target.kind == fx::StateKind::VertexShader)
                    pass->vs = r.shader;
                if (r.target.kind == fx::StateKind::PixelShader)
                    pass->ps = r.shader;
                pass->states.push_back(r);
            }
            m_handles[pass.get()] = kPass;
            tech->passes.push_back(std::move(pass));
        }
        m_handles[tech.get()] = kTechnique;
        m_techniques.push_back(std::move(tech));
    }
    for (const std::string& f : parsed.functions) {
        m_functions.push_back(std::unique_ptr<Function>(new Function{f}));
        m_handles[m_functions.back().get()] = kFunction;
    }
    if (!ok)
        return false;
    // The device links each pass's program now rather than at its first draw.
    for (const auto& tech : m_techniques)
        for (const auto& pass : tech->passes)
            if (pass->vs >= 0 && pass->ps >= 0) {
                IUnknown* vs = m_shaders[(size_t)pass->vs]->object;
                IUnknown* ps = m_shaders[(size_t)pass->ps]->object;
                PrepareShaderProgram(m_device, static_cast<IDirect3DVertexShader9*>(vs),
                                     static_cast<IDirect3DPixelShader9*>(ps));
            }
    D3DXHANDLE first = nullptr;
    if (SUCCEEDED(FindNextValidTechnique(nullptr, &first)) && first)
        m_current = TechniqueOf(first);
    else if (!m_techniques.empty())
        m_current = m_techniques[0].get();
    return true;
}

// ---- IUnknown --------------------------------------------------------------------------

HRESULT Effect::QueryInterface(REFIID riid, void** obj)
{
    if (!obj)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ID3DXBaseEffect || riid == IID_ID3DXEffect) {
        AddRef();
        *obj = static_cast<ID3DXEffect*>(this);
        return S_OK;
    }
    *obj = nullptr;
    return E_NOINTERFACE;
}

ULONG Effect::AddRef()
{
    return ++m_refs;
}

ULONG Effect::Release()
{
    const ULONG r = --m_refs;
    if (r == 0)
        delete this;
    return r;
}

// ---- Handles ------------------------------------------------------------------------------

D3DXHANDLE Effect::Handle(const void* object, HandleKind kind)
{
    (void)kind;
    return static_cast<D3DXHANDLE>(object);
}

Param* Effect::ParamByName(const char* name)
{
    if (!name)
        return nullptr;
    auto it = m_byName.find(name);
    if (it != m_byName.end())
        return it->second;
    // "name[3]": an element.
    const char* bracket = std::strchr(name, '[');
    if (!bracket)
        return nullptr;
    it = m_byName.find(std::string(name, (size_t)(bracket - name)));
    char* end = nullptr;
    const unsigned long index = std::strtoul(bracket + 1, &end, 10);
    if (it == m_byName.end() || !end || end[0] != ']' || end[1] || index >= it->second->elements.size())
        return nullptr;
    return it->second->elements[index].get();
}

Param* Effect::ParamOf(D3DXHANDLE h)
{
    if (!h)
        return nullptr;
    auto it = m_handles.find(h);
    if (it != m_handles.end())
        return it->second == kParam ? const_cast<Param*>(reinterpret_cast<const Param*>(h)) : nullptr;
    return ParamByName(h);
}

Technique* Effect::TechniqueOf(D3DXHANDLE h)
{
    if (!h)
        return nullptr;
    auto it = m_handles.find(h);
    if (it != m_handles.end())
        return it->second == kTechnique ? const_cast<Technique*>(reinterpret_cast<const Technique*>(h)) : nullptr;
    for (auto& t : m_techniques)
        if (t->name == h)
            return t.get();
    return nullptr;
}

PassObject* Effect::PassOf(D3DXHANDLE h)
{
    if (!h)
        return nullptr;
    auto it = m_handles.find(h);
    return it != m_handles.end() && it->second == kPass
               ? const_cast<PassObject*>(reinterpret_cast<const PassObject*>(h))
               : nullptr;
}

HRESULT Effect::GetDesc(D3DXEFFECT_DESC* d)
{
    if (!d)
        return D3DERR_INVALIDCALL;
    d->Creator = "nimbshow HLSL effect compiler (glslang, SPIRV-Cross)";
    d->Parameters = (UINT)m_params.size();
    d->Techniques = (UINT)m_techniques.size();
    d->Functions = (UINT)m_functions.size();
    return D3D_OK;
}

HRESULT Effect::GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* d)
{
    Param* p = ParamOf(h);
    if (!p || !d)
        return D3DERR_INVALIDCALL;
    d->Name = p->name.c_str();
    d->Semantic = p->semantic.empty() ? nullptr : p->semantic.c_str();
    d->Class = (D3DXPARAMETER_CLASS)p->type.cls;
    d->Type = (D3DXPARAMETER_TYPE)p->type.base;
    d->Rows = p->type.rows;
    d->Columns = p->type.columns;
    d->Elements = p->type.elements;
    d->Annotations = (UINT)p->annotations.size();
    d->StructMembers = 0;
    d->Flags = p->flags;
    d->Bytes = p->type.Numeric() ? p->Components() * 4 : (UINT)sizeof(void*) * p->type.Count();
    return D3D_OK;
}

HRESULT Effect::GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* d)
{
    Technique* t = TechniqueOf(h);
    if (!t || !d)
        return D3DERR_INVALIDCALL;
    d->Name = t->name.c_str();
    d->Passes = (UINT)t->passes.size();
    d->Annotations = (UINT)t->annotations.size();
    return D3D_OK;
}

HRESULT Effect::GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* d)
{
    PassObject* p = PassOf(h);
    if (!p || !d)
        return D3DERR_INVALIDCALL;
    d->Name = p->name.c_str();
    d->Annotations = (UINT)p->annotations.size();
    const bool keep = !(m_flags & D3DXFX_NOT_CLONEABLE);
    d->pVertexShaderFunction = keep && p->vs >= 0 ? m_shaders[(size_t)p->vs]->info.tokens.data() : nullptr;
    d->pPixelShaderFunction = keep && p->ps >= 0 ? m_shaders[(size_t)p->ps]->info.tokens.data() : nullptr;
    return D3D_OK;
}

HRESULT Effect::GetFunctionDesc(D3DXHANDLE h, D3DXFUNCTION_DESC* d)
{
    auto it = h ? m_handles.find(h) : m_handles.end();
    if (it == m_handles.end() || it->second != kFunction || !d)
        return D3DERR_INVALIDCALL;
    d->Name = reinterpret_cast<const Function*>(h)->name.c_str();
    d->Annotations = 0;
    return D3D_OK;
}

D3DXHANDLE Effect::GetParameter(D3DXHANDLE parent, UINT index)
{
    if (parent)
        return nullptr;  // no structures
    return index < m_params.size() ? Handle(m_params[index].get(), kParam) : nullptr;
}

D3DXHANDLE Effect::GetParameterByName(D3DXHANDLE parent, LPCSTR name)
{
    if (!name)
        return nullptr;
    if (parent) {
        Param* p = ParamOf(parent);
        return p ? GetParameterByName(nullptr, (p->name + "." + name).c_str()) : nullptr;
    }
    Param* p = ParamByName(name);
    return p ? Handle(p, kParam) : nullptr;
}

D3DXHANDLE Effect::GetParameterBySemantic(D3DXHANDLE parent, LPCSTR semantic)
{
    if (!semantic || parent)
        return nullptr;
    for (auto& p : m_params)
        if (strcasecmp(p->semantic.c_str(), semantic) == 0)
            return Handle(p.get(), kParam);
    return nullptr;
}

D3DXHANDLE Effect::GetParameterElement(D3DXHANDLE h, UINT index)
{
    Param* p = ParamOf(h);
    return p && index < p->elements.size() ? Handle(p->elements[index].get(), kParam) : nullptr;
}

D3DXHANDLE Effect::GetTechnique(UINT index)
{
    return index < m_techniques.size() ? Handle(m_techniques[index].get(), kTechnique) : nullptr;
}

D3DXHANDLE Effect::GetTechniqueByName(LPCSTR name)
{
    if (!name)
        return nullptr;
    for (auto& t : m_techniques)
        if (t->name == name)
            return Handle(t.get(), kTechnique);
    return nullptr;
}

D3DXHANDLE Effect::GetPass(D3DXHANDLE h, UINT index)
{
    Technique* t = TechniqueOf(h);
    return t && index < t->passes.size() ? Handle(t->passes[index].get(), kPass) : nullptr;
}

D3DXHANDLE Effect::GetPassByName(D3DXHANDLE h, LPCSTR name)
{
    Technique* t = TechniqueOf(h);
    if (!t || !name)
        return nullptr;
    for (auto& p : t->passes)
        if (p->name == name)
            return Handle(p.get(), kPass);
    return nullptr;
}

D3DXHANDLE Effect::GetFunction(UINT index)
{
    return index < m_functions.size() ? Handle(m_functions[index].get(), kFunction) : nullptr;
}

D3DXHANDLE Effect::GetFunctionByName(LPCSTR name)
{
    if (!name)
        return nullptr;
    for (auto& f : m_functions)
        if (f->name == name)
            return Handle(f.get(), kFunction);
    return nullptr;
}

namespace {
std::vector<std::unique_ptr<Param>>* AnnotationsOf(Param* p, Technique* t, PassObject* pass)
{
    if (p)
        return &p->annotations;
    if (t)
        return &t->annotations;
    if (pass)
        return &pass->annotations;
    return nullptr;
}
} // namespace

D3DXHANDLE Effect::GetAnnotation(D3DXHANDLE h, UINT index)
{
    auto* list = AnnotationsOf(PassOf(h) ? nullptr : ParamOf(h), TechniqueOf(h), PassOf(h));
    return list && index < list->size() ? Handle((*list)[index].get(), kParam) : nullptr;
}

D3DXHANDLE Effect::GetAnnotationByName(D3DXHANDLE h, LPCSTR name)
{
    auto* list = AnnotationsOf(PassOf(h) ? nullptr : ParamOf(h), TechniqueOf(h), PassOf(h));
    if (!list || !name)
        return nullptr;
    for (auto& a : *list)
        if (a->name == name)
            return Handle(a.get(), kParam);
    return nullptr;
}

// ---- Techniques -----------------------------------------------------------------------------

bool Effect::Valid(const Technique& t) const
{
    for (const auto& p : t.passes) {
        if (p->vs >= 0 && m_shaders[(size_t)p->vs]->info.version > m_caps.VertexShaderVersion)
            return false;
        if (p->ps >= 0 && m_shaders[(size_t)p->ps]->info.version > m_caps.PixelShaderVersion)
            return false;
    }
    return true;
}

HRESULT Effect::GetPool(ID3DXEffectPool** pool)
{
    if (!pool)
        return D3DERR_INVALIDCALL;
    *pool = nullptr;
    return D3D_OK;
}

HRESULT Effect::SetTechnique(D3DXHANDLE h)
{
    Technique* t = TechniqueOf(h);
    if (!t || m_begun)
        return D3DERR_INVALIDCALL;
    m_current = t;
    return D3D_OK;
}

D3DXHANDLE Effect::GetCurrentTechnique()
{
    return m_current ? Handle(m_current, kTechnique) : nullptr;
}

HRESULT Effect::ValidateTechnique(D3DXHANDLE h)
{
    Technique* t = TechniqueOf(h);
    if (!t)
        return D3DERR_INVALIDCALL;
    return Valid(*t) ? D3D_OK : E_FAIL;
}

HRESULT Effect::FindNextValidTechnique(D3DXHANDLE h, D3DXHANDLE* next)
{
    if (!next)
        return D3DERR_INVALIDCALL;
    *next = nullptr;
    size_t i = 0;
    if (h) {
        Technique* t = TechniqueOf(h);
        if (!t)
            return D3DERR_INVALIDCALL;
        while (i < m_techniques.size() && m_techniques[i].get() != t)
            ++i;
        ++i;
    }
    for (; i < m_techniques.size(); ++i) {
        if (Valid(*m_techniques[i])) {
            *next = Handle(m_techniques[i].get(), kTechnique);
            return D3D_OK;
        }
    }
    return S_FALSE;
}

BOOL Effect::IsParameterUsed(D3DXHANDLE hp, D3DXHANDLE ht)
{
    Param* p = ParamOf(hp);
    Technique* t = TechniqueOf(ht);
    if (!p || !t)
        return FALSE;
    p = p->root;
    for (const auto& pass : t->passes) {
        for (const ResolvedState& s : pass->states) {
            if (s.ref == p)
                return TRUE;
            if (s.ref && s.target.kind == fx::StateKind::SamplerRef)
                for (const ResolvedState& ss : s.ref->samplerStates)
                    if (ss.ref == p)
                        return TRUE;
        }
        for (int index : {pass->vs, pass->ps}) {
            if (index < 0)
                continue;
            for (const auto& c : m_shaders[(size_t)index]->constants) {
                if (c.first == p)
                    return TRUE;
                for (const ResolvedState& ss : c.first->samplerStates)
                    if (ss.ref == p)
                        return TRUE;
            }
        }
    }
    return FALSE;
}

// ---- Drawing ---------------------------------------------------------------------------------

DWORD Effect::StateBits(const ResolvedState& s) const
{
    if (!s.ref)
        return s.bits;
    const Param* p = s.ref;
    float values[4] = {0, 0, 0, 0};
    const unsigned n = std::min(4u, p->Components());
    for (unsigned i = 0; i < n; ++i) {
        values[i] = (float)LoadNumber(p->type.base, p->root->data[p->offset + i]);
    }
    return fx::StateNumberBits(s.target, values, n);
}

void Effect::ApplySampler(const Param* sampler, DWORD stage)
{
    for (const ResolvedState& s : sampler->samplerStates) {
        if (s.target.kind == fx::StateKind::Texture)
            m_device->SetTexture(stage, s.ref ? s.ref->root->texture : nullptr);
        else
            m_device->SetSamplerState(stage, (D3DSAMPLERSTATETYPE)s.target.id, StateBits(s));
    }
}

void Effect::ApplyState(const ResolvedState& s, DWORD stage)
{
    switch (s.target.kind) {
    case fx::StateKind::Render:
        m_device->SetRenderState((D3DRENDERSTATETYPE)s.target.id, StateBits(s));
        break;
    case fx::StateKind::TextureStage:
        m_device->SetTextureStageState(stage, (D3DTEXTURESTAGESTATETYPE)s.target.id, StateBits(s));
        break;
    case fx::StateKind::Sampler:
        m_device->SetSamplerState(stage, (D3DSAMPLERSTATETYPE)s.target.id, StateBits(s));
        break;
    case fx::StateKind::Texture:
        m_device->SetTexture(stage, s.ref ? s.ref->root->texture : nullptr);
        break;
    case fx::StateKind::SamplerRef:
        ApplySampler(s.ref, stage);
        break;
    case fx::StateKind::VertexShader:
        m_device->SetVertexShader(
            s.shader >= 0 ? static_cast<IDirect3DVertexShader9*>(m_shaders[(size_t)s.shader]->object) : nullptr);
        break;
    case fx::StateKind::PixelShader:
        m_device->SetPixelShader(
            s.shader >= 0 ? static_cast<IDirect3DPixelShader9*>(m_shaders[(size_t)s.shader]->object) : nullptr);
        break;
    case fx::StateKind::Transform: {
        D3DMATRIX m;
        for (int i = 0; i < 16; ++i)
            m.m[i / 4][i % 4] = Float(s.ref->root->data[s.ref->offset + (unsigned)i]);
        m_device->SetTransform((D3DTRANSFORMSTATETYPE)s.target.id, &m);
        break;
    }
    }
}

void Effect::ApplyPass(const PassObject& pass, bool changesOnly)
{
    auto changed = [&](const Param* p) { return !changesOnly || (p && p->root->version > m_committed); };
    for (const ResolvedState& s : pass.states) {
        if (changesOnly) {
            bool dirty = s.ref && changed(s.ref);
            if (s.ref && s.target.kind == fx::StateKind::SamplerRef)
                for (const ResolvedState& ss : s.ref->samplerStates)
                    dirty = dirty || (ss.ref && changed(ss.ref));
            if (!dirty)
                continue;
        }
        ApplyState(s, s.target.index);
    }
    for (int index : {pass.vs, pass.ps}) {
        if (index < 0)
            continue;
        const ShaderObject& shader = *m_shaders[(size_t)index];
        for (const auto& c : shader.constants) {
            if (c.second.set == hlsl::RegisterSet::Sampler) {
                bool dirty = changed(c.first);
                for (const ResolvedState& ss : c.first->samplerStates)
                    dirty = dirty || (ss.ref && changed(ss.ref));
                if (dirty)
                    ApplySampler(c.first, c.second.start);
            } else if (changed(c.first)) {
                Upload(c.first, c.second, shader.info.vertex);
            }
        }
    }
    m_committed = m_changes;
}

IDirect3DStateBlock9* Effect::RecordSavedStates(const Technique& t, DWORD flags)
{
    const bool shaders = !(flags & D3DXFX_DONOTSAVESHADERSTATE);
    const bool samplers = !(flags & D3DXFX_DONOTSAVESAMPLERSTATE);
    if (FAILED(m_device->BeginStateBlock()))
        return nullptr;
    auto keepTexture = [&](DWORD stage) {
        IDirect3DBaseTexture9* tex = nullptr;
        m_device->GetTexture(stage, &tex);
        m_device->SetTexture(stage, tex);
        if (tex)
            tex->Release();
    };
    auto keepSampler = [&](const Param* sampler, DWORD stage) {
        for (const ResolvedState& s : sampler->samplerStates) {
            if (s.target.kind == fx::StateKind::Texture) {
                keepTexture(stage);
            } else if (samplers) {
                DWORD v = 0;
                m_device->GetSamplerState(stage, (D3DSAMPLERSTATETYPE)s.target.id, &v);
                m_device->SetSamplerState(stage, (D3DSAMPLERSTATETYPE)s.target.id, v);
            }
        }
    };
    for (const auto& pass : t.passes) {
        for (const ResolvedState& s : pass->states) {
            const DWORD id = s.target.id, stage = s.target.index;
            DWORD v = 0;
            switch (s.target.kind) {
            case fx::StateKind::Render:
                m_device->GetRenderState((D3DRENDERSTATETYPE)id, &v);
                m_device->SetRenderState((D3DRENDERSTATETYPE)id, v);
                break;
            case fx::StateKind::TextureStage:
                m_device->GetTextureStageState(stage, (D3DTEXTURESTAGESTATETYPE)id, &v);
                m_device->SetTextureStageState(stage, (D3DTEXTURESTAGESTATETYPE)id, v);
                break;
            case fx::StateKind::Sampler:
                if (samplers) {
                    m_device->GetSamplerState(stage, (D3DSAMPLERSTATETYPE)id, &v);
                    m_device->SetSamplerState(stage, (D3DSAMPLERSTATETYPE)id, v);
                }
                break;
            case fx::StateKind::Texture:
                keepTexture(stage);
                break;
            case fx::StateKind::SamplerRef:
                keepSampler(s.ref, stage);
                break;
            case fx::StateKind::VertexShader:
                if (shaders) {
                    IDirect3DVertexShader9* vs = nullptr;
                    m_device->GetVertexShader(&vs);
                    m_device->SetVertexShader(vs);
                    if (vs)
                        vs->Release();
                }
                break;
            case fx::StateKind::PixelShader:
                if (shaders) {
                    IDirect3DPixelShader9* ps = nullptr;
                    m_device->GetPixelShader(&ps);
                    m_device->SetPixelShader(ps);
                    if (ps)
                        ps->Release();
                }
                break;
            case fx::StateKind::Transform: {
                D3DMATRIX m;
                m_device->GetTransform((D3DTRANSFORMSTATETYPE)id, &m);
                m_device->SetTransform((D3DTRANSFORMSTATETYPE)id, &m);
                break;
            }
            }
        }
        for (int index : {pass->vs, pass->ps}) {
            if (index < 0)
                continue;
            const ShaderObject& shader = *m_shaders[(size_t)index];
            for (const auto& c : shader.constants) {
                const hlsl::Constant& k = c.second;
                if (k.set == hlsl::RegisterSet::Sampler) {
                    keepSampler(c.first, k.start);
                    continue;
                }
                if (!shaders)
                    continue;
                std::vector<DWORD> regs(k.count * 4);
                const bool vertex = shader.info.vertex;
                if (k.set == hlsl::RegisterSet::Float) {
                    float* f = reinterpret_cast<float*>(regs.data());
                    if (vertex) {
                        m_device->GetVertexShaderConstantF(k.start, f, k.count);
                        m_device->SetVertexShaderConstantF(k.start, f, k.count);
                    } else {
                        m_device->GetPixelShaderConstantF(k.start, f, k.count);
                        m_device->SetPixelShaderConstantF(k.start, f, k.count);
                    }
                } else if (k.set == hlsl::RegisterSet::Int) {
                    int* n = reinterpret_cast<int*>(regs.data());
                    if (vertex) {
                        m_device->GetVertexShaderConstantI(k.start, n, k.count);
                        m_device->SetVertexShaderConstantI(k.start, n, k.count);
                    } else {
                        m_device->GetPixelShaderConstantI(k.start, n, k.count);
                        m_device->SetPixelShaderConstantI(k.start, n, k.count);
                    }
                } else {
                    BOOL* b = reinterpret_cast<BOOL*>(regs.data());
                    if (vertex) {
                        m_device->GetVertexShaderConstantB(k.start, b, k.count);
                        m_device->SetVertexShaderConstantB(k.start, b, k.count);
                    } else {
                        m_device->GetPixelShaderConstantB(k.start, b, k.count);
                        m_device->SetPixelShaderConstantB(k.start, b, k.count);
                    }
                }
            }
        }
    }
    IDirect3DStateBlock9* block = nullptr;
    if (FAILED(m_device->EndStateBlock(&block)))
        return nullptr;
    return block;
}

HRESULT Effect::Begin(UINT* passes, DWORD flags)
{
    if (!m_current || m_begun)
        return D3DERR_INVALIDCALL;
    if (!(flags & D3DXFX_DONOTSAVESTATE)) {
        IDirect3DStateBlock9*& saved = m_current->saved[(flags >> 1) & 3];
        if (saved)
            saved->Capture();
        else
            saved = RecordSavedStates(*m_current, flags);
        if (saved) {
            saved->AddRef();
            m_restore = saved;
        }
    }
    m_begun = true;
    m_pass = -1;
    if (passes)
        *passes = (UINT)m_current->passes.size();
    return D3D_OK;
}

HRESULT Effect::BeginPass(UINT pass)
{
    if (!m_begun || m_pass >= 0 || pass >= m_current->passes.size())
        return D3DERR_INVALIDCALL;
    m_pass = (int)pass;
    ApplyPass(*m_current->passes[pass], false);
    return D3D_OK;
}

HRESULT Effect::CommitChanges()
{
    if (!m_begun || m_pass < 0)
        return D3DERR_INVALIDCALL;
    ApplyPass(*m_current->passes[(size_t)m_pass], true);
    return D3D_OK;
}

HRESULT Effect::EndPass()
{
    if (!m_begun || m_pass < 0)
        return D3DERR_INVALIDCALL;
    m_pass = -1;
    return D3D_OK;
}

HRESULT Effect::End()
{
    if (!m_begun)
        return D3DERR_INVALIDCALL;
    m_begun = false;
    m_pass = -1;
    if (m_restore) {
        m_restore->Apply();
        m_restore->Release();
        m_restore = nullptr;
    }
    return D3D_OK;
}

HRESULT Effect::GetDevice(IDirect3DDevice9** device)
{
    if (!device)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *device = m_device;
    return D3D_OK;
}

HRESULT Effect::OnLostDevice()
{
    for (auto& t : m_techniques) {
        for (IDirect3DStateBlock9*& b : t->saved) {
            if (b)
                b->Release();
            b = nullptr;
        }
    }
    return D3D_OK;
}

HRESULT Effect::OnResetDevice()
{
    return D3D_OK;  // the saved-state blocks are recorded again at the next Begin
}

HRESULT Effect::CloneEffect(IDirect3DDevice9* device, ID3DXEffect** out)
{
    if (!device || !out || (m_flags & D3DXFX_NOT_CLONEABLE))
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    Effect* e = new (std::nothrow) Effect(device, m_flags);
    if (!e)
        return E_OUTOFMEMORY;
    std::string errors;
    if (!e->Init(*m_parsed, m_skipConstants, errors)) {
        e->Release();
        return D3DXERR_INVALIDDATA;
    }
    // The clone starts with this effect's values.
    for (size_t i = 0; i < m_params.size(); ++i) {
        Param& from = *m_params[i];
        Param& to = *e->m_params[i];
        to.data = from.data;
        to.text = from.text;
        if (from.texture) {
            from.texture->AddRef();
            to.texture = from.texture;
        }
    }
    if (m_current)
        for (size_t i = 0; i < m_techniques.size(); ++i)
            if (m_techniques[i].get() == m_current)
                e->m_current = e->m_techniques[i].get();
    *out = e;
    return D3D_OK;
}

} // namespace d3dx9fx

// ---- Creation --------------------------------------------------------------------------------------

namespace {

void ErrorBuffer(const std::string& text, ID3DXBuffer** out)
{
    if (!out)
        return;
    *out = nullptr;
    if (text.empty())
        return;
    ID3DXBuffer* b = nullptr;
    if (SUCCEEDED(D3DXCreateBuffer((DWORD)text.size() + 1, &b))) {
        std::memcpy(b->GetBufferPointer(), text.c_str(), text.size() + 1);
        *out = b;
    }
}

bool ReadFile(const std::string& path, std::string& text)
{
    FILE* f = ms_fopen(path.c_str(), "rb");
    if (!f)
        return false;
    text.clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) {
        text.append(buf, n);
        if (text.size() > d3dx9fx::kMaxEffectFileBytes) {
            std::fclose(f);
            return false;
        }
    }
    std::fclose(f);
    return true;
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

HRESULT Create(IDirect3DDevice9* device, const std::string& text, const std::string& name, const D3DXMACRO* defines,
               ID3DXInclude* include, const std::string& folder, LPCSTR skip, DWORD flags, ID3DXEffect** effect,
               ID3DXBuffer** errorsOut)
{
    fx::Macros macros;
    for (const D3DXMACRO* d = defines; d && d->Name; ++d)
        macros.push_back({d->Name, d->Definition ? d->Definition : ""});
    fx::IncludeFn includeFn;
    if (include) {
        includeFn = [include](const std::string& file, bool system, const std::string&, std::string& out) {
            LPCVOID data = nullptr;
            UINT bytes = 0;
            if (FAILED(include->Open(system ? D3DXINC_SYSTEM : D3DXINC_LOCAL, file.c_str(), nullptr, &data,
                                     &bytes)) ||
                !data)
                return false;
            out.assign(static_cast<const char*>(data), bytes);
            include->Close(data);
            return true;
        };
    } else if (!folder.empty() || !name.empty()) {
        includeFn = [folder](const std::string& file, bool, const std::string&, std::string& out) {
            return ReadFile(folder + file, out);
        };
    }
    std::string errors;
    fx::Effect parsed;
    const bool rowMajor = (flags & D3DXSHADER_PACKMATRIX_ROWMAJOR) && !(flags & D3DXSHADER_PACKMATRIX_COLUMNMAJOR);
    if (!fx::ParseEffect(text, name, macros, includeFn, parsed, errors, rowMajor)) {
        ErrorBuffer(errors, errorsOut);
        return D3DXERR_INVALIDDATA;
    }
    d3dx9fx::Effect* e = new (std::nothrow) d3dx9fx::Effect(device, flags);
    if (!e)
        return E_OUTOFMEMORY;
    if (!e->Init(parsed, skip ? skip : "", errors)) {
        e->Release();
        ErrorBuffer(errors, errorsOut);
        return D3DXERR_INVALIDDATA;
    }
    *effect = e;
    return D3D_OK;
}

} // namespace

HRESULT D3DXCreateEffectEx(IDirect3DDevice9* device, LPCVOID data, UINT length, const D3DXMACRO* defines,
                           ID3DXInclude* include, LPCSTR skip, DWORD flags, ID3DXEffectPool* pool,
                           ID3DXEffect** effect, ID3DXBuffer** errors)
{
    (void)pool;
    if (errors)
        *errors = nullptr;
    if (!device || !data || !effect || length > d3dx9fx::kMaxEffectFileBytes)
        return D3DERR_INVALIDCALL;
    *effect = nullptr;
    const std::string text(static_cast<const char*>(data), length);
    return Create(device, text, "memory", defines, include, "", skip, flags, effect, errors);
}

HRESULT D3DXCreateEffect(IDirect3DDevice9* device, LPCVOID data, UINT length, const D3DXMACRO* defines,
                         ID3DXInclude* include, DWORD flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** errors)
{
    return D3DXCreateEffectEx(device, data, length, defines, include, nullptr, flags, pool, effect, errors);
}

HRESULT D3DXCreateEffectFromFileExA(IDirect3DDevice9* device, LPCSTR file, const D3DXMACRO* defines,
                                    ID3DXInclude* include, LPCSTR skip, DWORD flags, ID3DXEffectPool* pool,
                                    ID3DXEffect** effect, ID3DXBuffer** errors)
{
    (void)pool;
    if (errors)
        *errors = nullptr;
    if (!device || !file || !effect)
        return D3DERR_INVALIDCALL;
    *effect = nullptr;
    std::string text;
    if (!ReadFile(file, text)) {
        ErrorBuffer(std::string(file) + ": error: cannot read the effect file\n", errors);
        return D3DXERR_INVALIDDATA;
    }
    return Create(device, text, file, defines, include, Folder(file), skip, flags, effect, errors);
}

HRESULT D3DXCreateEffectFromFileA(IDirect3DDevice9* device, LPCSTR file, const D3DXMACRO* defines,
                                  ID3DXInclude* include, DWORD flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                                  ID3DXBuffer** errors)
{
    return D3DXCreateEffectFromFileExA(device, file, defines, include, nullptr, flags, pool, effect, errors);
}
