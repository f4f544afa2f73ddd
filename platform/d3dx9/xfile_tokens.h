// .x file tokens: the 16-byte header, MSZIP inflation of the compressed
// encodings, and one lexer over the text and binary encodings that yields the
// binary encoding's tokens.
#pragma once

#include <d3d9.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Token codes of the binary encoding; the text lexer gives the same.
enum class XTok : uint16_t {
    End = 0,
    Name = 1,
    String = 2,
    Integer = 3,
    Guid = 5,
    IntList = 6,
    FloatList = 7,
    OBrace = 10,
    CBrace = 11,
    OParen = 12,
    CParen = 13,
    OBracket = 14,
    CBracket = 15,
    OAngle = 16,
    CAngle = 17,
    Dot = 18,
    Comma = 19,
    Semicolon = 20,
    Template = 31,
    Word = 40,
    Dword = 41,
    Float = 42,
    Double = 43,
    Char = 44,
    Uchar = 45,
    Sword = 46,
    Sdword = 47,
    Void = 48,
    Lpstr = 49,
    Unicode = 50,
    Cstring = 51,
    Array = 52,
    // Text only: a number with a fraction or exponent.
    Real = 100,
};

struct XToken {
    XTok kind = XTok::End;
    std::string text;        // Name, String, and the spelling of keywords
    uint32_t integer = 0;    // Integer
    double real = 0.0;       // Real
    GUID guid{};             // Guid
    const uint8_t* list = nullptr; // IntList, FloatList: the raw little-endian values
    uint32_t count = 0;            // ...and how many
};

struct XFileHeader {
    bool binary = false;
    bool compressed = false;
    bool doubles = false; // float size 64
};

// Reads the 16-byte header; D3DXFERR_BADFILETYPE, _BADFILEVERSION or
// _BADFILEFLOATSIZE when it is not one of a .x file.
HRESULT XFileReadHeader(const uint8_t* p, size_t n, XFileHeader* h);

// Inflates the body of a compressed file (everything after the header): a
// DWORD size, then blocks of [WORD uncompressed size][WORD compressed size]
// "CK" and a deflate stream, each block continuing the previous one's history.
HRESULT XFileInflate(const uint8_t* p, size_t n, std::vector<uint8_t>* out);

class XLexer {
public:
    XLexer(const uint8_t* p, size_t n, bool binary, bool doubles)
        : p_(p), end_(p + n), binary_(binary), doubles_(doubles) {}
    // The next token; End at the end of the input. D3DXFERR_PARSEERROR on
    // malformed input, D3DXFERR_NOMOREDATA when a record runs past the end.
    HRESULT Next(XToken* t);
    bool Binary() const { return binary_; }
    bool Doubles() const { return doubles_; }
    size_t Remaining() const { return (size_t)(end_ - p_); }

private:
    HRESULT nextBinary(XToken* t);
    HRESULT nextText(XToken* t);
    const uint8_t* p_;
    const uint8_t* end_;
    bool binary_;
    bool doubles_;
};

// Whether a token names a primitive type, and which.
bool XTokIsPrimitive(XTok k);
