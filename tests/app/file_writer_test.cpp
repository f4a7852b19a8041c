#include "app/file_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::WriteBytes;

const QByteArray kOld = "=Old=http://old.example/a.m3u===\r\n";
const QByteArray kNew(5000, 'n');

class FileWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.filePath("ChannelList.vlr");
        WriteBytes(path_, kOld);
    }
    void TearDown() override { SetFileWriterCalls(nullptr); }

    // The real calls, except that writes fail with `error` once `limit` bytes went to the disk.
    void FailWritesAfter(size_t limit, int error) {
        calls_ = SystemFileWriterCalls();
        calls_.write = [this, limit, error](int fd, const void* data, size_t size) -> ssize_t {
            if (written_ >= limit) {
                if (error == 0) return 0;  // the disk takes nothing more, without saying why
                errno = error;
                return -1;
            }
            const ssize_t n = ::write(fd, data, std::min(size, limit - written_));
            if (n > 0) written_ += static_cast<size_t>(n);
            return n;
        };
        SetFileWriterCalls(&calls_);
    }
    // Every file in the folder, hidden ones included.
    QStringList Files() const {
        return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir_;
    QString path_;
    FileWriterCalls calls_;
    size_t written_ = 0;
};

// Each failing step of a replace is reported, and leaves the old file byte for byte with no
// temporary file behind: a full disk at once or half-way, short writes that stop, a flush that
// fails (small files that fit the system's cache), a rename that fails.
TEST_F(FileWriterTest, EveryFailedStepIsReportedAndKeepsTheOldFile) {
    using Step = FileWriteError::Step;
    const struct {
        const char* what;
        std::function<void()> inject;
        Step step;
        int error;
    } rows[] = {
        {"disk full at once", [&] { FailWritesAfter(0, ENOSPC); }, Step::Write, ENOSPC},
        {"disk full half-way", [&] { FailWritesAfter(2000, ENOSPC); }, Step::Write, ENOSPC},
        {"no progress", [&] { FailWritesAfter(100, 0); }, Step::Write, 0},
        {"flush fails",
         [&] {
             calls_ = SystemFileWriterCalls();
             calls_.fsync = [](int) {
                 errno = EIO;
                 return -1;
             };
             SetFileWriterCalls(&calls_);
         },
         Step::Flush, EIO},
        {"rename fails",
         [&] {
             calls_ = SystemFileWriterCalls();
             calls_.rename = [](const char*, const char*) {
                 errno = EXDEV;
                 return -1;
             };
             SetFileWriterCalls(&calls_);
         },
         Step::Rename, EXDEV},
    };
    for (const auto& row : rows) {
        written_ = 0;
        row.inject();
        const auto error = ReplaceFileContent(path_, kNew);
        ASSERT_TRUE(error.has_value()) << row.what;
        EXPECT_EQ(error->step, row.step) << row.what;
        // A write that makes no progress reads as a full disk, not as success.
        EXPECT_EQ(error->error_number, row.error ? row.error : ENOSPC) << row.what;
        EXPECT_FALSE(error->Reason().isEmpty()) << row.what;
        EXPECT_EQ(ReadBytes(path_), kOld) << row.what;
        EXPECT_EQ(Files(), QStringList{"ChannelList.vlr"}) << row.what;
    }
}

// A process killed in the middle of a save leaves the previous file whole.
TEST_F(FileWriterTest, KilledHalfWayKeepsTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            calls_ = SystemFileWriterCalls();
            calls_.write = [](int fd, const void* data, size_t size) -> ssize_t {
                ::write(fd, data, std::min<size_t>(size, 1000));
                std::raise(SIGKILL);
                return -1;
            };
            SetFileWriterCalls(&calls_);
            (void)ReplaceFileContent(path_, kNew);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(ReadBytes(path_), kOld);
    ASSERT_FALSE(ReplaceFileContent(path_, kNew).has_value());
    EXPECT_EQ(ReadBytes(path_), kNew);
}

// A successful replace keeps the file's permissions and a symbolic link; a file without write
// permission is refused, even for root.
TEST_F(FileWriterTest, KeepsModeAndLinkAndRefusesReadOnly) {
    const QByteArray native = QFile::encodeName(path_);
    ASSERT_EQ(::chmod(native.constData(), 0640), 0);
    const QString link = dir_.filePath("link.vlr");
    ASSERT_TRUE(QFile::link(path_, link));
    ASSERT_FALSE(ReplaceFileContent(link, kNew).has_value());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadBytes(path_), kNew);
    struct stat st {};
    ASSERT_EQ(::stat(native.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    ASSERT_EQ(::chmod(native.constData(), 0444), 0);
    const auto error = ReplaceFileContent(path_, kOld);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->step, FileWriteError::Step::ReadOnly);
    EXPECT_EQ(ReadBytes(path_), kNew);
}

}  // namespace
}  // namespace velmora
