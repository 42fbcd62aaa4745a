#pragma once
// The splash window's screens: which widgets each one shows and how tall its panel is.
#include <vector>

#include <windows.h>

namespace Nolvar {

// Screens 1 (start) to 7 (cancelled); 0 means none yet, anything else is unknown.
bool IsKnownScreen(int screen);
// Widget ids of the screen in ascending order; empty for an unknown screen.
const std::vector<WORD>& WidgetIdsOfScreen(int screen);
constexpr int kNarrowPanel = 64;
constexpr int kWidePanel = 216;
// Height of the panel below the image: wide on the settings and licence screens, narrow on the others.
int PanelHeight(int screen);

} // namespace Nolvar
