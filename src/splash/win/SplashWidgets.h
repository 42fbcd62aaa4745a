#pragma once
// The widgets of the splash window's screens: each id's kind, text, style and place.
#include <windows.h>
#include <d2d1.h>

#include <string>

#include "splash/win/widgets/IWidget.h"

namespace Nolvar {

class ISplashEventObserver;

struct SplashWidgetContext {
    HWND window = nullptr;                 // the splash main window, parent of the widget windows
    ID2D1Factory* factory = nullptr;
    ID2D1RenderTarget* target = nullptr;   // the main window's render target, which the labels draw into
    ISplashEventObserver* observer = nullptr;
    int halfWidth = 0;                     // W and H: half the size of the first background image
    int halfHeight = 0;
};

// The folder button's text: the installation folder setting, empty when it holds no path.
std::wstring InstallFolderText();

// The widget `id` (34466..34480) laid out for the context; null for any other id. The close button comes disabled
// with its image hidden; the folder button shows the installation folder setting.
WidgetPtr MakeSplashWidget(WORD id, const SplashWidgetContext& context);

} // namespace Nolvar
