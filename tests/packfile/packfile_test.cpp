// Packed archives and loose files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "address_limit.h"
#include "scratch_folder.h"
#include "packfile.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void PutLe32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out.push_back((unsigned char)(v >> (8 * i)));
}

// One record: name, uncompressed size, stored size, stored bytes.
void PutRecord(Bytes& out, const std::string& name, uint32_t origSize, const Bytes& stored)
{
    PutLe32(out, (uint32_t)name.size());
    out.insert(out.end(), name.begin(), name.end());
    PutLe32(out, origSize);
    PutLe32(out, (uint32_t)stored.size());
    out.insert(out.end(), stored.begin(), stored.end());
}

void PutEntry(Bytes& out, const std::string& name, const std::string& content)
{
    uLongf size = compressBound(content.size());
    Bytes packed(size);
    compress(packed.data(), &size, reinterpret_cast<const Bytef*>(content.data()), content.size());
    packed.resize(size);
    PutRecord(out, name, (uint32_t)content.size(), packed);
}

void PutEnd(Bytes& out)
{
    PutRecord(out, "", 0, Bytes());
}

// A temporary folder that is the working folder while the test runs.
class PackFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = m_folder.path();
        ASSERT_FALSE(m_dir.empty());
    }
    void Write(const std::string& name, const Bytes& bytes)
    {
        FILE* f = std::fopen(name.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    void Write(const std::string& name, const std::string& text) { Write(name, Bytes(text.begin(), text.end())); }
    std::string Load(PackFile& pf, const char* name)
    {
        int size = -1;
        unsigned char* data = pf.LoadFile(name, &size);
        EXPECT_NE(data, nullptr) << name;
        EXPECT_EQ(pf.m_pData, nullptr);
        std::string s(reinterpret_cast<char*>(data), (size_t)size);
        delete[] data;
        return s;
    }
    ScratchFolder m_folder{"packfile_test"};
    std::string m_dir;
};

TEST_F(PackFileTest, RoundTripThroughAnArchive)
{
    Bytes archive;
    PutEntry(archive, "a.txt", "first a");
    PutEntry(archive, "music/b.bin", std::string(5000, 'x') + "tail");
    PutEntry(archive, "a.txt", "second a");
    PutEntry(archive, "empty", "");
    PutEnd(archive);
    PutEntry(archive, "after.txt", "never indexed");
    Write("show.pak", archive);
    Write("a.txt", "loose a");
    Write("after.txt", "loose after");

    PackFile pf("show.pak");
    ASSERT_EQ(pf.m_entries.size(), 4u);
    EXPECT_EQ(Load(pf, "a.txt"), "first a");
    EXPECT_EQ(Load(pf, "empty"), "");
    EXPECT_EQ(Load(pf, "music/b.bin"), std::string(5000, 'x') + "tail");
    // Names match byte for byte; others come from disk.
    EXPECT_EQ(Load(pf, "./a.txt"), "loose a");
    EXPECT_EQ(Load(pf, "A.TXT"), "loose a");
    EXPECT_EQ(Load(pf, "after.txt"), "loose after");
    EXPECT_EQ(pf.m_pArchive, nullptr);
}

TEST_F(PackFileTest, DataOffsetsFollowEachRecordHeader)
{
    Bytes archive;
    PutRecord(archive, "first", 1, Bytes(100, 7));
    PutRecord(archive, "two", 1, Bytes(3, 7));
    PutEnd(archive);
    Write("o.pak", archive);
    PackFile pf("o.pak");
    ASSERT_EQ(pf.m_entries.size(), 2u);
    EXPECT_EQ(pf.m_entries[0]->m_offset, 17u);
    EXPECT_EQ(pf.m_entries[1]->m_offset, 132u);
    EXPECT_STREQ(pf.m_entries[1]->m_name, "two");
    EXPECT_EQ(pf.m_entries[1]->m_compSize, 3u);
}

TEST_F(PackFileTest, TruncatedArchiveKeepsCompleteEntriesOnly)
{
    Bytes archive;
    PutEntry(archive, "one", "1111111111");
    size_t endOfFirst = archive.size();
    PutEntry(archive, "two", "2222222222");
    size_t endOfSecond = archive.size();
    PutEnd(archive);
    for (size_t len = 0; len <= archive.size(); len++) {
        Write("t.pak", Bytes(archive.begin(), archive.begin() + (long)len));
        PackFile pf("t.pak");
        size_t expected = len >= endOfSecond ? 2 : (len >= endOfFirst ? 1 : 0);
        EXPECT_EQ(pf.m_entries.size(), expected) << "length " << len;
        if (expected >= 1) {
            EXPECT_EQ(Load(pf, "one"), "1111111111");
        }
    }
}

TEST_F(PackFileTest, HostileSizesStopTheIndex)
{
    struct Case {
        const char* what;
        uint32_t nameLength;
        uint32_t origSize;
        uint32_t storedSize;
    } cases[] = {
        {"name longer than the file", 0xFFFFFFFFu, 4, 4},
        {"stored size beyond the file", 3, 4, 0x7FFFFFFFu},
        {"uncompressed size beyond the limit", 3, 0xFFFFFFF0u, 4},
        {"uncompressed size beyond what deflate gives", 3, 1000000, 4},
    };
    for (const Case& c : cases) {
        Bytes archive;
        PutEntry(archive, "ok", "fine");
        PutLe32(archive, c.nameLength);
        archive.insert(archive.end(), {'b', 'a', 'd'});
        PutLe32(archive, c.origSize);
        PutLe32(archive, c.storedSize);
        archive.insert(archive.end(), {1, 2, 3, 4});
        PutEnd(archive);
        Write("h.pak", archive);
        PackFile pf("h.pak");
        ASSERT_EQ(pf.m_entries.size(), 1u) << c.what;
        EXPECT_EQ(Load(pf, "ok"), "fine") << c.what;
    }
    // An archive that does not exist has an empty index.
    PackFile none("missing.pak");
    EXPECT_TRUE(none.m_entries.empty());
}

TEST_F(PackFileTest, CorruptOrShortEntryIsAnError)
{
    Bytes good;
    PutEntry(good, "x", "some text that compresses");
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    } cases[] = {
        {"flipped data",
         [](Bytes& a) {
             a[a.size() - 6] ^= 0x55;
             a[a.size() - 3] ^= 0x55;
         }},
        {"announced smaller", [](Bytes& a) { a[5] -= 3; }},
    };
    for (const Case& c : cases) {
        Bytes archive = good;
        c.damage(archive);
        PutEnd(archive);
        Write("c.pak", archive);
        PackFile pf("c.pak");
        ASSERT_EQ(pf.m_entries.size(), 1u) << c.what;
        EXPECT_NE(pf.Open("x"), 0) << c.what;
        EXPECT_EQ(pf.m_pData, nullptr) << c.what;
        pf.Close();
        int size = -1;
        EXPECT_EQ(pf.LoadFile("x", &size), nullptr) << c.what;
        EXPECT_EQ(size, 0) << c.what;
    }
    // The archive gone after construction: an error too.
    Bytes archive = good;
    PutEnd(archive);
    Write("gone.pak", archive);
    PackFile pf("gone.pak");
    std::remove("gone.pak");
    int size = -1;
    EXPECT_EQ(pf.LoadFile("x", &size), nullptr);
    EXPECT_EQ(size, 0);
}

// A stream that ends cleanly short of its announced size opens with the
// bytes it holds, and loads them.
TEST_F(PackFileTest, EntryShorterThanAnnouncedOpensWithWhatItHolds)
{
    const std::string text = "some text that compresses";
    Bytes archive;
    PutEntry(archive, "x", text);
    archive[5] += 10; // the uncompressed size, after the 4-byte name length and the name
    PutEnd(archive);
    Write("s.pak", archive);
    PackFile pf("s.pak");
    ASSERT_EQ(pf.m_entries.size(), 1u);
    EXPECT_EQ(pf.m_entries[0]->m_origSize, text.size() + 10);
    ASSERT_EQ(pf.Open("x"), Z_OK);
    EXPECT_EQ(pf.m_size, text.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(pf.m_pData), pf.m_size), text);
    pf.Close();
    EXPECT_EQ(Load(pf, "x"), text);
}

// A sparse file of `bytes` whose last byte is 'z'.
void WriteSparse(const char* name, off_t bytes)
{
    int fd = open(name, O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, bytes - 1), 0);
    ASSERT_EQ(pwrite(fd, "z", 1, bytes - 1), 1);
    close(fd);
}

TEST_F(PackFileTest, LooseFilesAreReadWholeWhateverTheirSize)
{
    const off_t size = (off_t)520 << 20;
    WriteSparse("big.bin", size);
    PackFile pf(nullptr);
    ASSERT_EQ(pf.Open("big.bin"), 0);
    ASSERT_NE(pf.m_pData, nullptr);
    EXPECT_EQ(pf.m_size, (unsigned int)size);
    EXPECT_EQ(pf.m_pData[0], 0);
    EXPECT_EQ(pf.m_pData[size - 1], 'z');
    pf.Close();
}

TEST_F(PackFileTest, CursorReads)
{
    Write("ten.bin", Bytes{0x34, 0x12, 1, 2, 0, 0, 9, 8, 7, 6});
    PackFile pf(nullptr);
    ASSERT_EQ(pf.Open("ten.bin"), 0);
    EXPECT_EQ(pf.m_size, 10u);
    EXPECT_EQ(pf.ReadWord(), 0x1234);
    EXPECT_EQ(pf.ReadDword(), 513u);
    pf.Seek(2, 2);
    EXPECT_EQ(pf.m_cursor, 8u);
    pf.Seek(3, 7);
    EXPECT_EQ(pf.m_cursor, 8u);
    pf.Seek(-2, 1);
    EXPECT_EQ(pf.ReadByte(), 9);
    pf.Seek(9, 0);
    EXPECT_FALSE(pf.Eof());
    EXPECT_EQ(pf.ReadByte(), 6);
    EXPECT_TRUE(pf.Eof());
    // Past the end reads give 0 and never touch memory beyond the buffer.
    EXPECT_EQ(pf.ReadDword(), 0u);
    pf.Close();
    pf.Close();

    Write("empty.bin", Bytes());
    ASSERT_EQ(pf.Open("empty.bin"), 0);
    EXPECT_EQ(pf.m_size, 0u);
    EXPECT_TRUE(pf.Eof());
    pf.Close();
    int size = -1;
    unsigned char* data = pf.LoadFile("empty.bin", &size);
    EXPECT_EQ(size, 0);
    delete[] data;
}

// Runs LoadFile in a child with standard output sent to a file.
void LoadWithStdoutTo(const char* name, const char* out)
{
    if (!std::freopen(out, "w", stdout))
        std::_Exit(3);
    PackFile pf(nullptr);
    int size;
    pf.LoadFile(name, &size);
    std::_Exit(0);
}

// LoadFile in a child that may map at most 32 MiB more than it holds now.
void LoadWithLittleMemory(const char* name, const char* out)
{
    if (!LimitAddressSpace(32u << 20))
        std::_Exit(4);
    LoadWithStdoutTo(name, out);
}

// A file that is there but cannot be held is not reported as missing.
TEST_F(PackFileTest, FileWithoutMemoryForItStopsSayingSo)
{
    if (!kAddressLimits)
        GTEST_SKIP() << "no address-space limit under AddressSanitizer";
    WriteSparse("big.bin", (off_t)256 << 20);
    std::string out = m_dir + "/stdout.txt";
    EXPECT_EXIT(LoadWithLittleMemory("big.bin", out.c_str()), ::testing::ExitedWithCode(255), "");
    EXPECT_EQ(ScratchFolder::Read(out), "File big.bin (268435456 bytes) could not be read: not enough memory\n");
}

TEST_F(PackFileTest, MissingFileStopsTheProgram)
{
    if (mkdir("adir", 0755) != 0)
        FAIL();
    const char* names[] = {"./data/music/none.it", "adir"};
    for (const char* name : names) {
        std::string out = m_dir + "/stdout.txt";
        EXPECT_EXIT(LoadWithStdoutTo(name, out.c_str()), ::testing::ExitedWithCode(255), "") << name;
        EXPECT_EQ(ScratchFolder::Read(out), std::string("File ") + name + " not Found\n");
    }
}

} // namespace
