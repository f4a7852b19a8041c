// SPDX-License-Identifier: GPL-3.0-or-later
// Recording through the real window: the record, stop and open-recordings buttons over a
// loopback station, with the documents folder in a temporary home.
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QUrl>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include "app/recording_control.h"
#include "recording/recording_names.h"
#include "support/stream_server.h"
#include "support/test_audio.h"
#include "support/window_fixture.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

// Records the folders the window asks the desktop to open, instead of a file browser.
class FolderRecorder final : public QObject {
    Q_OBJECT
  public:
    FolderRecorder() { QDesktopServices::setUrlHandler("file", this, "Open"); }
    ~FolderRecorder() override { QDesktopServices::unsetUrlHandler("file"); }
    QStringList folders;
  public slots:
    void Open(const QUrl& url) { folders << url.toLocalFile(); }
};

// Passes every box on to the test's answers and counts those asked for off the window's thread.
class ThreadCheckingDialogs final : public Dialogs {
  public:
    explicit ThreadCheckingDialogs(Dialogs& answers) : answers_(answers) {}
    void Error(QWidget* owner, const QString& text, const QString& caption) override {
        Check();
        answers_.Error(owner, text, caption);
    }
    void Message(QWidget* owner, const QString& text, const QString& caption) override {
        Check();
        answers_.Message(owner, text, caption);
    }
    bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) override {
        Check();
        return answers_.AskYesNo(owner, text, caption);
    }
    QString SaveFileName(QWidget* owner, const QString& caption, const QString& suggested,
                         const QString& filter) override {
        Check();
        return answers_.SaveFileName(owner, caption, suggested, filter);
    }
    QString OpenFileName(QWidget* owner, const QString& caption, const QString& filter) override {
        Check();
        return answers_.OpenFileName(owner, caption, filter);
    }
    void Beep() override {
        Check();
        answers_.Beep();
    }
    std::atomic<int> off_thread{0};

  private:
    void Check() {
        if (QThread::currentThread() != qApp->thread()) ++off_thread;
    }
    Dialogs& answers_;
};

class RecordingWindowTest : public WindowTest {
  protected:
    // Plays a looping station with ICY titles from the user list until the record button shows.
    void PlayStation(StreamServer& server, const std::string& station,
                     std::vector<StreamRoute::Title> titles) {
        StreamRoute route;
        route.audio = Mp3(10.0);
        route.loop = true;
        route.metaint = 4096;
        route.headers = {"icy-name:" + station};
        route.titles = std::move(titles);
        route.burst_bytes = 32768;
        route.bytes_per_second = 32000;
        server.AddStream("/live", route);
        PlayUserChannel(server.Url("/live"));
        ASSERT_TRUE(WaitFor([&] { return Playing() && Record()->isVisible(); }, 8s))
            << station_->text().toStdString();
    }

    QWidget* Record() { return RecordButton(window_); }

    // The recording's file holds one unbroken span of the audio the server sent.
    static void ExpectSpanOfSent(const QString& path, const StreamServer& server, qint64 at_least) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const std::string recorded = file.readAll().toStdString();
        EXPECT_GE(static_cast<qint64>(recorded.size()), at_least) << path.toStdString();
        const auto sent = server.ConnectionsTo("/live");
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_NE(sent[0].sent_audio.find(recorded), std::string::npos)
            << "recorded " << recorded.size() << " bytes are not one span of the "
            << sent[0].sent_audio.size() << " sent";
    }

    // The file names a recording started between `from` and now may get.
    static QStringList NamesSince(const QDateTime& from, const QString& title,
                                  const QString& station) {
        QStringList names;
        for (QDateTime t = from; t <= QDateTime::currentDateTime().addSecs(1); t = t.addSecs(1)) {
            names << RecordingFileName(t, title, station);
        }
        return names;
    }
};

// Two recordings across title changes: one file each in the station's folder, named after the
// start time and the title at the press, holding a span of the served audio. Stop once ends the
// first and the music plays on; the record button ends the second.
TEST_F(RecordingWindowTest, RecordsAcrossTitleChanges) {
    const QString first = "Artist / Song: Live";
    const QString second = "Next: " + QString(94, QChar('n'));
    StreamServer server;
    FolderRecorder folders;
    Click(RecordingsButton(window_));
    EXPECT_EQ(answers_.errors, QStringList{"There are no audio recordings!"});
    answers_.errors.clear();

    PlayStation(server, "Loop: FM/2", {{12, first.toStdString()}, {24, second.toStdString()}});
    ASSERT_TRUE(WaitFor([&] { return title_->text() == first; }, 5s));
    ASSERT_TRUE(QDir().mkpath(Documents()));
    const QDateTime pressed = QDateTime::currentDateTime().addMSecs(-1000);
    Click(Record());
    ASSERT_TRUE(Recording());
    const QString station_folder = Documents() + "/Velmora Recordings/Loop  FM 2";
    const QString first_path = window_->findChild<RecordingControl*>()->FilePath();
    EXPECT_EQ(QFileInfo(first_path).absolutePath(), station_folder);
    EXPECT_TRUE(NamesSince(pressed, first, "Loop: FM/2").contains(QFileInfo(first_path).fileName()))
        << first_path.toStdString();
    EXPECT_TRUE(QFileInfo(first_path).fileName().endsWith(" - Artist   Song  Live.mp3"));
    // The button blinks while recording.
    EXPECT_TRUE(WaitFor([&] { return !Record()->isVisible(); }, 1500ms));
    EXPECT_TRUE(WaitFor([&] { return Record()->isVisible(); }, 1500ms));

    ASSERT_TRUE(WaitFor([&] { return title_->text() == second; }, 5s));
    // The server sends faster than real time, so the download follows the decoder, which takes
    // from the buffer in batches of seconds.
    const qint64 at_change = QFileInfo(first_path).size();
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(first_path).size() > at_change + 8000; }, 8s));
    Click(StopButton(window_));
    EXPECT_FALSE(Recording());
    EXPECT_TRUE(Record()->isVisible());
    const qint64 size_at_stop = QFileInfo(first_path).size();
    ASSERT_TRUE(WaitForMoreAudio(server, "/live", 16000));
    EXPECT_TRUE(Playing());
    EXPECT_EQ(QFileInfo(first_path).size(), size_at_stop);
    ExpectSpanOfSent(first_path, server, at_change + 8000);

    // The second recording is named after the long title, cut to 70 characters.
    const QDateTime pressed_again = QDateTime::currentDateTime().addMSecs(-1000);
    Click(Record());
    ASSERT_TRUE(Recording());
    const QString second_path = window_->findChild<RecordingControl*>()->FilePath();
    EXPECT_TRUE(NamesSince(pressed_again, second, "Loop: FM/2")
                    .contains(QFileInfo(second_path).fileName()));
    EXPECT_TRUE(
        QFileInfo(second_path).fileName().endsWith(" - Next  " + QString(64, QChar('n')) + ".mp3"));
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(second_path).size() > 16000; }, 8s));
    ASSERT_TRUE(WaitFor([&] { return !Record()->isVisible(); }, 1500ms));
    ASSERT_TRUE(WaitFor([&] { return Record()->isVisible(); }, 1500ms));
    Click(Record());
    EXPECT_FALSE(Recording());
    EXPECT_TRUE(Playing());
    ExpectSpanOfSent(second_path, server, 16000);
    EXPECT_EQ(QDir(station_folder).entryList(QDir::Files).size(), 2);

    Click(RecordingsButton(window_));
    EXPECT_EQ(folders.folders, QStringList{Documents() + "/Velmora Recordings"});
    EXPECT_TRUE(answers_.errors.isEmpty()) << answers_.errors.join("|").toStdString();
}

// Song by song from the menu: each title its own file, tagged, in the station's folder; the song
// joined midway, a short one and the one the record button ended are all incomplete.
TEST_F(RecordingWindowTest, RecordsSongBySongFromTheMenu) {
    StreamServer server;
    RecordPerSongItem(window_)->trigger();
    ASSERT_TRUE(RecordPerSongItem(window_)->isChecked());
    // The Song Recording window's shortest whole song makes the 7.7 s of "B - Two" whole.
    SongRecordingItem(window_)->trigger();
    auto* rules = window_->findChild<QDialog*>("SongRecordingWindow");
    ASSERT_NE(rules, nullptr);
    rules->findChild<QSpinBox*>("SongMinimum")->setValue(5);
    rules->findChild<QPushButton*>("SongOk")->click();
    PlayStation(server, "Song FM", {{0, "A - One"}, {30, "B - Two"}, {60, "C - Three"}});
    ASSERT_TRUE(WaitFor([&] { return title_->text() == "A - One"; }, 5s));
    Click(Record());
    ASSERT_TRUE(Recording());
    ASSERT_TRUE(WaitFor([&] { return title_->text() == "C - Three"; }, 20s));
    Click(Record());
    EXPECT_FALSE(Recording());
    const QString folder = Documents() + "/Velmora Recordings/Song FM/";
    const QString incomplete = folder + "incomplete/";
    const QStringList expected = {"A - One.mp3", "C - Three.mp3"};
    EXPECT_TRUE(WaitFor([&] { return QDir(incomplete).entryList(QDir::Files) == expected; }, 5s))
        << QDir(incomplete).entryList(QDir::Files).join('|').toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"B - Two.mp3"});
    for (const QString& name :
         {incomplete + expected[0], folder + "B - Two.mp3", incomplete + expected[1]}) {
        const std::string path = QFile::encodeName(name).toStdString();
        EXPECT_EQ(DecodeFile(path).errors, 0) << path;
    }
    TagLib::MPEG::File tagged(QFile::encodeName(folder + "B - Two.mp3").constData());
    ASSERT_NE(tagged.ID3v2Tag(), nullptr);
    const TagLib::PropertyMap tags = tagged.ID3v2Tag()->properties();
    EXPECT_EQ(tags["ARTIST"].toString().to8Bit(true), "B");
    EXPECT_EQ(tags["ALBUM"].toString().to8Bit(true), "Song FM");
    EXPECT_TRUE(answers_.errors.isEmpty()) << answers_.errors.join("|").toStdString();
}

// Failures of a recording leave it on without a file until it is ended: a recordings folder
// that cannot be created, a file that cannot be created, and a full disk found while writing,
// which is told on the window's thread. A separator leaves a recording alone; Play ends it.
TEST_F(RecordingWindowTest, FailuresKeepTheRecordingOnWithoutAFile) {
    StreamServer server;
    PlayStation(server, "Fail FM", {{0, "Tune"}});
    ASSERT_TRUE(WaitFor([&] { return title_->text() == "Tune"; }, 5s));
    QWidget* stop = StopButton(window_);

    // No documents folder: the recordings folder cannot be made in it.
    Click(Record());
    EXPECT_EQ(answers_.errors, QStringList{"Recording Error!"});
    EXPECT_TRUE(Recording());
    EXPECT_FALSE(QFileInfo::exists(Documents()));
    Click(stop);
    EXPECT_FALSE(Recording());
    EXPECT_TRUE(Playing());

    // Every name the file may get is taken by a folder.
    const QString station_folder = Documents() + "/Velmora Recordings/Fail FM";
    ASSERT_TRUE(QDir().mkpath(station_folder));
    QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 3; ++s) {
        QDir(station_folder).mkdir(RecordingFileName(now.addSecs(s), "Tune", "Fail FM"));
    }
    answers_.errors.clear();
    Click(Record());
    ASSERT_EQ(answers_.errors.size(), 1);
    EXPECT_TRUE(answers_.errors[0].contains(station_folder + "/"))
        << answers_.errors[0].toStdString();
    EXPECT_TRUE(answers_.errors[0].contains(" - Tune.mp3"));
    EXPECT_TRUE(Recording());
    Click(stop);
    EXPECT_FALSE(Recording());
    QDir(station_folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(station_folder));

    // Every name the file may get leads to a device that is always full.
    if (QFile::exists("/dev/full")) {
        now = QDateTime::currentDateTime();
        for (int s = 0; s < 3; ++s) {
            QFile::link("/dev/full", station_folder + "/" +
                                         RecordingFileName(now.addSecs(s), "Tune", "Fail FM"));
        }
        answers_.errors.clear();
        ThreadCheckingDialogs checking(answers_);
        SetDialogs(&checking);
        Click(Record());
        ASSERT_TRUE(WaitFor([&] { return !answers_.errors.isEmpty(); }, 3s));
        SetDialogs(&answers_);
        EXPECT_EQ(checking.off_thread, 0);
        EXPECT_TRUE(answers_.errors[0].startsWith("The file \"" + station_folder))
            << answers_.errors[0].toStdString();
        EXPECT_TRUE(answers_.errors[0].contains("could not be written"));
        ASSERT_TRUE(WaitForMoreAudio(server, "/live", 16000));
        EXPECT_EQ(answers_.errors.size(), 1);  // told once, not per block
        EXPECT_TRUE(Recording());
        Click(stop);
        EXPECT_FALSE(Recording());
        QDir(station_folder).removeRecursively();
    }

    // A separator row is no choice; choosing the station again ends the recording, and so does
    // Play, each before opening again.
    Channels()->ReplaceAll({{"Fail FM", QString::fromStdString(server.Url("/live")), {}, {}},
                            ChannelEntry::Separator()});
    answers_.errors.clear();
    Click(Record());
    ASSERT_TRUE(Recording());
    ClickChannel(1);
    EXPECT_TRUE(Recording());
    EXPECT_TRUE(Playing());
    ClickChannel(0);
    EXPECT_FALSE(Recording());
    ASSERT_TRUE(WaitFor([&] { return Playing() && !StartWatch(window_)->isActive(); }, 8s));
    Click(Record());
    ASSERT_TRUE(Recording());
    Click(PlayButton(window_));
    EXPECT_FALSE(Recording());
    EXPECT_TRUE(answers_.errors.isEmpty()) << answers_.errors.join("|").toStdString();

    // Without a recording, Stop stops the music.
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 8s));
    Click(stop);
    EXPECT_FALSE(Playing());
}

// A station played by its address alone, in no list row, can be recorded too.
TEST_F(RecordingWindowTest, StationByItsAddressCanBeRecorded) {
    StreamServer server;
    StreamRoute route;
    route.audio = Mp3(10.0);
    route.loop = true;
    route.bytes_per_second = 32000;
    route.burst_bytes = 32768;
    server.AddStream("/address", route);
    window_->PlayStation(QString::fromStdString(server.Url("/address")), "Address FM");
    ASSERT_TRUE(WaitFor([&] { return Playing() && Record()->isVisible(); }, 8s));
    EXPECT_FALSE(CannotRecordPicture(window_)->isVisible());
}

}  // namespace
}  // namespace velmora::test

#include "recording_window_test.moc"
