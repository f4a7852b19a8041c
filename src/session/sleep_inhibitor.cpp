// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/sleep_inhibitor.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>
#include <utility>

namespace velmora {

namespace {
// The suspend flag, the same in the portal's and the session manager's flag words; the power
// management service knows only this kind.
constexpr uint kSuspendFlag = 4;
// What remains of the program's exit may not wait longer than this on a release.
constexpr int kExitReleaseTimeoutMs = 1000;
// How long a service may take to answer an inhibit request before the next one is asked; the
// program's end waits this long at most for a request on its way.
constexpr int kRequestTimeoutMs = 2000;
}  // namespace

std::optional<InhibitBackend> NextInhibitBackend(std::optional<InhibitBackend> failed) {
    if (!failed) return InhibitBackend::Portal;
    switch (*failed) {
        case InhibitBackend::Portal:
            return InhibitBackend::SessionManager;
        case InhibitBackend::SessionManager:
            return InhibitBackend::PowerManagement;
        case InhibitBackend::PowerManagement:
            return std::nullopt;
    }
    return std::nullopt;
}

QDBusMessage InhibitRequest(InhibitBackend backend, const QString& app_id, const QString& reason) {
    QDBusMessage m;
    switch (backend) {
        case InhibitBackend::Portal:
            m = QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop",
                                               "/org/freedesktop/portal/desktop",
                                               "org.freedesktop.portal.Inhibit", "Inhibit");
            // No parent window: the hold belongs to the player, not to one of its windows.
            m << QString() << kSuspendFlag << QVariantMap{{QStringLiteral("reason"), reason}};
            break;
        case InhibitBackend::SessionManager:
            m = QDBusMessage::createMethodCall("org.gnome.SessionManager",
                                               "/org/gnome/SessionManager",
                                               "org.gnome.SessionManager", "Inhibit");
            m << app_id << uint(0) << reason << kSuspendFlag;
            break;
        case InhibitBackend::PowerManagement:
            m = QDBusMessage::createMethodCall(
                "org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                "org.freedesktop.PowerManagement.Inhibit", "Inhibit");
            m << app_id << reason;
            break;
    }
    return m;
}

QDBusMessage ReleaseRequest(InhibitBackend backend, const QVariant& grant) {
    switch (backend) {
        case InhibitBackend::Portal:
            return QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop",
                                                  grant.value<QDBusObjectPath>().path(),
                                                  "org.freedesktop.portal.Request", "Close");
        case InhibitBackend::SessionManager: {
            QDBusMessage m = QDBusMessage::createMethodCall(
                "org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
                "Uninhibit");
            m << grant.toUInt();
            return m;
        }
        case InhibitBackend::PowerManagement: {
            QDBusMessage m = QDBusMessage::createMethodCall(
                "org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                "org.freedesktop.PowerManagement.Inhibit", "UnInhibit");
            m << grant.toUInt();
            return m;
        }
    }
    return {};
}

SleepInhibitor::SleepInhibitor(QDBusConnection bus, QString app_id, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), app_id_(std::move(app_id)) {}

SleepInhibitor::~SleepInhibitor() {
    ReleaseNow();
}

void SleepInhibitor::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled) {
        const bool wanted = wanted_;
        Release();
        wanted_ = wanted;  // kept, so switching on again holds while still playing
    } else if (wanted_) {
        Hold(reason_);
    }
}

void SleepInhibitor::Hold(const QString& reason) {
    wanted_ = true;
    if (grant_ && grant_->reason == reason) return;
    reason_ = reason;
    if (!enabled_ || !bus_.isConnected()) return;
    if (grant_) {
        SendRelease(*grant_);
        grant_.reset();
    }
    if (asking_) return;  // its answer is held with the newest reason, or renewed
    Ask(*NextInhibitBackend(std::nullopt));
}

void SleepInhibitor::Release() {
    wanted_ = false;
    asking_ = 0;  // a late grant is released when it comes
    if (!grant_) return;
    SendRelease(*grant_);
    grant_.reset();
}

void SleepInhibitor::ReleaseNow() {
    wanted_ = false;
    asking_ = 0;
    // A request still on its way may yet be granted, and nothing would be left to release it.
    const auto requests = std::exchange(requests_, {});
    for (auto it = requests.begin(); it != requests.end(); ++it) {
        QDBusPendingCallWatcher* request = it.key();
        // Answered here, not by the handler, which waiting would call at once.
        request->disconnect(this);
        request->waitForFinished();
        const QDBusMessage reply = request->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            bus_.call(ReleaseRequest(it.value(), reply.arguments().constFirst()), QDBus::Block,
                      kExitReleaseTimeoutMs);
        }
        delete request;
    }
    if (!grant_) return;
    const QDBusMessage release = ReleaseRequest(grant_->backend, grant_->handle);
    grant_.reset();
    bus_.call(release, QDBus::Block, kExitReleaseTimeoutMs);
}

void SleepInhibitor::Ask(InhibitBackend backend) {
    const quint64 serial = ++serial_;
    asking_ = serial;
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(InhibitRequest(backend, app_id_, reason_), kRequestTimeoutMs), this);
    requests_.insert(watcher, backend);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, backend, serial, reason = reason_](QDBusPendingCallWatcher* w) {
                requests_.remove(w);
                w->deleteLater();
                OnAnswer({backend, {}, reason}, w->reply(), serial);
            });
}

void SleepInhibitor::OnAnswer(Grant asked, const QDBusMessage& reply, quint64 serial) {
    const InhibitBackend backend = asked.backend;
    const bool granted = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
    const bool current = serial == asking_;
    if (current) asking_ = 0;
    if (!granted) {
        if (!current || !wanted_ || !enabled_) return;
        if (const auto next = NextInhibitBackend(backend)) Ask(*next);
        return;
    }
    asked.handle = reply.arguments().constFirst();
    // Stopped (or a newer request started) while this one was on its way: give it back at once.
    if (!current || !wanted_ || !enabled_ || grant_) {
        SendRelease(asked);
        return;
    }
    grant_ = asked;
    // The station changed while the request was on its way: renewed with its name.
    if (grant_->reason != reason_) Hold(reason_);
}

void SleepInhibitor::SendRelease(const Grant& grant) {
    bus_.asyncCall(ReleaseRequest(grant.backend, grant.handle), kRequestTimeoutMs);
}

}  // namespace velmora
