// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/stream_recorder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace velmora {
namespace {

std::string ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
}

RecordingPlan PlanIn(const QString& documents, const QString& file = "rec.mp3") {
    const QString recordings = documents + "/Velmora Recordings";
    return {recordings, recordings + "/Station", recordings + "/Station/" + file};
}

void Append(StreamRecorder& r, const std::string& bytes) {
    r.Append(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// The file holds exactly what was appended between start and stop, replacing an older file of
// the same name; the end of the download closes the file but leaves recording on.
TEST(StreamRecorder, RecordsExactlyTheBytesWhileOn) {
    QTemporaryDir docs;
    const RecordingPlan plan = PlanIn(docs.path());
    StreamRecorder r;
    ASSERT_EQ(r.Start(plan).error, RecordingStartError::None);
    Append(r, "an older and longer recording");
    r.Stop();

    Append(r, "before");
    ASSERT_EQ(r.Start(plan).error, RecordingStartError::None);
    const std::string block("\0\xff\r\n\x1a", 5);
    Append(r, block);
    r.Append("header line", 0);  // a server line, not audio
    Append(r, block);
    EXPECT_EQ(ReadAll(plan.file_path), block + block);  // nothing held back in a buffer

    r.Append(nullptr, 0);  // the download ended
    EXPECT_TRUE(r.Active());
    EXPECT_FALSE(r.HasFile());
    Append(r, "after the end");
    r.Append(nullptr, 0);
    EXPECT_TRUE(r.Stop());
    EXPECT_FALSE(r.Stop());
    Append(r, "after stop");
    EXPECT_EQ(ReadAll(plan.file_path), block + block);
}

// Folders are made one level each, so a missing documents folder is a folder error, as is a file
// in the way of the station folder; a file that cannot be created is a file error naming it.
// Recording stays on without a file in every case.
TEST(StreamRecorder, StartFailures) {
    QTemporaryDir base;
    StreamRecorder r;
    const RecordingPlan no_documents = PlanIn(base.path() + "/missing");
    RecordingStartResult res = r.Start(no_documents);
    EXPECT_EQ(res.error, RecordingStartError::Folder);
    EXPECT_EQ(res.path, no_documents.recordings_folder);
    EXPECT_FALSE(QDir(base.path() + "/missing").exists());
    EXPECT_TRUE(r.Active());
    EXPECT_FALSE(r.HasFile());

    const RecordingPlan blocked = PlanIn(base.path());
    ASSERT_TRUE(QDir().mkpath(blocked.recordings_folder));
    ASSERT_TRUE(QFile(blocked.station_folder).open(QIODevice::WriteOnly));
    res = r.Start(blocked);
    EXPECT_EQ(res.error, RecordingStartError::Folder);
    EXPECT_EQ(res.path, blocked.station_folder);

    const RecordingPlan taken{blocked.recordings_folder, blocked.recordings_folder,
                              blocked.recordings_folder + "/taken.mp3"};
    ASSERT_TRUE(QDir().mkpath(taken.file_path));
    res = r.Start(taken);
    EXPECT_EQ(res.error, RecordingStartError::File);
    EXPECT_EQ(res.path, taken.file_path);
    EXPECT_FALSE(res.reason.isEmpty());
    EXPECT_TRUE(r.Active());
    EXPECT_FALSE(r.HasFile());
}

// A full disk ends the writing; the failure is reported once, outside the lock (the handler may
// call back into the recorder), and recording stays on without a file.
TEST(StreamRecorder, WriteErrorEndsWritingAndIsReportedOnce) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    std::vector<RecordingWriteError> reports;
    StreamRecorder* self = nullptr;
    StreamRecorder r([&](const RecordingWriteError& e) {
        reports.push_back(e);
        EXPECT_FALSE(self->HasFile());  // would deadlock if the lock were held
    });
    self = &r;
    ASSERT_EQ(r.Start({"/", "/dev", "/dev/full"}).error, RecordingStartError::None);
    for (int i = 0; i < 5; ++i) Append(r, std::string(4096, 'x'));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].path, "/dev/full");
    EXPECT_TRUE(r.Active());
    EXPECT_FALSE(r.HasFile());
}

// The download thread appends numbered blocks and now and then ends the download, while this
// thread starts and stops recordings, many times. Every file holds whole blocks in order with
// none missing in between, no write ever hits a closed file, and no descriptor is left open.
TEST(StreamRecorder, AppendsRaceStartAndStop) {
    QTemporaryDir docs;
    std::atomic<int> write_errors{0};
    StreamRecorder r([&](const RecordingWriteError&) { ++write_errors; });
    const std::size_t descriptors_before = OpenDescriptors();

    constexpr int kBlock = 64;
    std::atomic<bool> done{false};
    std::thread download([&] {
        char block[kBlock];
        for (std::uint32_t n = 0; !done.load(); ++n) {
            // Its number, then filler derived from it, so that a torn block shows.
            std::memset(block, 'a' + static_cast<int>(n % 26), kBlock);
            std::memcpy(block, &n, sizeof n);
            r.Append(n % 997 == 996 ? nullptr : block, kBlock);
        }
    });
    constexpr int kRecordings = 1000;
    for (int i = 0; i < kRecordings; ++i) {
        ASSERT_EQ(r.Start(PlanIn(docs.path(), QString("%1").arg(i))).error,
                  RecordingStartError::None);
        std::this_thread::sleep_for(std::chrono::microseconds(100 + (i % 7) * 50));
        EXPECT_TRUE(r.Stop());
        // A gap before the next file, so that a late write cannot land in a reused descriptor.
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    done = true;
    download.join();

    EXPECT_EQ(write_errors.load(), 0);
    EXPECT_EQ(OpenDescriptors(), descriptors_before);
    int with_data = 0;
    for (int i = 0; i < kRecordings; ++i) {
        const std::string bytes = ReadAll(PlanIn(docs.path(), QString("%1").arg(i)).file_path);
        ASSERT_EQ(bytes.size() % kBlock, 0u) << i;
        std::uint32_t first = 0;
        for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
            std::uint32_t n;
            std::memcpy(&n, bytes.data() + at, sizeof n);
            if (at == 0) first = n;
            ASSERT_EQ(n, first + at / kBlock) << i;
            const std::string filler(kBlock - sizeof n, static_cast<char>('a' + n % 26));
            ASSERT_EQ(bytes.compare(at + sizeof n, filler.size(), filler), 0) << i;
        }
        with_data += bytes.empty() ? 0 : 1;
    }
    EXPECT_GT(with_data, kRecordings / 10);  // the download thread did take part
}

}  // namespace
}  // namespace velmora
