#include "Tracking/Tallivo/ModuleInfo.h"

#include <glog/logging.h>
#include <gtest/gtest.h>

#include "testing/TempFolder.h"

TEST(TallivoModule, LoadsAndLogsIntoTheProcessLog) {
    Testing::TempFolder logs(L"netsetter-log-Пользователь-");
    FLAGS_log_dir = logs.path().string();
    google::InitGoogleLogging("TallivoModuleTest");
    LOG(INFO) << "line of the executable";
    EXPECT_STREQ(Nolvar::Tracking::TallivoModuleVersion(), "2.0.0");
    google::FlushLogFiles(google::GLOG_INFO);
    google::ShutdownGoogleLogging();

    const std::string log = Testing::ReadInfoLogs(logs.path());
    EXPECT_NE(log.find("line of the executable"), std::string::npos);
    EXPECT_NE(log.find("Tallivo module version 2.0.0"), std::string::npos) << log;
}
