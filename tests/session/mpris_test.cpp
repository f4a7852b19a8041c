// SPDX-License-Identifier: GPL-3.0-or-later
// The media-key service: its rules as plain functions, then the real window driven through a
// private session bus started by the test, with a loopback station and the real engine.
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QPointer>
#include <QSlider>
#include <climits>
#include <cmath>

#include "channels/directory.h"
#include "session/mpris_rules.h"
#include "session/mpris_service.h"
#include "support/session_bus.h"
#include "support/stream_server.h"
#include "support/window_fixture.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

// Titles split into artist and title only where both sides hold something.
TEST(MprisRules, SplitsStreamTitles) {
    struct Row {
        const char* in;
        const char* artist;
        const char* title;
    };
    const Row rows[] = {
        {"Artist - Song", "Artist", "Song"}, {"  Artist  -  Song  ", "Artist", "Song"},
        {"A - B - C", "A", "B - C"},         {"Song only", "", "Song only"},
        {"Artist-Song", "", "Artist-Song"},  {" - Song", "", "- Song"},
        {"Artist - ", "", "Artist -"},       {"Кино - Группа крови", "Кино", "Группа крови"},
    };
    for (const Row& r : rows) {
        const TitleParts parts = SplitStreamTitle(QString::fromUtf8(r.in));
        EXPECT_EQ(parts.artist, QString::fromUtf8(r.artist)) << r.in;
        EXPECT_EQ(parts.title, QString::fromUtf8(r.title)) << r.in;
    }
}

// Nothing shown is "no track"; a station without a title is named as title too.
TEST(MprisRules, StatusAndSeekSeconds) {
    EXPECT_EQ(MprisPlaybackStatus(false, false), "Stopped");
    EXPECT_EQ(MprisPlaybackStatus(true, false), "Playing");
    EXPECT_EQ(MprisPlaybackStatus(true, true), "Paused");
    const std::pair<qlonglong, int> seeks[] = {
        {0, 0},         {499999, 0},    {500000, 1},        {10000000, 10},      {-10000000, -10},
        {-1500000, -2}, {-1499999, -1}, {LLONG_MAX, 86400}, {LLONG_MIN, -86400},
    };
    for (const auto& [offset, seconds] : seeks) EXPECT_EQ(SeekSeconds(offset), seconds) << offset;
}

TEST(MprisRules, MetadataAndVolumeAndStationSteps) {
    const QVariantMap none = NowPlayingMetadata("", " ", "/t/1");
    EXPECT_EQ(none.keys(), QStringList{"mpris:trackid"});
    EXPECT_EQ(none["mpris:trackid"].value<QDBusObjectPath>().path(), kNoTrackPath);

    const QVariantMap station_only = NowPlayingMetadata("Loopback FM", "", "/t/2");
    EXPECT_EQ(station_only["xesam:album"].toString(), "Loopback FM");
    EXPECT_EQ(station_only["xesam:title"].toString(), "Loopback FM");
    EXPECT_FALSE(station_only.contains("xesam:artist"));
    // The panel gets one bounded line per field, whatever the station sends.
    const QVariantMap hostile =
        NowPlayingMetadata("FM\r\n", "Band\x1b - " + QString(10000, 'x'), "/t/3");
    EXPECT_EQ(hostile["xesam:album"].toString(), "FM");
    EXPECT_EQ(hostile["xesam:artist"].toStringList(), QStringList{"Band"});
    EXPECT_EQ(hostile["xesam:title"].toString().size(), 300 - 8);  // after "Band  - "

    const std::pair<double, int> volumes[] = {{0.555, 56}, {1.7, 100}, {-0.2, 0}};
    for (const auto& [volume, position] : volumes) {
        EXPECT_EQ(SliderPositionForVolume(volume), position) << volume;
    }
    EXPECT_FALSE(SliderPositionForVolume(std::nan("")));

    // Every station row reaches the next station row of the table, and back, headers skipped.
    std::vector<int> stations;
    for (int row = 0; row < kDirectoryRowCount; ++row) {
        if (IsDirectoryStationRow(row)) stations.push_back(row);
    }
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const int next = stations[(i + 1) % stations.size()];
        EXPECT_EQ(AdjacentStationRow(stations[i], +1), next) << stations[i];
        EXPECT_EQ(AdjacentStationRow(next, -1), stations[i]) << next;
    }
    EXPECT_EQ(AdjacentStationRow(0, +1), stations.front());  // on a header row
    EXPECT_EQ(AdjacentStationRow(-1, -1), stations.back());  // no row at all
}

// Receives PropertiesChanged of the player interface.
class ChangeWatch final : public QObject {
    Q_OBJECT
  public:
    QList<QVariantMap> changes;
    bool Saw(const QString& name, const QVariant& value) const {
        for (const QVariantMap& c : changes) {
            if (c.contains(name) && c[name] == value) return true;
        }
        return false;
    }
  public slots:
    void Changed(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface == "org.mpris.MediaPlayer2.Player") changes << changed;
    }
};

class MprisWindowTest : public WindowTest {
  protected:
    static void SetUpTestSuite() {
        bus_ = new PrivateSessionBus;
        address_ = bus_->Address();
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus("mpris_test_client");
        delete bus_;
        bus_ = nullptr;
    }

    void SetUp() override {
        WindowTest::SetUp();
        service_ = window_->findChild<MprisService*>();
        ASSERT_NE(service_, nullptr);
        ASSERT_EQ(service_->ServiceName(), kMprisServiceName);
        service_->SetWatchInterval(50);
        ASSERT_TRUE(client_.isConnected());
        ASSERT_TRUE(client_.connect(kMprisServiceName, kMprisObjectPath,
                                    "org.freedesktop.DBus.Properties", "PropertiesChanged", &watch_,
                                    SLOT(Changed(QString, QVariantMap, QStringList))));
    }

    // One call through the bus, the window's event loop running meanwhile.
    QDBusMessage Call(const QString& interface, const QString& method, QVariantList args = {}) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(kMprisServiceName, kMprisObjectPath, interface, method);
        m.setArguments(args);
        QDBusPendingCall pending = client_.asyncCall(m, 5000);
        EXPECT_TRUE(WaitFor([&] { return pending.isFinished(); }, 6s)) << method.toStdString();
        EXPECT_FALSE(pending.isError()) << pending.error().message().toStdString();
        return pending.reply();
    }
    QDBusMessage Player(const QString& method) {
        return Call("org.mpris.MediaPlayer2.Player", method);
    }
    QVariant Property(const QString& name) {
        const QDBusMessage reply =
            Call("org.freedesktop.DBus.Properties", "Get", {"org.mpris.MediaPlayer2.Player", name});
        if (reply.arguments().isEmpty()) return {};
        return reply.arguments()[0].value<QDBusVariant>().variant();
    }
    void SetVolume(double volume) {
        Call(
            "org.freedesktop.DBus.Properties", "Set",
            {"org.mpris.MediaPlayer2.Player", "Volume", QVariant::fromValue(QDBusVariant(volume))});
    }
    bool StatusIs(const char* status) {
        return WaitFor([&] { return Property("PlaybackStatus").toString() == status; }, 8s);
    }
    QVariantMap Metadata() { return qdbus_cast<QVariantMap>(Property("Metadata")); }

    static inline PrivateSessionBus* bus_ = nullptr;
    static inline QByteArray address_;
    QDBusConnection client_ = QDBusConnection::connectToBus(QString(address_), "mpris_test_client");
    ChangeWatch watch_;
    MprisService* service_ = nullptr;
};

// PlayPause pauses the playing station and resumes it; Play while playing does not reconnect;
// Pause pauses and Stop stops; status and metadata are announced as they change, and
// a stream that ends by itself reads as stopped.
TEST_F(MprisWindowTest, TransportStatusAndMetadata) {
    StreamServer server;
    server.AddStream("/live", NamedStation(10.0, true));
    PlayUserChannel(server.Url("/live"));
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 8s));
    ASSERT_TRUE(StatusIs("Playing"));
    ASSERT_TRUE(WaitFor([&] { return Metadata().value("xesam:title") == "First Song"; }, 5s));
    QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata["xesam:album"].toString(), "Loopback FM");
    EXPECT_EQ(metadata["xesam:artist"].toStringList(), QStringList{"Loopback Band"});
    EXPECT_NE(metadata["mpris:trackid"].value<QDBusObjectPath>().path(), kNoTrackPath);
    EXPECT_TRUE(watch_.Saw("PlaybackStatus", "Playing"));
    EXPECT_TRUE(std::any_of(watch_.changes.begin(), watch_.changes.end(),
                            [](const QVariantMap& c) { return c.contains("Metadata"); }));

    Player("Play");
    ASSERT_TRUE(WaitForMoreAudio(server, "/live", 16000));
    EXPECT_EQ(server.ConnectionsTo("/live").size(), 1u) << "Play restarted a playing station";
    EXPECT_TRUE(Playing());

    // The window's Stop only ends a recording; a paused player must be silent as well.
    auto* record = RecordButton(window_);
    ASSERT_TRUE(WaitFor([&] { return record->isVisible(); }, 5s));
    Click(record);
    ASSERT_TRUE(Recording());

    // PlayPause and Pause pause: the sound stops, the download and the recording go on, and
    // PlayPause or Play resume on the same connection, with the same title.
    for (const auto& [pause, resume] : {std::pair{"PlayPause", "PlayPause"}, {"Pause", "Play"}}) {
        Player(pause);
        EXPECT_TRUE(StatusIs("Paused")) << pause;
        EXPECT_TRUE(WaitFor([&] { return watch_.Saw("PlaybackStatus", "Paused"); }, 2s));
        EXPECT_FALSE(Playing()) << pause;
        EXPECT_TRUE(Recording()) << pause;
        EXPECT_EQ(Property("CanPause").toBool(), true);
        EXPECT_TRUE(WaitForMoreAudio(server, "/live", 16000)) << "the download stopped";
        EXPECT_TRUE(Property("CanSeek").toBool());
        if (std::string(pause) == "PlayPause") {
            // Seeking moves within what was buffered, back to its start at most.
            const qlonglong at = Property("Position").toLongLong();
            EXPECT_GT(at, 0);
            Call("org.mpris.MediaPlayer2.Player", "Seek",
                 {QVariant::fromValue(qlonglong{-60000000})});
            EXPECT_TRUE(WaitFor([&] { return Property("Position").toLongLong() < at; }, 2s)) << at;
        }
        Player(resume);
        EXPECT_TRUE(WaitFor([&] { return Playing(); }, 8s)) << resume;
        EXPECT_TRUE(StatusIs("Playing")) << resume;
        EXPECT_EQ(Metadata().value("xesam:title"), "First Song");
    }
    EXPECT_EQ(server.ConnectionsTo("/live").size(), 1u);
    Player("Stop");
    EXPECT_TRUE(WaitFor([&] { return !Playing(); }, 3s));
    EXPECT_FALSE(Recording());
    EXPECT_TRUE(StatusIs("Stopped"));
    EXPECT_TRUE(WaitFor([&] { return watch_.Saw("PlaybackStatus", "Stopped"); }, 2s));
    EXPECT_EQ(Metadata().value("xesam:album").toString(), "Loopback FM");
    Player("PlayPause");
    EXPECT_TRUE(WaitFor([&] { return Playing(); }, 8s));
    EXPECT_TRUE(StatusIs("Playing"));
    EXPECT_EQ(server.ConnectionsTo("/live").size(), 2u);

    // A short station that the server ends for good: with reconnecting off, its end is final.
    engine::SetConfig(engine::Config::NetReconnect, 0);
    server.AddStream("/short", NamedStation(3.0, false));
    PlayUserChannel(server.Url("/short"), "Short");
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 8s));
    watch_.changes.clear();
    // Announced unasked: panels do not poll.
    EXPECT_TRUE(WaitFor([&] { return watch_.Saw("PlaybackStatus", "Stopped"); }, 8s))
        << "a finished stream still reads as playing";
    engine::SetConfig(engine::Config::NetReconnect, 600000);
}

// Next and Previous walk the directory's station rows, header rows skipped, when what plays came
// from the directory.
TEST_F(MprisWindowTest, NextAndPreviousSkipHeaderRows) {
    auto* combo = DirectoryCombo(window_);
    combo->setCurrentIndex(11);

    struct Step {
        const char* method;
        int row;
    };
    const Step steps[] = {{"Next", 13}, {"Previous", 11}, {"Previous", 10}};
    for (const Step& s : steps) {
        Player(s.method);
        EXPECT_TRUE(WaitFor([&] { return combo->currentIndex() == s.row; }, 3s))
            << s.method << " gave " << combo->currentIndex() << ", not " << s.row;
        EXPECT_EQ(window_->Channels()->SelectedRow(), -1);
    }
    Player("Stop");
}

// The bus volume and the slider are one value both ways; Quit closes the window normally, so the
// settings are saved.
TEST_F(MprisWindowTest, VolumeFollowsTheSliderAndQuitSaves) {
    auto* slider = VolumeSlider(window_);
    const std::pair<double, int> sets[] = {{0.3, 30}, {1.7, 100}, {-1.0, 0}};
    for (const auto& [volume, position] : sets) {
        SetVolume(volume);
        EXPECT_TRUE(WaitFor([&] { return slider->value() == position; }, 2s)) << volume;
    }
    EXPECT_TRUE(UnmuteButton(window_)->isVisible());

    slider->setValue(55);
    EXPECT_DOUBLE_EQ(Property("Volume").toDouble(), 0.55);
    EXPECT_TRUE(WaitFor([&] { return watch_.Saw("Volume", 0.55); }, 2s));

    const QPointer<MainWindow> form = window_;
    Call("org.mpris.MediaPlayer2", "Quit");
    ASSERT_TRUE(WaitUntilWindowGone(form));
    const QByteArray settings = ReadBytes(home_.SettingsFile());
    EXPECT_TRUE(settings.contains("Volume=55")) << settings.toStdString();
}

// A second player takes a name of its own instead of going without media keys.
TEST_F(MprisWindowTest, SecondPlayerGetsItsOwnName) {
    QDBusConnection other = QDBusConnection::connectToBus(QString(address_), "mpris_test_other");
    {
        MprisService second({[] { return MprisNowPlaying{}; }, {}, {}, {}, {}, {}, {}, {}, {}, {}});
        ASSERT_TRUE(second.Register(other));
        EXPECT_EQ(second.ServiceName(), QString("%1.instance%2")
                                            .arg(kMprisServiceName)
                                            .arg(QCoreApplication::applicationPid()));
    }
    QDBusConnection::disconnectFromBus("mpris_test_other");
}

}  // namespace
}  // namespace velmora::test

#include "mpris_test.moc"
