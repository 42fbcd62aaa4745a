#pragma once
// The looks of the buttons: per style, how the background is drawn, which image layers sit where, and per visual
// state (normal, hover, pressed, disabled) and variant (unchecked, checked) the font, alignment and colours.
#include <d2d1.h>

#include <cstdint>
#include <string>
#include <vector>

#include "splash/win/widgets/TextFormat.h"

namespace Nolvar {

struct LayerPlacement {
    int hAlign = 0;        // 0 left, 1 centre, 2 right
    int vAlign = 0;        // 0 top, 1 centre, 2 bottom
    float offsetX = 0;
    float offsetY = 0;
    int textRelative = 0;  // 0: placed before the text, taking its width; else beside the laid-out text
};

// The font of a look's text and where the text sits.
struct ButtonFont {
    int alignment = 2;  // DWRITE_TEXT_ALIGNMENT: 0 leading, 1 trailing, 2 centre
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
    int state = 0;  // 0 normal, 1 hover, 2 pressed, 3 disabled
    ButtonLook unchecked;
    ButtonLook checked;
};

struct ButtonStyle {
    int styleId = 0;
    int drawKind = 0;  // 0 flat rectangle, 1 rounded pill
    std::vector<LayerPlacement> layers;
    std::vector<StateLook> states;
};

// The eleven styles (ids 0 to 10), read-only.
const std::vector<ButtonStyle>& ButtonStyles();
// The style with this id; null when there is none.
const ButtonStyle* FindButtonStyle(int styleId);
// Whether two colours differ in any channel by 0.00001 or more.
bool ColoursDiffer(const D2D1_COLOR_F& a, const D2D1_COLOR_F& b);

} // namespace Nolvar
