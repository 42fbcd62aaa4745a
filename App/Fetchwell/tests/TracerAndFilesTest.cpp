#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "App/Fetchwell/EventTracer.h"
#include "App/Fetchwell/FileUtils.h"
#include "testing/LogCapture.h"
#include "testing/TempFolder.h"

using namespace Nolvar;
using Testing::LogCapture;
using namespace Nolvar::App;

TEST(EventTracer, WritesDescriptorGroupStateAndEventParts) {
    ResourceDescriptor a, b, c;
    a.traceName1 = "a";
    a.traceName2 = "b";
    ResourceDescriptorBundle bundle{&a, &b, &c};
    IRemoteResource::State state;
    state.status = IRemoteResource::Downloading;
    state.percent = 0.4;

    IEventTracer::TraceRecord record{&a, nullptr, &state, "text"};
    EXPECT_EQ(EventTracer::formatLine(IEventTracer::ProgressNotification, record),
              "[a/b] (" + state.toDebugString() + ") ProgressNotification text");

    const ResourceDescriptor* first = *bundle.begin();
    IEventTracer::TraceRecord group{nullptr, &bundle, nullptr, "x"};
    EXPECT_EQ(EventTracer::formatLine(IEventTracer::DownloadEnd, group),
              "[G: " + first->traceName1 + "/" + first->traceName2 + ", ..(2 more)] /Download x");

    ResourceDescriptorBundle empty;
    IEventTracer::TraceRecord invalid{nullptr, &empty, nullptr, ""};
    EXPECT_EQ(EventTracer::formatLine(IEventTracer::Exec, invalid), "[INVALID GROUP] Exec ");
    EXPECT_EQ(EventTracer::formatLine(static_cast<IEventTracer::Event>(42), {}), " ");
}

TEST(EventTracer, LogsOnlyTheSelectedEventsAtInfo) {
    LogCapture log;
    EventTracer none({false, {}});
    none.trace(IEventTracer::Exec, {nullptr, nullptr, nullptr, "silent-exec"});
    EventTracer some({false, {IEventTracer::Download}});
    some.trace(IEventTracer::Download, {nullptr, nullptr, nullptr, "chosen-download"});
    some.trace(IEventTracer::Exec, {nullptr, nullptr, nullptr, "unchosen-exec"});
    EventTracer all({true, {}});
    all.trace(IEventTracer::ExecScheduled, {nullptr, nullptr, nullptr, "every-event"});
    EXPECT_FALSE(log.contains("silent-exec", google::GLOG_INFO));
    EXPECT_TRUE(log.contains("Download chosen-download", google::GLOG_INFO));
    EXPECT_FALSE(log.contains("unchosen-exec", google::GLOG_INFO));
    EXPECT_TRUE(log.contains("ExecScheduled every-event", google::GLOG_INFO));
}

class FileUtilsTest : public ::testing::Test {
protected:
    Testing::TempFolder folder{L"netsetter-files-Пример-"};
    ioPath at(const std::wstring& name) { return ioPath((folder / name).wstring()); }
};

TEST_F(FileUtilsTest, RemoveReadAndTimeOfFilesWithNonAsciiNames) {
    LogCapture log;
    EXPECT_TRUE(removeFile(at(L"missing")));
    EXPECT_TRUE(log.all().empty());

    Testing::WriteWholeFile(folder / L"данные.bin", std::string("\0\1\2abc", 6));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWholeFileToBuffer(at(L"данные.bin"), bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0, 1, 2, 'a', 'b', 'c'}));
    EXPECT_TRUE(fileExists(at(L"данные.bin")));
    EXPECT_NEAR(static_cast<double>(fileLastModifiedTime(at(L"данные.bin"))), static_cast<double>(time(nullptr)), 60);

    EXPECT_FALSE(readWholeFileToBuffer(at(L"missing"), bytes));
    EXPECT_TRUE(log.contains("failed to create file for reading=", google::GLOG_ERROR));
    EXPECT_TRUE(log.contains("errno=2", google::GLOG_ERROR));
    EXPECT_TRUE(removeFile(at(L"данные.bin")));
    EXPECT_FALSE(fileExists(at(L"данные.bin")));
}

TEST_F(FileUtilsTest, OutputFileInAMissingFolderIsNullAndLogged) {
    LogCapture log;
    EXPECT_EQ(createOutputFile(at(L"no-folder\\file")), nullptr);
    EXPECT_TRUE(log.contains("failed to create file for writing=", google::GLOG_ERROR));
}

TEST_F(FileUtilsTest, TemporaryFileIsRemovedUnlessMovedIntoPlace) {
    Testing::WriteWholeFile(folder / L"stale.tmp", "stale");
    {
        TemporaryFile temp(at(L"stale.tmp"), at(L"dest"));
        EXPECT_TRUE(static_cast<bool>(temp));
        EXPECT_FALSE(fileExists(at(L"stale.tmp")));  // the stale file went at construction
        auto out = createOutputFile(at(L"stale.tmp"));
        ASSERT_NE(out, nullptr);
        out->write("new", 3);
        out->close();
    }
    EXPECT_FALSE(fileExists(at(L"stale.tmp")));
    EXPECT_FALSE(fileExists(at(L"dest")));

    {
        TemporaryFile temp(at(L"part.tmp"), at(L"новая папка\\sub\\final.bin"));
        auto out = createOutputFile(at(L"part.tmp"));
        out->write("content", 7);
        out->close();
        Testing::WriteWholeFile(folder / L"old", "");
        EXPECT_TRUE(temp.moveToDest());
    }
    EXPECT_FALSE(fileExists(at(L"part.tmp")));
    EXPECT_EQ(Testing::ReadWholeFile(folder / L"новая папка" / L"sub" / L"final.bin"), "content");

    // Replaces an existing destination.
    {
        TemporaryFile temp(at(L"again.tmp"), at(L"новая папка\\sub\\final.bin"));
        auto out = createOutputFile(at(L"again.tmp"));
        out->write("second", 6);
        out->close();
        EXPECT_TRUE(temp.moveToDest());
    }
    EXPECT_EQ(Testing::ReadWholeFile(folder / L"новая папка" / L"sub" / L"final.bin"), "second");
}

TEST_F(FileUtilsTest, TemporaryFileThatCannotBeRemovedIsInvalidAndAFailedMoveIsLogged) {
    LogCapture log;
    std::filesystem::create_directories(folder / L"busy" / L"child");
    TemporaryFile busy(at(L"busy"), at(L"dest"));  // a non-empty folder cannot be removed as a file
    EXPECT_FALSE(static_cast<bool>(busy));
    EXPECT_TRUE(log.contains("Failed to remove file=", google::GLOG_ERROR));

    TemporaryFile missing(at(L"never-written.tmp"), at(L"dest2"));
    EXPECT_FALSE(missing.moveToDest());
    EXPECT_TRUE(log.contains("Failed to rename: ", google::GLOG_ERROR));
}
