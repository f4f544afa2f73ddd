#include "picture_fixtures.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace fixtures {

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void jpegFail(j_common_ptr c)
{
    longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
}

uint8_t shade(int v)
{
    return (uint8_t)(v * 37 & 0xFF);
}

void putBe32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = (uint8_t)(v >> (24 - 8 * i));
}

} // namespace

Bytes MakeJpeg(int w, int h, JpegKind kind)
{
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegFail;
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(mem);
        return Bytes();
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 50, TRUE);
    jpeg_scan_info scans[3];
    if (kind == JpegKind::Progressive) {
        jpeg_simple_progression(&cinfo);
    } else if (kind == JpegKind::ScanPerComponent) {
        for (int i = 0; i < 3; ++i) {
            scans[i].comps_in_scan = 1;
            scans[i].component_index[0] = i;
            scans[i].Ss = 0;
            scans[i].Se = 63;
            scans[i].Ah = 0;
            scans[i].Al = 0;
        }
        cinfo.scan_info = scans;
        cinfo.num_scans = 3;
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row((size_t)w * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = (int)cinfo.next_scanline;
        for (int x = 0; x < w; ++x) {
            row[3 * x] = shade(x);
            row[3 * x + 1] = shade(y);
            row[3 * x + 2] = shade(x + y);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(mem, mem + size);
    std::free(mem);
    return out;
}

Bytes MakePng(int w, int h)
{
    png_image img;
    std::memset(&img, 0, sizeof(img));
    img.version = PNG_IMAGE_VERSION;
    img.width = w;
    img.height = h;
    img.format = PNG_FORMAT_RGB;
    Bytes px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            px.push_back(shade(x));
            px.push_back(shade(y));
            px.push_back(shade(x + y));
        }
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&img, nullptr, &size, 0, px.data(), 0, nullptr))
        return Bytes();
    Bytes out(size);
    if (!png_image_write_to_memory(&img, out.data(), &size, 0, px.data(), 0, nullptr))
        return Bytes();
    out.resize(size);
    return out;
}

Bytes DeclaringSize(Bytes file, uint32_t w, uint32_t h)
{
    if (file.size() > 33 && std::memcmp(file.data(), "\x89PNG", 4) == 0) {
        // IHDR: width and height first, then its checksum over type and data.
        putBe32(file, 16, w);
        putBe32(file, 20, h);
        putBe32(file, 29, (uint32_t)crc32(0, &file[12], 17));
        return file;
    }
    // JPEG: walk the segments to the start of frame, which holds the height,
    // then the width.
    for (size_t i = 2; i + 9 < file.size() && file[i] == 0xFF;) {
        uint8_t marker = file[i + 1];
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            file[i + 5] = (uint8_t)(h >> 8);
            file[i + 6] = (uint8_t)h;
            file[i + 7] = (uint8_t)(w >> 8);
            file[i + 8] = (uint8_t)w;
            break;
        }
        i += 2 + ((size_t)file[i + 2] << 8 | file[i + 3]);
    }
    return file;
}

} // namespace fixtures
