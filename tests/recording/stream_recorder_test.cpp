#include "recording/stream_recorder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora {
namespace {

std::string ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
}

RecordingPlan PlanIn(const QString& documents, const QString& file = "rec.mp3") {
    RecordingPlan plan;
    plan.recordings_folder = documents + "/Velmora Recordings";
    plan.station_folder = plan.recordings_folder + "/Station";
    plan.file_path = plan.station_folder + "/" + file;
    return plan;
}

void Append(StreamRecorder& r, const std::string& bytes) {
    r.Append(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// The file holds exactly what was appended between start and stop, from a fresh file that
// replaced an old one; the end of the download closes the file but leaves recording on.
TEST(StreamRecorder, RecordsExactlyTheBytesWhileOn) {
    QTemporaryDir docs;
    ASSERT_TRUE(docs.isValid());
    const RecordingPlan plan = PlanIn(docs.path());
    ASSERT_TRUE(QDir().mkpath(plan.station_folder));
    {
        QFile old(plan.file_path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer recording of the same name");
    }
    StreamRecorder r;
    Append(r, "before");
    EXPECT_FALSE(r.Active());

    const RecordingStartResult started = r.Start(plan);
    ASSERT_EQ(started.error, RecordingStartError::None) << started.reason.toStdString();
    EXPECT_TRUE(r.Active());
    EXPECT_TRUE(r.HasFile());
    std::string expected;
    std::string binary("\0\xff\r\n\x1a", 5);
    for (int i = 0; i < 100; ++i) {
        const std::string block = std::to_string(i) + binary;
        Append(r, block);
        expected += block;
    }
    r.Append("header line", 0);                    // a server line, not audio
    EXPECT_EQ(ReadAll(plan.file_path), expected);  // nothing held back in a buffer

    r.Append(nullptr, 0);  // the download ended
    EXPECT_TRUE(r.Active());
    EXPECT_FALSE(r.HasFile());
    Append(r, "after the end");
    r.Append(nullptr, 0);
    EXPECT_TRUE(r.Stop());
    EXPECT_FALSE(r.Stop());
    Append(r, "after stop");
    EXPECT_EQ(ReadAll(plan.file_path), expected);

    // A second recording of the same name within the same second replaces the first.
    ASSERT_EQ(r.Start(plan).error, RecordingStartError::None);
    Append(r, "second");
    EXPECT_TRUE(r.Stop());
    EXPECT_EQ(ReadAll(plan.file_path), "second");
}

// Folders are created one level each: a missing documents folder is not made, and anything in
// the way of a folder is a folder error; a file that cannot be created is a file error naming
// it. Recording stays on without a file in every case, and nothing is written.
TEST(StreamRecorder, StartFailures) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    StreamRecorder r;

    const RecordingPlan no_documents = PlanIn(base.path() + "/no such documents");
    RecordingStartResult res = r.Start(no_documents);
    EXPECT_EQ(res.error, RecordingStartError::Folder);
    EXPECT_EQ(res.path, no_documents.recordings_folder);
    EXPECT_FALSE(QFileInfo::exists(base.path() + "/no such documents"));
    EXPECT_TRUE(r.Active());
    EXPECT_FALSE(r.HasFile());
    Append(r, "lost");
    EXPECT_TRUE(r.Stop());

    // Both folders are made when missing.
    const RecordingPlan fresh = PlanIn(base.path());
    ASSERT_EQ(r.Start(fresh).error, RecordingStartError::None);
    EXPECT_TRUE(QFileInfo(fresh.station_folder).isDir());
    r.Stop();

    // A plain file where the station folder belongs.
    RecordingPlan blocked = fresh;
    blocked.station_folder = fresh.recordings_folder + "/Blocked";
    blocked.file_path = blocked.station_folder + "/x.mp3";
    {
        QFile in_the_way(blocked.station_folder);
        ASSERT_TRUE(in_the_way.open(QIODevice::WriteOnly));
    }
    res = r.Start(blocked);
    EXPECT_EQ(res.error, RecordingStartError::Folder);
    EXPECT_EQ(res.path, blocked.station_folder);
    EXPECT_FALSE(res.reason.isEmpty());
    r.Stop();

    // A folder of the file's name.
    const RecordingPlan taken = PlanIn(base.path(), "taken.mp3");
    ASSERT_TRUE(QDir().mkpath(taken.file_path));
    res = r.Start(taken);
    EXPECT_EQ(res.error, RecordingStartError::File);
    EXPECT_EQ(res.path, taken.file_path);
    EXPECT_TRUE(r.Active());
    EXPECT_FALSE(r.HasFile());
    r.Stop();
}

// A full disk ends the writing; the failure is reported once, with the file, outside the lock
// (the handler may call back into the recorder), and recording stays on without a file.
TEST(StreamRecorder, WriteErrorEndsWritingAndIsReportedOnce) {
    if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    std::vector<RecordingWriteError> reports;
    StreamRecorder* self = nullptr;
    bool had_file_in_handler = true;
    StreamRecorder r([&](const RecordingWriteError& e) {
        reports.push_back(e);
        had_file_in_handler = self->HasFile();  // would deadlock if the lock were held
    });
    self = &r;
    const RecordingPlan full{"/", "/dev", "/dev/full"};
    ASSERT_EQ(r.Start(full).error, RecordingStartError::None);
    for (int i = 0; i < 5; ++i) Append(r, std::string(4096, 'x'));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].path, "/dev/full");
    EXPECT_FALSE(reports[0].reason.isEmpty());
    EXPECT_FALSE(had_file_in_handler);
    EXPECT_TRUE(r.Active());
    EXPECT_FALSE(r.HasFile());
    EXPECT_TRUE(r.Stop());
}

// The download thread appends numbered blocks and now and then ends the download, while this
// thread starts and stops recordings, many times. Every file holds whole blocks in order with
// none missing in between, no write ever hits a closed file, and no descriptor is left open.
TEST(StreamRecorder, AppendsRaceStartAndStop) {
    QTemporaryDir docs;
    ASSERT_TRUE(docs.isValid());
    std::atomic<int> write_errors{0};
    StreamRecorder r([&](const RecordingWriteError& e) {
        ++write_errors;
        ADD_FAILURE() << e.path.toStdString() << ": " << e.reason.toStdString();
    });
    const std::size_t descriptors_before = OpenDescriptors();

    constexpr int kBlock = 64;
    std::atomic<bool> done{false};
    std::thread download([&] {
        char block[kBlock];
        for (std::uint32_t n = 0; !done.load(); ++n) {
            // Each block: its number, then filler that repeats it, so a torn block shows.
            std::memset(block, static_cast<int>('a' + n % 26), kBlock);
            std::memcpy(block, &n, sizeof n);
            if (n % 997 == 996) {
                r.Append(nullptr, 0);
            } else {
                r.Append(block, kBlock);
            }
        }
    });

    constexpr int kRecordings = 1000;
    std::vector<QString> files;
    for (int i = 0; i < kRecordings; ++i) {
        const RecordingPlan plan = PlanIn(docs.path(), QString("r%1.mp3").arg(i));
        ASSERT_EQ(r.Start(plan).error, RecordingStartError::None);
        files.push_back(plan.file_path);
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
    for (const QString& f : files) {
        const std::string bytes = ReadAll(f);
        ASSERT_EQ(bytes.size() % kBlock, 0u) << f.toStdString();
        std::uint32_t previous = 0;
        for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
            std::uint32_t n;
            std::memcpy(&n, bytes.data() + at, sizeof n);
            const std::string filler(kBlock - sizeof n, static_cast<char>('a' + n % 26));
            ASSERT_EQ(bytes.compare(at + sizeof n, filler.size(), filler), 0) << f.toStdString();
            // Consecutive numbers; a download end (every 997th) closes the file for good.
            if (at > 0) {
                ASSERT_EQ(n, previous + 1) << f.toStdString();
            }
            previous = n;
        }
        with_data += bytes.empty() ? 0 : 1;
    }
    EXPECT_GT(with_data, kRecordings / 10);  // the download thread did take part
}

}  // namespace
}  // namespace velmora
