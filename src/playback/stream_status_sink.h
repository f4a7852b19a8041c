// SPDX-License-Identifier: GPL-3.0-or-later
// Carries stream status reports from the opening worker and the engine's threads to the Player,
// synchronously: the sender waits until the report has been handled (and so shown).
//
// The sink outlives its receiver. After Close() (the receiver going away) reports are dropped, and
// a sender already waiting is released instead of waiting for a receiver that no longer answers.
#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>

#include "opening/stream_status.h"

namespace velmora {

class StreamStatusSink final : public QObject {
    Q_OBJECT
  public:
    using Handler = std::function<void(const StatusReport&)>;

    // A sink living on the calling (user-interface) thread that hands reports to `handler` while
    // `receiver` exists. Shared by the receiver and every reporter; freed on its own thread.
    static std::shared_ptr<StreamStatusSink> Create(QObject* receiver, Handler handler);

    // Any thread: returns once the handler has run, or at once after Close().
    void Report(const StatusReport& report);
    // Sink's thread: no report reaches the handler any more; waiting senders are released.
    void Close();

  private:
    StreamStatusSink(QObject* receiver, Handler handler);
    void Deliver(const StatusReport& report);

    // --- written on the sink's thread, read by any sender
    std::atomic<bool> closed_{false};
    // --- sink's thread only
    QPointer<QObject> receiver_;
    Handler handler_;
};

}  // namespace velmora
