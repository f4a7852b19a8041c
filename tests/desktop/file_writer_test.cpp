// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/file_writer.h"

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

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::ReadBytes;

const QByteArray kOld = "=Old=http://old.example/a.m3u===\r\n";
const QByteArray kNew(5000, 'n');

// The fault injected: writes stop after `limit` bytes with `write_error` (0: no progress), or the
// flush or the rename fails.
struct Fault {
    size_t limit = SIZE_MAX;
    int write_error = 0;
    int fsync_error = 0;
    int rename_error = 0;
};

class FileWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { test::WriteBytes(path_, kOld); }
    void TearDown() override { SetFileWriterCalls(nullptr); }

    void Inject(const Fault& fault) {
        written_ = 0;
        calls_ = SystemFileWriterCalls();
        calls_.write = [this, fault](int fd, const void* data, size_t size) -> ssize_t {
            if (written_ >= fault.limit) {
                errno = fault.write_error;
                return fault.write_error ? -1 : 0;
            }
            const ssize_t n = ::write(fd, data, std::min(size, fault.limit - written_));
            if (n > 0) written_ += static_cast<size_t>(n);
            return n;
        };
        calls_.fsync = [fault](int fd) {
            if (!fault.fsync_error) return ::fsync(fd);
            errno = fault.fsync_error;
            return -1;
        };
        calls_.rename = [fault](const char* from, const char* to) {
            if (!fault.rename_error) return ::rename(from, to);
            errno = fault.rename_error;
            return -1;
        };
        SetFileWriterCalls(&calls_);
    }

    QTemporaryDir dir_;
    QString path_ = dir_.filePath("ChannelList.vlr");
    FileWriterCalls calls_;
    size_t written_ = 0;
};

// Each failing step is reported and leaves the old file byte for byte with no temporary file
// behind: a full disk at once or half-way, a disk that stops taking bytes, a failing flush (small
// files that sat in the cache), a failing rename.
TEST_F(FileWriterTest, EveryFailedStepIsReportedAndKeepsTheOldFile) {
    using Step = FileWriteError::Step;
    const struct {
        Fault fault;
        Step step;
        int error;
    } rows[] = {
        {{.limit = 0, .write_error = ENOSPC}, Step::Write, ENOSPC},
        {{.limit = 2000, .write_error = ENOSPC}, Step::Write, ENOSPC},
        {{.limit = 100}, Step::Write, ENOSPC},
        {{.fsync_error = EIO}, Step::Flush, EIO},
        {{.rename_error = EXDEV}, Step::Rename, EXDEV},
    };
    for (const auto& row : rows) {
        Inject(row.fault);
        const auto error = ReplaceFileContent(path_, kNew);
        ASSERT_TRUE(error.has_value()) << static_cast<int>(row.step);
        EXPECT_EQ(error->step, row.step);
        EXPECT_EQ(error->error_number, row.error);
        EXPECT_EQ(ReadBytes(path_), kOld);
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"ChannelList.vlr"});
    }
}

// A process killed in the middle of a save, its new content written but not yet in place, leaves
// the previous file whole.
TEST_F(FileWriterTest, KilledHalfWayKeepsTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Inject({});
            calls_.fsync = [](int) { return std::raise(SIGKILL); };
            (void)ReplaceFileContent(path_, kNew);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(ReadBytes(path_), kOld);
}

// A replace keeps the file's permissions, and a symbolic link stays a link.
TEST_F(FileWriterTest, KeepsModeAndLink) {
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
}

}  // namespace
}  // namespace velmora
