#pragma once
// The splash window's screens: which widgets each one shows and how tall its panel is.
#include <vector>

#include <windows.h>

namespace Nolvar {

// Screens 1 (start) to 7 (cancelled); 0 means none yet, anything else is unknown.
bool IsKnownScreen(int screen);
// Widget ids of the screen in ascending order; empty for an unknown screen.
const std::vector<WORD>& WidgetIdsOfScreen(int screen);
// Height of the panel below the image: 216 on the settings and licence screens, 64 on the others.
int PanelHeight(int screen);

} // namespace Nolvar
