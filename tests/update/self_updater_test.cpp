// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/self_updater.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "support/qt_test_helpers.h"
#include "support/stream_server.h"
#include "update/update_test_support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::Answers;
using test::BuiltProgram;
using test::Http;
using test::Pump;
using test::WaitFor;

class SelfUpdaterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        SetDialogs(&answers_);
        updater_ = std::make_unique<SelfUpdater>(&owner_);
        updater_->versionControl = VersionControl::ByNumber;
        updater_->VersionNumber = "2451";
        updater_->OnError = [this](SelfUpdater*) { outcomes_ << "error"; };
        updater_->OnNoUpdateAvailable = [this](SelfUpdater*) { outcomes_ << "none"; };
        updater_->SetPageOpener([this](const QString& url) { pages_ << url; });
        updater_->SetTerminate([this] { outcomes_ << "terminate"; });
        key_.Trust("127.0.0.1:" + QByteArray::number(server_.port()));
    }
    void TearDown() override {
        updater_.reset();
        SetDialogs(nullptr);
        test::TestReleaseKey::Untrust();
    }

    // Serves `response` as the information file and runs one check to its end.
    void Check(const std::string& response) {
        const std::string path = "/info" + std::to_string(++routes_);
        server_.AddRaw(path, response);
        updater_->InfoFileURL = QString::fromStdString(server_.Url(path));
        updater_->StartCheck();
        ASSERT_TRUE(WaitFor([this] { return !updater_->Checking(); }, 10s));
        ASSERT_TRUE(WaitFor([this] { return !updater_->Downloading(); }, 10s));
    }

    QString Download() const { return updater_->TempFolder() + "/Upgrade.tmp"; }

    test::PrivateHome home_;
    test::StreamServer server_;
    test::TestReleaseKey key_;
    Answers answers_;
    QObject owner_;
    std::unique_ptr<SelfUpdater> updater_;
    QStringList outcomes_, pages_;
    int routes_ = 0;
};

// The outcome of a check for each kind of answer the server may give: only a newer version is
// offered, and a download only when the release key signed its version and checksum.
TEST_F(SelfUpdaterTest, CheckOutcomes) {
    const std::string page = "#caption=Cap\r\n#message=[Upgrade?]\r\n#redirect=yes\r\n";
    const std::string info = page + "#url=http://h/u\r\n";
    const std::string program = "a program";
    const std::string file = "#url=http://h/velmora\r\n#caption=Cap\r\n#message=[Upgrade?]\r\n";
    const std::string signed_2452 =
        key_.SignedLines("2452", QByteArray::fromStdString(program)) + file;
    auto replace = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    test::TestReleaseKey other_key;
    std::string huge_message;
    for (int i = 0; i < 12000; ++i) huge_message += "line " + std::to_string(i) + "\r\n";
    struct Row {
        const char* name;
        std::string response;
        const char* outcome;  // "offer" when the question was asked
        UpdateError error = UpdateError::None;
    };
    const Row rows[] = {
        {"same version", Http("200 OK", "#version=2451\r\n" + info), "none"},
        {"newer page", Http("200 OK", "#version=2452\r\n" + info), "offer"},
        {"older version", Http("200 OK", "#version=2450\r\n" + info), "error", UpdateError::Older},
        {"no version", Http("200 OK", info), "error", UpdateError::NoVersion},
        {"no line break", Http("200 OK", info + "#version=2452"), "error", UpdateError::NoVersion},
        {"capital keyword", Http("200 OK", "#Version=2451\r\n" + info), "none"},
        {"blank in value", Http("200 OK", "#version= 2451\r\n" + info), "none"},
        {"page not on the web", Http("200 OK", "#version=2452\r\n" + page + "#url=file:/etc\r\n"),
         "error", UpdateError::NotWebAddress},
        {"signed download", Http("200 OK", signed_2452), "offer"},
        {"unsigned download", Http("200 OK", "#version=2452\r\n" + file), "error",
         UpdateError::Unsigned},
        {"version changed", Http("200 OK", replace(signed_2452, "=2452", "=2453")), "error",
         UpdateError::BadSignature},
        {"checksum changed", Http("200 OK", replace(signed_2452, "#sha256=", "#sha256=0")), "error",
         UpdateError::BadSignature},
        {"other key", Http("200 OK", other_key.SignedLines("2452", "x") + file), "error",
         UpdateError::BadSignature},
        {"signed older", Http("200 OK", key_.SignedLines("2450", "x") + file), "error",
         UpdateError::Older},
        {"404 page", Http("404 Not Found\r\nContent-Type: text/html", "<html>404</html>"), "none"},
        {"huge message",
         Http("200 OK",
              "#version=2452\r\n#message=[" + huge_message + "]" + page + "#url=http://h/u\r\n"),
         "offer"},
        {"empty body", Http("200 OK\r\nContent-Length: 0", ""), "error", UpdateError::Transfer},
        {"broken length", Http("200 OK\r\nContent-Length: 12x", "#version=1\r\n"), "error",
         UpdateError::Transfer},
        {"no server", "", "error", UpdateError::Transfer},
    };
    for (const Row& r : rows) {
        outcomes_.clear();
        const auto asked = answers_.questions.size();
        Check(r.response);
        const QString got = answers_.questions.size() == asked ? outcomes_.join(",") : "offer";
        EXPECT_EQ(got, r.outcome) << r.name;
        if (r.error != UpdateError::None) {
            EXPECT_EQ(updater_->LastError(), r.error) << r.name;
            EXPECT_FALSE(updater_->ErrorMessage().isEmpty()) << r.name;
        }
    }
    ASSERT_EQ(answers_.questions.size(), 3);
    EXPECT_EQ(answers_.questions.front(), "Cap | Upgrade?");
    // A box as tall as the message would put its buttons off the screen.
    EXPECT_LE(answers_.questions.back().count('\n'), 20);
    EXPECT_TRUE(answers_.questions.back().endsWith("..."));
    EXPECT_EQ(server_.Connections().front().Header("User-Agent"),
              "Velmora-Updater (https://www.kestrin-soft.example/)");
    EXPECT_TRUE(pages_.isEmpty());  // every question was answered No
}

// Yes opens the page for a redirect in any letter case; anything else downloads "#url=".
TEST_F(SelfUpdaterTest, RedirectOrDownload) {
    answers_.yes = true;
    server_.AddError("/gone", 404, "<html>gone</html>");
    const std::string url = server_.Url("/gone");
    for (const char* redirect : {"#redirect=YES\r\n", "#redirect=no\r\n", ""}) {
        pages_.clear();
        outcomes_.clear();
        Check(Http("200 OK", key_.SignedLines("2452", "x") + redirect + "#url=" + url + "\r\n"));
        if (std::string(redirect).find("YES") != std::string::npos) {
            EXPECT_EQ(pages_, QStringList{QString::fromStdString(url)});
            EXPECT_TRUE(outcomes_.isEmpty());
        } else {
            EXPECT_TRUE(pages_.isEmpty()) << redirect;
            // The download was tried and failed on its 404, which replaces nothing.
            EXPECT_EQ(outcomes_, QStringList{"error"}) << redirect;
            EXPECT_EQ(updater_->LastError(), UpdateError::Transfer);
        }
    }
    EXPECT_EQ(server_.ConnectionsTo("/gone").size(), 2u);
    EXPECT_FALSE(QFile::exists(Download()));
}

// A download is complete and 2xx, and it must be a program of this machine that matches its
// checksum and may be put in place; otherwise nothing is replaced and the program keeps running.
TEST_F(SelfUpdaterTest, DownloadFailuresReplaceNothing) {
    answers_.yes = true;
    QFile program_file(BuiltProgram("update_new_version"));
    ASSERT_TRUE(program_file.open(QIODevice::ReadOnly));
    const std::string program = program_file.readAll().toStdString();
    QTemporaryDir app;
    const QString installed = app.path() + "/velmora";
    test::WriteBytes(installed, "old program");

    const std::string length = "200 OK\r\nContent-Length: " + std::to_string(program.size());
    struct Row {
        const char* name;
        std::string file_response;
        std::string signed_program;  // what the information file signs
        QString program_file;
        UpdateError error;
    };
    const Row rows[] = {
        {"no length", Http("200 OK", program), program, installed, UpdateError::Transfer},
        {"404 with body", Http("404 Not Found\r\nContent-Length: 5", "oops!"), "oops!", installed,
         UpdateError::Transfer},
        {"cut short", Http("200 OK\r\nContent-Length: 99999", program.substr(0, 5000)), program,
         installed, UpdateError::Transfer},
        {"longer than announced", Http(length, program + "more"), program, installed,
         UpdateError::Transfer},
        {"huge length", Http("200 OK\r\nContent-Length: 300000000000", program), program, installed,
         UpdateError::Transfer},
        {"not a program", Http("200 OK\r\nContent-Length: 12", "#!/bin/sh\nls"), "#!/bin/sh\nls",
         installed, UpdateError::NotExecutable},
        {"one byte changed", Http(length, program.substr(0, 200) + "!" + program.substr(201)),
         program, installed, UpdateError::ChecksumMismatch},
        {"packaged", Http(length, program), program, "/usr/bin/env", UpdateError::CannotReplace},
    };
    int done_calls = 0;
    updater_->OnDone = [&](SelfUpdater*, qint64) { ++done_calls; };
    for (const Row& r : rows) {
        outcomes_.clear();
        const std::string path = "/file" + std::to_string(++routes_);
        server_.AddRaw(path, r.file_response);
        updater_->ProgramFile = r.program_file;
        Check(Http("200 OK", key_.SignedLines("2452", QByteArray::fromStdString(r.signed_program)) +
                                 "#url=" + server_.Url(path) + "\r\n"));
        EXPECT_EQ(outcomes_, QStringList{"error"}) << r.name;
        EXPECT_EQ(updater_->LastError(), r.error) << r.name;
        EXPECT_FALSE(updater_->ErrorMessage().isEmpty());
        EXPECT_FALSE(QFile::exists(Download())) << r.name;  // no download is left behind
    }
    EXPECT_EQ(done_calls, 0);
    EXPECT_EQ(test::ReadBytes(installed), "old program");
    EXPECT_FALSE(QFile::exists(updater_->TempFolder() + "/Upgrader"));
    // The download folder is private.
    struct stat st {};
    ASSERT_EQ(stat(updater_->TempFolder().toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// Progress comes in pieces of at most 1,025 bytes, on this thread, ending at 100 per cent.
TEST_F(SelfUpdaterTest, ProgressOfACompleteDownload) {
    const std::string body(5000, 'x');
    server_.AddBody("/big", 200, "application/octet-stream", body);
    std::vector<std::pair<qint64, int>> calls;
    updater_->OnProgress = [&](QObject*, qint64 total, qint64 read, int percents) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        EXPECT_EQ(total, 5000);
        calls.emplace_back(read, percents);
    };
    updater_->StartDownload(QString::fromStdString(server_.Url("/big")));
    ASSERT_TRUE(WaitFor([this] { return !updater_->Downloading(); }, 10s));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::make_pair(qint64{5000}, 100));
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_LE(calls[i].first - calls[i - 1].first, 1025);
    }
    EXPECT_EQ(updater_->LastError(), UpdateError::NotExecutable);  // x-es are no program
    EXPECT_FALSE(QFile::exists(Download()));
}

// The start timer checks once, at the first tick at which the machine is online and the
// updater active; the manual check does not stop it.
TEST_F(SelfUpdaterTest, StartTimerWaitsForOnlineAndActive) {
    server_.AddRaw("/info", Http("200 OK", "#version=2451\r\n"));
    updater_->InfoFileURL = QString::fromStdString(server_.Url("/info"));
    bool online = false;
    updater_->SetOnlineTest([&] { return online; });
    updater_->Active = false;
    updater_->SetStartInterval(10);
    updater_->StartCheck();  // manual
    ASSERT_TRUE(WaitFor([this] { return outcomes_.size() == 1; }, 5s));
    Pump(100ms);
    online = true;
    Pump(100ms);
    EXPECT_EQ(server_.Connections().size(), 1u);  // inactive: no automatic check
    EXPECT_TRUE(updater_->StartTimer()->isActive());
    updater_->Active = true;
    ASSERT_TRUE(WaitFor([this] { return outcomes_.size() == 2; }, 5s));
    EXPECT_FALSE(updater_->StartTimer()->isActive());
    Pump(100ms);
    EXPECT_EQ(server_.Connections().size(), 2u);
}

// Another user must not be able to swap the download or the upgrader: every folder on the way
// is checked, and a folder of ours that others can change, or that is a link, is refused.
TEST_F(SelfUpdaterTest, UnsafeCacheFoldersAreRefused) {
    const QString cache = home_.Path() + "/cache";
    QTemporaryDir elsewhere;
    struct Row {
        const char* name;
        std::function<bool()> prepare;  // false: cannot be set up by this user
    };
    const Row rows[] = {
        {"writable by all",
         [&] {
             return QDir().mkpath(cache + "/velmora") &&
                    chmod(QFile::encodeName(cache + "/velmora"), 0777) == 0;
         }},
        {"a link",
         [&] { return QDir().mkpath(cache) && QFile::link(elsewhere.path(), cache + "/velmora"); }},
        {"another user's",
         [&] {
             return QDir().mkpath(cache + "/velmora") &&
                    chown(QFile::encodeName(cache + "/velmora"), 65534, 65534) == 0;
         }},
        {"cache writable by all",
         [&] { return QDir().mkpath(cache) && chmod(QFile::encodeName(cache), 0777) == 0; }},
    };
    for (const Row& r : rows) {
        QDir(cache).removeRecursively();
        QFile::remove(cache + "/velmora");
        if (!r.prepare()) continue;  // chown needs root
        outcomes_.clear();
        updater_->StartDownload(QString::fromStdString(server_.Url("/never")));
        EXPECT_EQ(outcomes_, QStringList{"error"}) << r.name;
        EXPECT_EQ(updater_->LastError(), UpdateError::UpgraderNotWritten) << r.name;
        EXPECT_TRUE(updater_->LastErrorDetail().contains("/velmora") ||
                    updater_->LastErrorDetail().contains("/cache"))
            << r.name << ": " << updater_->LastErrorDetail().toStdString();
        EXPECT_FALSE(QFile::exists(elsewhere.path() + "/update")) << r.name;
    }
    EXPECT_TRUE(server_.Connections().empty());
    QDir(cache).removeRecursively();
    updater_->StartDownload(QString::fromStdString(server_.Url("/never")));  // a safe folder
    ASSERT_TRUE(WaitFor([this] { return !updater_->Downloading(); }, 10s));
    EXPECT_EQ(server_.Connections().size(), 1u);
}

// While an accepted update downloads, no second check runs: its offer would replace the one the
// download is checked against.
TEST_F(SelfUpdaterTest, NoCheckDuringADownload) {
    server_.AddRaw("/slow", Http("200 OK\r\nContent-Length: 100", "partial"));  // never ends
    server_.AddRaw("/info", Http("200 OK", "#version=2452\r\n#url=http://h/u\r\n"));
    updater_->InfoFileURL = QString::fromStdString(server_.Url("/info"));
    updater_->StartDownload(QString::fromStdString(server_.Url("/slow")));
    ASSERT_TRUE(updater_->Downloading());
    updater_->StartCheck();
    EXPECT_FALSE(updater_->Checking());
    Pump(100ms);
    EXPECT_TRUE(server_.ConnectionsTo("/info").empty());
}

// A noexec cache folder: the settings are saved, the upgrader cannot start, nothing ends, the
// user is told why and no file is left.
TEST_F(SelfUpdaterTest, AnUpgraderThatCannotStartEndsNothing) {
    const QString cache = home_.Path() + "/cache";
    QDir().mkpath(cache);
    // A mount of our own, seen by this test process only.
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", QFile::encodeName(cache), "tmpfs", MS_NOEXEC, "size=64m") != 0) {
        GTEST_SKIP() << "needs root to mount a noexec folder";
    }
    answers_.yes = true;
    const QByteArray program = test::ReadBytes(BuiltProgram("update_new_version"));
    server_.AddBody("/velmora", 200, "application/octet-stream", program.toStdString());
    QTemporaryDir app;
    updater_->ProgramFile = app.path() + "/velmora";
    test::WriteBytes(updater_->ProgramFile, "old program");
    int saves = 0;
    updater_->OnBeforeEnd = [&] { return ++saves, true; };
    updater_->OnDone = [this](SelfUpdater*, qint64) { outcomes_ << "done"; };
    Check(Http("200 OK",
               key_.SignedLines("2452", program) + "#url=" + server_.Url("/velmora") + "\r\n"));
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(outcomes_, QStringList{"error"});  // neither "done" nor "terminate"
    EXPECT_EQ(updater_->LastError(), UpdateError::UpgraderNotStarted);
    EXPECT_TRUE(updater_->ErrorMessage().contains("Permission denied"))
        << updater_->ErrorMessage().toStdString();
    EXPECT_EQ(test::ReadBytes(updater_->ProgramFile), "old program");
    EXPECT_EQ(QDir(updater_->TempFolder()).entryList(QDir::Files), QStringList());
    umount2(QFile::encodeName(cache), MNT_DETACH);
}

// A failure the upgrader recorded after the player had ended is told once, at the next start.
TEST_F(SelfUpdaterTest, TheUpgradersFailureIsToldOnce) {
    QDir().mkpath(updater_->TempFolder());
    test::WriteBytes(updater_->TempFolder() + "/Upgrade.failed",
                     "replace\tcannot replace /opt/velmora: Read-only file system\n");
    QObject owner;
    EXPECT_TRUE(SelfUpdater(&owner).LastRunFailure().contains(
        "cannot replace /opt/velmora: Read-only file system"));
    QObject again;
    EXPECT_TRUE(SelfUpdater(&again).LastRunFailure().isEmpty());
}

TEST_F(SelfUpdaterTest, OneUpdaterPerOwnerAndTheOldUpgraderGoes) {
    EXPECT_THROW(SelfUpdater second(&owner_), std::logic_error);
    QDir().mkpath(updater_->TempFolder());
    test::WriteBytes(updater_->TempFolder() + "/Upgrader", "old");
    QObject other_owner;
    SelfUpdater other(&other_owner);
    EXPECT_FALSE(QFile::exists(updater_->TempFolder() + "/Upgrader"));
    EXPECT_EQ(other.VersionDate, QDate::currentDate().toString("MM/dd/yyyy"));
}

}  // namespace
}  // namespace velmora
