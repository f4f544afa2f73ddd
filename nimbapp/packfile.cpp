#include "packfile.h"

#include <mscrt.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <zlib.h>

#include "debuglog.h"

namespace {
// Reads a little-endian 32-bit value byte by byte; false at the end of the file.
bool ReadLe32(FILE* f, uint32_t* value)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) {
        int c = std::fgetc(f);
        if (c == EOF)
            return false;
        v |= (uint32_t)(unsigned char)c << (8 * i);
    }
    *value = v;
    return true;
}

[[noreturn]] void StopWith(const char* name, const char* what)
{
    std::fputs("File ", stdout);
    std::fputs(name, stdout);
    std::fputs(what, stdout);
    std::fflush(stdout);
    std::_Exit(-1);
}

[[noreturn]] void FileNotFound(const char* name)
{
    StopWith(name, " not Found\n");
}

// A file that is there but cannot be held: said as it is, with the same stop.
[[noreturn]] void FileNotHeld(const char* name, long length, const char* why)
{
    char what[128];
    std::snprintf(what, sizeof what, " (%ld bytes) could not be read: %s\n", length, why);
    StopWith(name, what);
}
} // namespace

PackFile::PackFile(const char* archivePath)
    : m_archivePath(nullptr), m_pArchive(nullptr), m_noArchive(1), m_pData(nullptr), m_cursor(0), m_size(0)
{
    if (!archivePath)
        return;
    m_noArchive = 0;
    size_t n = std::strlen(archivePath);
    m_archivePath = new char[n + 1];
    std::memcpy(m_archivePath, archivePath, n + 1);
    ReadIndex();
}

PackFile::~PackFile()
{
    Close();
    for (PackEntry* entry : m_entries) {
        delete[] entry->m_name;
        delete entry;
    }
    m_entries.clear();
    delete[] m_archivePath;
}

// The index keeps only complete records: a truncated archive, or one whose
// sizes point past its end, gives the entries before the damage.
void PackFile::ReadIndex()
{
    FILE* f = ms_fopen(m_archivePath, "rb");
    if (!f)
        return;
    uint64_t fileSize = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long end = std::ftell(f);
        if (end > 0)
            fileSize = (uint64_t)end;
    }
    std::fseek(f, 0, SEEK_SET);

    uint64_t count = 0;
    for (;;) {
        uint32_t nameLength;
        if (!ReadLe32(f, &nameLength))
            break;
        count += 4;
        if (count > fileSize || nameLength > fileSize - count)
            break;
        char* name = new char[nameLength + 1];
        if (nameLength > 0 && std::fread(name, 1, nameLength, f) != nameLength) {
            delete[] name;
            break;
        }
        name[nameLength] = '\0';
        count += nameLength;

        uint32_t origSize, compSize;
        if (!ReadLe32(f, &origSize) || !ReadLe32(f, &compSize)) {
            delete[] name;
            break;
        }
        count += 8;
        if (compSize == 0 || count > fileSize) {
            // End of the archive.
            delete[] name;
            break;
        }
        // Deflate expands at most about 1032 to 1.
        if (compSize > fileSize - count || count > UINT32_MAX || (uint64_t)origSize > (uint64_t)compSize * 1032 + 64 ||
            std::fseek(f, (long)compSize, SEEK_CUR) != 0) {
            delete[] name;
            break;
        }
        PackEntry* entry = new PackEntry;
        entry->m_name = name;
        entry->m_origSize = origSize;
        entry->m_compSize = compSize;
        entry->m_offset = (uint32_t)count;
        count += compSize;
        m_entries.push_back(entry);
    }
    std::fclose(f);
}

int PackFile::Open(const char* name)
{
    Close();
    m_cursor = 0;
    m_size = 0;
    if (!name)
        name = "";
    if (m_noArchive == 0) {
        for (const PackEntry* entry : m_entries) {
            if (std::strcmp(entry->m_name, name) == 0)
                return OpenEntry(entry);
        }
    }
    OpenFromDisk(name);
    return 0;
}

int PackFile::OpenEntry(const PackEntry* entry)
{
    m_pArchive = ms_fopen(m_archivePath, "rb");
    if (!m_pArchive)
        return Z_ERRNO;
    if (std::fseek(m_pArchive, (long)entry->m_offset, SEEK_SET) != 0)
        return Z_ERRNO;
    unsigned char* packed = new (std::nothrow) unsigned char[entry->m_compSize];
    if (!packed)
        return Z_MEM_ERROR;
    if (std::fread(packed, 1, entry->m_compSize, m_pArchive) != entry->m_compSize) {
        delete[] packed;
        return Z_DATA_ERROR;
    }
    m_pData = new (std::nothrow) unsigned char[entry->m_origSize ? entry->m_origSize : 1];
    if (!m_pData) {
        delete[] packed;
        return Z_MEM_ERROR;
    }
    // A stream that ends cleanly short of the announced size gives what it holds.
    uLongf produced = entry->m_origSize;
    int status = uncompress(m_pData, &produced, packed, entry->m_compSize);
    delete[] packed;
    if (status != Z_OK) {
        delete[] m_pData;
        m_pData = nullptr;
        return status;
    }
    m_size = (unsigned int)produced;
    return Z_OK;
}

// A path that cannot be read as a regular file (missing, a directory, an
// unreadable length) takes the missing-file stop. A file is read whole
// whatever its size; one whose size the buffer cannot count, or for which
// there is no memory, stops the program saying so.
void PackFile::OpenFromDisk(const char* name)
{
    FILE* f = ms_fopen(name, "rb");
    if (!f)
        FileNotFound(name);
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        FileNotFound(name);
    }
    long length = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        length = std::ftell(f);
    if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        FileNotFound(name);
    }
    if ((unsigned long)length > UINT32_MAX) {
        std::fclose(f);
        FileNotHeld(name, length, "4 GiB or more");
    }
    unsigned char* data = new (std::nothrow) unsigned char[length ? (size_t)length : 1];
    if (!data) {
        std::fclose(f);
        FileNotHeld(name, length, "not enough memory");
    }
    size_t got = length ? std::fread(data, 1, (size_t)length, f) : 0;
    if (got != (size_t)length || std::ferror(f)) {
        delete[] data;
        std::fclose(f);
        FileNotFound(name);
    }
    std::fclose(f);
    m_pData = data;
    m_size = (unsigned int)length;
    m_cursor = 0;
}

void PackFile::Close()
{
    if (m_pArchive) {
        std::fclose(m_pArchive);
        m_pArchive = nullptr;
    }
    delete[] m_pData;
    m_pData = nullptr;
}

unsigned char* PackFile::LoadFile(const char* name, int* outSize)
{
    int status = Open(name);
    if (status != 0) {
        ReportError("uncompress FAILED [PackFile]");
        Close();
        if (outSize)
            *outSize = 0;
        return nullptr;
    }
    unsigned char* copy = new unsigned char[m_size ? m_size : 1];
    if (m_size)
        std::memcpy(copy, m_pData, m_size);
    if (outSize)
        *outSize = (int)m_size;
    Close();
    return copy;
}

unsigned char PackFile::ReadByte()
{
    unsigned char value = (m_pData && m_cursor < m_size) ? m_pData[m_cursor] : 0;
    m_cursor++;
    return value;
}

unsigned short PackFile::ReadWord()
{
    unsigned int lo = ReadByte();
    unsigned int hi = ReadByte();
    return (unsigned short)(lo | (hi << 8));
}

unsigned int PackFile::ReadDword()
{
    unsigned int v = 0;
    for (int i = 0; i < 4; i++)
        v |= (unsigned int)ReadByte() << (8 * i);
    return v;
}

void PackFile::Seek(int offset, int origin)
{
    switch (origin) {
    case 0:
        m_cursor = (unsigned int)offset;
        break;
    case 1:
        m_cursor += (unsigned int)offset;
        break;
    case 2:
        m_cursor = m_size - (unsigned int)offset;
        break;
    default:
        break;
    }
}

bool PackFile::Eof()
{
    return m_cursor >= m_size;
}

// ---- TGA pictures ----------------------------------------------------------
namespace {
// Largest picture decoded, in pixels (256 MB of pixels).
const uint64_t kMaxTgaPixels = 64u * 1024u * 1024u;
// Most pixels one run-length packet can give.
const uint64_t kMaxPacketPixels = 128;

[[noreturn]] void PalettePicture()
{
    std::fputs("TGA con paleta\n", stdout);
    std::fflush(stdout);
    std::_Exit(1);
}

// The walk over the picture for the orientation code: where a file row
// starts and which way its pixels and the rows go.
struct TgaWalk {
    int firstX, endX, stepX;
    int firstY, endY, stepY;
};

TgaWalk WalkFor(int code, int width, int height)
{
    bool right = (code & 1) != 0;
    bool top = (code & 2) != 0;
    TgaWalk w;
    w.firstX = right ? width - 1 : 0;
    w.endX = right ? -1 : width;
    w.stepX = right ? -1 : 1;
    w.firstY = top ? 0 : height - 1;
    w.endY = top ? height : -1;
    w.stepY = top ? 1 : -1;
    return w;
}
}

Image* PackFile::LoadTGA(const char* name)
{
    Open(name);
    const unsigned int fileSize = m_size;
    unsigned int idLength = ReadByte();
    unsigned int colourMapType = ReadByte();
    if (colourMapType != 0)
        PalettePicture();
    unsigned int imageType = ReadByte();
    Seek(5, 1);
    ReadWord(); // x origin
    ReadWord(); // y origin
    unsigned int width = ReadWord();
    unsigned int height = ReadWord();
    unsigned int depth = ReadByte();
    unsigned int code = ReadByte() >> 4;
    Seek((int)idLength, 1);

    // A picture that is decoded needs at least one byte per 128 pixels; one
    // that is not comes back at its size whatever follows its header.
    uint64_t pixels = (uint64_t)width * height;
    uint64_t left = m_cursor <= fileSize ? fileSize - m_cursor : 0;
    bool decoded = (imageType == 2 || imageType == 10) && (depth == 24 || depth == 32) && code < 4;
    unsigned int bytesPerPixel = depth / 8;
    const unsigned int kHeaderSize = 18;
    bool fits = fileSize >= kHeaderSize && pixels <= kMaxTgaPixels &&
                (!decoded || (m_cursor <= fileSize && pixels <= left * kMaxPacketPixels));
    if (fits && decoded && imageType == 2)
        fits = left >= pixels * bytesPerPixel;
    if (fits && decoded && imageType == 10)
        fits = left >= (pixels + kMaxPacketPixels - 1) / kMaxPacketPixels * (1 + bytesPerPixel);
    if (!fits) {
        ReportError("LoadTGA FAILED [PackFile]");
        Close();
        return nullptr;
    }

    Image* image = new Image;
    image->m_width = (int)width;
    image->m_height = (int)height;
    if (pixels > 0)
        image->m_pPixels = new unsigned int[pixels]();
    if (!decoded || pixels == 0) {
        Close();
        return image;
    }

    unsigned int* out = image->m_pPixels;
    auto readPixel = [this, depth]() {
        unsigned int b = ReadByte();
        unsigned int g = ReadByte();
        unsigned int r = ReadByte();
        unsigned int a = depth == 32 ? ReadByte() : 0xFFu;
        return (a << 24) | (r << 16) | (g << 8) | b;
    };
    TgaWalk walk = WalkFor((int)code, (int)width, (int)height);
    if (imageType == 2) {
        for (int y = walk.firstY; y != walk.endY; y += walk.stepY)
            for (int x = walk.firstX; x != walk.endX; x += walk.stepX)
                out[(size_t)y * width + x] = readPixel();
        Close();
        return image;
    }

    // Run-length: packets may cross rows; a packet that runs past the last
    // pixel ends the picture there.
    int x = walk.firstX, y = walk.firstY;
    uint64_t count = 0;
    bool truncated = false;
    while (count < pixels) {
        if (m_cursor >= fileSize) {
            truncated = true;
            break;
        }
        unsigned int header = ReadByte();
        bool run = header >= 128;
        unsigned int length = (header & 0x7F) + 1;
        unsigned int value = 0;
        for (unsigned int i = 0; i < length && count < pixels; ++i) {
            if (!run || i == 0) {
                if ((uint64_t)m_cursor + bytesPerPixel > fileSize) {
                    truncated = true;
                    break;
                }
                value = readPixel();
            }
            out[(size_t)y * width + x] = value;
            ++count;
            x += walk.stepX;
            if (x == walk.endX) {
                x = walk.firstX;
                y += walk.stepY;
            }
        }
        if (truncated)
            break;
    }
    Close();
    if (truncated) {
        ReportError("LoadTGA FAILED [PackFile]");
        delete image;
        return nullptr;
    }
    return image;
}
