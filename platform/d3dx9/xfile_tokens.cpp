#include "xfile_tokens.h"

#include "d3dx9xof.h"
#include "xfile_tree.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

uint16_t rd16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
uint32_t rd32(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24); }

struct Keyword {
    const char* text;
    XTok kind;
};

// Keywords of the text encoding, matched without regard to case.
const Keyword kKeywords[] = {
    {"template", XTok::Template}, {"array", XTok::Array},   {"WORD", XTok::Word},       {"DWORD", XTok::Dword},
    {"FLOAT", XTok::Float},       {"DOUBLE", XTok::Double}, {"CHAR", XTok::Char},       {"UCHAR", XTok::Uchar},
    {"BYTE", XTok::Uchar},        {"SWORD", XTok::Sword},   {"SDWORD", XTok::Sdword},   {"VOID", XTok::Void},
    {"LPSTR", XTok::Lpstr},       {"STRING", XTok::Lpstr},  {"UNICODE", XTok::Unicode}, {"CSTRING", XTok::Cstring},
};

bool nameChar(uint8_t c) { return std::isalnum(c) || c == '_' || c == '-' || c == '.' || c >= 0x80; }

} // namespace

bool XTokIsPrimitive(XTok k)
{
    switch (k) {
    case XTok::Word: case XTok::Dword: case XTok::Float: case XTok::Double: case XTok::Char: case XTok::Uchar:
    case XTok::Sword: case XTok::Sdword: case XTok::Lpstr: case XTok::Unicode: case XTok::Cstring:
        return true;
    default:
        return false;
    }
}

HRESULT XFileReadHeader(const uint8_t* p, size_t n, XFileHeader* h)
{
    if (n < 16 || std::memcmp(p, "xof ", 4) != 0)
        return D3DXFERR_BADFILETYPE;
    if (std::memcmp(p + 4, "03", 2) != 0 || !std::isdigit(p[6]) || !std::isdigit(p[7]))
        return D3DXFERR_BADFILEVERSION;
    *h = XFileHeader{};
    if (std::memcmp(p + 8, "txt ", 4) == 0) {
    } else if (std::memcmp(p + 8, "bin ", 4) == 0) {
        h->binary = true;
    } else if (std::memcmp(p + 8, "tzip", 4) == 0) {
        h->compressed = true;
    } else if (std::memcmp(p + 8, "bzip", 4) == 0) {
        h->binary = true;
        h->compressed = true;
    } else {
        return D3DXFERR_BADFILETYPE;
    }
    if (std::memcmp(p + 12, "0064", 4) == 0)
        h->doubles = true;
    else if (std::memcmp(p + 12, "0032", 4) != 0)
        return D3DXFERR_BADFILEFLOATSIZE;
    return S_OK;
}

HRESULT XFileInflate(const uint8_t* p, size_t n, std::vector<uint8_t>* out)
{
    out->clear();
    if (n < 4)
        return D3DXFERR_NOMOREDATA;
    const uint32_t total = rd32(p);
    size_t pos = 4;
    // Deflate can multiply its input a thousandfold; a mesh's data packs a
    // few times over. What a file may inflate to is bounded by its own size
    // as well, and the blocks' stated sizes are added up before any is
    // inflated, so that a small file cannot cost a large buffer.
    const size_t limit = std::min<size_t>(kXFileMaxBytes, std::max<size_t>(kXFileInflateFloor, n * kXFileMaxRatio));
    size_t stated = 0;
    for (size_t at = pos; at + 4 <= n; at += 4 + (size_t)rd16(p + at + 2)) {
        stated += rd16(p + at);
        if (stated > limit)
            return D3DXFERR_BADFILE;
    }
    // The stated size counts the 16-byte header; it only bounds what is reserved.
    out->reserve(std::min<size_t>(total, std::min<size_t>(n * 64, kXFileMaxBytes)));
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    while (pos < n) {
        if (n - pos < 6) {
            hr = D3DXFERR_NOMOREDATA;
            break;
        }
        const uint32_t plain = rd16(p + pos);
        const uint32_t packed = rd16(p + pos + 2);
        if (packed < 2 || packed > n - pos - 4) {
            hr = D3DXFERR_NOMOREDATA;
            break;
        }
        if (p[pos + 4] != 'C' || p[pos + 5] != 'K' || out->size() + plain > kXFileMaxBytes) {
            hr = D3DXFERR_BADFILE;
            break;
        }
        inflateReset(&z);
        // Each block goes on from the history of the ones before it.
        const size_t history = std::min<size_t>(out->size(), 32768);
        if (history)
            inflateSetDictionary(&z, out->data() + out->size() - history, (uInt)history);
        const size_t start = out->size();
        out->resize(start + plain);
        z.next_in = const_cast<Bytef*>(p + pos + 6);
        z.avail_in = packed - 2;
        z.next_out = out->data() + start;
        z.avail_out = plain;
        const int r = inflate(&z, Z_FINISH);
        if (r != Z_STREAM_END || z.avail_out != 0) {
            hr = D3DXFERR_BADFILE;
            break;
        }
        pos += 4 + packed;
    }
    inflateEnd(&z);
    if (SUCCEEDED(hr) && total != out->size() + 16 && total != out->size())
        hr = D3DXFERR_BADFILE;
    if (FAILED(hr))
        out->clear();
    return hr;
}

HRESULT XLexer::Next(XToken* t)
{
    t->kind = XTok::End;
    t->text.clear();
    t->list = nullptr;
    t->count = 0;
    return binary_ ? nextBinary(t) : nextText(t);
}

HRESULT XLexer::nextBinary(XToken* t)
{
    if (p_ == end_)
        return S_OK;
    if (end_ - p_ < 2)
        return D3DXFERR_NOMOREDATA;
    const uint16_t code = rd16(p_);
    p_ += 2;
    const size_t left = (size_t)(end_ - p_);
    switch (code) {
    case 1: case 2: {
        if (left < 4)
            return D3DXFERR_NOMOREDATA;
        const uint32_t len = rd32(p_);
        if (len > left - 4)
            return D3DXFERR_NOMOREDATA;
        t->kind = code == 1 ? XTok::Name : XTok::String;
        t->text.assign((const char*)p_ + 4, len);
        p_ += 4 + len;
        // Some writers end names with their terminator.
        while (!t->text.empty() && t->text.back() == '\0')
            t->text.pop_back();
        return S_OK;
    }
    case 3:
        if (left < 4)
            return D3DXFERR_NOMOREDATA;
        t->kind = XTok::Integer;
        t->integer = rd32(p_);
        p_ += 4;
        return S_OK;
    case 5:
        if (left < 16)
            return D3DXFERR_NOMOREDATA;
        t->kind = XTok::Guid;
        t->guid.Data1 = rd32(p_);
        t->guid.Data2 = rd16(p_ + 4);
        t->guid.Data3 = rd16(p_ + 6);
        std::memcpy(t->guid.Data4, p_ + 8, 8);
        p_ += 16;
        return S_OK;
    case 6: case 7: {
        if (left < 4)
            return D3DXFERR_NOMOREDATA;
        const uint32_t count = rd32(p_);
        const size_t each = code == 7 && doubles_ ? 8 : 4;
        if (count > (left - 4) / each)
            return D3DXFERR_NOMOREDATA;
        t->kind = code == 6 ? XTok::IntList : XTok::FloatList;
        t->count = count;
        t->list = p_ + 4;
        p_ += 4 + (size_t)count * each;
        return S_OK;
    }
    default:
        break;
    }
    if ((code >= 10 && code <= 20) || code == 31 || (code >= 40 && code <= 52)) {
        t->kind = (XTok)code;
        return S_OK;
    }
    return D3DXFERR_PARSEERROR;
}

HRESULT XLexer::nextText(XToken* t)
{
    for (;;) {
        while (p_ < end_ && std::isspace(*p_))
            ++p_;
        if (p_ == end_)
            return S_OK;
        if (*p_ == '#' || (*p_ == '/' && end_ - p_ > 1 && p_[1] == '/')) {
            while (p_ < end_ && *p_ != '\n')
                ++p_;
            continue;
        }
        break;
    }
    const uint8_t c = *p_;
    switch (c) {
    case '{': ++p_; t->kind = XTok::OBrace; return S_OK;
    case '}': ++p_; t->kind = XTok::CBrace; return S_OK;
    case '(': ++p_; t->kind = XTok::OParen; return S_OK;
    case ')': ++p_; t->kind = XTok::CParen; return S_OK;
    case '[': ++p_; t->kind = XTok::OBracket; return S_OK;
    case ']': ++p_; t->kind = XTok::CBracket; return S_OK;
    case ',': ++p_; t->kind = XTok::Comma; return S_OK;
    case ';': ++p_; t->kind = XTok::Semicolon; return S_OK;
    default: break;
    }
    if (c == '<') {
        const uint8_t* close = (const uint8_t*)std::memchr(p_, '>', (size_t)(end_ - p_));
        if (!close || close - p_ > 64)
            return D3DXFERR_PARSEERROR;
        std::string text;
        for (const uint8_t* q = p_ + 1; q < close; ++q)
            if (!std::isspace(*q))
                text += (char)*q;
        if (!XFileParseGuid(text, &t->guid))
            return D3DXFERR_PARSEERROR;
        t->kind = XTok::Guid;
        p_ = close + 1;
        return S_OK;
    }
    if (c == '"') {
        const uint8_t* close = (const uint8_t*)std::memchr(p_ + 1, '"', (size_t)(end_ - p_ - 1));
        if (!close)
            return D3DXFERR_PARSEERROR;
        t->kind = XTok::String;
        t->text.assign((const char*)p_ + 1, (size_t)(close - p_ - 1));
        p_ = close + 1;
        return S_OK;
    }
    const bool sign = c == '-' || c == '+';
    const bool number = std::isdigit(c) ||
                        ((sign || c == '.') && end_ - p_ > 1 && (std::isdigit(p_[1]) || (sign && p_[1] == '.')));
    if (number) {
        const uint8_t* q = p_;
        bool real = false;
        if (*q == '-' || *q == '+')
            ++q;
        while (q < end_ && (std::isdigit(*q) || *q == '.' || *q == 'e' || *q == 'E' ||
                            ((*q == '-' || *q == '+') && (q[-1] == 'e' || q[-1] == 'E')))) {
            if (!std::isdigit(*q))
                real = true;
            ++q;
        }
        std::string text((const char*)p_, (size_t)(q - p_));
        p_ = q;
        char* stop = nullptr;
        if (real) {
            t->kind = XTok::Real;
            t->real = std::strtod(text.c_str(), &stop);
        } else {
            t->kind = XTok::Integer;
            const long long v = std::strtoll(text.c_str(), &stop, 10);
            if (v > 0xFFFFFFFFLL || v < -0x80000000LL)
                return D3DXFERR_PARSEERROR;
            t->integer = (uint32_t)v;
        }
        if (!stop || *stop != '\0')
            return D3DXFERR_PARSEERROR;
        return S_OK;
    }
    if (c == '.') {
        ++p_;
        t->kind = XTok::Dot;
        return S_OK;
    }
    if (!nameChar(c))
        return D3DXFERR_PARSEERROR;
    const uint8_t* q = p_;
    while (q < end_ && nameChar(*q))
        ++q;
    t->text.assign((const char*)p_, (size_t)(q - p_));
    p_ = q;
    t->kind = XTok::Name;
    for (const Keyword& k : kKeywords) {
        if (strcasecmp(k.text, t->text.c_str()) == 0) {
            t->kind = k.kind;
            break;
        }
    }
    return S_OK;
}
