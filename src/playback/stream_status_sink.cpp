// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/stream_status_sink.h"

#include <QCoreApplication>
#include <QThread>

namespace velmora {

std::shared_ptr<StreamStatusSink> StreamStatusSink::Create(QObject* receiver, Handler handler) {
    auto* sink = new StreamStatusSink(receiver, std::move(handler));
    // The last reference may drop on a worker thread; a QObject must die on its own thread.
    return std::shared_ptr<StreamStatusSink>(sink, [](StreamStatusSink* s) {
        if (QThread::currentThread() == s->thread()) {
            delete s;
        } else {
            s->deleteLater();
        }
    });
}

StreamStatusSink::StreamStatusSink(QObject* receiver, Handler handler)
    : receiver_(receiver), handler_(std::move(handler)) {}

void StreamStatusSink::Report(const StatusReport& report) {
    if (closed_.load()) return;
    if (QThread::currentThread() == thread()) {
        Deliver(report);
        return;
    }
    // No lock is held here: the user-interface thread may be busy freeing the stream whose
    // callback this is, and must be able to finish that while we wait for it.
    QMetaObject::invokeMethod(
        this, [this, report] { Deliver(report); }, Qt::BlockingQueuedConnection);
}

void StreamStatusSink::Close() {
    closed_.store(true);
    // Deleting the pending calls wakes the senders waiting on them.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void StreamStatusSink::Deliver(const StatusReport& report) {
    if (closed_.load() || !receiver_) return;
    handler_(report);
}

}  // namespace velmora
