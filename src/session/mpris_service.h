// SPDX-License-Identifier: GPL-3.0-or-later
// The player's remote control on the session bus: desktop media keys and panel widgets find it
// as org.mpris.MediaPlayer2.velmora. It knows the window only through MprisPlayer, a handful of
// callbacks, and looks at what the window shows when told that something changed.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

class QTimer;

namespace velmora {

inline constexpr const char* kMprisServiceName = "org.mpris.MediaPlayer2.velmora";
inline constexpr const char* kMprisObjectPath = "/org/mpris/MediaPlayer2";
inline constexpr int kMprisWatchIntervalMs = 1000;

// What the remote control shows of the player.
struct MprisNowPlaying {
    bool playing = false;    // a station is being opened or played (or is paused)
    bool paused = false;     // it is paused and goes on downloading
    bool can_seek = false;   // it has buffered sound to move in
    qlonglong position = 0;  // microseconds from the oldest buffered sound to what is heard
    QString station;
    QString title;   // the stream title as sent
    int volume = 0;  // slider position, 0..100
};

// What the remote control may ask of the player, on the user-interface thread.
struct MprisPlayer {
    std::function<MprisNowPlaying()> now_playing;
    std::function<void()> play;   // the current choice
    std::function<void()> stop;   // sound and recording
    std::function<bool()> pause;  // false when the station cannot pause
    std::function<void()> resume;
    std::function<void(int seconds)> seek;  // within the buffer
    std::function<void(int step)> skip;     // +1 the next station, -1 the one before
    std::function<void(int)> set_volume;    // slider position
    std::function<void()> raise;            // bring the window to the front
    std::function<void()> quit;             // the window's normal close
};

class MprisService final : public QObject {
    Q_OBJECT
  public:
    explicit MprisService(MprisPlayer player, QObject* parent = nullptr);
    ~MprisService() override;

    // Exports the service on `bus`: under the usual name, or a per-process one when another
    // player holds it. False, with nothing exported, when the bus cannot be used.
    bool Register(QDBusConnection bus);
    // The bus name taken; empty before a successful Register().
    QString ServiceName() const { return service_name_; }
    // Something the window shows may have changed; looked at once the current event is handled.
    void Changed();
    // How often a playing player is looked at for a stream that ended by itself.
    void SetWatchInterval(int ms);

    // --- for the bus interfaces
    // Brings the published state up to date, announcing what changed.
    void Publish();
    QString PlaybackStatus();
    QVariantMap Metadata();
    double Volume();
    void SetVolume(double volume);
    bool Playing();
    bool Paused();
    bool CanSeek();
    qlonglong Position();
    // Runs `action` once the bus call has been answered, so that nothing the player does (a box
    // at close, say) can hold up the caller.
    void Later(std::function<void()> action);
    const MprisPlayer& Player() const { return player_; }

  private:
    struct Published {
        bool playing = false;
        bool paused = false;
        bool can_seek = false;
        QVariantMap metadata;
        double volume = 0;
        QString station, title;
    };
    Published Read() const;
    void Announce(const QVariantMap& changed);

    MprisPlayer player_;
    std::optional<QDBusConnection> bus_;
    QString service_name_;
    std::optional<Published> published_;
    unsigned track_number_ = 0;
    QTimer* compare_ = nullptr;  // the pending look after Changed()
    QTimer* watch_ = nullptr;    // runs only while playing
};

// org.mpris.MediaPlayer2: who the player is; Raise and Quit.
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
  public:
    explicit MprisRootAdaptor(MprisService* service);
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Velmora"); }
    QString DesktopEntry() const { return QStringLiteral("velmora"); }
    // Addresses cannot be opened from outside.
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

  public slots:
    void Raise();
    void Quit();

  private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: transport, volume and what is playing. A station pauses into its
// time-shift buffer and seeks within it; one without a buffer stops on Pause and cannot seek.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanControl)
    Q_PROPERTY(bool CanGoPrevious READ CanControl)
    Q_PROPERTY(bool CanPlay READ CanControl)
    Q_PROPERTY(bool CanPause READ CanControl)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
  public:
    explicit MprisPlayerAdaptor(MprisService* service);
    QString PlaybackStatus() const { return service_->PlaybackStatus(); }
    double Rate() const { return 1.0; }
    QVariantMap Metadata() const { return service_->Metadata(); }
    double Volume() const { return service_->Volume(); }
    void SetVolume(double volume) { service_->SetVolume(volume); }
    qlonglong Position() const { return service_->Position(); }
    bool CanSeek() const { return service_->CanSeek(); }
    bool CanControl() const { return true; }

  public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void OpenUri(const QString& uri);

  signals:
    void Seeked(qlonglong position);

  private:
    MprisService* service_;
};

}  // namespace velmora
