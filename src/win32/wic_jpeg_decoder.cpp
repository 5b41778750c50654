// JPEG through the Windows Imaging Component: the system's own decoder, so the Windows build
// needs no JPEG library of its own. Where the decoder can scale while it decodes (the system's
// JPEG codec can, through IWICBitmapSourceTransform), a small picture is decoded small; other
// decoders decode at full size and go through a scaler to the size libjpeg would give.

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <wincodec.h>

#include "image/image_decoder.h"

#include <cstring>
#include <vector>

// The decoder's scaling interface, which the MinGW-w64 headers of Debian 12 do not declare: as
// the Windows SDK defines it, methods in their vtable order.
struct WicSourceTransform : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                                 WICPixelFormatGUID* format, WICBitmapTransformOptions transform,
                                                 UINT stride, UINT bufferSize, BYTE* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) = 0;
};
constexpr GUID kIidWicSourceTransform = {0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};

namespace kestrum {

namespace {

template <class T> class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() {
        if (m_p) m_p->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** put() { return &m_p; }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

  private:
    T* m_p = nullptr;
};

// COM on the calling thread for the length of one call: a host thread that has its own
// apartment already keeps it (CoInitializeEx then says so and nothing is undone).
class Apartment {
  public:
    Apartment() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~Apartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    bool usable() const { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }

  private:
    HRESULT m_hr;
};

// The first frame of a JPEG held in memory, with the factory and stream it depends on.
struct JpegFrame {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;

    bool open(std::span<const uint8_t> bytes) {
        if (bytes.size() < 4 || bytes.size() > 0x7FFFFFFFu) return false;
        if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(factory.put()))))
            return false;
        if (FAILED(factory->CreateStream(stream.put()))) return false;
        // WIC reads the block and never writes it.
        if (FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()))))
            return false;
        if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                    decoder.put())))
            return false;
        GUID container{};
        // Only JPEG: a PNG or GIF in the picture's place is as unreadable here as it is to libjpeg.
        if (FAILED(decoder->GetContainerFormat(&container)) || !IsEqualGUID(container, GUID_ContainerFormatJpeg))
            return false;
        if (FAILED(decoder->GetFrame(0, frame.put()))) return false;
        return SUCCEEDED(frame->GetSize(&width, &height)) && width > 0 && height > 0;
    }
};

void fromBgr(const std::vector<BYTE>& rows, UINT stride, TImage& out) {
    for (int y = 0; y < out.height(); ++y) {
        const BYTE* p = rows.data() + std::size_t(y) * stride;
        uint32_t* dst = out.row(y);
        for (int x = 0; x < out.width(); ++x, p += 3)
            dst[x] = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
}

// Scaled inside the decoder, when the decoder offers exactly the size asked for.
bool decodeScaledByDecoder(JpegFrame& jpeg, UINT w, UINT h, TImage& out) {
    ComPtr<WicSourceTransform> transform;
    if (FAILED(jpeg.frame->QueryInterface(kIidWicSourceTransform, reinterpret_cast<void**>(transform.put()))))
        return false;
    UINT cw = w, ch = h;
    if (FAILED(transform->GetClosestSize(&cw, &ch)) || cw != w || ch != h) return false;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(transform->GetClosestPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
        return false;
    const UINT stride = (w * 3 + 3) & ~3u;
    std::vector<BYTE> rows(std::size_t(stride) * h);
    if (FAILED(transform->CopyPixels(nullptr, w, h, &format, WICBitmapTransformRotate0, stride,
                                     static_cast<UINT>(rows.size()), rows.data())))
        return false;
    out.resize(static_cast<int>(w), static_cast<int>(h));
    fromBgr(rows, stride, out);
    return true;
}

bool decodeThroughScaler(JpegFrame& jpeg, UINT w, UINT h, TImage& out) {
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(jpeg.factory->CreateFormatConverter(converter.put()))) return false;
    if (FAILED(converter->Initialize(jpeg.frame.get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)))
        return false;
    IWICBitmapSource* source = converter.get();
    ComPtr<IWICBitmapScaler> scaler;
    if (w != jpeg.width || h != jpeg.height) {
        if (FAILED(jpeg.factory->CreateBitmapScaler(scaler.put()))) return false;
        if (FAILED(scaler->Initialize(converter.get(), w, h, WICBitmapInterpolationModeFant))) return false;
        source = scaler.get();
    }
    const UINT stride = (w * 3 + 3) & ~3u;
    std::vector<BYTE> rows(std::size_t(stride) * h);
    if (FAILED(source->CopyPixels(nullptr, stride, static_cast<UINT>(rows.size()), rows.data()))) return false;
    out.resize(static_cast<int>(w), static_cast<int>(h));
    fromBgr(rows, stride, out);
    return true;
}

} // namespace

bool jpegSize(std::span<const uint8_t> bytes, int& width, int& height) {
    width = height = 0;
    Apartment com;
    if (!com.usable()) return false;
    JpegFrame jpeg;
    if (!jpeg.open(bytes) || jpeg.width > 0x7FFFFFFFu || jpeg.height > 0x7FFFFFFFu) return false;
    width = static_cast<int>(jpeg.width);
    height = static_cast<int>(jpeg.height);
    return true;
}

bool decodeJpeg(std::span<const uint8_t> bytes, int scaleDenom, TImage& out) {
    out.resize(0, 0);
    if (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8) return false;
    Apartment com;
    if (!com.usable()) return false;
    JpegFrame jpeg;
    if (!jpeg.open(bytes)) return false;
    const UINT d = static_cast<UINT>(scaleDenom);
    // libjpeg's output size, rounded up, so that both platforms lay the picture out alike.
    const uint64_t w = (uint64_t{jpeg.width} + d - 1) / d, h = (uint64_t{jpeg.height} + d - 1) / d;
    if (w * h > uint64_t(kMaxImagePixels)) return false;
    const UINT uw = static_cast<UINT>(w), uh = static_cast<UINT>(h);
    const bool ok = (d > 1 && decodeScaledByDecoder(jpeg, uw, uh, out)) || decodeThroughScaler(jpeg, uw, uh, out);
    if (!ok) out.resize(0, 0);
    return ok;
}

} // namespace kestrum
