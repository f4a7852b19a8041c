// SPDX-License-Identifier: GPL-3.0-or-later
// The now-playing box under a user who changes their mind: Stop and new choices end the replay
// and the opening, late reports of an abandoned opening are dropped, an unnamed station shows
// the channel's name, and a recording stays with its stream on a disk that does not keep up.
#include <future>

#include <QDesktopServices>
#include <QUrl>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "app/recording_control.h"
#include "recording/recording_names.h"
#include "support/stream_server.h"
#include "support/window_fixture.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

class StopAndReportsTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        // The replay's rhythm, shortened: what matters is whether it ticks at all.
        ReplayTimer(window_)->setInterval(50);
    }
    StreamRoute Station(const std::string& name) {
        StreamRoute route;
        route.audio = Mp3(4.0);
        route.loop = true;
        if (!name.empty()) route.headers = {"icy-name:" + name};
        return route;
    }
    void SetChannels(const std::vector<std::pair<QString, std::string>>& channels) {
        std::vector<ChannelEntry> entries;
        for (const auto& [name, url] : channels) {
            entries.push_back({name, QString::fromStdString(url), {}, {}});
        }
        Channels()->ReplaceAll(entries);
    }
    bool Started() { return Playing() && !StartWatch(window_)->isActive(); }
};

// A failed station is not replayed after Stop, even once its server is back; Stop while the
// opening buffers shows "Not playing" for good, not the last percentage.
TEST_F(StopAndReportsTest, StopEndsTheReplayAndTheOpening) {
    StreamServer server;
    auto* replay_timer = ReplayTimer(window_);
    PlayUserChannel(server.Url("/late"));
    ASSERT_TRUE(WaitFor([&] { return station_->text() == "Can't play the stream"; }, 5s));
    Click(StopButton(window_));
    EXPECT_FALSE(replay_timer->isActive());
    EXPECT_EQ(window_->RetryCount(), 0);
    const std::size_t tries = server.ConnectionsTo("/late").size();
    server.AddStream("/late", Station("Late FM"));
    EXPECT_FALSE(Playing());

    StreamRoute stuck = Station("Stuck FM");
    stuck.stall_after = 30000;  // well short of three quarters of the buffer
    server.AddStream("/stuck", stuck);
    PlayUserChannel(server.Url("/stuck"));
    ASSERT_TRUE(WaitFor([&] { return station_->text().startsWith("Buffering... "); }, 5s))
        << station_->text().toStdString();
    Click(StopButton(window_));
    // Once the server goes on it finds the connection dropped; no late report changes the box.
    server.ResumeStalled();
    ASSERT_TRUE(WaitFor([&] { return server.ConnectionsTo("/stuck")[0].finished; }, 5s));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(station_->text(), "Not playing");
    EXPECT_TRUE(rate_->text().isEmpty());
    EXPECT_FALSE(window_->IsOpening());
    EXPECT_FALSE(Playing());
    // All this while the stopped station was not tried again, though its server is back.
    EXPECT_EQ(server.ConnectionsTo("/late").size(), tries);
}

// Fires `act` once, on the user-interface thread, just before the first status report that
// arrives while `ready` holds: the report is then one of an opening the user has left.
class BeforeReport final : public QObject {
  public:
    BeforeReport(std::function<bool()> ready, std::function<void()> act)
        : ready_(std::move(ready)), act_(std::move(act)) {
        qApp->installEventFilter(this);
    }
    ~BeforeReport() override { qApp->removeEventFilter(this); }
    bool fired = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!fired && event->type() == QEvent::MetaCall &&
            qobject_cast<StreamStatusSink*>(watched) && ready_()) {
            fired = true;
            act_();
        }
        return false;
    }

  private:
    std::function<bool()> ready_;
    std::function<void()> act_;
};

// The user picks another channel while the first one's worker reports its tags: the name and
// bit rate of the abandoned station never reach the labels of the new one.
TEST_F(StopAndReportsTest, ReportsOfAnAbandonedOpeningAreDropped) {
    StreamServer server;
    StreamRoute old_station = Station("Old FM");
    old_station.headers.push_back("icy-br:128");
    server.AddStream("/old", old_station);
    StreamRoute silent;
    silent.stall_before_header = true;
    server.AddStream("/silent", silent);
    SetChannels({{"Old", server.Url("/old")}, {"Silent", server.Url("/silent")}});

    // The report after the last buffering one is the first station tag.
    BeforeReport choose_again(
        [&] {
            const QString t = station_->text();
            return t.startsWith("Buffering... ") && t.mid(13).chopped(1).toInt() > 75;
        },
        [&] {
            ClickChannel(1);
            // The new opening's first report is queued before the old one's next. Nothing can be
            // waited on here: that worker blocks on its report until this thread answers.
            std::this_thread::sleep_for(200ms);
        });
    LabelRecorder rec(title_, station_, rate_);
    ClickChannel(0);
    ASSERT_TRUE(WaitFor([&] { return choose_again.fired; }, 5s));
    ASSERT_TRUE(WaitFor([&] { return server.ConnectionsTo("/silent").size() == 1; }, 3s))
        << station_->text().toStdString();
    // The old station's reports are all in once its connection is dropped.
    ASSERT_TRUE(WaitFor([&] { return server.ConnectionsTo("/old")[0].finished; }, 5s));
    QCoreApplication::sendPostedEvents();
    rec.Snapshot();
    EXPECT_EQ(station_->text(), "Connecting...") << rec.status_texts.join("|").toStdString();
    EXPECT_TRUE(rate_->text().isEmpty()) << rec.rate_texts.join("|").toStdString();
    EXPECT_TRUE(title_->text().isEmpty());
}

// A station that sends no name is shown, and recorded, under the channel's name, not under the
// last buffering text.
TEST_F(StopAndReportsTest, UnnamedStationTakesTheChannelName) {
    StreamServer server;
    server.AddStream("/anon", Station(""));
    PlayUserChannel(server.Url("/anon"), "My Channel");
    ASSERT_TRUE(WaitFor([&] { return Started(); }, 8s)) << station_->text().toStdString();
    EXPECT_EQ(station_->text(), "My Channel");
    ASSERT_TRUE(QDir().mkpath(Documents()));
    Click(RecordButton(window_));
    const QString path = window_->findChild<RecordingControl*>()->FilePath();
    EXPECT_EQ(QFileInfo(path).absolutePath(), Documents() + "/Velmora Recordings/My Channel");
    Click(StopButton(window_));
}

// Pipes standing in for a disk that takes nothing until the test reads: every file name a
// recording may get in the next seconds is a pipe with a small buffer.
class SlowDisk {
  public:
    SlowDisk(const QString& folder, const QString& station) {
        EXPECT_TRUE(QDir().mkpath(folder));
        const QDateTime now = QDateTime::currentDateTime();
        for (int s = -1; s < 5; ++s) {
            const QByteArray path =
                QFile::encodeName(folder + "/" + RecordingFileName(now.addSecs(s), "", station));
            EXPECT_EQ(::mkfifo(path.constData(), 0600), 0);
            const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            EXPECT_GE(fd, 0);
            ::fcntl(fd, F_SETPIPE_SZ, 4096);
            readers_.push_back(fd);
        }
    }
    ~SlowDisk() {
        for (int fd : readers_) ::close(fd);
    }
    // True when a writer has filled half its pipe; a write that does not fit then waits.
    bool Full() const {
        for (int fd : readers_) {
            int queued = 0;
            if (::ioctl(fd, FIONREAD, &queued) == 0 && queued >= ::fcntl(fd, F_GETPIPE_SZ) / 2) {
                return true;
            }
        }
        return false;
    }
    void Drain() {
        char buffer[8192];
        for (int fd : readers_) {
            while (::read(fd, buffer, sizeof buffer) > 0) {
            }
        }
    }

  private:
    std::vector<int> readers_;
};

// True while this process holds `path` open.
bool OpenHere(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files)) {
        if (fd.symLinkTarget() == target) return true;
    }
    return false;
}

// True while a thread of this process waits in a write to `path`.
bool WriteBlocksOn(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    QStringList fds;
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files)) {
        if (fd.symLinkTarget() == target) fds << "0x" + QString::number(fd.fileName().toInt(), 16);
    }
    for (const QString& task :
         QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f("/proc/self/task/" + task + "/syscall");
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> call = f.readAll().split(' ');
        if (call.size() > 1 && call[0].toLong() == SYS_write && fds.contains(call[1])) return true;
    }
    return false;
}

// The download thread is stuck writing a recording: Stop answers at once, and when that write
// finally ends, the freed stream's end of download leaves the next station's recording open.
TEST_F(StopAndReportsTest, RecordingBelongsToItsStream) {
    StreamServer server;
    StreamRoute fast = Station("Slow Disk FM");
    fast.burst_bytes = 32768;
    fast.bytes_per_second = 64000;
    server.AddStream("/a", fast);
    server.AddStream("/b", Station("Next FM"));
    SetChannels({{"A", server.Url("/a")}, {"B", server.Url("/b")}});
    auto* record = RecordButton(window_);
    ClickChannel(0);
    ASSERT_TRUE(WaitFor([&] { return Started() && record->isVisible(); }, 8s));

    SlowDisk disk(Documents() + "/Velmora Recordings/Slow Disk FM", "Slow Disk FM");
    Click(record);
    const QString first = window_->findChild<RecordingControl*>()->FilePath();
    ASSERT_TRUE(WaitFor([&] { return disk.Full(); }, 5s))
        << first.toStdString() << " " << answers_.errors.join("|").toStdString();
    ASSERT_TRUE(WaitFor([&] { return WriteBlocksOn(first); }, 5s));

    std::promise<void> answered;
    std::thread watchdog([&, done = answered.get_future()] {
        // Lets a frozen window go on, so that the test fails instead of hanging.
        if (done.wait_for(3s) == std::future_status::ready) return;
        while (done.wait_for(10ms) != std::future_status::ready) disk.Drain();
    });
    const auto before = std::chrono::steady_clock::now();
    Click(StopButton(window_));
    const auto took = std::chrono::steady_clock::now() - before;
    answered.set_value();
    watchdog.join();
    EXPECT_LT(took, 500ms);
    EXPECT_FALSE(Recording());

    ClickChannel(1);
    ASSERT_TRUE(WaitFor([&] { return Started() && station_->text() == "Next FM"; }, 8s));
    Click(record);
    const QString next = window_->findChild<RecordingControl*>()->FilePath();
    ASSERT_TRUE(next.contains("/Next FM/")) << next.toStdString();
    ASSERT_TRUE(OpenHere(next));

    // The stuck write ends; the first stream's download then ends too, dropping its connection.
    ASSERT_TRUE(WaitFor(
        [&] {
            disk.Drain();
            return server.ConnectionsTo("/a")[0].finished && !WriteBlocksOn(first);
        },
        5s));
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(OpenHere(next)) << "the end of the first stream closed the next one's recording";
    Click(StopButton(window_));
    EXPECT_TRUE(WaitFor([&] { return !OpenHere(next); }, 1s));  // after a write under way
}

// Takes the web pages the window asks the desktop to open, instead of a browser.
class PageRecorder final : public QObject {
    Q_OBJECT
  public:
    PageRecorder() { QDesktopServices::setUrlHandler("http", this, "Open"); }
    ~PageRecorder() override { QDesktopServices::unsetUrlHandler("http"); }
    QStringList pages;
  public slots:
    void Open(const QUrl& url) { pages << url.toString(); }
};

// Homepage and programs addresses typed without a scheme open as web pages.
TEST_F(StopAndReportsTest, StationPagesWithoutSchemeOpen) {
    PageRecorder browser;
    Channels()->ReplaceAll(
        {{"Typed", "http://127.0.0.1:1/x", "www.radio.example", "radio.example/shows"}});
    ClickChannel(0);
    Click(HomepageButton(window_));
    Click(ProgramsButton(window_));
    EXPECT_EQ(browser.pages,
              (QStringList{"http://www.radio.example", "http://radio.example/shows"}));
}

}  // namespace
}  // namespace velmora::test

#include "stop_and_reports_window_test.moc"
