// SPDX-License-Identifier: GPL-3.0-or-later
#include "finding/station_icons.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <algorithm>

#include "base/thread_start.h"

namespace velmora {
namespace {

constexpr int kParallel = 3;
constexpr int kIconSize = 32;
constexpr std::size_t kMaxIconBytes = 512 << 10;
// The decoder refuses images whose pixels would need more than this many megabytes.
constexpr int kDecodeLimitMb = 16;

}  // namespace

StationIcons::StationIcons(QString folder, FetchSettings fetch, qint64 max_disk_bytes,
                           QObject* parent)
    : QObject(parent),
      folder_(std::move(folder)),
      fetch_(std::move(fetch)),
      max_disk_bytes_(max_disk_bytes),
      alive_(std::make_shared<Alive>()),
      cancel_(std::make_shared<FetchCancel>()) {
    alive_->self = this;
}

StationIcons::~StationIcons() {
    cancel_->Cancel();
    std::lock_guard lock(alive_->m);
    alive_->self = nullptr;
}

QImage StationIcons::Decode(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kDecodeLimitMb);
    const QSize size = reader.size();
    if (size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        reader.setScaledSize(size.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.isNull()) return {};
    if (image.width() > kIconSize || image.height() > kIconSize) {
        image = image.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

QString StationIcons::CachePath(const QString& url) const {
    const QByteArray hash = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1);
    return folder_ + QLatin1Char('/') + QString::fromLatin1(hash.toHex());
}

QIcon StationIcons::Icon(const QString& url) {
    if (url.isEmpty()) return {};
    const auto it = icons_.constFind(url);
    if (it != icons_.constEnd()) return *it;
    if (asked_.contains(url)) return {};
    asked_.insert(url);
    QFile cached(CachePath(url));
    if (cached.open(QIODevice::ReadOnly)) {
        const QImage image = Decode(cached.read(kMaxIconBytes));
        if (!image.isNull()) {
            icons_.insert(url, QIcon(QPixmap::fromImage(image)));
            return icons_.value(url);
        }
    }
    queue_.append(url);
    StartNext();
    return {};
}

void StationIcons::StartNext() {
    while (running_ < kParallel && !queue_.isEmpty()) {
        // The newest rows asked are the ones on screen now.
        const QString url = queue_.takeLast();
        ++running_;
        FetchSettings settings = fetch_;
        settings.max_bytes = kMaxIconBytes;
        settings.total_timeout_ms = 10000;
        StartThread(
            [alive = alive_, cancel = cancel_, settings, url] {
                FetchResult r = Fetch(url.toStdString(), settings, cancel);
                QByteArray bytes;
                QImage image;
                if (!r.error) {
                    bytes = QByteArray::fromStdString(r.body);
                    image = Decode(bytes);
                }
                std::lock_guard lock(alive->m);
                if (!alive->self) return;
                StationIcons* self = alive->self;
                QMetaObject::invokeMethod(
                    self,
                    [self, url, bytes, image] {
                        --self->running_;
                        if (!image.isNull()) {
                            self->icons_.insert(url, QIcon(QPixmap::fromImage(image)));
                            self->Store(url, bytes);
                            emit self->iconReady(url);
                        }
                        self->StartNext();
                    },
                    Qt::QueuedConnection);
            },
            [] {})
            .detach();
    }
}

void StationIcons::Store(const QString& url, const QByteArray& bytes) {
    if (folder_.isEmpty() || !QDir().mkpath(folder_)) return;
    QFile file(CachePath(url));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    file.write(bytes);
    file.close();
    // Over the bound: the icons used longest ago go first.
    QFileInfoList files = QDir(folder_).entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
    qint64 total = 0;
    for (const QFileInfo& f : files) total += f.size();
    for (const QFileInfo& f : files) {
        if (total <= max_disk_bytes_) break;
        total -= f.size();
        QFile::remove(f.absoluteFilePath());
    }
}

}  // namespace velmora
