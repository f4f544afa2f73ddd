#include "fx_parse.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace fx {

namespace {

const unsigned kMaxArrayElements = 65536;
// Brackets of the three kinds nested in one another: the shader compiler
// recurses once per level.
const int kMaxNesting = 256;

struct Tok {
    enum Kind { Ident, Number, String, Punct, End } kind;
    std::string text;
    size_t begin = 0, end = 0;
    int line = 0;
};

std::vector<Tok> Lex(const std::string& s)
{
    std::vector<Tok> out;
    int line = 1;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
            continue;
        }
        if (std::isspace((unsigned char)c)) {
            ++i;
            continue;
        }
        Tok t;
        t.begin = i;
        t.line = line;
        size_t j = i + 1;
        if (std::isalpha((unsigned char)c) || c == '_') {
            while (j < s.size() && (std::isalnum((unsigned char)s[j]) || s[j] == '_'))
                ++j;
            t.kind = Tok::Ident;
        } else if (std::isdigit((unsigned char)c) || (c == '.' && j < s.size() && std::isdigit((unsigned char)s[j]))) {
            while (j < s.size() && (std::isalnum((unsigned char)s[j]) || s[j] == '.' ||
                                    ((s[j] == '+' || s[j] == '-') && (s[j - 1] == 'e' || s[j - 1] == 'E') &&
                                     !(s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')))))
                ++j;
            t.kind = Tok::Number;
        } else if (c == '"') {
            while (j < s.size() && s[j] != '"' && s[j] != '\n') {
                if (s[j] == '\\' && j + 1 < s.size())
                    ++j;
                ++j;
            }
            if (j < s.size() && s[j] == '"')
                ++j;
            t.kind = Tok::String;
        } else {
            t.kind = Tok::Punct;
        }
        t.end = j;
        t.text = s.substr(i, j - i);
        out.push_back(t);
        i = j;
    }
    Tok end;
    end.kind = Tok::End;
    end.begin = end.end = s.size();
    end.line = line;
    out.push_back(end);
    return out;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = (char)std::tolower((unsigned char)c);
    return s;
}

bool ScalarBase(const std::string& w, Base& base)
{
    if (w == "float" || w == "half" || w == "double" || w == "min16float" || w == "min10float")
        base = Base::Float;
    else if (w == "int" || w == "uint" || w == "dword" || w == "DWORD" || w == "min16int" || w == "min16uint")
        base = Base::Int;
    else if (w == "bool")
        base = Base::Bool;
    else
        return false;
    return true;
}

bool ParseStringLiteral(const std::string& lit, std::string& out)
{
    if (lit.size() < 2 || lit.front() != '"' || lit.back() != '"')
        return false;
    for (size_t i = 1; i + 1 < lit.size(); ++i) {
        char c = lit[i];
        if (c == '\\' && i + 2 < lit.size()) {
            c = lit[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 't')
                c = '\t';
            else if (c == '0')
                c = '\0';
        }
        out += c;
    }
    return true;
}

class Parser {
public:
    Parser(const Preprocessed& source, Effect& out, std::string& errors, bool rowMajor)
        : m_src(source), m_out(out), m_errors(errors), m_t(Lex(source.text)), m_rowMajor(rowMajor)
    {
    }

    bool Run()
    {
        m_out.hlsl = m_src.text;
        CheckNesting();
        while (!m_failed && Peek().kind != Tok::End)
            TopLevel();
        return !m_failed;
    }

private:
    const Tok& Peek(size_t ahead = 0) const
    {
        size_t i = m_i + ahead;
        return i < m_t.size() ? m_t[i] : m_t.back();
    }
    bool Is(const char* text, size_t ahead = 0) const
    {
        const Tok& t = Peek(ahead);
        return t.kind != Tok::End && t.kind != Tok::String && t.text == text;
    }
    bool Take(const char* text)
    {
        if (!Is(text))
            return false;
        ++m_i;
        return true;
    }
    const Tok& Next()
    {
        const Tok& t = Peek();
        if (m_i < m_t.size() - 1)
            ++m_i;
        return t;
    }
    void Fail(const Tok& at, const std::string& message)
    {
        if (m_failed)
            return;
        m_errors += m_src.Where(at.line) + ": error: " + message + "\n";
        m_failed = true;
    }
    bool Expect(const char* text, const char* what)
    {
        if (Take(text))
            return true;
        const Tok& t = Peek();
        Fail(t, std::string("expected '") + text + "' " + what + ", found " +
                    (t.kind == Tok::End ? std::string("the end of the file") : "'" + t.text + "'"));
        return false;
    }
    bool Identifier(std::string& name, const char* what)
    {
        if (Peek().kind != Tok::Ident) {
            const Tok& t = Peek();
            Fail(t, std::string("expected ") + what + ", found " +
                        (t.kind == Tok::End ? std::string("the end of the file") : "'" + t.text + "'"));
            return false;
        }
        name = Next().text;
        return true;
    }
    void CheckNesting()
    {
        int depth = 0;
        for (const Tok& t : m_t) {
            if (t.kind != Tok::Punct)
                continue;
            if (t.text == "(" || t.text == "[" || t.text == "{") {
                if (++depth > kMaxNesting) {
                    Fail(t, "brackets nested deeper than " + std::to_string(kMaxNesting) + " levels");
                    return;
                }
            } else if ((t.text == ")" || t.text == "]" || t.text == "}") && depth > 0) {
                --depth;
            }
        }
    }
    // Blanks the text from the first token to the last, keeping line breaks.
    void Blank(size_t firstToken, size_t endToken)
    {
        if (endToken <= firstToken)
            return;
        const size_t a = m_t[firstToken].begin, b = m_t[endToken - 1].end;
        for (size_t i = a; i < b; ++i)
            if (m_out.hlsl[i] != '\n')
                m_out.hlsl[i] = ' ';
    }
    // Skips a balanced (...), {...} or [...] group starting at the current token.
    bool SkipGroup()
    {
        const Tok& open = Peek();
        const std::string o = open.text;
        const std::string c = o == "(" ? ")" : o == "{" ? "}" : "]";
        int level = 0;
        for (;;) {
            const Tok& t = Next();
            if (t.kind == Tok::End) {
                Fail(open, "'" + o + "' is never closed");
                return false;
            }
            if (t.kind != Tok::Punct)
                continue;
            if (t.text == o)
                ++level;
            else if (t.text == c && --level == 0)
                return true;
        }
    }

    bool ParseType(Type& type)
    {
        const Tok& t = Peek();
        if (t.kind != Tok::Ident) {
            Fail(t, "expected a type, found '" + t.text + "'");
            return false;
        }
        if ((t.text == "vector" || t.text == "matrix") && Is("<", 1)) {
            const bool matrix = t.text == "matrix";
            Next();
            Next();
            std::string base;
            if (!Identifier(base, "a scalar type"))
                return false;
            if (!ScalarBase(base, type.base)) {
                Fail(Peek(), "'" + base + "' is not a scalar type");
                return false;
            }
            unsigned dims[2] = {1, 1};
            for (int d = 0; d < (matrix ? 2 : 1); ++d) {
                if (!Expect(",", "in the type"))
                    return false;
                const Tok& n = Next();
                dims[d] = (unsigned)std::strtoul(n.text.c_str(), nullptr, 10);
                if (n.kind != Tok::Number || dims[d] < 1 || dims[d] > 4) {
                    Fail(n, "a dimension must be 1 to 4");
                    return false;
                }
            }
            if (!Expect(">", "after the type"))
                return false;
            type.cls = matrix ? Class::MatrixColumns : Class::Vector;
            type.rows = matrix ? dims[0] : 1;
            type.columns = matrix ? dims[1] : dims[0];
            return true;
        }
        if (!TypeFromKeyword(t.text, type)) {
            auto alias = m_typedefs.find(t.text);
            if (alias == m_typedefs.end()) {
                Fail(t, m_structs.count(t.text) ? "parameters of structure type are not supported ('" + t.text + "')"
                                                : "unknown type '" + t.text + "'");
                return false;
            }
            type = alias->second;
        }
        Next();
        return true;
    }

    // Numbers of a constant initializer: literals, true/false, braces and
    // constructor calls. Strings give their text.
    bool ParseConstant(Value& value, bool& isString, const char* what)
    {
        isString = false;
        int level = 0;
        bool any = false;
        for (;;) {
            const Tok& t = Peek();
            if (t.kind == Tok::End) {
                Fail(t, std::string("unexpected end of the file in ") + what);
                return false;
            }
            if (level == 0 && t.kind == Tok::Punct && (t.text == ";" || t.text == "," || t.text == ">"))
                break;
            if (level == 0 && t.kind == Tok::Punct && (t.text == ")" || t.text == "}"))
                break;
            Next();
            if (t.kind == Tok::String) {
                std::string s;
                ParseStringLiteral(t.text, s);
                value.text += s;
                isString = true;
                any = true;
                continue;
            }
            if (t.kind == Tok::Punct && (t.text == "{" || t.text == "(")) {
                ++level;
                continue;
            }
            if (t.kind == Tok::Punct && (t.text == "}" || t.text == ")")) {
                --level;
                continue;
            }
            if (t.kind == Tok::Punct && t.text == ",")
                continue;
            bool negative = false;
            const Tok* n = &t;
            if (t.kind == Tok::Punct && (t.text == "-" || t.text == "+")) {
                negative = t.text == "-";
                n = &Next();
            }
            if (n->kind == Tok::Number) {
                std::string s = n->text;
                while (!s.empty() && (s.back() == 'f' || s.back() == 'F' || s.back() == 'h' || s.back() == 'H' ||
                                      s.back() == 'l' || s.back() == 'L' || s.back() == 'u' || s.back() == 'U'))
                    s.pop_back();
                char* end = nullptr;
                double v = (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
                               ? (double)std::strtoull(s.c_str(), &end, 16)
                               : std::strtod(s.c_str(), &end);
                if (!end || *end) {
                    Fail(*n, "bad number '" + n->text + "' in " + what);
                    return false;
                }
                value.numbers.push_back(negative ? -v : v);
                any = true;
                continue;
            }
            if (n->kind == Tok::Ident && (n->text == "true" || n->text == "false" || n->text == "TRUE" ||
                                          n->text == "FALSE")) {
                value.numbers.push_back(Lower(n->text) == "true" ? (negative ? -1.0 : 1.0) : 0.0);
                any = true;
                continue;
            }
            Type ctor;
            if (n->kind == Tok::Ident && !negative && (TypeFromKeyword(n->text, ctor) || n->text == "vector" ||
                                                       n->text == "matrix") && Is("(")) {
                continue;
            }
            Fail(*n, std::string(what) + " must be a constant ('" + n->text + "' is not)");
            return false;
        }
        if (level != 0) {
            Fail(Peek(), std::string("unbalanced brackets in ") + what);
            return false;
        }
        if (!any) {
            Fail(Peek(), std::string("empty ") + what);
            return false;
        }
        return true;
    }

    // Checks a numeric value against its type: one number fills every
    // component; otherwise the counts must agree.
    bool FitValue(const Type& type, Value& value, bool isString, const Tok& at, const std::string& what)
    {
        if (type.base == Base::String) {
            if (!isString) {
                Fail(at, what + " must be a string");
                return false;
            }
            return true;
        }
        if (!type.Numeric()) {
            Fail(at, what + " cannot have a value");
            return false;
        }
        if (isString) {
            Fail(at, what + " must be a number");
            return false;
        }
        const size_t want = (size_t)type.Components() * type.Count();
        if (value.numbers.size() == 1 && want > 1)
            value.numbers.assign(want, value.numbers[0]);
        if (value.numbers.size() != want) {
            Fail(at, what + " needs " + std::to_string(want) + " values, " + std::to_string(value.numbers.size()) +
                         " given");
            return false;
        }
        return true;
    }

    bool ParseAnnotations(std::vector<Annotation>& list)
    {
        if (!Take("<"))
            return true;
        while (!Take(">")) {
            Annotation a;
            const Tok& at = Peek();
            if (!ParseType(a.type) || !Identifier(a.name, "an annotation name"))
                return false;
            if (Take("[")) {
                const Tok& n = Next();
                a.type.elements = (unsigned)std::strtoul(n.text.c_str(), nullptr, 10);
                if (n.kind != Tok::Number || a.type.elements == 0 || a.type.elements > kMaxArrayElements) {
                    Fail(n, "bad array size");
                    return false;
                }
                if (!Expect("]", "after the array size"))
                    return false;
            }
            if (!Expect("=", "in the annotation"))
                return false;
            bool isString = false;
            if (!ParseConstant(a.value, isString, "an annotation value") ||
                !FitValue(a.type, a.value, isString, at, "annotation '" + a.name + "'"))
                return false;
            if (!Expect(";", "after the annotation"))
                return false;
            list.push_back(a);
        }
        return true;
    }

    bool ParseStateValue(StateValue& v)
    {
        const Tok& t = Peek();
        if (Take("compile")) {
            v.kind = StateValue::Compile;
            if (!Identifier(v.profile, "a shader profile") || !Identifier(v.name, "the shader's function"))
                return false;
            if (!Expect("(", "after the shader's function"))
                return false;
            if (!Take(")")) {
                for (;;) {
                    std::string arg;
                    int level = 0;
                    while (!(level == 0 && (Is(",") || Is(")")))) {
                        const Tok& a = Next();
                        if (a.kind == Tok::End || Is(";")) {
                            Fail(a, "unterminated argument list");
                            return false;
                        }
                        if (a.text == "(")
                            ++level;
                        if (a.text == ")")
                            --level;
                        arg += a.text;
                    }
                    v.args.push_back(arg);
                    if (Take(")"))
                        break;
                    Next();
                }
            }
            return true;
        }
        if (Is("asm")) {
            Fail(t, "assembly shaders are not supported");
            return false;
        }
        if (Is("<") && Peek(1).kind == Tok::Ident && Is(">", 2)) {
            Next();
            v.kind = StateValue::Reference;
            v.name = Next().text;
            Next();
            return true;
        }
        if (Is("(") && Peek(1).kind == Tok::Ident && Is(")", 2) && !IsConstantWord(Peek(1).text)) {
            Next();
            v.kind = StateValue::Reference;
            v.name = Next().text;
            Next();
            return true;
        }
        if (t.kind == Tok::Ident && (t.text == "NULL" || t.text == "null") && Is(";", 1)) {
            Next();
            v.kind = StateValue::Null;
            return true;
        }
        Type ctor;
        if (t.kind == Tok::Ident && !IsConstantWord(t.text) && !(TypeFromKeyword(t.text, ctor) && Is("(", 1))) {
            Next();
            v.kind = StateValue::Name;
            v.name = t.text;
            // Flags joined with '|' (e.g. colour write masks).
            while (Take("|")) {
                std::string more;
                if (!Identifier(more, "a state value"))
                    return false;
                v.name += "|" + more;
            }
            return true;
        }
        v.kind = StateValue::Numbers;
        Value value;
        bool isString = false;
        if (!ParseConstant(value, isString, "a state value"))
            return false;
        if (isString) {
            Fail(t, "a state value cannot be a string");
            return false;
        }
        v.numbers = value.numbers;
        return true;
    }

    static bool IsConstantWord(const std::string& w)
    {
        return w == "true" || w == "false" || w == "TRUE" || w == "FALSE";
    }

    bool ParseStates(std::vector<State>& states, const char* where)
    {
        if (!Expect("{", where))
            return false;
        while (!Take("}")) {
            State s;
            s.line = Peek().line;
            if (!Identifier(s.name, "a state name"))
                return false;
            if (Take("[")) {
                const Tok& n = Next();
                s.index = (int)std::strtol(n.text.c_str(), nullptr, 10);
                if (n.kind != Tok::Number || s.index < 0 || s.index > 255) {
                    Fail(n, "bad state index");
                    return false;
                }
                if (!Expect("]", "after the state index"))
                    return false;
            }
            if (!Expect("=", ("after '" + s.name + "'").c_str()) || !ParseStateValue(s.value) ||
                !Expect(";", "after the state assignment"))
                return false;
            states.push_back(s);
        }
        return true;
    }

    void ParseTechnique()
    {
        const size_t first = m_i;
        Technique tech;
        tech.line = Next().line;
        if (Peek().kind == Tok::Ident)
            tech.name = Next().text;
        if (!ParseAnnotations(tech.annotations) || !Expect("{", "to open the technique"))
            return;
        while (!Take("}")) {
            Pass pass;
            pass.line = Peek().line;
            if (!Take("pass")) {
                Fail(Peek(), "expected 'pass' in technique '" + tech.name + "', found '" + Peek().text + "'");
                return;
            }
            if (Peek().kind == Tok::Ident)
                pass.name = Next().text;
            if (!ParseAnnotations(pass.annotations) || !ParseStates(pass.states, "to open the pass"))
                return;
            tech.passes.push_back(pass);
        }
        Take(";");
        Blank(first, m_i);
        m_out.techniques.push_back(tech);
    }

    // A declaration after its type: one or more declarators up to ';'.
    void ParseParameters(size_t first, const Type& base, bool rowMajor, bool shared)
    {
        for (;;) {
            Parameter p;
            p.type = base;
            p.rowMajor = rowMajor;
            p.shared = shared;
            p.line = Peek().line;
            const Tok& nameTok = Peek();
            if (!Identifier(p.name, "a parameter name"))
                return;
            if (Take("[")) {
                const Tok& n = Next();
                const unsigned long count = std::strtoul(n.text.c_str(), nullptr, 10);
                if (n.kind != Tok::Number || count == 0 || count > kMaxArrayElements) {
                    Fail(n, "the size of array '" + p.name + "' must be a number from 1 to " +
                                std::to_string(kMaxArrayElements));
                    return;
                }
                p.type.elements = (unsigned)count;
                if (!Expect("]", "after the array size"))
                    return;
                if (Is("[")) {
                    Fail(Peek(), "arrays of arrays are not supported");
                    return;
                }
            }
            while (Take(":")) {
                if (Is("register") || Is("packoffset")) {
                    Next();
                    if (!Is("(")) {
                        Fail(Peek(), "expected '(' after 'register'");
                        return;
                    }
                    if (!SkipGroup())
                        return;
                    continue;
                }
                if (!Identifier(p.semantic, "a semantic"))
                    return;
            }
            if (!ParseAnnotations(p.annotations))
                return;
            if (Take("=")) {
                if (p.type.IsSampler() && Take("sampler_state")) {
                    if (!ParseStates(p.samplerStates, "after 'sampler_state'"))
                        return;
                } else if (p.type.IsTexture() || p.type.IsSampler()) {
                    Fail(nameTok, "'" + p.name + "' cannot have an initial value");
                    return;
                } else {
                    bool isString = false;
                    if (!ParseConstant(p.initial, isString, "an initial value") ||
                        !FitValue(p.type, p.initial, isString, nameTok, "'" + p.name + "'"))
                        return;
                    p.hasInitializer = true;
                }
            } else if (p.type.IsSampler() && Is("{")) {
                if (!ParseStates(p.samplerStates, "to open the sampler's states"))
                    return;
            }
            if (p.type.IsSampler() && p.type.elements) {
                Fail(nameTok, "arrays of samplers are not supported");
                return;
            }
            for (const Parameter& q : m_out.parameters) {
                if (q.name == p.name) {
                    Fail(nameTok, "'" + p.name + "' is declared twice");
                    return;
                }
            }
            m_out.parameters.push_back(p);
            if (Take(";"))
                break;
            if (!Expect(",", "or ';' after the declaration"))
                return;
        }
        Blank(first, m_i);
    }

    void TopLevel()
    {
        const size_t first = m_i;
        const Tok& t = Peek();
        if (Take(";"))
            return;
        if (t.kind == Tok::Ident && (t.text == "technique" || t.text == "Technique")) {
            ParseTechnique();
            return;
        }
        if (t.kind == Tok::Ident && (t.text == "technique10" || t.text == "technique11" || t.text == "cbuffer" ||
                                     t.text == "tbuffer" || t.text == "namespace")) {
            Fail(t, "'" + t.text + "' is not supported in a Direct3D 9 effect");
            return;
        }
        if (Is("[")) {  // attributes of a function
            SkipGroup();
            return;
        }
        if (Take("struct")) {
            std::string name;
            if (Peek().kind == Tok::Ident)
                name = Next().text;
            if (!Is("{")) {
                Fail(Peek(), "expected '{' after 'struct " + name + "'");
                return;
            }
            if (!SkipGroup())
                return;
            if (!name.empty())
                m_structs.insert(name);
            if (!Take(";"))
                Fail(Peek(), "variables of structure type are not supported");
            return;
        }
        if (Take("typedef")) {
            Type type;
            const bool builtin = Peek().kind == Tok::Ident && (TypeFromKeyword(Peek().text, type) ||
                                                               Is("vector") || Is("matrix"));
            if (builtin && !ParseType(type))
                return;
            while (!Is(";") && Peek().kind != Tok::End) {
                const Tok& n = Next();
                if (builtin && n.kind == Tok::Ident && (Is(";") || Is(",")))
                    m_typedefs[n.text] = type;
                else if (!builtin && n.kind == Tok::Ident && (Is(";") || Is(",")))
                    m_structs.insert(n.text);
            }
            Expect(";", "after the typedef");
            return;
        }
        bool isStatic = false, rowMajor = m_rowMajor, shared = false, isConst = false;
        for (;;) {
            const std::string& w = Peek().text;
            if (Peek().kind != Tok::Ident)
                break;
            if (w == "static") {
                isStatic = true;
            } else if (w == "row_major") {
                rowMajor = true;
            } else if (w == "column_major") {
                rowMajor = false;
            } else if (w == "shared") {
                shared = true;
            } else if (w == "const") {
                isConst = true;
            } else if (!(w == "uniform" || w == "extern" || w == "volatile" || w == "inline" || w == "precise")) {
                break;
            }
            Next();
        }
        (void)isConst;
        // Function or static variable: left to the compiler as written.
        const bool function = Peek().kind == Tok::Ident && Peek(1).kind == Tok::Ident && Is("(", 2);
        if (function || isStatic) {
            if (function)
                m_out.functions.push_back(Peek(1).text);
            while (!m_failed) {
                const Tok& n = Peek();
                if (n.kind == Tok::End) {
                    Fail(t, "unexpected end of the file");
                    return;
                }
                if (Is("{")) {
                    if (!SkipGroup())
                        return;
                    if (function)
                        return;
                    continue;
                }
                if (Is("(") || Is("[")) {
                    if (!SkipGroup())
                        return;
                    continue;
                }
                Next();
                if (n.kind == Tok::Punct && n.text == ";")
                    return;
            }
            return;
        }
        if (t.kind != Tok::Ident) {
            Fail(t, "unexpected '" + t.text + "'");
            return;
        }
        Type type;
        if (!ParseType(type))
            return;
        if (type.cls == Class::MatrixColumns && rowMajor)
            type.cls = Class::MatrixRows;
        ParseParameters(first, type, rowMajor, shared);
    }

    const Preprocessed& m_src;
    Effect& m_out;
    std::string& m_errors;
    std::vector<Tok> m_t;
    bool m_rowMajor;
    size_t m_i = 0;
    bool m_failed = false;
    std::set<std::string> m_structs;
    std::map<std::string, Type> m_typedefs;
};

} // namespace

bool TypeFromKeyword(const std::string& word, Type& type)
{
    type = Type();
    static const struct {
        const char* name;
        Base base;
    } kObjects[] = {
        {"string", Base::String},        {"texture", Base::Texture},         {"texture1D", Base::Texture1D},
        {"texture2D", Base::Texture2D},  {"texture3D", Base::Texture3D},     {"textureCUBE", Base::TextureCube},
        {"sampler", Base::Sampler},      {"sampler1D", Base::Sampler1D},     {"sampler2D", Base::Sampler2D},
        {"sampler3D", Base::Sampler3D},  {"samplerCUBE", Base::SamplerCube},
    };
    const std::string lower = Lower(word);
    for (const auto& o : kObjects) {
        if (lower == Lower(o.name) && (o.base == Base::String ? word == "string" : true)) {
            type.base = o.base;
            type.cls = Class::Object;
            type.rows = type.columns = 0;
            return true;
        }
    }
    if (word == "vector" || word == "matrix") {
        type.base = Base::Float;
        type.cls = word == "vector" ? Class::Vector : Class::MatrixColumns;
        type.rows = word == "vector" ? 1 : 4;
        type.columns = 4;
        return true;
    }
    static const char* const kScalars[] = {"float", "half", "double", "int", "uint", "bool", "dword", "DWORD",
                                           "min16float", "min10float", "min16int", "min16uint"};
    for (const char* s : kScalars) {
        const size_t n = std::strlen(s);
        if (word.compare(0, n, s) != 0)
            continue;
        const std::string rest = word.substr(n);
        if (!ScalarBase(s, type.base))
            return false;
        if (rest.empty()) {
            type.cls = Class::Scalar;
            return true;
        }
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
            type.cls = Class::Vector;
            type.columns = (unsigned)(rest[0] - '0');
            return true;
        }
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
            rest[2] <= '4') {
            type.cls = Class::MatrixColumns;
            type.rows = (unsigned)(rest[0] - '0');
            type.columns = (unsigned)(rest[2] - '0');
            return true;
        }
    }
    type = Type();
    return false;
}

bool Parse(const Preprocessed& source, Effect& out, std::string& errors, bool rowMajor)
{
    out = Effect();
    out.source = source;
    Parser p(out.source, out, errors, rowMajor);
    return p.Run();
}

bool ParseEffect(const std::string& text, const std::string& fileName, const Macros& defines,
                 const IncludeFn& include, Effect& out, std::string& errors, bool rowMajor)
{
    Preprocessed pre;
    if (!Preprocess(text, fileName, defines, include, pre, errors))
        return false;
    return Parse(pre, out, errors, rowMajor);
}

} // namespace fx
