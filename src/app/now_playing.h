// SPDX-License-Identifier: GPL-3.0-or-later
// What the window knows about the station being played: which station was chosen and from where,
// the station line, bit rate line and title as shown, the phase of its playback and whether it can
// be recorded. The labels, the automatic replay, the recorder and the media keys read this object;
// anything added later (tray, notifications, history) listens to its signals.
#pragma once

#include <QObject>
#include <QString>

namespace velmora {

// Where the played station was chosen.
enum class StationSource {
    None,       // nothing chosen yet
    Directory,  // a row of the built-in directory
    UserList,   // a row of the user's own list
    Address,    // an address given on the command line or by a second start
};

struct StationChoice {
    StationSource source = StationSource::None;
    int row = -1;  // the directory's or the user's list's row; -1 for an address
    QString name;  // the channel's own name as listed (or given)
    QString url;   // the playlist address of a user-list or address choice; empty for the directory
    bool FromUserList() const { return source == StationSource::UserList; }
    // Played as a user channel: its own address, not a directory row.
    bool UserChannel() const {
        return source == StationSource::UserList || source == StationSource::Address;
    }
};

class NowPlaying final : public QObject {
    Q_OBJECT
  public:
    enum class Phase {
        Stopped,  // nothing plays: before the first Play, after Stop or an abandoned opening
        Opening,  // connecting and buffering
        Playing,  // the stream sounds
        Failed,   // the opening failed; the station line says so
    };

    explicit NowPlaying(QObject* parent = nullptr);

    const StationChoice& Choice() const { return choice_; }
    Phase State() const { return phase_; }
    bool IsPlaying() const { return phase_ == Phase::Playing; }
    QString StationText() const { return station_text_; }
    QString RateText() const { return rate_text_; }
    QString Title() const { return title_; }
    bool Recordable() const { return recordable_; }
    // The station's name: the one its server sent, else the channel's own.
    QString StationName() const {
        return server_station_.isEmpty() ? channel_name_ : server_station_;
    }
    // The played channel's own name; empty before the first Play.
    QString ChannelName() const { return channel_name_; }
    // True once the server has sent a non-empty station name for this playback.
    bool StationNamed() const { return !server_station_.isEmpty(); }

    // The station to play next; what shows stays until an opening starts.
    void Choose(const StationChoice& choice);
    // An opening of the chosen station has been started: its names start afresh.
    void BeginPlayback();
    // The steps of a playback, as the player reports them.
    void SetOpening(const QString& station_text);
    void SetBuffering(const QString& station_text);
    void SetServerStation(const QString& name);
    void SetRateText(const QString& text);
    void SetTitle(const QString& title);
    void SetStalled(bool stalled, const QString& reconnecting_text);
    void SetPlaying();
    void SetFailed(const QString& station_text);
    // The stream ended or was stopped; the lines keep what they show.
    void SetStopped();
    // Nothing plays: `station_text` replaces the station line, the title and rate lines clear.
    void ShowNothingPlaying(const QString& station_text);
    // Once-per-start fixes and other texts the window decides.
    void SetStationText(const QString& text);
    void SetRecordable(bool recordable);

  signals:
    void stationTextChanged(const QString& text);
    void rateTextChanged(const QString& text);
    void titleChanged(const QString& title);
    void phaseChanged(velmora::NowPlaying::Phase phase);
    void recordableChanged(bool recordable);
    void choiceChanged();
    // After any of the above.
    void changed();

  private:
    void SetPhase(Phase phase);

    StationChoice choice_;
    Phase phase_ = Phase::Stopped;
    QString station_text_;
    QString rate_text_;
    QString title_;
    bool recordable_ = false;
    QString channel_name_;
    QString server_station_;
    // What the rate line showed before "Reconnecting...", shown again once the stream flows.
    QString rate_before_reconnect_;
    bool reconnecting_ = false;
};

}  // namespace velmora
