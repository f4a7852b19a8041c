// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the computer from suspending while a station plays, through whichever of the desktop's
// services answers: the inhibit portal, else the session manager, else the older power
// management service. The screen may still blank. Requests are asynchronous; one refused or
// unanswered service passes the request on to the next.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

class QDBusPendingCallWatcher;

namespace velmora {

enum class InhibitBackend { Portal, SessionManager, PowerManagement };

// The service to ask after `failed` has refused (nothing: the first); none after the last.
std::optional<InhibitBackend> NextInhibitBackend(std::optional<InhibitBackend> failed);
// The request that keeps the computer from suspending, for `reason`.
QDBusMessage InhibitRequest(InhibitBackend backend, const QString& app_id, const QString& reason);
// The call that ends a granted request; `grant` is what the inhibit request returned (the
// portal's request object, the others' cookie).
QDBusMessage ReleaseRequest(InhibitBackend backend, const QVariant& grant);

class SleepInhibitor final : public QObject {
    Q_OBJECT
  public:
    SleepInhibitor(QDBusConnection bus, QString app_id, QObject* parent = nullptr);
    // Releases what is held, as ReleaseNow does.
    ~SleepInhibitor() override;

    // Switched off, nothing is held; switched on again, a wanted hold is asked for anew.
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    // Wants the computer kept awake, for `reason`; a changed reason renews the hold.
    void Hold(const QString& reason);
    // Wants it no longer; an answer still on its way is released when it comes.
    void Release();
    // Release for a program that ends: the call is sent and waited for briefly, since nothing
    // of the program may be left running to send it later.
    void ReleaseNow();
    // A service has granted the hold and it has not been released.
    bool Held() const { return grant_.has_value(); }

  private:
    struct Grant {
        InhibitBackend backend;
        QVariant handle;
        QString reason;
    };
    void Ask(InhibitBackend backend);
    void OnAnswer(Grant asked, const QDBusMessage& reply, quint64 serial);
    void SendRelease(const Grant& grant);

    QDBusConnection bus_;
    const QString app_id_;
    bool enabled_ = true;
    bool wanted_ = false;
    QString reason_;
    // The request on its way, by number, so a late answer to an abandoned one is recognised.
    quint64 asking_ = 0;
    quint64 serial_ = 0;
    std::optional<Grant> grant_;
    // Every inhibit request still unanswered, with the service asked.
    QHash<QDBusPendingCallWatcher*, InhibitBackend> requests_;
};

}  // namespace velmora
