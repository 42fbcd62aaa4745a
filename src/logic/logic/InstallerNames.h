#pragma once
// The fixed names under which the installer logic reports installer results, screens and counts in statistics.
#include <cstdint>
#include <string>

#include "splash/ISplash.h"
#include "utils/ExitState.h"

namespace Nolvar {

// "SUCCESS", "UNKNOWN_ERROR", ... for 0 to 8; "UNKNOWN" for any other state (-1, 9).
std::string ExitStateName(ExitState state);

// Statistics name of a splash screen ("START" ... "CANCEL"); empty for None and any other number.
std::string ScreenName(SplashScreen screen);
// The screen of an exact, case-sensitive name; None for any other text.
SplashScreen ScreenFromName(const std::string& name);
// Statistics name of an image type: the name of the screen it is numbered as.
std::string ImageTypeName(SplashImageType type);

// Parameter names of the logic's statistics events.
namespace StatisticsParam {
inline constexpr char ProductName[] = "PRODUCT_NAME";
inline constexpr char ErrorCount[] = "ERROR_COUNT";
inline constexpr char DownloadErrorCount[] = "DOWNLOAD_ERROR_COUNT";
inline constexpr char InstallErrorCount[] = "INSTALL_ERROR_COUNT";
inline constexpr char AcceptanceResult[] = "ACCEPTANCE_RESULT";
inline constexpr char Result[] = "RESULT";
inline constexpr char DownloadedSize[] = "DOWNLOADED_SIZE";
inline constexpr char AverageSpeed[] = "AVERAGE_SPEED";
inline constexpr char CurlError[] = "CURL_ERROR";
inline constexpr char DownloadError[] = "DOWNLOAD_ERROR";
inline constexpr char TimeElapsed[] = "TIME_ELAPSED";
inline constexpr char TotalSize[] = "TOTAL_SIZE";
inline constexpr char PreferredBrowser[] = "PREFERRED_BROWSER";
inline constexpr char ExitState[] = "EXIT_STATE";
inline constexpr char InitializationTime[] = "INITIALIZATION_TIME";
inline constexpr char Screen[] = "SCREEN";
inline constexpr char ErrorReason[] = "ERROR_REASON";
inline constexpr char DisplayImage[] = "DISPLAY_IMAGE";
inline constexpr char ImageType[] = "IMAGE_TYPE";
inline constexpr char ImageLink[] = "IMAGE_LINK";
inline constexpr char RequiredBytes[] = "REQUIRED_BYTES";
inline constexpr char AvailableBytes[] = "AVAILABLE_BYTES";
} // namespace StatisticsParam

inline constexpr char kStatisticsYes[] = "YES";
inline constexpr char kStatisticsNo[] = "NO";

} // namespace Nolvar
