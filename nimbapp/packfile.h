// Whole files from disk, or from a packed archive of zlib-compressed entries.
#pragma once

#include <cstdio>
#include <vector>

// A decoded picture: 0xAARRGGBB pixels, row 0 at the top; pixel (x, y) at
// y * m_width + x. The picture owns its pixels.
struct Image {
    Image() : m_width(0), m_height(0), m_pPixels(nullptr) {}
    ~Image() { delete[] m_pPixels; }
    int m_width;
    int m_height;
    unsigned int* m_pPixels;

private:
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
};

// One entry of an archive's index.
struct PackEntry {
    char* m_name;
    unsigned int m_compSize; // stored bytes
    unsigned int m_origSize; // bytes after inflation
    unsigned int m_offset;   // of the stored bytes, from the start of the archive
};

class PackFile {
public:
    // With a null path every file comes from disk; otherwise the archive's
    // index is read now.
    explicit PackFile(const char* archivePath);
    virtual ~PackFile();

    // Makes `name` the open file: the archive entry of that exact name, else
    // the file on disk. Returns 0, or zlib's error status for an entry that
    // does not inflate (nothing is then open); an entry that inflates cleanly
    // to fewer bytes than announced opens with those. A file found nowhere
    // ends the process (see below).
    int Open(const char* name);
    void Close();

    // A new buffer with the whole file (the caller deletes it with delete[])
    // and its size; null and size 0 for an archive entry that is corrupt.
    // A missing file prints "File <name> not Found" on standard output and
    // ends the process with exit code -1; a file there that cannot be held
    // (no memory for it, or 4 GiB or more) prints "File <name> (<n> bytes)
    // could not be read: <why>" and ends it the same way.
    unsigned char* LoadFile(const char* name, int* outSize);

    // Decodes a TGA picture of type 2 (uncompressed) or 10 (run-length), 24
    // or 32 bits, any corner orientation, into a new Image the caller
    // deletes. Other types, depths and interleaved pictures come back with
    // their size and all pixels 0. A file shorter than its header and pixels
    // promise, or a picture of more than 64 million pixels, gives null. A
    // colour-mapped picture prints "TGA con paleta" on standard output and
    // ends the process with exit code 1; a missing file stops as LoadFile.
    Image* LoadTGA(const char* name);

    // Read cursor over the open file. Reads past the end give 0.
    unsigned char ReadByte();
    unsigned short ReadWord();
    unsigned int ReadDword();
    // origin 0: from the start; 1: from the cursor; 2: backwards from the end.
    void Seek(int offset, int origin);
    bool Eof();

    char* m_archivePath;
    FILE* m_pArchive;
    int m_noArchive;
    unsigned char* m_pData;
    unsigned int m_cursor;
    unsigned int m_size;
    std::vector<PackEntry*> m_entries;

private:
    void ReadIndex();
    int OpenEntry(const PackEntry* entry);
    void OpenFromDisk(const char* name);

    PackFile(const PackFile&) = delete;
    PackFile& operator=(const PackFile&) = delete;
};
