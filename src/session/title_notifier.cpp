// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/title_notifier.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "desktop/shown_text.h"

namespace velmora {

namespace {
constexpr const char* kNotificationsInterface = "org.freedesktop.Notifications";
// How long a call may go unanswered before the next title is sent without waiting for it.
constexpr int kCallTimeoutMs = 5000;
}  // namespace

bool ShouldNotify(const TitleNotice& n) {
    if (!n.enabled || n.window_active || n.title.trimmed().isEmpty()) return false;
    return n.title != n.last_title || n.station != n.last_station;
}

QString NotificationBody(const QString& title, bool server_reads_markup) {
    const QString shown = ShownText(title);
    return server_reads_markup ? shown.toHtmlEscaped() : shown;
}

TitleNotifier::TitleNotifier(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

void TitleNotifier::TitleShown(const QString& station, const QString& title, bool window_active) {
    const TitleNotice notice{enabled_, window_active, station, title, last_station_, last_title_};
    if (!ShouldNotify(notice)) return;
    last_station_ = station;
    last_title_ = title;
    if (!bus_.isConnected()) return;
    // One call at a time: the next one needs the id the server gives this one, so that it
    // replaces it. Only the newest waiting title is worth showing.
    if (in_flight_) {
        queued_ = Pending{station, title};
        return;
    }
    if (!asked_capabilities_) {
        queued_ = Pending{station, title};
        AskCapabilities();
        return;
    }
    Send({station, title});
}

// Whether the body is read as markup decides how a title holding "&" or "<" must be sent.
void TitleNotifier::AskCapabilities() {
    asked_capabilities_ = true;
    in_flight_ = true;
    const QDBusMessage m = QDBusMessage::createMethodCall(
        kNotificationsService, kNotificationsPath, kNotificationsInterface, "GetCapabilities");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(m, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isValid()) {
            reads_markup_ = reply.value().contains(QStringLiteral("body-markup"));
        } else {
            asked_capabilities_ = false;  // no service yet: ask again when one may have come
        }
        in_flight_ = false;
        if (!queued_) return;
        const Pending next = *queued_;
        queued_.reset();
        if (reply.isValid()) Send(next);
    });
}

void TitleNotifier::Send(const Pending& notice) {
    in_flight_ = true;
    QString app_name = QCoreApplication::applicationName();
    if (app_name.isEmpty()) app_name = QStringLiteral("Velmora");
    QDBusMessage m = QDBusMessage::createMethodCall(kNotificationsService, kNotificationsPath,
                                                    kNotificationsInterface, "Notify");
    // Lets the desktop file name the program in the notification's header and settings.
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QString::fromLatin1(kProgramIconName)}};
    m << app_name << last_id_ << QString::fromLatin1(kProgramIconName) << ShownText(notice.station)
      << NotificationBody(notice.title, reads_markup_) << QStringList() << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(m, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isValid()) last_id_ = reply.value();
        in_flight_ = false;
        if (!queued_) return;
        const Pending next = *queued_;
        queued_.reset();
        Send(next);
    });
}

}  // namespace velmora
