// SPDX-License-Identifier: GPL-3.0-or-later
// A desktop notification for each new stream title, through org.freedesktop.Notifications on the
// session bus: the station as summary, the title as body, the program's icon. Each notification
// replaces the one before instead of piling up. Every call is asynchronous, so a missing or hung
// notification service never holds up the window.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

namespace velmora {

inline constexpr const char* kNotificationsService = "org.freedesktop.Notifications";
inline constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";
// The icon name the desktop file and the installed icons use.
inline constexpr const char* kProgramIconName = "velmora";

// What decides whether a title is worth a notification.
struct TitleNotice {
    bool enabled = false;        // the user's on/off item
    bool window_active = false;  // the user is looking at the window already
    QString station;
    QString title;
    // The station and title of the last notification shown.
    QString last_station;
    QString last_title;
};

// True when `notice` should be shown: switched on, the window not active, a title that is not
// blank, and not the title last shown for the same station.
bool ShouldNotify(const TitleNotice& notice);

// A body text as the server shows it: servers that read markup get "&", "<" and ">" escaped.
QString NotificationBody(const QString& title, bool server_reads_markup);

class TitleNotifier final : public QObject {
    Q_OBJECT
  public:
    explicit TitleNotifier(QDBusConnection bus, QObject* parent = nullptr);

    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }

    // A new title was shown for `station`; notifies when ShouldNotify says so.
    void TitleShown(const QString& station, const QString& title, bool window_active);

  private:
    struct Pending {
        QString station, title;
    };
    void Send(const Pending& notice);
    void AskCapabilities();

    QDBusConnection bus_;
    bool enabled_ = true;
    QString last_station_, last_title_;
    // The id the server gave the last notification; 0 before the first.
    uint last_id_ = 0;
    bool in_flight_ = false;
    // The newest notice that came while a call was unanswered; sent once it is.
    std::optional<Pending> queued_;
    bool asked_capabilities_ = false;
    bool reads_markup_ = false;
};

}  // namespace velmora
