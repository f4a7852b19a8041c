#include "update/self_updater.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
        updater_ = std::make_unique<TSelfUpdater>(&owner_);
        updater_->versionControl = VersionControl::byNumber;
        updater_->VersionNumber = "2451";
        updater_->OnError = [this](TSelfUpdater*) { outcomes_ << "error"; };
        updater_->OnNoUpdateAvailable = [this](TSelfUpdater*) { outcomes_ << "none"; };
        updater_->SetPageOpener([this](const QString& url) { pages_ << url; });
        updater_->SetTerminate([this] { outcomes_ << "terminate"; });
    }
    void TearDown() override {
        updater_.reset();
        SetDialogs(nullptr);
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
    Answers answers_;
    QObject owner_;
    std::unique_ptr<TSelfUpdater> updater_;
    QStringList outcomes_, pages_;
    int routes_ = 0;
};

// The outcome of a check for each kind of answer the server may give.
TEST_F(SelfUpdaterTest, CheckOutcomes) {
    const std::string info = "#caption=Cap\r\n#message=[Upgrade?]\r\n#redirect=yes\r\n#url=u\r\n";
    struct Row {
        const char* name;
        std::string response;
        const char* outcome;  // "offer" when the question was asked
    };
    const Row rows[] = {
        {"same version", Http("200 OK", "#version=2451\r\n" + info), "none"},
        {"lower version", Http("200 OK", "#version=2450\r\n" + info), "offer"},
        {"no line break", Http("200 OK", info + "#version=2451"), "offer"},
        {"capital keyword", Http("200 OK", "#Version=2451\r\n" + info), "none"},
        {"blank in value", Http("200 OK", "#version= 2451\r\n" + info), "offer"},
        {"404 page", Http("404 Not Found\r\nContent-Type: text/html", "<html>404</html>"), "none"},
        {"empty body", Http("200 OK\r\nContent-Length: 0", ""), "error"},
        {"broken length", Http("200 OK\r\nContent-Length: 12x", "#version=1\r\n"), "error"},
        {"no server", "", "error"},
    };
    for (const Row& r : rows) {
        outcomes_.clear();
        const auto asked = answers_.questions.size();
        Check(r.response);
        const QString got = answers_.questions.size() == asked ? outcomes_.join(",") : "offer";
        EXPECT_EQ(got, r.outcome) << r.name;
    }
    EXPECT_EQ(answers_.questions.size(), 3);
    EXPECT_EQ(answers_.questions.front(), "Cap | Upgrade?");
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
        Check(Http("200 OK", "#version=1\r\n" + std::string(redirect) + "#url=" + url + "\r\n"));
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
    const std::string digest =
        QCryptographicHash::hash(QByteArray::fromStdString(program), QCryptographicHash::Sha256)
            .toHex()
            .toStdString();
    QTemporaryDir app;
    const QString installed = app.path() + "/velmora";
    test::WriteBytes(installed, "old program");

    struct Row {
        const char* name;
        std::string file_response;
        std::string sha;  // "#sha256=" value
        QString program_file;
        UpdateError error;
    };
    const Row rows[] = {
        {"no length", Http("200 OK", program), "", installed, UpdateError::Transfer},
        {"404 with body", Http("404 Not Found\r\nContent-Length: 5", "oops!"), "", installed,
         UpdateError::Transfer},
        {"cut short", Http("200 OK\r\nContent-Length: 99999", program.substr(0, 5000)), "",
         installed, UpdateError::Transfer},
        {"not a program", Http("200 OK\r\nContent-Length: 12", "#!/bin/sh\nls"), "", installed,
         UpdateError::NotExecutable},
        {"bad checksum",
         Http("200 OK\r\nContent-Length: " + std::to_string(program.size()), program),
         std::string(64, '0'), installed, UpdateError::ChecksumMismatch},
        {"packaged", Http("200 OK\r\nContent-Length: " + std::to_string(program.size()), program),
         digest, "/usr/bin/env", UpdateError::CannotReplace},
    };
    int done_calls = 0;
    updater_->OnDone = [&](TSelfUpdater*, qint64) { ++done_calls; };
    for (const Row& r : rows) {
        outcomes_.clear();
        const std::string path = "/file" + std::to_string(++routes_);
        server_.AddRaw(path, r.file_response);
        updater_->ProgramFile = r.program_file;
        Check(Http("200 OK",
                   "#version=1\r\n#url=" + server_.Url(path) + "\r\n#sha256=" + r.sha + "\r\n"));
        EXPECT_EQ(outcomes_, QStringList{"error"}) << r.name;
        EXPECT_EQ(updater_->LastError(), r.error) << r.name;
        EXPECT_FALSE(updater_->ErrorMessage().isEmpty());
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
    EXPECT_EQ(test::ReadBytes(Download()).size(), 5000);
    EXPECT_EQ(updater_->LastError(), UpdateError::NotExecutable);  // x-es are no program
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

TEST_F(SelfUpdaterTest, OneUpdaterPerOwnerAndTheOldUpgraderGoes) {
    EXPECT_THROW(TSelfUpdater second(&owner_), std::logic_error);
    QDir().mkpath(updater_->TempFolder());
    test::WriteBytes(updater_->TempFolder() + "/Upgrader", "old");
    QObject other_owner;
    TSelfUpdater other(&other_owner);
    EXPECT_FALSE(QFile::exists(updater_->TempFolder() + "/Upgrader"));
    EXPECT_EQ(other.VersionDate, QDate::currentDate().toString("MM/dd/yyyy"));
}

}  // namespace
}  // namespace velmora
