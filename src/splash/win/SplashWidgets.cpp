#include "splash/win/SplashWidgets.h"

#include "splash/win/SplashMessage.h"
#include "splash/win/TextIds.h"
#include "splash/win/widgets/Button.h"
#include "splash/win/widgets/ButtonStyles.h"
#include "splash/win/widgets/Label.h"
#include "splash/win/widgets/ProgressBars.h"
#include "splash/win/widgets/ScrollArea.h"
#include "utils/Settings.h"

namespace Nolvar {

namespace {

WidgetRect Box(long long x, long long y, long long width, long long height) { return {x, y, x + width, y + height}; }

std::unique_ptr<Button> MakeButton(WORD id, const SplashWidgetContext& c, UiText::Id textId, ButtonStyleId::Id style,
                                   const WidgetRect& rect, Button::State state = Button::Normal) {
    return Button::Create(id, c.window, textId, style, c.factory, rect, state);
}

std::unique_ptr<Label> MakeLabel(WORD id, const SplashWidgetContext& c, UiText::Id textId, int x, int y) {
    return Label::Create(id, textId, POINT{x, y}, c.target);
}

} // namespace

std::wstring InstallFolderText() {
    const std::any value = Settings::Get(Settings::ID::InstallFolder);
    const auto* path = std::any_cast<ioPath>(&value);
    return path ? path->wstring() : std::wstring();
}

WidgetPtr MakeSplashWidget(WORD id, const SplashWidgetContext& c) {
    const int W = c.halfWidth;
    const int H = c.halfHeight;
    using namespace UiText;
    switch (id) {
    case LanguageCaption: return MakeLabel(id, c, SelectLanguage, 10, H + 69);
    case FolderCaption: return MakeLabel(id, c, InstallationFolder, 10, H + 128);
    case WaitText: {
        auto label = MakeLabel(id, c, AlmostReady, 20, H + 26);
        label->SetFontSize(12);
        return label;
    }
    case InstallButton: return MakeButton(id, c, Install, ButtonStyleId::MainAction, Box(116, H - 110, 208, 50));
    case CloseButton: {
        auto button = MakeButton(id, c, None, ButtonStyleId::CloseCross, Box(W - 52, 10, 32, 26), Button::Disabled);
        button->SetImagesHidden(true);
        return button;
    }
    case StartButton: return MakeButton(id, c, Start, ButtonStyleId::MainAction, Box(100, H - 80, 200, 50));
    case AgreementText: {
        auto label = MakeLabel(id, c, AgreementNotice, 116, H - 48);
        label->SetFontSize(10);
        return label;
    }
    case LicenceLink: {
        auto button = MakeButton(id, c, LicenceAgreement, ButtonStyleId::TextLink, Box(116, H - 34, 286, 14));
        button->SetToggle(true);
        return button;
    }
    case LicenceText: return ScrollArea::Create(id, c.window, c.factory, Box(12, H + 64, W - 24, 111), *c.observer);
    case SaveLicenceButton: return MakeButton(id, c, None, ButtonStyleId::SaveIcon, Box(W - 27, H + 187, 15, 15));
    case SettingsToggle: {
        auto button =
            MakeButton(id, c, InstallationSettings, ButtonStyleId::SettingsToggle, Box(W - 267, H + 17, 247, 30));
        button->SetToggle(true);
        return button;
    }
    case ProgressBarId: return ProgressBar::Create(id, WidgetRect{0, H, W, H + 64}, c.factory, c.window);
    case ActivityBar: return ProgressIndicator::Create(id, WidgetRect{0, H, W, H + 12}, c.factory, c.window);
    case LanguageButton:
        return MakeButton(id, c, LanguageName, ButtonStyleId::LanguageDropDown, Box(10, H + 87, 200, 30));
    case FolderButton: {
        auto button = MakeButton(id, c, None, ButtonStyleId::Browse, Box(10, H + 146, W - 20, 30));
        button->SetText(InstallFolderText());
        return button;
    }
    default: return nullptr;
    }
}

} // namespace Nolvar
