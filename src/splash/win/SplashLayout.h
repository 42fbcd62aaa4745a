#pragma once
// The splash window's screens: which widgets each one shows and how tall its panel is.
#include <vector>

#include <windows.h>

#include "splash/ISplash.h"

namespace Nolvar {

// Start to Cancel; None means none yet, any other number is unknown.
bool IsKnownScreen(SplashScreen screen);
// Widget ids of the screen in ascending order; empty for an unknown screen.
const std::vector<WORD>& WidgetIdsOfScreen(SplashScreen screen);
constexpr int kNarrowPanel = 64;
constexpr int kWidePanel = 216;
// Height of the panel below the image: wide on the settings and licence screens, narrow on the others.
int PanelHeight(SplashScreen screen);

} // namespace Nolvar
