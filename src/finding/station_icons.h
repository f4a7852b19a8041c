// SPDX-License-Identifier: GPL-3.0-or-later
// Station icons for the results, fetched when a row first shows, a few at a time on worker
// threads, kept on disk within a size bound, and decoded with an allocation limit: an icon is a
// stranger's file.
#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <memory>
#include <mutex>

#include "finder/directory_fetch.h"

namespace velmora {

class StationIcons final : public QObject {
    Q_OBJECT
  public:
    // `folder`: the disk cache (created when needed); `max_disk_bytes`: its bound.
    StationIcons(QString folder, FetchSettings fetch, qint64 max_disk_bytes = 16 << 20,
                 QObject* parent = nullptr);
    ~StationIcons() override;

    // The proxy for the next fetches.
    void SetProxy(const std::string& proxy) { fetch_.proxy = proxy; }
    // The icon of `url` when it is at hand; otherwise a null icon, and it is fetched (once).
    QIcon Icon(const QString& url);

    // Decodes `bytes` as an icon-sized image; null when not an image or too large to decode.
    static QImage Decode(const QByteArray& bytes);

  signals:
    void iconReady(const QString& url);

  private:
    void StartNext();
    void Store(const QString& url, const QByteArray& bytes);
    QString CachePath(const QString& url) const;

    struct Alive {
        std::mutex m;  // guards self
        StationIcons* self = nullptr;
    };
    const QString folder_;
    FetchSettings fetch_;
    const qint64 max_disk_bytes_;
    std::shared_ptr<Alive> alive_;
    std::shared_ptr<FetchCancel> cancel_;
    QHash<QString, QIcon> icons_;
    QSet<QString> asked_;
    QStringList queue_;
    int running_ = 0;
};

}  // namespace velmora
