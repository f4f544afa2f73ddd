// Text calls: wide to 8-bit conversion and case-blind comparison.
#include "windows.h"

#include <cctype>
#include <string>

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multiByte, int multiByteSize,
                        LPCSTR defaultChar, BOOL* usedDefaultChar)
{
    if (usedDefaultChar)
        *usedDefaultChar = FALSE;
    if ((codePage != CP_ACP && codePage != CP_UTF8) || flags != 0 || !wide || wideLength == 0 || wideLength < -1 ||
        multiByteSize < 0 || (multiByteSize > 0 && !multiByte)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char fallback = defaultChar ? defaultChar[0] : '?';
    std::string out;
    for (int i = 0; wideLength == -1 || i < wideLength; ++i) {
        const uint32_t c = (uint32_t)wide[i];
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c >= 0x10000 && c <= 0x10FFFF) {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += fallback;
            if (usedDefaultChar)
                *usedDefaultChar = TRUE;
        }
        if (wideLength == -1 && c == 0)
            break;
    }
    const int needed = (int)out.size();
    if (multiByteSize == 0)
        return needed;
    if (needed > multiByteSize) {
        out.copy(multiByte, (size_t)multiByteSize);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(multiByte, out.size());
    return needed;
}

int lstrcmpiA(LPCSTR a, LPCSTR b)
{
    const unsigned char* p = (const unsigned char*)(a ? a : "");
    const unsigned char* q = (const unsigned char*)(b ? b : "");
    for (;; ++p, ++q) {
        const int x = *p < 0x80 ? std::tolower(*p) : *p;
        const int y = *q < 0x80 ? std::tolower(*q) : *q;
        if (x != y || x == 0)
            return x < y ? -1 : (x > y ? 1 : 0);
    }
}
