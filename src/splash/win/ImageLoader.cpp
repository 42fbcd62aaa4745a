#include "splash/win/ImageLoader.h"

#include <objbase.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include <glog/logging.h>

#include "splash/win/CallFailed.h"

namespace Nolvar {
namespace {

using Microsoft::WRL::ComPtr;

constexpr Gdiplus::ARGB kOpaqueWhite = 0xFFFFFFFF;

// A GDI+ image from the flat API, disposed with it.
struct GdiplusImageTraits {
    using pointer = Gdiplus::GpBitmap*;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { Gdiplus::DllExports::GdipDisposeImage(h); }
};
using GdiplusBitmap = Core::UniqueHandle<GdiplusImageTraits>;

std::string ResourceName(HRSRC resource) {
    std::ostringstream name;
    name << "res_" << static_cast<const void*>(resource);
    return name.str();
}

} // namespace

ComApartment::ComApartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // S_FALSE (already initialised here) is counted as well and needs its CoUninitialize.
    m_initialised = SUCCEEDED(hr);
    if (!m_initialised && hr != RPC_E_CHANGED_MODE) LOG(ERROR) << "CoInitializeEx failed: 0x" << std::hex << hr;
}

ComApartment::~ComApartment() {
    if (m_initialised) CoUninitialize();
}

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&m_token, &input, nullptr) != Gdiplus::Ok) {
        LOG(ERROR) << "GdiplusStartup failed";
        m_token = 0;
    }
}

GdiplusSession::~GdiplusSession() {
    if (m_token != 0) Gdiplus::GdiplusShutdown(m_token);
}

ImageLoader::ImageLoader() = default;

ImageLoader::~ImageLoader() {
    // Bitmaps first, then the factory; COM and GDI+ end last (members in reverse order).
    m_cache.clear();
    m_wic.Reset();
}

// Puts white behind every pixel that is not opaque, whether the bitmap came premultiplied or not, so a
// transparent image shows white wherever it is drawn.
static void FlattenOntoWhite(HBITMAP bitmap) {
    DIBSECTION section{};
    if (GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) || !section.dsBm.bmBits ||
        section.dsBm.bmBitsPixel != 32) {
        return;
    }
    GdiFlush();
    auto* pixels = static_cast<std::uint8_t*>(section.dsBm.bmBits);
    const size_t count = static_cast<size_t>(section.dsBm.bmWidthBytes / 4) * std::abs(section.dsBm.bmHeight);
    for (size_t i = 0; i < count; ++i) {
        std::uint8_t* p = pixels + i * 4;
        const int alpha = p[3];
        if (alpha == 255) continue;
        const bool premultiplied = p[0] <= alpha && p[1] <= alpha && p[2] <= alpha;
        for (int c = 0; c < 3; ++c) {
            const int colour = premultiplied ? p[c] + (255 - alpha) : (p[c] * alpha + 255 * (255 - alpha)) / 255;
            p[c] = static_cast<std::uint8_t>(std::min(colour, 255));
        }
        p[3] = 255;
    }
}

SharedBitmap ImageLoader::Remember(const std::string& name, HBITMAP bitmap) {
    FlattenOntoWhite(bitmap);
    auto shared = std::make_shared<const Core::UniqueGdiObject<HBITMAP>>(bitmap);
    auto [entry, inserted] = m_cache.emplace(name, shared);
    return inserted ? shared : entry->second;
}

SharedBitmap ImageLoader::Decode(const std::string& name, const void* bytes, std::size_t size) {
    if (!m_gdiplus.ok()) return nullptr;
    ComPtr<IStream> stream;
    if (CallFailed(CreateStreamOnHGlobal(nullptr, TRUE, &stream), "CreateStreamOnHGlobal"))
        throw std::runtime_error("Cannot create IStream on HGlobal");
    if (size > 0) {
        if (size > 0xFFFFFFFFu) return nullptr;
        ULONG written = 0;
        if (CallFailed(stream->Write(bytes, static_cast<ULONG>(size), &written), "IStream::Write") || written != size)
            throw std::runtime_error("Cannot write to stream");
    }
    // Decoding reads from the stream's position: start at the first byte.
    const LARGE_INTEGER start{};
    if (CallFailed(stream->Seek(start, STREAM_SEEK_SET, nullptr), "IStream::Seek"))
        throw std::runtime_error("Cannot write to stream");

    GdiplusBitmap image;
    if (Gdiplus::DllExports::GdipCreateBitmapFromStreamICM(stream.Get(), image.put()) != Gdiplus::Ok || !image) {
        LOG(WARNING) << "Image \"" << name << "\" cannot be decoded (" << size << " bytes)";
        return nullptr;
    }
    HBITMAP bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(image.get(), &bitmap, kOpaqueWhite) != Gdiplus::Ok ||
        !bitmap) {
        LOG(WARNING) << "Image \"" << name << "\" gives no bitmap";
        return nullptr;
    }
    return Remember(name, bitmap);
}

SharedBitmap ImageLoader::Load(const std::string& name, const void* bytes, std::size_t size) {
    if (auto found = m_cache.find(name); found != m_cache.end()) return found->second;
    return Decode(name, bytes, size);
}

SharedBitmap ImageLoader::LoadResource(HRSRC resource) {
    if (!resource) return nullptr;
    const std::string name = ResourceName(resource);
    if (auto found = m_cache.find(name); found != m_cache.end()) return found->second;
    HMODULE module = GetModuleHandleW(nullptr);
    HGLOBAL loaded = ::LoadResource(module, resource);
    if (!loaded) throw std::runtime_error("call to LoadResource failed");
    const void* bytes = LockResource(loaded);
    const DWORD size = SizeofResource(module, resource);
    auto bitmap = bytes ? Decode(name, bytes, size) : nullptr;
    FreeResource(loaded);
    return bitmap;
}

SharedBitmap ImageLoader::Blank(const std::string& name) {
    if (auto found = m_cache.find(name); found != m_cache.end()) return found->second;
    if (!m_gdiplus.ok()) return nullptr;
    GdiplusBitmap image;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(kBlankWidth, kBlankHeight, 0, PixelFormat32bppARGB, nullptr,
                                                       image.put()) != Gdiplus::Ok) {
        return nullptr;
    }
    HBITMAP bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(image.get(), &bitmap, kOpaqueWhite) != Gdiplus::Ok ||
        !bitmap) {
        return nullptr;
    }
    return Remember(name, bitmap);
}

ComPtr<ID2D1Bitmap> ImageLoader::ToDirect2D(const SharedBitmap& bitmap, ID2D1RenderTarget* target) {
    if (!bitmap || !*bitmap || !target) return nullptr;
    if (!m_wic) {
        if (CallFailed(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_wic)),
                       "CoCreateInstance(CLSID_WICImagingFactory)"))
            throw std::runtime_error("CoCreateInstance call failed");
    }
    ComPtr<IWICBitmap> wicBitmap;
    if (CallFailed(m_wic->CreateBitmapFromHBITMAP(bitmap->get(), nullptr, WICBitmapUseAlpha, &wicBitmap),
                   "CreateBitmapFromHBITMAP", google::GLOG_WARNING))
        return nullptr;
    // At 96 DPI a bitmap's DIPs are its pixels: every drawing rule measures images in their own pixels, whatever
    // the DPI of the render target (which default properties would give the bitmap).
    const D2D1_BITMAP_PROPERTIES asIs = D2D1::BitmapProperties(D2D1::PixelFormat(), 96.0f, 96.0f);
    ComPtr<ID2D1Bitmap> result;
    // Refused for some pixel formats (Wine's among them): the converted bitmap is the second try, not a failure.
    if (SUCCEEDED(target->CreateBitmapFromWicBitmap(wicBitmap.Get(), &asIs, &result))) return result;
    ComPtr<IWICFormatConverter> converter;
    if (CallFailed(m_wic->CreateFormatConverter(&converter), "CreateFormatConverter"))
        throw std::runtime_error("CreateFormatConverter call failed");
    if (CallFailed(converter->Initialize(wicBitmap.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                         nullptr, 0.0, WICBitmapPaletteTypeMedianCut),
                   "IWICFormatConverter::Initialize", google::GLOG_WARNING))
        return nullptr;
    const D2D1_BITMAP_PROPERTIES premultiplied = D2D1::BitmapProperties(
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f, 96.0f);
    if (CallFailed(target->CreateBitmapFromWicBitmap(converter.Get(), &premultiplied, &result),
                   "CreateBitmapFromWicBitmap", google::GLOG_WARNING))
        return nullptr;
    return result;
}

D2D1_SIZE_F PixelSize(ID2D1Bitmap* bitmap) {
    if (!bitmap) return D2D1::SizeF(0, 0);
    const D2D1_SIZE_U size = bitmap->GetPixelSize();
    return D2D1::SizeF(static_cast<float>(size.width), static_cast<float>(size.height));
}

HRSRC FindImageResource(int id) {
    return FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
}

} // namespace Nolvar
