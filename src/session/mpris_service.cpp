// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/mpris_service.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

#include "session/mpris_rules.h"

namespace velmora {
namespace {

constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

QString TrackPath(unsigned number) {
    return QStringLiteral("/org/velmora/Velmora/Track/%1").arg(number);
}

}  // namespace

MprisService::MprisService(MprisPlayer player, QObject* parent)
    : QObject(parent), player_(std::move(player)) {
    compare_ = new QTimer(this);
    compare_->setSingleShot(true);
    compare_->setInterval(0);
    connect(compare_, &QTimer::timeout, this, &MprisService::Publish);
    watch_ = new QTimer(this);
    watch_->setInterval(kMprisWatchIntervalMs);
    connect(watch_, &QTimer::timeout, this, &MprisService::Publish);
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
}

MprisService::~MprisService() {
    if (!bus_) return;
    bus_->unregisterObject(kMprisObjectPath);
    bus_->unregisterService(service_name_);
}

bool MprisService::Register(QDBusConnection bus) {
    if (bus_ || !bus.isConnected()) return false;
    if (!bus.registerObject(kMprisObjectPath, this, QDBusConnection::ExportAdaptors)) return false;
    // A second player running at the same time takes a name of its own, as media keys expect.
    QString name = kMprisServiceName;
    if (!bus.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            bus.unregisterObject(kMprisObjectPath);
            return false;
        }
    }
    bus_ = bus;
    service_name_ = name;
    published_.reset();
    Publish();
    return true;
}

void MprisService::Changed() {
    if (bus_ && !compare_->isActive()) compare_->start();
}

void MprisService::SetWatchInterval(int ms) {
    watch_->setInterval(ms);
}

MprisService::Published MprisService::Read() const {
    const MprisNowPlaying now = player_.now_playing();
    Published p;
    p.playing = now.playing;
    p.paused = now.paused;
    p.can_seek = now.can_seek;
    p.volume = now.volume / 100.0;
    p.station = now.station;
    p.title = now.title;
    return p;
}

void MprisService::Publish() {
    if (!bus_) return;
    Published now = Read();
    const bool first = !published_;
    const bool same_track =
        !first && now.station == published_->station && now.title == published_->title;
    if (!same_track) ++track_number_;
    now.metadata = same_track
                       ? published_->metadata
                       : NowPlayingMetadata(now.station, now.title, TrackPath(track_number_));

    QVariantMap changed;
    if (first || now.playing != published_->playing || now.paused != published_->paused) {
        changed.insert("PlaybackStatus", MprisPlaybackStatus(now.playing, now.paused));
    }
    if (first || now.can_seek != published_->can_seek) changed.insert("CanSeek", now.can_seek);
    if (!same_track) changed.insert("Metadata", now.metadata);
    if (first || now.volume != published_->volume) changed.insert("Volume", now.volume);
    published_ = std::move(now);
    // A stream that ends or fails by itself says so to nobody: look again while playing only.
    if (published_->playing && !watch_->isActive()) watch_->start();
    if (!published_->playing) watch_->stop();
    if (!first && !changed.isEmpty()) Announce(changed);
}

void MprisService::Announce(const QVariantMap& changed) {
    QDBusMessage signal = QDBusMessage::createSignal(
        kMprisObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << QString(kPlayerInterface) << changed << QStringList();
    bus_->send(signal);
}

bool MprisService::Playing() {
    Publish();
    return published_ && published_->playing;
}

bool MprisService::Paused() {
    Publish();
    return published_ && published_->paused;
}

bool MprisService::CanSeek() {
    Publish();
    return published_ && published_->can_seek;
}

// Not published: it changes all the time while playing, which players ask for, not follow.
qlonglong MprisService::Position() {
    return player_.now_playing().position;
}

QString MprisService::PlaybackStatus() {
    Publish();
    return published_ ? MprisPlaybackStatus(published_->playing, published_->paused)
                      : QStringLiteral("Stopped");
}

QVariantMap MprisService::Metadata() {
    Publish();
    return published_ ? published_->metadata : QVariantMap{};
}

double MprisService::Volume() {
    Publish();
    return published_ ? published_->volume : 0.0;
}

void MprisService::SetVolume(double volume) {
    if (const std::optional<int> position = SliderPositionForVolume(volume)) {
        player_.set_volume(*position);
    }
}

void MprisService::Later(std::function<void()> action) {
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

// --- org.mpris.MediaPlayer2

MprisRootAdaptor::MprisRootAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

void MprisRootAdaptor::Raise() {
    service_->Later(service_->Player().raise);
}

void MprisRootAdaptor::Quit() {
    service_->Later(service_->Player().quit);
}

// --- org.mpris.MediaPlayer2.Player

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

void MprisPlayerAdaptor::Next() {
    service_->Later([s = service_] { s->Player().skip(+1); });
}

void MprisPlayerAdaptor::Previous() {
    service_->Later([s = service_] { s->Player().skip(-1); });
}

// A station without a time-shift buffer cannot pause: it stops, as a paused radio is silent.
void MprisPlayerAdaptor::Pause() {
    service_->Later([s = service_] {
        if (s->Paused() || !s->Playing()) return;
        if (!s->Player().pause()) s->Player().stop();
    });
}

void MprisPlayerAdaptor::Stop() {
    service_->Later(service_->Player().stop);
}

// Decided when it runs: a second press queued behind the first sees the state the first left.
void MprisPlayerAdaptor::PlayPause() {
    service_->Later([s = service_] {
        if (s->Paused()) {
            s->Player().resume();
        } else if (s->Playing()) {
            if (!s->Player().pause()) s->Player().stop();
        } else {
            s->Player().play();
        }
    });
}

// Playing again would restart the station; a playing player is left alone, a paused one resumes.
void MprisPlayerAdaptor::Play() {
    service_->Later([s = service_] {
        if (s->Paused()) {
            s->Player().resume();
        } else if (!s->Playing()) {
            s->Player().play();
        }
    });
}

// Within the time-shift buffer; the live edge is its end.
void MprisPlayerAdaptor::Seek(qlonglong offset) {
    service_->Later([this, offset] {
        if (!service_->CanSeek()) return;
        service_->Player().seek(SeekSeconds(offset));
        emit Seeked(service_->Position());
    });
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath&, qlonglong position) {
    service_->Later([this, position] {
        if (!service_->CanSeek() || position < 0) return;
        service_->Player().seek(SeekSeconds(position - service_->Position()));
        emit Seeked(service_->Position());
    });
}
void MprisPlayerAdaptor::OpenUri(const QString&) {}

}  // namespace velmora
