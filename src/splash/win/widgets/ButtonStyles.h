#pragma once
// The looks of the buttons: per style, how the background is drawn, which image layers sit where, and per visual
// state (normal, hover, pressed, disabled) and variant (unchecked, checked) the font, alignment and colours.
#include <d2d1.h>

#include <cstdint>
#include <string>
#include <vector>

#include "splash/win/widgets/TextFormat.h"
#include "splash/win/widgets/WidgetDrawing.h"

namespace Nolvar {

// The ids of the styles in the table.
namespace ButtonStyleId {
enum Id : int {
    LanguageDropDown = 0,
    LocaleRow = 1,         // a row of the language list
    CheckBox = 2,
    CloseCross = 3,
    DarkPopupButton = 4,
    TextLink = 5,
    SaveIcon = 6,
    Browse = 7,            // three dots
    LightPopupButton = 8,
    SettingsToggle = 9,
    MainAction = 10,       // with an arrow
};
} // namespace ButtonStyleId

// How a style draws its background.
namespace DrawKind {
enum Id : int { Flat = 0, Pill = 1 };
} // namespace DrawKind

struct LayerPlacement {
    Align::Id hAlign = Align::Start;
    Align::Id vAlign = Align::Start;
    float offsetX = 0;
    float offsetY = 0;
    int textRelative = 0;  // 0: placed before the text, taking its width; else beside the laid-out text
};

// The font of a look's text and where the text sits.
struct ButtonFont {
    int alignment = DWRITE_TEXT_ALIGNMENT_CENTER;  // a DWRITE_TEXT_ALIGNMENT
    float size = 12;
    float offsetX = 0;
    float offsetY = 0;
    int weight = 400;
    int style = 0;
    std::wstring family = kTextFontFamily;

    // Equal in every field, the sizes and offsets within 0.00001.
    bool matches(const ButtonFont& other) const;
};

struct ButtonLook {
    bool border = false;
    ButtonFont font;
    std::vector<std::int64_t> images;  // RT_RCDATA ids per layer; 0 = none
    D2D1_COLOR_F textColour{0, 0, 0, 1};
    D2D1_COLOR_F fillColour{1, 1, 1, 1};
    D2D1_COLOR_F borderColour{1, 1, 1, 1};
};

struct StateLook {
    int state = 0;  // a Button::State: 0 normal, 1 hover, 2 pressed, 3 disabled
    ButtonLook unchecked;
    ButtonLook checked;
};

struct ButtonStyle {
    ButtonStyleId::Id styleId = ButtonStyleId::LanguageDropDown;
    DrawKind::Id drawKind = DrawKind::Flat;
    std::vector<LayerPlacement> layers;
    std::vector<StateLook> states;
};

// The eleven styles (ids 0 to 10), read-only.
const std::vector<ButtonStyle>& ButtonStyles();
// The style with this id; null when there is none.
const ButtonStyle* FindButtonStyle(ButtonStyleId::Id styleId);
// Whether two colours differ in any channel by 0.00001 or more.
bool ColoursDiffer(const D2D1_COLOR_F& a, const D2D1_COLOR_F& b);

} // namespace Nolvar
