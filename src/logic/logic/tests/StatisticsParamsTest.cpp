// The parameter sets shared by the logic's statistics events.
#include "logic/logic/StatisticsParams.h"

#include <gtest/gtest.h>

#include "logic/logic/InstallerItem.h"

namespace {

using Nolvar::StatisticsParams;

TEST(StatisticsParams, CountsSpeedsAndErrorTextsAreWrittenAsTheEventsNeedThem) {
    Nolvar::InstallerItem item;
    item.id = "alpha";
    item.downloadErrorCount = 2;
    item.installErrorCount = -1;
    EXPECT_EQ(Nolvar::ProductErrorCountParams(item),
              (StatisticsParams{{"PRODUCT_NAME", "alpha"}, {"DOWNLOAD_ERROR_COUNT", "2"}, {"INSTALL_ERROR_COUNT", "-1"}}));

    // Whole bytes per millisecond; a time of 0 is reported as 1.
    EXPECT_EQ(Nolvar::TransferParams(5000000007ull, 1000),
              (StatisticsParams{{"TIME_ELAPSED", "1000"}, {"AVERAGE_SPEED", "5000000"}}));
    EXPECT_EQ(Nolvar::ElapsedMs(5'000'000, 5'999'999), 1);
    EXPECT_EQ(Nolvar::ElapsedMs(9'000'000, 5'000'000), 1);
    EXPECT_EQ(Nolvar::ElapsedMs(0, 2'500'000'000), 2500);

    Nolvar::App::IRemoteResource::State state;   // no download error yet, network error NOT_INITIALIZED
    EXPECT_EQ(Nolvar::DownloadErrorParams(state),
              (StatisticsParams{{"CURL_ERROR", "NOT_INITIALIZED"}, {"DOWNLOAD_ERROR", "Incorrect URL"}}));
    state.downloadError = Nolvar::App::IRemoteResource::NoSpaceLeft;
    state.networkError.code = 8;
    EXPECT_EQ(Nolvar::DownloadErrorParams(state),
              (StatisticsParams{{"CURL_ERROR", "OPERATION_TIMEDOUT"}, {"DOWNLOAD_ERROR", "NoSpaceLeft"}}));

    // A set keeps its own value where a merged one has the same key.
    EXPECT_EQ(Nolvar::Merged({{"SCREEN", "WAIT"}}, StatisticsParams{{"SCREEN", "START"}, {"RESULT", "YES"}}),
              (StatisticsParams{{"SCREEN", "WAIT"}, {"RESULT", "YES"}}));
}

} // namespace
