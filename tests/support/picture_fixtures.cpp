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

namespace {

// Encodes a w x h JPEG whose rows `fill` writes (components bytes a pixel).
Bytes encodeJpeg(int w, int h, int components, int quality, JpegKind kind,
                 const std::function<void(int y, uint8_t* row)>& fill)
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
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_scan_info scans[3];
    if (kind == JpegKind::Progressive) {
        jpeg_simple_progression(&cinfo);
    } else if (kind == JpegKind::ScanPerComponent) {
        for (int i = 0; i < components; ++i) {
            scans[i].comps_in_scan = 1;
            scans[i].component_index[0] = i;
            scans[i].Ss = 0;
            scans[i].Se = 63;
            scans[i].Ah = 0;
            scans[i].Al = 0;
        }
        cinfo.scan_info = scans;
        cinfo.num_scans = components;
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row((size_t)w * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        fill((int)cinfo.next_scanline, row.data());
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(mem, mem + size);
    std::free(mem);
    return out;
}

} // namespace

Bytes MakeJpeg(int w, int h, JpegKind kind)
{
    return encodeJpeg(w, h, 3, 50, kind, [w](int y, uint8_t* row) {
        for (int x = 0; x < w; ++x) {
            row[3 * x] = shade(x);
            row[3 * x + 1] = shade(y);
            row[3 * x + 2] = shade(x + y);
        }
    });
}

Bytes MakeFlatJpeg(int w, int h, int components, const uint8_t colour[3])
{
    return encodeJpeg(w, h, components, 100, JpegKind::Baseline, [=](int, uint8_t* row) {
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < components; ++k)
                row[x * components + k] = colour[k];
    });
}

Bytes MakePng(int w, int h)
{
    std::vector<uint32_t> argb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            argb.push_back(0xFF000000u | (uint32_t)shade(x) << 16 | (uint32_t)shade(y) << 8 | shade(x + y));
    return MakePng(w, h, false, argb);
}

Bytes MakePng(int w, int h, bool alpha, const std::vector<uint32_t>& argb)
{
    png_image img;
    std::memset(&img, 0, sizeof(img));
    img.version = PNG_IMAGE_VERSION;
    img.width = w;
    img.height = h;
    img.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    Bytes px;
    for (uint32_t c : argb) {
        px.push_back((uint8_t)(c >> 16));
        px.push_back((uint8_t)(c >> 8));
        px.push_back((uint8_t)c);
        if (alpha)
            px.push_back((uint8_t)(c >> 24));
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
