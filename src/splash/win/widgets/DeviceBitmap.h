#pragma once
// One image drawn into a render target: keeps its source (the decoded image) and makes the Direct2D bitmap for the
// target it is given, and again for the next target after a lost device. A source set while there is no target is
// the one made for the next target.
#include <d2d1.h>
#include <wrl/client.h>

#include <utility>

#include "splash/win/ImageLoader.h"

namespace Nolvar {

class DeviceBitmap {
public:
    // `images` converts the source for each target; it outlives the bitmap.
    explicit DeviceBitmap(ImageLoader& images, SharedBitmap source = nullptr)
        : m_images(&images), m_source(std::move(source)) {}

    // The image drawn from now on, made at once when there is a target (the same source again changes nothing).
    void SetSource(SharedBitmap source);
    // The target the bitmap is made for, from the owner's device-resources step; null releases the bitmap and
    // keeps the source.
    void SetTarget(ID2D1RenderTarget* target);

    ID2D1Bitmap* get() const { return m_bitmap.Get(); }

private:
    void make();

    ImageLoader* m_images;
    SharedBitmap m_source;
    ID2D1RenderTarget* m_target = nullptr;  // borrowed: its owner calls SetTarget(nullptr) before it goes
    Microsoft::WRL::ComPtr<ID2D1Bitmap> m_bitmap;
};

} // namespace Nolvar
