// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/now_playing.h"

namespace velmora {

NowPlaying::NowPlaying(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("NowPlaying"));
}

void NowPlaying::Choose(const StationChoice& choice) {
    choice_ = choice;
    emit choiceChanged();
    emit changed();
}

void NowPlaying::BeginPlayback() {
    channel_name_ = choice_.name;
    server_station_.clear();
    emit changed();
}

void NowPlaying::SetOpening(const QString& station_text) {
    reconnecting_ = false;
    rate_before_reconnect_.clear();
    SetPhase(Phase::Opening);
    SetStationText(station_text);
    SetRateText(QString());
    SetTitle(QString());
}

void NowPlaying::SetBuffering(const QString& station_text) {
    SetStationText(station_text);
}

void NowPlaying::SetServerStation(const QString& name) {
    if (!name.trimmed().isEmpty()) server_station_ = name.trimmed();
    SetStationText(name);
}

void NowPlaying::SetRateText(const QString& text) {
    if (rate_text_ == text) return;
    rate_text_ = text;
    emit rateTextChanged(text);
    emit changed();
}

void NowPlaying::SetTitle(const QString& title) {
    if (title_ == title) return;
    title_ = title;
    emit titleChanged(title);
    emit changed();
}

void NowPlaying::SetStalled(bool stalled, const QString& reconnecting_text) {
    if (stalled) {
        if (!reconnecting_) rate_before_reconnect_ = rate_text_;
        reconnecting_ = true;
        SetRateText(reconnecting_text);
    } else if (reconnecting_) {
        reconnecting_ = false;
        SetRateText(rate_before_reconnect_);
        rate_before_reconnect_.clear();
    }
}

void NowPlaying::SetPlaying() {
    SetPhase(Phase::Playing);
}

void NowPlaying::SetFailed(const QString& station_text) {
    SetPhase(Phase::Failed);
    SetStationText(station_text);
}

void NowPlaying::SetStopped() {
    SetPhase(Phase::Stopped);
}

void NowPlaying::ShowNothingPlaying(const QString& station_text) {
    SetPhase(Phase::Stopped);
    SetTitle(QString());
    SetStationText(station_text);
    SetRateText(QString());
}

void NowPlaying::SetStationText(const QString& text) {
    if (station_text_ == text) return;
    station_text_ = text;
    emit stationTextChanged(text);
    emit changed();
}

void NowPlaying::SetRecordable(bool recordable) {
    if (recordable_ == recordable) return;
    recordable_ = recordable;
    emit recordableChanged(recordable);
    emit changed();
}

void NowPlaying::SetPhase(Phase phase) {
    if (phase_ == phase) return;
    phase_ = phase;
    emit phaseChanged(phase);
    emit changed();
}

}  // namespace velmora
