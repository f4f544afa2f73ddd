// TGA pictures through PackFile::LoadTGA: every orientation, depth and
// compression decoded to known pixels; truncated, hostile and colour-mapped
// files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "packfile.h"
#include "scratch_folder.h"

namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<unsigned int> Pixels; // 0xAARRGGBB, top row first

struct Header {
    int idLength = 0;
    int colourMapType = 0;
    int type = 2;
    int width = 0;
    int height = 0;
    int depth = 24;
    int descriptor = 0;
};

Bytes HeaderBytes(const Header& h)
{
    Bytes b = {(unsigned char)h.idLength, (unsigned char)h.colourMapType, (unsigned char)h.type, 0, 0, 0, 0, 0,
               0, 0, 0, 0};
    auto word = [&b](int v) {
        b.push_back((unsigned char)(v & 0xFF));
        b.push_back((unsigned char)((v >> 8) & 0xFF));
    };
    word(h.width);
    word(h.height);
    b.push_back((unsigned char)h.depth);
    b.push_back((unsigned char)h.descriptor);
    for (int i = 0; i < h.idLength; ++i)
        b.push_back((unsigned char)(0xA0 + i));
    return b;
}

void PutPixel(Bytes& out, unsigned int argb, int depth)
{
    out.push_back((unsigned char)argb);
    out.push_back((unsigned char)(argb >> 8));
    out.push_back((unsigned char)(argb >> 16));
    if (depth == 32)
        out.push_back((unsigned char)(argb >> 24));
}

// The picture's pixels in the order a file of that orientation stores them.
Pixels FileOrder(const Pixels& top, int w, int h, int code)
{
    Pixels out;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            int y = (code & 2) ? r : h - 1 - r;
            int x = (code & 1) ? w - 1 - c : c;
            out.push_back(top[(size_t)y * w + x]);
        }
    return out;
}

// Run-length packets: runs of equal pixels become run packets, the rest
// raw packets; packets cross rows freely.
Bytes RunLength(const Pixels& p, int depth)
{
    Bytes out;
    size_t i = 0;
    while (i < p.size()) {
        size_t run = 1;
        while (i + run < p.size() && run < 128 && p[i + run] == p[i])
            ++run;
        if (run >= 2) {
            out.push_back((unsigned char)(0x80 + run - 1));
            PutPixel(out, p[i], depth);
            i += run;
            continue;
        }
        size_t n = 1;
        while (i + n < p.size() && n < 128 && !(i + n + 1 < p.size() && p[i + n] == p[i + n + 1]))
            ++n;
        out.push_back((unsigned char)(n - 1));
        for (size_t k = 0; k < n; ++k)
            PutPixel(out, p[i + k], depth);
        i += n;
    }
    return out;
}

class Tga : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = m_folder.path();
        ASSERT_FALSE(m_dir.empty());
    }
    std::string Write(const Bytes& bytes)
    {
        std::string name = m_dir + "/p" + std::to_string(m_files++) + ".tga";
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return name;
    }
    Image* Load(const Bytes& bytes)
    {
        PackFile pf(nullptr);
        Image* image = pf.LoadTGA(Write(bytes).c_str());
        EXPECT_EQ(pf.m_pData, nullptr) << "the file stays open";
        return image;
    }
    static Pixels PixelsOf(const Image* image)
    {
        return Pixels(image->m_pPixels, image->m_pPixels + (size_t)image->m_width * image->m_height);
    }
    ScratchFolder m_folder{"nimb_tga"};
    std::string m_dir;
    int m_files = 0;
};

const unsigned int P1 = 0x11223344, P2 = 0x55667788, P3 = 0x99AABBCC, P4 = 0xDDEEFF01;

TEST_F(Tga, EveryDepthCompressionAndCornerDecodesToTheSamePicture)
{
    // 4 by 3 with a repeated stretch that crosses a row end, so that the
    // run-length files hold run packets and raw packets over row ends.
    const int w = 4, h = 3;
    const Pixels top = {0x80102030, 0x80405060, 0x7F010203, 0x7F010203, // row 0
                        0x7F010203, 0x7F010203, 0x01FEDCBA, 0xFF000000, // row 1
                        0x00FFFFFF, 0xC0C0C0C0, 0x12345678, 0x9ABCDEF0}; // row 2
    for (int depth : {24, 32})
        for (int type : {2, 10})
            for (int code = 0; code < 4; ++code) {
                SCOPED_TRACE("depth " + std::to_string(depth) + " type " + std::to_string(type) + " code " +
                             std::to_string(code));
                Header hd;
                hd.type = type;
                hd.width = w;
                hd.height = h;
                hd.depth = depth;
                hd.descriptor = code << 4 | (depth == 32 ? 8 : 0);
                Bytes file = HeaderBytes(hd);
                Pixels order = FileOrder(top, w, h, code);
                if (type == 2) {
                    for (unsigned int p : order)
                        PutPixel(file, p, depth);
                } else {
                    Bytes packets = RunLength(order, depth);
                    file.insert(file.end(), packets.begin(), packets.end());
                }
                Image* image = Load(file);
                ASSERT_NE(image, nullptr);
                EXPECT_EQ(image->m_width, w);
                EXPECT_EQ(image->m_height, h);
                Pixels want = top;
                if (depth == 24)
                    for (unsigned int& p : want)
                        p |= 0xFF000000u;
                EXPECT_EQ(PixelsOf(image), want);
                delete image;
            }
}

TEST_F(Tga, TwoByTwoCornersPutTheFileRowsWhereTheDescriptorSays)
{
    struct Case {
        int descriptor;
        Pixels want;
    };
    const Case cases[] = {
        {0x00, {P3, P4, P1, P2}}, // bottom left
        {0x20, {P1, P2, P3, P4}}, // top left
        {0x10, {P4, P3, P2, P1}}, // bottom right
        {0x30, {P2, P1, P4, P3}}, // top right
    };
    for (const Case& c : cases) {
        Header hd;
        hd.width = hd.height = 2;
        hd.descriptor = c.descriptor;
        Bytes file = HeaderBytes(hd);
        for (unsigned int p : {P1, P2, P3, P4})
            PutPixel(file, p, 24);
        Image* image = Load(file);
        ASSERT_NE(image, nullptr);
        Pixels want = c.want;
        for (unsigned int& p : want)
            p |= 0xFF000000u;
        EXPECT_EQ(PixelsOf(image), want) << "descriptor " << c.descriptor;
        delete image;
    }
}

TEST_F(Tga, OneRunPacketFillsTheWholePictureWithItsAlpha)
{
    Header hd;
    hd.type = 10;
    hd.width = 3;
    hd.height = 2;
    hd.depth = 32;
    Bytes file = HeaderBytes(hd);
    file.push_back(0x85);
    PutPixel(file, 0x40A0B0C0, 32);
    Image* image = Load(file);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(PixelsOf(image), Pixels(6, 0x40A0B0C0));
    delete image;
}

TEST_F(Tga, RawPacketFromTheLastPixelOfARowGoesOnInTheNextRow)
{
    Header hd;
    hd.type = 10;
    hd.width = 2;
    hd.height = 2;
    hd.descriptor = 0x20;
    Bytes file = HeaderBytes(hd);
    file.push_back(0x00); // raw, one pixel
    PutPixel(file, P1, 24);
    file.push_back(0x02); // raw, three pixels: the end of row 0 and all of row 1
    for (unsigned int p : {P2, P3, P4})
        PutPixel(file, p, 24);
    Image* image = Load(file);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(PixelsOf(image), (Pixels{P1 | 0xFF000000u, P2 | 0xFF000000u, P3 | 0xFF000000u, P4 | 0xFF000000u}));
    delete image;
}

TEST_F(Tga, IdFieldIsSkipped)
{
    Header hd;
    hd.width = hd.height = 2;
    hd.descriptor = 0x20;
    Bytes plain = HeaderBytes(hd);
    hd.idLength = 10;
    Bytes withId = HeaderBytes(hd);
    for (unsigned int p : {P1, P2, P3, P4}) {
        PutPixel(plain, p, 24);
        PutPixel(withId, p, 24);
    }
    Image* a = Load(plain);
    Image* b = Load(withId);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(PixelsOf(a), PixelsOf(b));
    delete a;
    delete b;
}

// Run-length packets that run past the last pixel end the picture there,
// whichever end of the pixel array the walk finishes at.
TEST_F(Tga, PacketsPastTheLastPixelWriteNothingOutsideThePicture)
{
    for (int code = 0; code < 4; ++code)
        for (bool runPacket : {true, false}) {
            Header hd;
            hd.type = 10;
            hd.width = 3;
            hd.height = 2;
            hd.descriptor = code << 4;
            Bytes file = HeaderBytes(hd);
            file.push_back(0x84); // run of five
            PutPixel(file, P1, 24);
            if (runPacket) {
                file.push_back(0xFF); // run of 128: 127 too many
                PutPixel(file, P2, 24);
            } else {
                file.push_back(0x7F); // raw 128: 127 too many
                for (int i = 0; i < 128; ++i)
                    PutPixel(file, P2, 24);
            }
            Image* image = Load(file);
            ASSERT_NE(image, nullptr) << code;
            Pixels got = PixelsOf(image);
            int ones = 0, twos = 0;
            for (unsigned int p : got) {
                ones += p == (P1 | 0xFF000000u);
                twos += p == (P2 | 0xFF000000u);
            }
            EXPECT_EQ(ones, 5) << code;
            EXPECT_EQ(twos, 1) << code;
            delete image;
        }
}

TEST_F(Tga, TruncatedAndHostileFilesGiveNull)
{
    Header hd;
    hd.width = 4;
    hd.height = 4;
    Bytes raw = HeaderBytes(hd);
    for (int i = 0; i < 16; ++i)
        PutPixel(raw, 0x00010203u * i, 24);
    Header rl = hd;
    rl.type = 10;
    Bytes runs = HeaderBytes(rl);
    for (int i = 0; i < 4; ++i) {
        runs.push_back(0x83);
        PutPixel(runs, 0x00102030u * i, 24);
    }
    Header huge = hd;
    huge.width = huge.height = 65535;
    huge.type = 10;
    Bytes hugeRuns = HeaderBytes(huge);
    for (int i = 0; i < 64; ++i) {
        hugeRuns.push_back(0xFF);
        PutPixel(hugeRuns, 0, 24);
    }
    Header other = huge;
    other.type = 3; // grey, not decoded
    other.depth = 8;
    Header longId = hd;
    longId.idLength = 200;
    Bytes idOnly = HeaderBytes(longId);
    idOnly.resize(40);

    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty file", Bytes()},
        {"half a header", Bytes(raw.begin(), raw.begin() + 9)},
        {"ID field past the end", idOnly},
        {"raw pixels one byte short", Bytes(raw.begin(), raw.end() - 1)},
        {"header only", Bytes(raw.begin(), raw.begin() + 18)},
        {"run packet without its pixel", Bytes(runs.begin(), runs.end() - 2)},
        {"packets missing", Bytes(runs.begin(), runs.begin() + 18 + 8)},
        {"huge run-length picture from a small file", hugeRuns},
        {"huge undecoded picture from a header", HeaderBytes(other)},
    };
    for (const Case& c : cases) {
        Image* image = Load(c.bytes);
        EXPECT_EQ(image, nullptr) << c.what;
        delete image;
    }
    // The complete files decode.
    for (const Bytes& whole : {raw, runs}) {
        Image* image = Load(whole);
        EXPECT_NE(image, nullptr);
        delete image;
    }
}

TEST_F(Tga, UndecodedTypesDepthsAndInterleavingKeepTheirSizeWithZeroPixels)
{
    struct Case {
        int type, depth, descriptor;
    };
    const Case cases[] = {{3, 8, 0}, {11, 8, 0}, {2, 16, 0}, {10, 15, 0}, {2, 24, 0x40}, {10, 32, 0x80}};
    for (const Case& c : cases) {
        Header hd;
        hd.type = c.type;
        hd.depth = c.depth;
        hd.descriptor = c.descriptor;
        hd.width = 3;
        hd.height = 2;
        // With data after the header, or none at all.
        for (size_t data : {3 * 2 * 4, 0}) {
            Bytes file = HeaderBytes(hd);
            file.resize(file.size() + data, 0x5A);
            Image* image = Load(file);
            ASSERT_NE(image, nullptr) << c.type << "/" << c.depth << " with " << data << " bytes";
            EXPECT_EQ(image->m_width, 3);
            EXPECT_EQ(image->m_height, 2);
            EXPECT_EQ(PixelsOf(image), Pixels(6, 0u)) << c.type << "/" << c.depth << "/" << c.descriptor;
            delete image;
        }
    }
    // A big undecoded picture from its header alone, within the bound on what a header may ask for.
    Header big;
    big.type = 3;
    big.depth = 8;
    big.width = 4096;
    big.height = 2048;
    Image* image = Load(HeaderBytes(big));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->m_width, 4096);
    EXPECT_EQ(image->m_height, 2048);
    EXPECT_NE(image->m_pPixels, nullptr);
    delete image;
}

TEST_F(Tga, EmptyPictureHasNoPixels)
{
    Header hd;
    hd.width = 0;
    hd.height = 5;
    Image* image = Load(HeaderBytes(hd));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->m_width, 0);
    EXPECT_EQ(image->m_height, 5);
    EXPECT_EQ(image->m_pPixels, nullptr);
    delete image;
}

void LoadWithStdoutTo(const std::string& name, const std::string& out)
{
    if (!std::freopen(out.c_str(), "w", stdout))
        std::_Exit(3);
    PackFile pf(nullptr);
    delete pf.LoadTGA(name.c_str());
    std::_Exit(0);
}

std::string ReadText(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(Tga, ColourMappedPictureStopsTheProgram)
{
    for (int type : {1, 2, 9}) {
        Header hd;
        hd.colourMapType = 1;
        hd.type = type;
        hd.width = hd.height = 1;
        hd.depth = 8;
        Bytes file = HeaderBytes(hd);
        file.push_back(0);
        std::string name = Write(file);
        std::string out = m_dir + "/stdout.txt";
        EXPECT_EXIT(LoadWithStdoutTo(name, out), ::testing::ExitedWithCode(1), "") << type;
        EXPECT_EQ(ReadText(out), "TGA con paleta\n");
    }
}

TEST_F(Tga, MissingFileStopsAsLoadFileDoes)
{
    std::string out = m_dir + "/stdout.txt";
    std::string name = m_dir + "/none.tga";
    EXPECT_EXIT(LoadWithStdoutTo(name, out), ::testing::ExitedWithCode(255), "");
    EXPECT_EQ(ReadText(out), "File " + name + " not Found\n");
}

} // namespace
