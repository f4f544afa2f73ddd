// .x templates and data objects: tokens to an XFileTree.
#include "xfile_tokens.h"
#include "xfile_tree.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Value {
    enum Kind : uint8_t { Int, Real, Str } kind;
    uint32_t integer;
    double real;
};

struct PendingRef {
    size_t parent;
    size_t slot; // index in the parent's children
    std::string name;
    GUID id;
};

// Limits on how far references may multiply the objects a walk of the tree visits.
constexpr uint64_t kMaxExpandedObjects = 1u << 20;

XPrim primOf(XTok k)
{
    switch (k) {
    case XTok::Word: return XPrim::Word;
    case XTok::Dword: return XPrim::Dword;
    case XTok::Float: return XPrim::Float;
    case XTok::Double: return XPrim::Double;
    case XTok::Char: return XPrim::Char;
    case XTok::Uchar: return XPrim::Uchar;
    case XTok::Sword: return XPrim::Sword;
    case XTok::Sdword: return XPrim::Sdword;
    case XTok::Lpstr: case XTok::Unicode: case XTok::Cstring: return XPrim::String;
    default: return XPrim::None;
    }
}

bool isIntegerPrim(XPrim p)
{
    return p == XPrim::Word || p == XPrim::Dword || p == XPrim::Char || p == XPrim::Uchar || p == XPrim::Byte ||
           p == XPrim::Sword || p == XPrim::Sdword;
}

bool allDigits(const std::string& s)
{
    if (s.empty() || s.size() > 10)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

float rdFloat(const uint8_t* p)
{
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

double rdDouble(const uint8_t* p)
{
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

uint32_t rd32(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24); }

class Parser {
public:
    Parser(XLexer& lex, XFileTemplates& known, XFileTree* tree) : lex_(lex), known_(known), tree_(tree) {}

    HRESULT Run(bool templatesOnly)
    {
        HRESULT hr = next();
        while (SUCCEEDED(hr) && tok_.kind != XTok::End) {
            if (tok_.kind == XTok::Template) {
                hr = parseTemplate();
            } else if (!templatesOnly && isName(tok_)) {
                size_t index = 0;
                hr = parseObject(0, &index);
                if (SUCCEEDED(hr))
                    tree_->top.push_back(index);
            } else {
                hr = D3DXFERR_PARSEERROR;
            }
            if (SUCCEEDED(hr))
                hr = next();
        }
        if (SUCCEEDED(hr) && !templatesOnly)
            hr = resolve();
        return hr;
    }

private:
    static bool isName(const XToken& t) { return t.kind == XTok::Name || (!t.text.empty() && t.kind != XTok::String); }
    HRESULT next() { return lex_.Next(&tok_); }
    HRESULT expect(XTok k) { return tok_.kind == k ? S_OK : D3DXFERR_PARSEERROR; }

    HRESULT parseTemplate()
    {
        XFileTemplate t;
        HRESULT hr = next();
        if (FAILED(hr) || !isName(tok_))
            return FAILED(hr) ? hr : D3DXFERR_PARSEERROR;
        t.name = tok_.text;
        if (FAILED(hr = next()) || FAILED(hr = expect(XTok::OBrace)) || FAILED(hr = next()))
            return hr;
        if (tok_.kind == XTok::Guid) {
            t.id = tok_.guid;
            if (FAILED(hr = next()))
                return hr;
        }
        for (;;) {
            if (tok_.kind == XTok::CBrace)
                break;
            if (tok_.kind == XTok::OBracket) {
                if (FAILED(hr = parseRestriction(t)) || FAILED(hr = next()) || FAILED(hr = expect(XTok::CBrace)))
                    return hr;
                break;
            }
            XFileTemplateMember m;
            bool array = false;
            if (tok_.kind == XTok::Array) {
                array = true;
                if (FAILED(hr = next()))
                    return hr;
            }
            if (XTokIsPrimitive(tok_.kind))
                m.prim = primOf(tok_.kind);
            else if (tok_.kind == XTok::Name)
                m.typeName = tok_.text;
            else
                return D3DXFERR_PARSEERROR;
            if (FAILED(hr = next()))
                return hr;
            if (tok_.kind == XTok::Name) {
                m.name = tok_.text;
                if (FAILED(hr = next()))
                    return hr;
            }
            while (array && tok_.kind == XTok::OBracket) {
                if (FAILED(hr = next()))
                    return hr;
                if (tok_.kind == XTok::Integer)
                    m.dims.push_back(std::to_string(tok_.integer));
                else if (tok_.kind == XTok::Name)
                    m.dims.push_back(tok_.text);
                else
                    return D3DXFERR_PARSEERROR;
                if (FAILED(hr = next()) || FAILED(hr = expect(XTok::CBracket)) || FAILED(hr = next()))
                    return hr;
            }
            if ((array && m.dims.empty()) || FAILED(hr = expect(XTok::Semicolon)) || FAILED(hr = next()))
                return FAILED(hr) ? hr : D3DXFERR_PARSEERROR;
            t.members.push_back(std::move(m));
            if (t.members.size() > 4096)
                return D3DXFERR_PARSEERROR;
        }
        tree_->templates.push_back(t);
        known_.Add(t);
        return S_OK;
    }

    // tok_ is the opening bracket; leaves tok_ at the closing one.
    HRESULT parseRestriction(XFileTemplate& t)
    {
        HRESULT hr = next();
        if (FAILED(hr))
            return hr;
        if (tok_.kind == XTok::Dot) {
            while (tok_.kind == XTok::Dot)
                if (FAILED(hr = next()))
                    return hr;
            t.restriction = XFileTemplate::kOpen;
            return expect(XTok::CBracket);
        }
        t.restriction = XFileTemplate::kRestricted;
        while (tok_.kind != XTok::CBracket) {
            if (tok_.kind == XTok::Comma) {
                if (FAILED(hr = next()))
                    return hr;
                continue;
            }
            if (tok_.kind != XTok::Name)
                return D3DXFERR_PARSEERROR;
            t.allowed.push_back(tok_.text);
            t.allowedIds.push_back(GUID{});
            if (FAILED(hr = next()))
                return hr;
            if (tok_.kind == XTok::Guid) {
                t.allowedIds.back() = tok_.guid;
                if (FAILED(hr = next()))
                    return hr;
            }
        }
        return S_OK;
    }

    // tok_ holds the object's type; leaves tok_ at its closing brace.
    HRESULT parseObject(int depth, size_t* index)
    {
        if (depth >= kXFileMaxDepth)
            return D3DXFERR_PARSEERROR;
        const std::string type = tok_.text;
        const XFileTemplate* t = known_.Find(type);
        if (!t)
            return D3DXFERR_BADTYPE;
        HRESULT hr = next();
        if (FAILED(hr))
            return hr;
        std::string name;
        if (isName(tok_)) {
            name = tok_.text;
            if (FAILED(hr = next()))
                return hr;
        }
        if (FAILED(hr = expect(XTok::OBrace)) || FAILED(hr = next()))
            return hr;
        *index = tree_->objects.size();
        tree_->objects.emplace_back();
        {
            XFileObject& o = tree_->objects.back();
            o.type = t->name;
            o.typeId = t->id;
            o.name = name;
        }
        // Templates come only at the top level, so `t` stays valid while children are read.
        if (tok_.kind == XTok::Guid) {
            tree_->objects[*index].id = tok_.guid;
            if (FAILED(hr = next()))
                return hr;
        }
        std::vector<Value> values;
        std::vector<std::string> strings;
        for (;; hr = next()) {
            if (FAILED(hr))
                return hr;
            switch (tok_.kind) {
            case XTok::CBrace:
                break;
            case XTok::End:
                return D3DXFERR_NOMOREDATA;
            case XTok::Comma:
            case XTok::Semicolon:
                continue;
            case XTok::Integer:
                values.push_back({Value::Int, tok_.integer, 0.0});
                continue;
            case XTok::Real:
                values.push_back({Value::Real, 0, tok_.real});
                continue;
            case XTok::IntList:
                values.reserve(values.size() + tok_.count);
                for (uint32_t i = 0; i < tok_.count; ++i)
                    values.push_back({Value::Int, rd32(tok_.list + 4 * (size_t)i), 0.0});
                continue;
            case XTok::FloatList:
                values.reserve(values.size() + tok_.count);
                for (uint32_t i = 0; i < tok_.count; ++i) {
                    const double v = lex_.Doubles() ? rdDouble(tok_.list + 8 * (size_t)i)
                                                    : (double)rdFloat(tok_.list + 4 * (size_t)i);
                    values.push_back({Value::Real, 0, v});
                }
                continue;
            case XTok::String:
                values.push_back({Value::Str, (uint32_t)strings.size(), 0.0});
                strings.push_back(tok_.text);
                continue;
            case XTok::OBrace: {
                PendingRef ref{*index, tree_->objects[*index].children.size(), std::string(), GUID{}};
                if (FAILED(hr = next()))
                    return hr;
                if (isName(tok_)) {
                    ref.name = tok_.text;
                    if (FAILED(hr = next()))
                        return hr;
                }
                if (tok_.kind == XTok::Guid) {
                    ref.id = tok_.guid;
                    if (FAILED(hr = next()))
                        return hr;
                }
                if (ref.name.empty() && XFileGuidIsZero(ref.id))
                    return D3DXFERR_PARSEERROR;
                if (FAILED(hr = expect(XTok::CBrace)))
                    return hr;
                tree_->objects[*index].children.push_back({SIZE_MAX, true});
                refs_.push_back(std::move(ref));
                continue;
            }
            default:
                if (!isName(tok_))
                    return D3DXFERR_PARSEERROR;
                {
                    size_t child = 0;
                    if (FAILED(hr = parseObject(depth + 1, &child)))
                        return hr;
                    tree_->objects[*index].children.push_back({child, false});
                }
                continue;
            }
            break;
        }
        XFileObject& o = tree_->objects[*index];
        o.strings = std::move(strings);
        size_t pos = 0;
        if (FAILED(hr = decode(*t, values, pos, o, 0)))
            return hr;
        return pos == values.size() ? S_OK : D3DXFERR_PARSEERROR;
    }

    // The fewest values one instance of a type takes.
    HRESULT minValues(const XFileTemplateMember& m, int depth, uint64_t* out)
    {
        if (m.prim != XPrim::None) {
            *out = 1;
            return S_OK;
        }
        if (depth > kXFileMaxTemplateDepth)
            return D3DXFERR_PARSEERROR;
        const XFileTemplate* t = known_.Find(m.typeName);
        if (!t)
            return D3DXFERR_BADTYPE;
        uint64_t sum = 0;
        for (const XFileTemplateMember& inner : t->members) {
            uint64_t count = 1;
            for (const std::string& d : inner.dims)
                count = allDigits(d) ? count * std::strtoull(d.c_str(), nullptr, 10) : 0;
            if (count == 0)
                continue;
            uint64_t each = 0;
            HRESULT hr = minValues(inner, depth + 1, &each);
            if (FAILED(hr))
                return hr;
            sum += count * each;
            if (sum > 0xFFFFFFFFu)
                return D3DXFERR_BADARRAYSIZE;
        }
        *out = sum;
        return S_OK;
    }

    HRESULT decode(const XFileTemplate& t, const std::vector<Value>& values, size_t& pos, XFileObject& o, int depth)
    {
        if (depth > kXFileMaxTemplateDepth)
            return D3DXFERR_PARSEERROR;
        std::vector<std::pair<const std::string*, uint32_t>> scalars;
        for (const XFileTemplateMember& m : t.members) {
            uint64_t count = 1;
            for (const std::string& d : m.dims) {
                uint64_t dim = 0;
                if (allDigits(d)) {
                    dim = std::strtoull(d.c_str(), nullptr, 10);
                } else {
                    bool found = false;
                    for (auto it = scalars.rbegin(); it != scalars.rend() && !found; ++it)
                        if (*it->first == d) {
                            dim = it->second;
                            found = true;
                        }
                    if (!found)
                        return D3DXFERR_PARSEERROR;
                }
                count *= dim;
                if (count > 0xFFFFFFFFu)
                    return D3DXFERR_BADARRAYSIZE;
            }
            uint64_t each = 0;
            HRESULT hr = minValues(m, 0, &each);
            if (FAILED(hr))
                return hr;
            const uint64_t left = values.size() - pos;
            if (!m.dims.empty() && (each ? count > left / each : count > left + 1))
                return D3DXFERR_BADARRAYSIZE;
            const XFileTemplate* inner = nullptr;
            if (m.prim == XPrim::None && !(inner = known_.Find(m.typeName)))
                return D3DXFERR_BADTYPE;
            for (uint64_t i = 0; i < count; ++i) {
                if (inner) {
                    if (FAILED(hr = decode(*inner, values, pos, o, depth + 1)))
                        return hr;
                    continue;
                }
                if (pos >= values.size())
                    return D3DXFERR_NOMOREDATA;
                const Value& v = values[pos++];
                if (FAILED(hr = put(m.prim, v, o)))
                    return hr;
                if (m.dims.empty() && isIntegerPrim(m.prim) && !m.name.empty())
                    scalars.push_back({&m.name, v.integer});
            }
        }
        return S_OK;
    }

    static HRESULT put(XPrim p, const Value& v, XFileObject& o)
    {
        uint8_t bytes[8];
        size_t n = 0;
        if (p == XPrim::String) {
            if (v.kind != Value::Str)
                return D3DXFERR_PARSEERROR;
            const uint64_t index = v.integer;
            std::memcpy(bytes, &index, 8);
            o.stringSlots.push_back((uint32_t)o.data.size());
            n = 8;
        } else if (p == XPrim::Float || p == XPrim::Double) {
            if (v.kind == Value::Str)
                return D3DXFERR_PARSEERROR;
            const double d = v.kind == Value::Int ? (double)(int32_t)v.integer : v.real;
            if (p == XPrim::Float) {
                const float f = (float)d;
                std::memcpy(bytes, &f, 4);
                n = 4;
            } else {
                std::memcpy(bytes, &d, 8);
                n = 8;
            }
        } else {
            if (v.kind != Value::Int)
                return D3DXFERR_PARSEERROR;
            n = (p == XPrim::Word || p == XPrim::Sword) ? 2 : (p == XPrim::Dword || p == XPrim::Sdword) ? 4 : 1;
            const uint32_t u = v.integer;
            for (size_t i = 0; i < n; ++i)
                bytes[i] = (uint8_t)(u >> (8 * i));
        }
        o.data.insert(o.data.end(), bytes, bytes + n);
        return S_OK;
    }

    bool allowedChild(const XFileTemplate& t, const XFileObject& child) const
    {
        if (t.restriction == XFileTemplate::kOpen)
            return true;
        if (t.restriction == XFileTemplate::kClosed)
            return false;
        for (size_t i = 0; i < t.allowed.size(); ++i) {
            const GUID& id = t.allowedIds[i];
            if (XFileGuidIsZero(id) ? t.allowed[i] == child.type : id == child.typeId)
                return true;
        }
        return false;
    }

    HRESULT resolve()
    {
        std::vector<XFileObject>& objs = tree_->objects;
        for (const PendingRef& r : refs_) {
            size_t target = SIZE_MAX;
            for (size_t i = 0; i < objs.size() && target == SIZE_MAX; ++i) {
                const bool idMatch = XFileGuidIsZero(r.id) || objs[i].id == r.id;
                const bool nameMatch = r.name.empty() || objs[i].name == r.name;
                if (idMatch && nameMatch)
                    target = i;
            }
            if (target == SIZE_MAX)
                return D3DXFERR_BADDATAREFERENCE;
            objs[r.parent].children[r.slot].object = target;
        }
        for (const XFileObject& o : objs) {
            const XFileTemplate* t = known_.Find(o.type);
            for (const XFileChild& c : o.children)
                if (!t || !allowedChild(*t, objs[c.object]))
                    return D3DXFERR_BADOBJECT;
        }
        return refs_.empty() ? S_OK : checkReferenceGraph();
    }

    // References may not loop back, nor multiply the objects a walk visits
    // beyond a bound.
    HRESULT checkReferenceGraph()
    {
        const std::vector<XFileObject>& objs = tree_->objects;
        enum : uint8_t { kNew, kOpen, kDone };
        std::vector<uint8_t> state(objs.size(), kNew);
        std::vector<uint64_t> expanded(objs.size(), 0);
        std::vector<std::pair<size_t, size_t>> stack; // object, next child
        for (size_t root = 0; root < objs.size(); ++root) {
            if (state[root] != kNew)
                continue;
            stack.push_back({root, 0});
            state[root] = kOpen;
            while (!stack.empty()) {
                auto& [obj, next] = stack.back();
                if (next < objs[obj].children.size()) {
                    const size_t c = objs[obj].children[next++].object;
                    if (state[c] == kOpen)
                        return D3DXFERR_BADDATAREFERENCE;
                    if (state[c] == kNew) {
                        state[c] = kOpen;
                        stack.push_back({c, 0});
                    }
                    continue;
                }
                uint64_t total = 1;
                for (const XFileChild& c : objs[obj].children)
                    total = std::min<uint64_t>(total + expanded[c.object], kMaxExpandedObjects + 1);
                if (total > kMaxExpandedObjects)
                    return D3DXFERR_BADDATAREFERENCE;
                expanded[obj] = total;
                state[obj] = kDone;
                stack.pop_back();
            }
        }
        return S_OK;
    }

    XLexer& lex_;
    XFileTemplates& known_;
    XFileTree* tree_;
    XToken tok_;
    std::vector<PendingRef> refs_;
};

HRESULT parseBytes(const void* bytes, size_t size, XFileTemplates& known, XFileTree* tree, bool templatesOnly)
{
    if (!bytes || !tree)
        return D3DXFERR_BADVALUE;
    if (size > kXFileMaxBytes)
        return D3DXFERR_BADFILE;
    const uint8_t* p = (const uint8_t*)bytes;
    XFileHeader h;
    HRESULT hr = XFileReadHeader(p, size, &h);
    if (FAILED(hr))
        return hr;
    std::vector<uint8_t> plain;
    const uint8_t* body = p + 16;
    size_t bodySize = size - 16;
    if (h.compressed) {
        if (FAILED(hr = XFileInflate(body, bodySize, &plain)))
            return hr;
        body = plain.data();
        bodySize = plain.size();
    }
    XLexer lex(body, bodySize, h.binary, h.doubles);
    Parser parser(lex, known, tree);
    return parser.Run(templatesOnly);
}

} // namespace

HRESULT XFileParse(const void* bytes, size_t size, const XFileTemplates* known, XFileTree* tree)
{
    if (!tree)
        return D3DXFERR_BADVALUE;
    *tree = XFileTree{};
    XFileTemplates all = XFileTemplates::Standard();
    if (known)
        all.AddAll(*known);
    HRESULT hr = parseBytes(bytes, size, all, tree, false);
    if (FAILED(hr))
        *tree = XFileTree{};
    return hr;
}

HRESULT XFileParseTemplates(const void* bytes, size_t size, XFileTemplates* into)
{
    if (!into)
        return D3DXFERR_BADVALUE;
    XFileTemplates scratch = *into;
    XFileTree tree;
    HRESULT hr = parseBytes(bytes, size, scratch, &tree, true);
    if (SUCCEEDED(hr))
        *into = scratch;
    return hr;
}
