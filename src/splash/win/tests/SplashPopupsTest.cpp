#include <gtest/gtest.h>

#include "splash/win/SplashPopups.h"
#include "splash/win/SplashState.h"

using namespace Nolvar;

TEST(SplashPopups, RequiredSpaceIsWholeMegabytesAtLeastOneAndNeverUnderflows) {
    EXPECT_EQ(RequiredSpaceMegabytes(1500000, 1000000), 1u);
    EXPECT_EQ(RequiredSpaceMegabytes(5000000, 1000000), 4u);
    EXPECT_EQ(RequiredSpaceMegabytes(1000000, 5000000), 1u);
    EXPECT_EQ(RequiredSpaceMegabytes(UINT64_MAX, 0), UINT64_MAX / 1000000);
}

TEST(SplashPopups, RetryTextFollowsTheExitStateAndReportsTheEnglishTextWithTheProduct) {
    PopupRequest request;
    ASSERT_TRUE(PopupRequestForMessage(SplashMessage::ShowRetry, 4, &request));
    EXPECT_EQ(request.kind, PopupKind::Retry);
    EXPECT_EQ(request.textId, 27);
    EXPECT_EQ(request.popupId, RetryPopup);
    EXPECT_EQ(request.buttonIds, (std::vector<WORD>{OkButton, SkipButton, TryAgainButton, RetryCancelButton}));
    const std::wstring product = L"Продукт";
    EXPECT_EQ(FinalText(request, &product),
              "Installation paused\nTo continue, close Продукт and try again.");
    ASSERT_TRUE(PopupRequestForMessage(SplashMessage::ShowRetry, 0, &request));
    EXPECT_EQ(request.textId, 0);
    ASSERT_TRUE(PopupRequestForMessage(SplashMessage::ShowRetry, 9, &request));
    EXPECT_EQ(request.textId, 24);
    ASSERT_TRUE(PopupRequestForMessage(SplashMessage::ShowRetry, -1, &request));
    EXPECT_EQ(request.textId, 24);
    EXPECT_FALSE(PopupRequestForMessage(SplashMessage::Progress, 0, &request));
}

TEST(SplashPopups, NoConnectionReportsItsEnglishText) {
    PopupRequest request;
    ASSERT_TRUE(PopupRequestForMessage(SplashMessage::ShowNoConnection, 0, &request));
    EXPECT_TRUE(ReportsFinalText(request.kind));
    EXPECT_EQ(FinalText(request, nullptr), "You need to be connected to the Internet to download the program.");
    ASSERT_TRUE(PopupRequestForMessage(SplashMessage::ShowDiskSpace, 0, &request));
    EXPECT_FALSE(ReportsFinalText(request.kind));
}

TEST(SplashPopups, AnswersMapToTheLogicsRoads) {
    EXPECT_EQ(AnswerOf(CancelQuestionPopup, YesButton), PopupAnswer::ExitByUser);
    EXPECT_EQ(AnswerOf(CancelQuestionPopup, NoButton), PopupAnswer::Nothing);
    EXPECT_EQ(AnswerOf(CancelQuestionPopup, 0), PopupAnswer::Nothing);
    EXPECT_EQ(AnswerOf(InformationPopup, OkButton), PopupAnswer::ExitWithText);
    EXPECT_EQ(AnswerOf(InformationPopup, 0), PopupAnswer::ExitWithText);
    EXPECT_EQ(AnswerOf(RetryPopup, TryAgainButton), PopupAnswer::Retry);
    EXPECT_EQ(AnswerOf(RetryPopup, SkipButton), PopupAnswer::RetryCancelled);
    EXPECT_EQ(AnswerOf(RetryPopup, RetryCancelButton), PopupAnswer::RetryCancelled);
    EXPECT_EQ(AnswerOf(RetryPopup, WarningCancelButton), PopupAnswer::ExitByUser);
    EXPECT_EQ(AnswerOf(RetryPopup, 0), PopupAnswer::Nothing);
}

TEST(SplashState, ALaterPlaceholderValueReplacesTheEarlierOne) {
    SplashState state;
    state.SetPlaceholder(L"__RETRY_PRODUCT__", L"First");
    state.SetPlaceholder(L"__RETRY_PRODUCT__", L"Second");
    EXPECT_EQ(state.Placeholder(L"__RETRY_PRODUCT__"), L"Second");
    EXPECT_FALSE(state.Placeholder(L"__PLATFORM__"));
}

TEST(SplashState, ImagesAreTakenOnceAndFlagsFollowTheirScreens) {
    SplashState state;
    state.SetImage(SplashImageType::Wait, "png");
    EXPECT_EQ(state.TakeImage(SplashImageType::Wait), "png");
    EXPECT_EQ(state.TakeImage(SplashImageType::Wait), "");
    state.AddSlideshowImage("a");
    state.AddSlideshowImage("b");
    EXPECT_EQ(state.TakeSlideshowImages(), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(state.TakeSlideshowImages().empty());
    state.SetMissing(SplashImageType::Wait, true);
    EXPECT_TRUE(state.IsScreenImageMissing(SplashScreen::Wait));
    EXPECT_TRUE(state.IsScreenImageMissing(SplashScreen::Cancel));
    EXPECT_FALSE(state.IsScreenImageMissing(SplashScreen::Ready));
    EXPECT_FALSE(state.IsScreenImageMissing(ScreenOfNumber(9)));
}
