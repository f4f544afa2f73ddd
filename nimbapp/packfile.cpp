#include "packfile.h"

#include <mscrt.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <zlib.h>

#include "debuglog.h"

namespace {
// Largest entry or loose file read into memory.
const uint32_t kMaxFileSize = 512u * 1024u * 1024u;

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

[[noreturn]] void FileNotFound(const char* name)
{
    std::fputs("File ", stdout);
    std::fputs(name, stdout);
    std::fputs(" not Found\n", stdout);
    std::fflush(stdout);
    std::_Exit(-1);
}
}

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
        if (compSize > fileSize - count || count > UINT32_MAX || origSize > kMaxFileSize ||
            compSize > kMaxFileSize || (uint64_t)origSize > (uint64_t)compSize * 1032 + 64 ||
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
    uLongf produced = entry->m_origSize;
    int status = uncompress(m_pData, &produced, packed, entry->m_compSize);
    delete[] packed;
    if (status == Z_OK && produced != entry->m_origSize)
        status = Z_DATA_ERROR; // shorter than announced
    if (status != Z_OK) {
        delete[] m_pData;
        m_pData = nullptr;
        return status;
    }
    m_size = (unsigned int)produced;
    return Z_OK;
}

// A path that cannot be read as a regular file (missing, a directory, an
// unreadable length) takes the missing-file stop.
void PackFile::OpenFromDisk(const char* name)
{
    FILE* f = ms_fopen(name, "rb");
    if (!f)
        FileNotFound(name);
    long length = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        length = std::ftell(f);
    if (length < 0 || (unsigned long)length > kMaxFileSize || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        FileNotFound(name);
    }
    unsigned char* data = new (std::nothrow) unsigned char[length ? (size_t)length : 1];
    if (!data) {
        std::fclose(f);
        FileNotFound(name);
    }
    size_t got = length ? std::fread(data, 1, (size_t)length, f) : 0;
    if (length == 0)
        std::fgetc(f); // a directory reports its error here
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
