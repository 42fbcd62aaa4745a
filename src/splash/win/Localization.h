#pragma once
// The UI text table lives with the other shared pieces in utils.
#include "utils/Localization.h"
