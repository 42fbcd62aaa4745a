#include "splash/win/widgets/ButtonStyles.h"

#include <cmath>

#include "splash/win/widgets/WidgetDrawing.h"

namespace Nolvar {
namespace {

struct LookRow {
    bool border;
    int alignment;
    float size;
    float offsetX;
    float offsetY;
    D2D1_COLOR_F text;
    D2D1_COLOR_F fill;
    D2D1_COLOR_F borderColour;
};

ButtonLook MakeLook(const LookRow& row, std::vector<std::int64_t> images = {}) {
    ButtonLook look;
    look.border = row.border;
    look.font.alignment = row.alignment;
    look.font.size = row.size;
    look.font.offsetX = row.offsetX;
    look.font.offsetY = row.offsetY;
    look.textColour = row.text;
    look.fillColour = row.fill;
    look.borderColour = row.borderColour;
    look.images = std::move(images);
    return look;
}

ButtonLook DefaultLook(std::vector<std::int64_t> images = {}) {
    ButtonLook look;
    look.images = std::move(images);
    return look;
}

// Four states from four look rows; images per state for the unchecked and the checked look.
std::vector<StateLook> States(const LookRow (&rows)[4], const std::vector<std::vector<std::int64_t>>& unchecked = {},
                              const std::vector<std::vector<std::int64_t>>& checked = {}, bool checkedLikeUnchecked = false) {
    std::vector<StateLook> states;
    for (int s = 0; s < 4; ++s) {
        StateLook look;
        look.state = s;
        look.unchecked = MakeLook(rows[s], unchecked.empty() ? std::vector<std::int64_t>{} : unchecked[s]);
        if (checkedLikeUnchecked) {
            look.checked = MakeLook(rows[s], checked.empty() ? std::vector<std::int64_t>{} : checked[s]);
        } else {
            look.checked = DefaultLook(checked.empty() ? std::vector<std::int64_t>{} : checked[s]);
        }
        states.push_back(std::move(look));
    }
    return states;
}

std::vector<StateLook> DefaultStates(const std::vector<std::vector<std::int64_t>>& unchecked,
                                     const std::vector<std::vector<std::int64_t>>& checked = {}) {
    std::vector<StateLook> states;
    for (int s = 0; s < 4; ++s) {
        StateLook look;
        look.state = s;
        look.unchecked = DefaultLook(unchecked[s]);
        look.checked = DefaultLook(checked.empty() ? std::vector<std::int64_t>{} : checked[s]);
        states.push_back(std::move(look));
    }
    return states;
}

constexpr D2D1_COLOR_F kBlack = Rgb(0, 0, 0);
constexpr int kLeading = DWRITE_TEXT_ALIGNMENT_LEADING;
constexpr int kTrailing = DWRITE_TEXT_ALIGNMENT_TRAILING;
constexpr int kCentred = DWRITE_TEXT_ALIGNMENT_CENTER;
// Where an image layer is placed: in the button before the text is laid out, or beside the laid-out text.
constexpr int kBeforeText = 0;
constexpr int kBesideText = 1;
constexpr D2D1_COLOR_F kWhite = Rgb(255, 255, 255);

std::vector<ButtonStyle> BuildStyles() {
    std::vector<ButtonStyle> styles;
    // An image in the top left corner, taking its width from the text.
    const LayerPlacement corner{Align::Start, Align::Start, 0, 0, kBeforeText};

    styles.push_back({ButtonStyleId::CloseCross, DrawKind::Flat, {corner}, DefaultStates({{3}, {4}, {5}, {4}})});

    styles.push_back({ButtonStyleId::CheckBox, DrawKind::Flat, {corner},
                      DefaultStates({{13}, {14}, {15}, {14}}, {{16}, {17}, {18}, {17}})});

    const LookRow light[4] = {
        {true, kCentred, 12, 0, 0, kBlack, Rgb(255, 255, 255), kBlack},
        {true, kCentred, 12, 0, 0, kBlack, Rgb(240, 240, 240), kBlack},
        {true, kCentred, 12, 0, 0, kBlack, Rgb(212, 212, 212), kBlack},
        {true, kCentred, 12, 0, 0, kBlack, Rgb(255, 255, 255), kBlack},
    };
    styles.push_back({ButtonStyleId::LightPopupButton, DrawKind::Flat, {}, States(light)});

    const LookRow dark[4] = {
        {false, kCentred, 12, 0, 0, kWhite, Rgb(0, 0, 0), kBlack},
        {false, kCentred, 12, 0, 0, kWhite, Rgb(1, 31, 45), kBlack},
        {false, kCentred, 12, 0, 0, kWhite, Rgb(39, 64, 76), kBlack},
        {false, kCentred, 12, 0, 0, kWhite, Rgb(0, 0, 0), kBlack},
    };
    styles.push_back({ButtonStyleId::DarkPopupButton, DrawKind::Flat, {}, States(dark)});

    const LookRow row[4] = {
        {false, kLeading, 12, 6, 0, kBlack, Rgb(255, 255, 255), kBlack},
        {true, kLeading, 12, 6, 0, kBlack, Rgb(240, 240, 240), kBlack},
        {true, kLeading, 12, 6, 0, kBlack, Rgb(212, 212, 212), kBlack},
        {true, kLeading, 12, 6, 0, kBlack, Rgb(255, 255, 255), kBlack},
    };
    styles.push_back({ButtonStyleId::LocaleRow, DrawKind::Flat, {}, States(row)});

    styles.push_back({ButtonStyleId::SaveIcon, DrawKind::Flat, {corner}, DefaultStates({{33}, {34}, {35}, {36}})});

    // A layer without images; the checked look equals the unchecked one.
    const LookRow link[4] = {
        {false, kLeading, 10, 0, 0, Rgb(64, 92, 239), kWhite, kBlack},
        {false, kLeading, 10, 0, 0, Rgb(100, 121, 227), kWhite, kBlack},
        {false, kLeading, 10, 0, 0, Rgb(100, 121, 227), kWhite, kBlack},
        {false, kLeading, 10, 0, 0, Rgb(82, 82, 82), kWhite, kBlack},
    };
    styles.push_back({ButtonStyleId::TextLink, DrawKind::Flat, {{Align::End, Align::Centre, -45, 0, kBesideText}},
                      States(link, {}, {}, true)});

    const LookRow action[4] = {
        {false, kCentred, 18, 0, 0, kWhite, Rgb(0, 0, 0), kBlack},
        {false, kCentred, 18, 0, 0, kWhite, Rgb(82, 82, 82), kBlack},
        {false, kCentred, 18, 0, 0, kWhite, Rgb(82, 82, 82), kBlack},
        {false, kCentred, 18, 0, 0, Rgb(82, 82, 82), Rgb(0, 0, 0), kBlack},
    };
    styles.push_back({ButtonStyleId::MainAction, DrawKind::Pill, {{Align::End, Align::Centre, -70, 0, kBesideText}},
                      States(action, {{25}, {26}, {27}, {28}})});

    const LookRow dropDown[4] = {
        {false, kLeading, 12, 6, 0, kBlack, Rgb(230, 232, 235), kBlack},
        {true, kLeading, 12, 6, 0, kBlack, Rgb(230, 232, 235), Rgb(88, 93, 112)},
        {true, kLeading, 12, 6, 0, kBlack, Rgb(230, 232, 235), Rgb(31, 34, 44)},
        {false, kLeading, 12, 6, 0, kBlack, Rgb(200, 200, 200), kBlack},
    };
    styles.push_back({ButtonStyleId::LanguageDropDown, DrawKind::Pill,
                      {{Align::End, Align::Centre, -12, 0, kBeforeText}}, States(dropDown, {{31}, {32}, {32}, {31}})});

    const LookRow browse[4] = {
        {false, kLeading, 12, 0, 0, kBlack, Rgb(230, 232, 235), kBlack},
        {true, kLeading, 12, 0, 0, kBlack, Rgb(230, 232, 235), Rgb(88, 93, 112)},
        {true, kLeading, 12, 0, 0, kBlack, Rgb(230, 232, 235), Rgb(88, 93, 112)},
        {false, kLeading, 12, 0, 0, kBlack, Rgb(200, 200, 200), kBlack},
    };
    styles.push_back({ButtonStyleId::Browse, DrawKind::Pill, {{Align::End, Align::Centre, 0, 0, kBeforeText}},
                      States(browse, {{22}, {23}, {24}, {23}})});

    // The checked look equals the unchecked one except for its images.
    const LookRow toggle[4] = {
        {false, kTrailing, 12, -45, 0, Rgb(31, 34, 44), kWhite, kBlack},
        {false, kTrailing, 12, -45, 0, Rgb(96, 108, 125), kWhite, kBlack},
        {false, kTrailing, 12, -45, 0, Rgb(156, 161, 168), kWhite, kBlack},
        {false, kTrailing, 12, -45, 0, Rgb(240, 240, 240), Rgb(200, 200, 200), kBlack},
    };
    const LayerPlacement gear{Align::Start, Align::Centre, 16, 0, kBesideText};
    const LayerPlacement chevron{Align::End, Align::Centre, 0, 0, kBeforeText};
    styles.push_back({ButtonStyleId::SettingsToggle, DrawKind::Flat, {gear, chevron},
                      States(toggle, {{19, 31}, {20, 32}, {21, 32}, {20, 31}}, {{19, 29}, {20, 30}, {21, 30}, {20, 29}},
                             true)});
    return styles;
}

} // namespace

const std::vector<ButtonStyle>& ButtonStyles() {
    static const std::vector<ButtonStyle> styles = BuildStyles();
    return styles;
}

const ButtonStyle* FindButtonStyle(ButtonStyleId::Id styleId) {
    for (const auto& style : ButtonStyles())
        if (style.styleId == styleId) return &style;
    return nullptr;
}

bool ButtonFont::matches(const ButtonFont& other) const {
    constexpr float epsilon = 0.00001f;
    return alignment == other.alignment && std::fabs(size - other.size) < epsilon &&
           std::fabs(offsetX - other.offsetX) < epsilon && std::fabs(offsetY - other.offsetY) < epsilon &&
           weight == other.weight && style == other.style && family == other.family;
}

bool ColoursDiffer(const D2D1_COLOR_F& a, const D2D1_COLOR_F& b) {
    constexpr float epsilon = 0.00001f;
    return std::fabs(a.r - b.r) >= epsilon || std::fabs(a.g - b.g) >= epsilon || std::fabs(a.b - b.b) >= epsilon ||
           std::fabs(a.a - b.a) >= epsilon;
}

} // namespace Nolvar
