// Re-encodes a text .x file as its binary twin and compresses either as the
// "tzip"/"bzip" encodings do, for tests that check every encoding parses to
// the same tree.
#pragma once

#include "d3dx9/xfile_tokens.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace xtwins {

typedef std::vector<uint8_t> Bytes;

inline void put16(Bytes& b, uint32_t v)
{
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}

inline void put32(Bytes& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// Text body (after the 16-byte header) to binary tokens. Numbers in data
// become integer and float lists (floats as 32 or 64 bits); numbers inside
// template definitions stay single integers.
inline Bytes binaryBody(const std::string& text, bool doubles)
{
    XLexer lex((const uint8_t*)text.data(), text.size(), false, false);
    Bytes out;
    XToken t;
    int templateDepth = 0;
    bool inTemplate = false;
    std::vector<uint32_t> ints;
    std::vector<double> reals;
    auto flush = [&] {
        if (!ints.empty()) {
            put16(out, 6);
            put32(out, (uint32_t)ints.size());
            for (uint32_t v : ints)
                put32(out, v);
            ints.clear();
        }
        if (!reals.empty()) {
            put16(out, 7);
            put32(out, (uint32_t)reals.size());
            for (double v : reals) {
                if (doubles) {
                    uint8_t b[8];
                    std::memcpy(b, &v, 8);
                    out.insert(out.end(), b, b + 8);
                } else {
                    float f = (float)v;
                    uint8_t b[4];
                    std::memcpy(b, &f, 4);
                    out.insert(out.end(), b, b + 4);
                }
            }
            reals.clear();
        }
    };
    for (;;) {
        if (FAILED(lex.Next(&t)))
            throw std::runtime_error("bad text fixture");
        if (t.kind == XTok::End)
            break;
        const bool data = !inTemplate;
        if (data && t.kind == XTok::Integer) {
            if (!reals.empty())
                flush();
            ints.push_back(t.integer);
            continue;
        }
        if (data && t.kind == XTok::Real) {
            if (!ints.empty())
                flush();
            reals.push_back(t.real);
            continue;
        }
        if (data && (t.kind == XTok::Comma || t.kind == XTok::Semicolon) && (!ints.empty() || !reals.empty()))
            continue;
        flush();
        switch (t.kind) {
        case XTok::Name:
        case XTok::String:
            put16(out, (uint32_t)t.kind);
            put32(out, (uint32_t)t.text.size());
            out.insert(out.end(), t.text.begin(), t.text.end());
            break;
        case XTok::Integer:
            put16(out, 3);
            put32(out, t.integer);
            break;
        case XTok::Guid:
            put16(out, 5);
            put32(out, t.guid.Data1);
            put16(out, t.guid.Data2);
            put16(out, t.guid.Data3);
            out.insert(out.end(), t.guid.Data4, t.guid.Data4 + 8);
            break;
        default:
            put16(out, (uint32_t)t.kind);
            break;
        }
        if (t.kind == XTok::Template) {
            inTemplate = true;
            templateDepth = 0;
        } else if (inTemplate && t.kind == XTok::OBrace) {
            ++templateDepth;
        } else if (inTemplate && t.kind == XTok::CBrace && --templateDepth == 0) {
            inTemplate = false;
        }
    }
    flush();
    return out;
}

// MSZIP blocks of at most `block` bytes, each continuing the previous history.
inline Bytes compressBody(const Bytes& plain, size_t block = 32768)
{
    Bytes out;
    put32(out, (uint32_t)plain.size() + 16);
    for (size_t start = 0; start < plain.size(); start += block) {
        const size_t n = std::min(block, plain.size() - start);
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        const size_t history = std::min<size_t>(start, 32768);
        if (history)
            deflateSetDictionary(&z, plain.data() + start - history, (uInt)history);
        Bytes packed(deflateBound(&z, (uLong)n) + 16);
        z.next_in = const_cast<Bytef*>(plain.data() + start);
        z.avail_in = (uInt)n;
        z.next_out = packed.data();
        z.avail_out = (uInt)packed.size();
        deflate(&z, Z_FINISH);
        packed.resize(z.total_out);
        deflateEnd(&z);
        put16(out, (uint32_t)n);
        put16(out, (uint32_t)packed.size() + 2);
        out.push_back('C');
        out.push_back('K');
        out.insert(out.end(), packed.begin(), packed.end());
    }
    return out;
}

inline Bytes withHeader(const char* header, const Bytes& body)
{
    Bytes out(16 + body.size());
    std::memcpy(out.data(), header, 16);
    if (!body.empty())
        std::memcpy(out.data() + 16, body.data(), body.size());
    return out;
}

// The file's text, binary, 64-bit binary, "tzip" and "bzip" forms. `text`
// starts with its 16-byte header.
inline std::vector<Bytes> allEncodings(const std::string& text)
{
    const std::string body = text.substr(16);
    const Bytes plain(body.begin(), body.end());
    const Bytes bin = binaryBody(body, false);
    return {
        Bytes(text.begin(), text.end()),
        withHeader("xof 0303bin 0032", bin),
        withHeader("xof 0302bin 0064", binaryBody(body, true)),
        withHeader("xof 0303tzip0032", compressBody(plain, 64)),
        withHeader("xof 0303bzip0032", compressBody(bin)),
    };
}

} // namespace xtwins
