#pragma once
// Decodes PNG images (downloaded bytes or RT_RCDATA resources of the executable) into GDI bitmaps, once per name,
// and converts them into Direct2D bitmaps of a render target. Used by one thread at a time: the thread that owns
// its window (a helper may use it before that thread does); that thread's COM and GDI+ are started for the
// loader's lifetime.
#include <windows.h>
#include <d2d1.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar {

using SharedBitmap = std::shared_ptr<const Core::UniqueGdiObject<HBITMAP>>;

// COM on the calling thread (apartment-threaded) for an object's lifetime; S_FALSE is paired too.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool ok() const { return m_initialised; }

private:
    bool m_initialised = false;
};

// GDI+ started for an object's lifetime (start-ups are counted by GDI+).
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const { return m_token != 0; }

private:
    ULONG_PTR m_token = 0;
};

class ImageLoader {
public:
    static constexpr int kBlankWidth = 1340;
    static constexpr int kBlankHeight = 712;

    ImageLoader();
    ~ImageLoader();
    ImageLoader(const ImageLoader&) = delete;
    ImageLoader& operator=(const ImageLoader&) = delete;

    // The cached bitmap of `name`, else the decoded bytes (cached under `name`); null when they are no image.
    SharedBitmap Load(const std::string& name, const void* bytes, std::size_t size);
    SharedBitmap Load(const std::string& name, const std::string& bytes) { return Load(name, bytes.data(), bytes.size()); }
    // An RT_RCDATA resource of the executable (from FindResourceW), cached under "res_<handle>".
    SharedBitmap LoadResource(HRSRC resource);
    // A plain white 1340 x 712 image, cached under `name`.
    SharedBitmap Blank(const std::string& name);
    // The bitmap as a Direct2D bitmap of the render target, at 96 DPI (its DIPs are its pixels); null when the
    // target refuses.
    Microsoft::WRL::ComPtr<ID2D1Bitmap> ToDirect2D(const SharedBitmap& bitmap, ID2D1RenderTarget* target);

    bool Cached(const std::string& name) const { return m_cache.count(name) != 0; }

private:
    SharedBitmap Decode(const std::string& name, const void* bytes, std::size_t size);
    SharedBitmap Remember(const std::string& name, HBITMAP bitmap);

    ComApartment m_com;
    GdiplusSession m_gdiplus;
    Microsoft::WRL::ComPtr<IWICImagingFactory> m_wic;
    std::map<std::string, SharedBitmap> m_cache;
};

// The bitmap's size in its own pixels (0 x 0 for none): images are placed and cut by it at any DPI.
D2D1_SIZE_F PixelSize(ID2D1Bitmap* bitmap);

// The executable's RT_RCDATA resource with a numeric id (null when there is none).
HRSRC FindImageResource(int id);

} // namespace Nolvar
