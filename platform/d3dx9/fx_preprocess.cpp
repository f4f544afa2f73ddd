#include "fx_preprocess.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>

namespace fx {

std::string Preprocessed::Where(int outputLine) const
{
    if (outputLine < 1 || outputLine > (int)lines.size())
        return files.empty() ? std::string("(") + std::to_string(outputLine) + ")"
                             : files[0] + "(" + std::to_string(outputLine) + ")";
    const SourceLine& s = lines[(size_t)outputLine - 1];
    return files[(size_t)s.file] + "(" + std::to_string(s.line) + ")";
}

namespace {

const int kMaxIncludeDepth = 32;
const int kMaxExpansionDepth = 256;
const size_t kMaxLineSteps = 1u << 16;  // tokens one line's expansion may visit
const int kMaxExpressionDepth = 256;     // nested operators and parentheses in #if

struct Token {
    enum Kind { Ident, Number, String, Punct, Space } kind;
    std::string text;
};

bool IsIdentStart(char c)
{
    return std::isalpha((unsigned char)c) || c == '_';
}

bool IsIdentChar(char c)
{
    return std::isalnum((unsigned char)c) || c == '_';
}

std::vector<Token> Tokenize(const std::string& s)
{
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        size_t j = i + 1;
        Token::Kind kind = Token::Punct;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            while (j < s.size() && (s[j] == ' ' || s[j] == '\t' || s[j] == '\r' || s[j] == '\f' || s[j] == '\v'))
                ++j;
            kind = Token::Space;
        } else if (IsIdentStart(c)) {
            while (j < s.size() && IsIdentChar(s[j]))
                ++j;
            kind = Token::Ident;
        } else if (std::isdigit((unsigned char)c) || (c == '.' && i + 1 < s.size() && std::isdigit((unsigned char)s[i + 1]))) {
            while (j < s.size() && (IsIdentChar(s[j]) || s[j] == '.' ||
                                    ((s[j] == '+' || s[j] == '-') && (s[j - 1] == 'e' || s[j - 1] == 'E'))))
                ++j;
            kind = Token::Number;
        } else if (c == '"' || c == '\'') {
            while (j < s.size() && s[j] != c) {
                if (s[j] == '\\' && j + 1 < s.size())
                    ++j;
                ++j;
            }
            if (j < s.size())
                ++j;
            kind = Token::String;
        } else if (c == '#' && j < s.size() && s[j] == '#') {
            ++j;
        }
        out.push_back({kind, s.substr(i, j - i)});
        i = j;
    }
    return out;
}

std::string Join(const std::vector<Token>& tokens)
{
    std::string s;
    for (const Token& t : tokens)
        s += t.text;
    return s;
}

std::string Trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && std::isspace((unsigned char)s[a]))
        ++a;
    while (b > a && std::isspace((unsigned char)s[b - 1]))
        --b;
    return s.substr(a, b - a);
}

// Comments become spaces (their line breaks stay); continued lines are joined
// into logical lines that remember how many physical lines they spanned.
struct LogicalLine {
    std::string text;
    int line = 0;
    int span = 1;
};

std::vector<LogicalLine> SplitLines(const std::string& src)
{
    std::string s;
    s.reserve(src.size());
    for (size_t i = 0; i < src.size(); ++i) {
        const char c = src[i];
        if (c == '"' || c == '\'') {
            size_t j = i + 1;
            while (j < src.size() && src[j] != c && src[j] != '\n') {
                if (src[j] == '\\' && j + 1 < src.size())
                    ++j;
                ++j;
            }
            if (j < src.size() && src[j] == c)
                ++j;
            s.append(src, i, j - i);
            i = j - 1;
        } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
            while (i < src.size() && src[i] != '\n')
                ++i;
            --i;
        } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
            s += ' ';
            i += 2;
            while (i < src.size() && !(src[i] == '*' && i + 1 < src.size() && src[i + 1] == '/')) {
                if (src[i] == '\n')
                    s += '\n';
                ++i;
            }
            ++i;
        } else {
            s += c;
        }
    }
    std::vector<LogicalLine> lines;
    int physical = 1;
    size_t start = 0;
    LogicalLine cur;
    bool open = false;
    while (start <= s.size()) {
        size_t end = s.find('\n', start);
        if (end == std::string::npos)
            end = s.size();
        if (end == s.size() && start == end && start > 0 && !open)
            break;  // the text's final line break ends the last line
        std::string text = s.substr(start, end - start);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        const bool continued = !text.empty() && text.back() == '\\';
        if (continued)
            text.pop_back();
        if (!open) {
            cur = LogicalLine();
            cur.line = physical;
            cur.span = 0;
        }
        cur.text += text;
        cur.span++;
        open = continued && end < s.size();
        if (!open)
            lines.push_back(cur);
        ++physical;
        if (end == s.size())
            break;
        start = end + 1;
    }
    return lines;
}

struct Macro {
    bool function = false;
    std::vector<std::string> params;
    std::vector<Token> body;
};

class Processor {
public:
    Processor(const IncludeFn& include, Preprocessed& out, std::string& errors)
        : m_include(include), m_out(out), m_errors(errors)
    {
    }

    bool Define(const std::string& name, const std::string& value)
    {
        Macro m;
        m.body = Tokenize(value);
        m_macros[name] = m;
        return true;
    }

    void Run(const std::string& text, int file, int depth);
    bool Failed() const { return m_failed; }
    void Finish()
    {
        if (!m_failed && !m_conds.empty())
            Error(0, (int)m_out.lines.size(), "#if without #endif at the end of the file");
    }

private:
    void Error(int file, int line, const std::string& message)
    {
        m_errors += m_out.files[(size_t)file] + "(" + std::to_string(line) + "): error: " + message + "\n";
        m_failed = true;
    }
    void Emit(const std::string& text, int file, int line)
    {
        m_out.text += text;
        m_out.text += '\n';
        m_out.lines.push_back({file, line});
    }
    bool Directive(const std::string& body, int file, int line, int depth);
    std::vector<Token> Expand(const std::vector<Token>& in, std::set<std::string>& hide, int depth, bool& ok);
    bool CollectArguments(const std::vector<Token>& in, size_t open, const Macro& m, const std::string& name,
                          std::vector<std::vector<Token>>& args, size_t& close);
    std::vector<Token> Substitute(const Macro& m, const std::vector<std::vector<Token>>& args,
                                  const std::set<std::string>& hide, int depth, bool& ok);
    bool OpenConditional(const std::string& name, const std::string& rest, int file, int line);
    bool NextBranch(const std::string& name, const std::string& rest, int file, int line);
    bool DefineMacro(const std::string& rest, int file, int line);
    bool Include(const std::string& rest, int file, int line, int depth);
    bool EvalCondition(const std::string& expr, int file, int line, bool& value);
    bool Active() const { return m_conds.empty() || m_conds.back().active; }

    struct Cond {
        bool active;
        bool taken;
        bool parentActive;
        bool sawElse;
    };

    const IncludeFn& m_include;
    Preprocessed& m_out;
    std::string& m_errors;
    std::map<std::string, Macro> m_macros;
    std::vector<Cond> m_conds;
    bool m_failed = false;
    std::string m_error;  // set by Expand
    size_t m_steps = 0;   // work of the current line's expansion
};

size_t SkipSpace(const std::vector<Token>& t, size_t i)
{
    while (i < t.size() && t[i].kind == Token::Space)
        ++i;
    return i;
}

std::string Stringize(const std::vector<Token>& arg)
{
    std::string s = "\"";
    for (char c : Trim(Join(arg))) {
        if (c == '"' || c == '\\')
            s += '\\';
        s += c;
    }
    return s + "\"";
}

// Token pasting: each ## joins the tokens on either side into new tokens.
std::vector<Token> Paste(const std::vector<Token>& replaced)
{
    std::vector<Token> pasted;
    for (size_t b = 0; b < replaced.size(); ++b) {
        if (replaced[b].kind == Token::Punct && replaced[b].text == "##") {
            while (!pasted.empty() && pasted.back().kind == Token::Space)
                pasted.pop_back();
            size_t n = SkipSpace(replaced, b + 1);
            std::string joined = (pasted.empty() ? "" : pasted.back().text) + (n < replaced.size() ? replaced[n].text : "");
            if (!pasted.empty())
                pasted.pop_back();
            for (const Token& x : Tokenize(joined))
                pasted.push_back(x);
            b = n;
            continue;
        }
        pasted.push_back(replaced[b]);
    }
    return pasted;
}

// The arguments of a call of `name` whose '(' is in[open]: split at the
// commas outside inner parentheses; `close` is the index of the ')'.
bool Processor::CollectArguments(const std::vector<Token>& in, size_t open, const Macro& m, const std::string& name,
                                 std::vector<std::vector<Token>>& args, size_t& close)
{
    args.assign(1, {});
    int level = 0;
    size_t k = open + 1;
    for (; k < in.size(); ++k) {
        const std::string& x = in[k].text;
        if (in[k].kind == Token::Punct && x == "(")
            ++level;
        if (in[k].kind == Token::Punct && x == ")") {
            if (level == 0)
                break;
            --level;
        }
        if (in[k].kind == Token::Punct && x == "," && level == 0)
            args.emplace_back();
        else
            args.back().push_back(in[k]);
    }
    if (k >= in.size()) {
        m_error = "unterminated call of macro '" + name + "'";
        return false;
    }
    if (args.size() == 1 && m.params.empty() && Trim(Join(args[0])).empty())
        args.clear();
    if (args.size() != m.params.size()) {
        m_error = "macro '" + name + "' takes " + std::to_string(m.params.size()) + " arguments, " +
                  std::to_string(args.size()) + " given";
        return false;
    }
    close = k;
    return true;
}

// The body of a function-like macro with its parameters replaced: #p by the
// argument as a string, p beside ## by the argument as written, any other p
// by the argument fully expanded.
std::vector<Token> Processor::Substitute(const Macro& m, const std::vector<std::vector<Token>>& args,
                                         const std::set<std::string>& hide, int depth, bool& ok)
{
    auto param = [&](const std::string& name) -> int {
        for (size_t p = 0; p < m.params.size(); ++p)
            if (m.params[p] == name)
                return (int)p;
        return -1;
    };
    std::vector<Token> replaced;
    const std::vector<Token>& body = m.body;
    for (size_t b = 0; b < body.size(); ++b) {
        const Token& bt = body[b];
        if (bt.kind == Token::Punct && bt.text == "#") {
            size_t n = SkipSpace(body, b + 1);
            int p = n < body.size() ? param(body[n].text) : -1;
            if (p >= 0) {
                replaced.push_back({Token::String, Stringize(args[(size_t)p])});
                b = n;
                continue;
            }
        }
        int p = bt.kind == Token::Ident ? param(bt.text) : -1;
        if (p < 0) {
            replaced.push_back(bt);
            continue;
        }
        size_t prev = replaced.size();
        while (prev > 0 && replaced[prev - 1].kind == Token::Space)
            --prev;
        size_t n = SkipSpace(body, b + 1);
        const bool pasted = (prev > 0 && replaced[prev - 1].text == "##") ||
                            (n < body.size() && body[n].text == "##");
        if (pasted) {
            for (const Token& a : args[(size_t)p])
                replaced.push_back(a);
        } else {
            std::set<std::string> argHide = hide;
            std::vector<Token> e = Expand(args[(size_t)p], argHide, depth + 1, ok);
            if (!ok)
                return replaced;
            replaced.insert(replaced.end(), e.begin(), e.end());
        }
    }
    return replaced;
}

std::vector<Token> Processor::Expand(const std::vector<Token>& in, std::set<std::string>& hide, int depth, bool& ok)
{
    std::vector<Token> out;
    if (depth > kMaxExpansionDepth) {
        m_error = "macro expansion too deep";
        ok = false;
        return out;
    }
    for (size_t i = 0; i < in.size(); ++i) {
        if (++m_steps > kMaxLineSteps) {
            m_error = "macro expansion too large";
            ok = false;
            return out;
        }
        const Token& t = in[i];
        auto it = t.kind == Token::Ident ? m_macros.find(t.text) : m_macros.end();
        if (it == m_macros.end() || hide.count(t.text)) {
            out.push_back(t);
            continue;
        }
        const Macro& m = it->second;
        std::vector<Token> replaced;
        size_t next = i + 1;
        if (m.function) {
            size_t j = SkipSpace(in, i + 1);
            if (j >= in.size() || in[j].text != "(") {
                out.push_back(t);
                continue;
            }
            std::vector<std::vector<Token>> args;
            size_t close = 0;
            if (!CollectArguments(in, j, m, t.text, args, close)) {
                ok = false;
                return out;
            }
            replaced = Substitute(m, args, hide, depth, ok);
            if (!ok)
                return out;
            next = close + 1;
        } else {
            replaced = m.body;
        }
        // The result is rescanned with the macro's own name hidden.
        hide.insert(t.text);
        std::vector<Token> e = Expand(Paste(replaced), hide, depth + 1, ok);
        hide.erase(t.text);
        if (!ok)
            return out;
        out.insert(out.end(), e.begin(), e.end());
        i = next - 1;
    }
    return out;
}

// #if expressions: integer arithmetic over the expanded tokens.
class ExprParser {
public:
    explicit ExprParser(const std::vector<Token>& t)
    {
        for (const Token& x : t)
            if (x.kind != Token::Space)
                m_t.push_back(x);
    }
    bool Parse(long long& v)
    {
        v = Ternary();
        return m_ok && m_i == m_t.size();
    }
    bool TooDeep() const { return m_tooDeep; }

private:
    const std::string& Peek() const
    {
        static const std::string kEnd;
        return m_i < m_t.size() ? m_t[m_i].text : kEnd;
    }
    bool Take(const char* op)
    {
        if (m_i < m_t.size() && m_t[m_i].kind == Token::Punct && Peek() == op) {
            ++m_i;
            return true;
        }
        return false;
    }
    // Two-character operators come as two punctuation tokens.
    bool Take2(char a, char b)
    {
        if (m_i + 1 < m_t.size() && m_t[m_i].text.size() == 1 && m_t[m_i].text[0] == a &&
            m_t[m_i + 1].text.size() == 1 && m_t[m_i + 1].text[0] == b) {
            m_i += 2;
            return true;
        }
        return false;
    }
    bool At2(char a, char b) const
    {
        return m_i + 1 < m_t.size() && m_t[m_i].text.size() == 1 && m_t[m_i].text[0] == a &&
               m_t[m_i + 1].text.size() == 1 && m_t[m_i + 1].text[0] == b;
    }
    // One level deeper into a parenthesis, a prefix operator's operand or a
    // branch of ?: (the parse fails past the bound).
    long long Deeper(long long (ExprParser::*parse)())
    {
        if (m_depth >= kMaxExpressionDepth) {
            m_tooDeep = true;
            m_ok = false;
            return 0;
        }
        ++m_depth;
        const long long v = (this->*parse)();
        --m_depth;
        return v;
    }
    long long Ternary()
    {
        long long c = Or();
        if (Take("?")) {
            long long a = Deeper(&ExprParser::Ternary);
            if (!Take(":"))
                m_ok = false;
            long long b = Deeper(&ExprParser::Ternary);
            return c ? a : b;
        }
        return c;
    }
    long long Or()
    {
        long long v = And();
        while (Take2('|', '|')) {
            long long r = And();
            v = v || r;
        }
        return v;
    }
    long long And()
    {
        long long v = BitOr();
        while (Take2('&', '&')) {
            long long r = BitOr();
            v = v && r;
        }
        return v;
    }
    long long BitOr()
    {
        long long v = BitXor();
        while (!At2('|', '|') && Take("|"))
            v |= BitXor();
        return v;
    }
    long long BitXor()
    {
        long long v = BitAnd();
        while (Take("^"))
            v ^= BitAnd();
        return v;
    }
    long long BitAnd()
    {
        long long v = Equality();
        while (!At2('&', '&') && Take("&"))
            v &= Equality();
        return v;
    }
    long long Equality()
    {
        long long v = Relational();
        for (;;) {
            if (Take2('=', '='))
                v = v == Relational();
            else if (Take2('!', '='))
                v = v != Relational();
            else
                return v;
        }
    }
    long long Relational()
    {
        long long v = Shift();
        for (;;) {
            if (Take2('<', '='))
                v = v <= Shift();
            else if (Take2('>', '='))
                v = v >= Shift();
            else if (!At2('<', '<') && Take("<"))
                v = v < Shift();
            else if (!At2('>', '>') && Take(">"))
                v = v > Shift();
            else
                return v;
        }
    }
    long long Shift()
    {
        long long v = Additive();
        for (;;) {
            if (Take2('<', '<'))
                v = (long long)((unsigned long long)v << (Additive() & 63));
            else if (Take2('>', '>'))
                v >>= (Additive() & 63);
            else
                return v;
        }
    }
    long long Additive()
    {
        long long v = Multiplicative();
        for (;;) {
            if (Take("+"))
                v = (long long)((unsigned long long)v + (unsigned long long)Multiplicative());
            else if (Take("-"))
                v = (long long)((unsigned long long)v - (unsigned long long)Multiplicative());
            else
                return v;
        }
    }
    long long Multiplicative()
    {
        long long v = Unary();
        for (;;) {
            if (Take("*")) {
                v = (long long)((unsigned long long)v * (unsigned long long)Unary());
            } else if (Take("/") || Take("%")) {
                const bool div = m_t[m_i - 1].text == "/";
                long long r = Unary();
                if (r == 0 || (r == -1 && v == LLONG_MIN)) {
                    m_ok = false;
                    return 0;
                }
                v = div ? v / r : v % r;
            } else {
                return v;
            }
        }
    }
    long long Unary()
    {
        if (!At2('!', '=') && Take("!"))
            return !Deeper(&ExprParser::Unary);
        if (Take("-"))
            return (long long)(0ull - (unsigned long long)Deeper(&ExprParser::Unary));
        if (Take("+"))
            return Deeper(&ExprParser::Unary);
        if (Take("~"))
            return ~Deeper(&ExprParser::Unary);
        return Primary();
    }
    long long Primary()
    {
        if (Take("(")) {
            long long v = Deeper(&ExprParser::Ternary);
            if (!Take(")"))
                m_ok = false;
            return v;
        }
        if (m_i >= m_t.size()) {
            m_ok = false;
            return 0;
        }
        const Token& t = m_t[m_i++];
        if (t.kind == Token::Ident)
            return t.text == "true" ? 1 : 0;
        if (t.kind == Token::Number) {
            std::string s = t.text;
            while (!s.empty() && (s.back() == 'u' || s.back() == 'U' || s.back() == 'l' || s.back() == 'L'))
                s.pop_back();
            char* end = nullptr;
            long long v = (long long)std::strtoull(s.c_str(), &end, 0);
            if (!end || *end)
                m_ok = false;
            return v;
        }
        m_ok = false;
        return 0;
    }

    std::vector<Token> m_t;
    size_t m_i = 0;
    bool m_ok = true;
    int m_depth = 0;
    bool m_tooDeep = false;
};

bool Processor::EvalCondition(const std::string& expr, int file, int line, bool& value)
{
    // "defined X" and "defined(X)" are settled before expansion.
    std::vector<Token> t = Tokenize(expr), resolved;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Token::Ident && t[i].text == "defined") {
            size_t j = SkipSpace(t, i + 1);
            bool paren = j < t.size() && t[j].text == "(";
            if (paren)
                j = SkipSpace(t, j + 1);
            if (j >= t.size() || t[j].kind != Token::Ident) {
                Error(file, line, "'defined' needs a macro name");
                return false;
            }
            const bool d = m_macros.count(t[j].text) != 0;
            if (paren) {
                j = SkipSpace(t, j + 1);
                if (j >= t.size() || t[j].text != ")") {
                    Error(file, line, "missing ')' after 'defined'");
                    return false;
                }
            }
            resolved.push_back({Token::Number, d ? "1" : "0"});
            i = j;
            continue;
        }
        resolved.push_back(t[i]);
    }
    std::set<std::string> hide;
    bool ok = true;
    m_steps = 0;
    std::vector<Token> e = Expand(resolved, hide, 0, ok);
    if (!ok) {
        Error(file, line, m_error);
        return false;
    }
    long long v = 0;
    ExprParser p(e);
    if (!p.Parse(v)) {
        Error(file, line, p.TooDeep() ? "#if expression nested deeper than " + std::to_string(kMaxExpressionDepth) +
                                            " levels"
                                      : "invalid expression in #if: " + Trim(expr));
        return false;
    }
    value = v != 0;
    return true;
}

// #if, #ifdef, #ifndef: a new level of conditions, evaluated only where the
// enclosing text is active.
bool Processor::OpenConditional(const std::string& name, const std::string& rest, int file, int line)
{
    bool v = false;
    if (Active()) {
        if (name == "if") {
            if (!EvalCondition(rest, file, line, v))
                return false;
        } else {
            std::vector<Token> t = Tokenize(rest);
            size_t k = SkipSpace(t, 0);
            if (k >= t.size() || t[k].kind != Token::Ident) {
                Error(file, line, "#" + name + " needs a macro name");
                return false;
            }
            v = m_macros.count(t[k].text) != 0;
            if (name == "ifndef")
                v = !v;
        }
    }
    const bool parent = Active();
    m_conds.push_back({parent && v, v, parent, false});
    return true;
}

// #elif, #else, #endif: the next branch of the innermost condition, or its end.
bool Processor::NextBranch(const std::string& name, const std::string& rest, int file, int line)
{
    if (m_conds.empty()) {
        Error(file, line, "#" + name + " without #if");
        return false;
    }
    Cond& c = m_conds.back();
    if (name == "endif") {
        m_conds.pop_back();
        return true;
    }
    if (c.sawElse) {
        Error(file, line, "#" + name + " after #else");
        return false;
    }
    if (name == "else") {
        c.sawElse = true;
        c.active = c.parentActive && !c.taken;
        c.taken = true;
        return true;
    }
    bool v = false;
    if (c.parentActive && !c.taken && !EvalCondition(rest, file, line, v))
        return false;
    c.active = c.parentActive && !c.taken && v;
    c.taken = c.taken || v;
    return true;
}

// #define NAME body, or NAME(params) body.
bool Processor::DefineMacro(const std::string& rest, int file, int line)
{
    std::vector<Token> t = Tokenize(rest);
    if (t.empty() || t[0].kind != Token::Ident) {
        Error(file, line, "#define needs a macro name");
        return false;
    }
    Macro m;
    size_t k = 1;
    if (k < t.size() && t[k].text == "(") {
        m.function = true;
        k = SkipSpace(t, k + 1);
        if (k < t.size() && t[k].text == ")") {
            ++k;
        } else {
            for (;;) {
                k = SkipSpace(t, k);
                if (k >= t.size() || t[k].kind != Token::Ident) {
                    Error(file, line, "bad parameter list of macro '" + t[0].text + "'");
                    return false;
                }
                m.params.push_back(t[k].text);
                k = SkipSpace(t, k + 1);
                if (k < t.size() && t[k].text == ")") {
                    ++k;
                    break;
                }
                if (k >= t.size() || t[k].text != ",") {
                    Error(file, line, "bad parameter list of macro '" + t[0].text + "'");
                    return false;
                }
                ++k;
            }
        }
    }
    k = SkipSpace(t, k);
    while (t.size() > k && t.back().kind == Token::Space)
        t.pop_back();
    m.body.assign(t.begin() + (long)k, t.end());
    m_macros[t[0].text] = m;
    return true;
}

// #include "file" or <file> (or a macro that gives one), read through the
// callback and processed in place.
bool Processor::Include(const std::string& rest, int file, int line, int depth)
{
    std::string spec = rest;
    if (spec.empty() || (spec[0] != '"' && spec[0] != '<')) {
        std::set<std::string> hide;
        bool ok = true;
        m_steps = 0;
        spec = Trim(Join(Expand(Tokenize(rest), hide, 0, ok)));
    }
    const char close = !spec.empty() && spec[0] == '<' ? '>' : '"';
    size_t end = spec.size() > 1 ? spec.find(close, 1) : std::string::npos;
    if (spec.empty() || (spec[0] != '"' && spec[0] != '<') || end == std::string::npos) {
        Error(file, line, "#include expects \"file\" or <file>");
        return false;
    }
    const std::string inc = spec.substr(1, end - 1);
    if (depth >= kMaxIncludeDepth) {
        Error(file, line, "#include nested too deeply");
        return false;
    }
    std::string text;
    if (!m_include || !m_include(inc, close == '>', m_out.files[(size_t)file], text)) {
        Error(file, line, "cannot open include file '" + inc + "'");
        return false;
    }
    m_out.files.push_back(inc);
    const size_t before = m_conds.size();
    Run(text, (int)m_out.files.size() - 1, depth + 1);
    if (!m_failed && m_conds.size() != before) {
        Error((int)m_out.files.size() - 1, 1, "#if without #endif at the end of the file");
        m_conds.resize(before);
    }
    return !m_failed;
}

bool Processor::Directive(const std::string& body, int file, int line, int depth)
{
    size_t i = 0;
    while (i < body.size() && std::isspace((unsigned char)body[i]))
        ++i;
    size_t j = i;
    while (j < body.size() && IsIdentChar(body[j]))
        ++j;
    const std::string name = body.substr(i, j - i);
    const std::string rest = Trim(body.substr(j));
    if (name == "if" || name == "ifdef" || name == "ifndef")
        return OpenConditional(name, rest, file, line);
    if (name == "elif" || name == "else" || name == "endif")
        return NextBranch(name, rest, file, line);
    if (!Active())
        return true;
    if (name.empty())
        return true;  // the null directive
    if (name == "define")
        return DefineMacro(rest, file, line);
    if (name == "undef") {
        m_macros.erase(Trim(rest));
        return true;
    }
    if (name == "include")
        return Include(rest, file, line, depth);
    if (name == "error") {
        Error(file, line, "#error " + rest);
        return false;
    }
    if (name == "pragma" || name == "line")
        return true;
    Error(file, line, "unknown directive #" + name);
    return false;
}

int ParenBalance(const std::vector<Token>& t)
{
    int level = 0;
    for (const Token& x : t) {
        if (x.kind != Token::Punct)
            continue;
        if (x.text == "(")
            ++level;
        else if (x.text == ")")
            --level;
    }
    return level;
}

// True when the line ends inside the argument list of a function-like macro.
bool OpenMacroCall(const std::vector<Token>& t, const std::map<std::string, Macro>& macros)
{
    for (size_t i = 0; i < t.size(); ++i) {
        auto it = t[i].kind == Token::Ident ? macros.find(t[i].text) : macros.end();
        if (it == macros.end() || !it->second.function)
            continue;
        size_t j = SkipSpace(t, i + 1);
        if (j >= t.size())
            return true;  // the '(' may come on the next line
        if (t[j].text != "(")
            continue;
        int level = 0;
        size_t k = j;
        for (; k < t.size(); ++k) {
            if (t[k].kind == Token::Punct && t[k].text == "(")
                ++level;
            if (t[k].kind == Token::Punct && t[k].text == ")" && --level == 0)
                break;
        }
        if (k >= t.size())
            return true;
        i = k;
    }
    return false;
}

void Processor::Run(const std::string& text, int file, int depth)
{
    std::vector<LogicalLine> lines = SplitLines(text);
    for (size_t n = 0; n < lines.size() && !m_failed; ++n) {
        const LogicalLine& l = lines[n];
        size_t i = 0;
        while (i < l.text.size() && (l.text[i] == ' ' || l.text[i] == '\t'))
            ++i;
        if (i < l.text.size() && l.text[i] == '#') {
            const size_t before = m_out.lines.size();
            if (!Directive(l.text.substr(i + 1), file, l.line, depth))
                return;
            // A directive leaves blank lines, except where an include put its own.
            if (m_out.lines.size() == before)
                for (int s = 0; s < l.span; ++s)
                    Emit("", file, l.line + s);
            continue;
        }
        if (!Active()) {
            for (int s = 0; s < l.span; ++s)
                Emit("", file, l.line + s);
            continue;
        }
        // A macro call whose arguments go on over the next lines takes them in.
        std::string joined = l.text;
        int span = l.span;
        std::vector<Token> tokens = Tokenize(joined);
        while (OpenMacroCall(tokens, m_macros) && n + 1 < lines.size()) {
            const std::string& nt = lines[n + 1].text;
            size_t k = nt.find_first_not_of(" \t");
            if (k != std::string::npos && nt[k] == '#')
                break;
            joined += " " + nt;
            span += lines[n + 1].span;
            ++n;
            tokens = Tokenize(joined);
            if (ParenBalance(tokens) <= 0 && !OpenMacroCall(tokens, m_macros))
                break;
        }
        std::set<std::string> hide;
        bool ok = true;
        m_steps = 0;
        std::vector<Token> e = Expand(tokens, hide, 0, ok);
        if (!ok) {
            Error(file, l.line, m_error);
            return;
        }
        Emit(Join(e), file, l.line);
        for (int s = 1; s < span; ++s)
            Emit("", file, l.line + s);
    }
}

} // namespace

bool Preprocess(const std::string& source, const std::string& fileName, const Macros& defines,
                const IncludeFn& include, Preprocessed& out, std::string& errors)
{
    out = Preprocessed();
    out.files.push_back(fileName);
    Processor p(include, out, errors);
    for (const auto& d : defines)
        p.Define(d.first, d.second);
    p.Run(source, 0, 0);
    p.Finish();
    return !p.Failed();
}

} // namespace fx
