#include "image/image_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace kestrum {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr) {} // warnings of damaged files are not worth a line on stderr

// Everything between setjmp and a possible longjmp lives here, with no C++ object whose
// destructor a jump could skip.
bool decodeInto(const uint8_t* data, unsigned long size, int scaleDenom, TImage& out, std::vector<uint8_t>& row) {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.output_message = onMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(scaleDenom);
    cinfo.dct_method = JDCT_IFAST;
    cinfo.out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(&cinfo);
    const int64_t pixels = int64_t{cinfo.output_width} * int64_t{cinfo.output_height};
    if (cinfo.output_width == 0 || cinfo.output_height == 0 || pixels > kMaxImagePixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    const int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
    out.resize(w, h);
    row.resize(std::size_t(w) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) break;
        uint32_t* dst = out.row(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = row.data() + std::size_t(x) * 3;
            dst[x] = 0xFF000000u | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool readSize(const uint8_t* data, unsigned long size, int& width, int& height) {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.output_message = onMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    const bool ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
    width = static_cast<int>(cinfo.image_width);
    height = static_cast<int>(cinfo.image_height);
    jpeg_destroy_decompress(&cinfo);
    return ok && width > 0 && height > 0;
}

} // namespace

bool jpegSize(std::span<const uint8_t> bytes, int& width, int& height) {
    width = height = 0;
    if (bytes.size() < 4) return false;
    return readSize(bytes.data(), static_cast<unsigned long>(bytes.size()), width, height);
}

bool decodeJpeg(std::span<const uint8_t> bytes, int scaleDenom, TImage& out) {
    if (bytes.size() < 4 || (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8)) {
        out.resize(0, 0);
        return false;
    }
    std::vector<uint8_t> row;
    out.resize(0, 0);
    const bool ok = decodeInto(bytes.data(), static_cast<unsigned long>(bytes.size()), scaleDenom, out, row);
    if (!ok) out.resize(0, 0);
    return ok;
}

} // namespace kestrum
