// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/station_finding.h"

#include "finding/find_stations_window.h"
#include "finding/finder_setup.h"
#include "settings/settings.h"

namespace velmora {

StationFinding::StationFinding(QWidget* owner, Hooks hooks)
    : QObject(owner), owner_(owner), hooks_(std::move(hooks)) {}

void StationFinding::Open() {
    const QString proxy = hooks_.proxy ? hooks_.proxy() : QString();
    if (!window_) {
        window_ = new FindStationsWindow(
            MakeDirectoryClient(QLatin1String(VELMORA_VERSION), SettingsFolder(), proxy),
            FinderCacheFolder() + QStringLiteral("/icons"), owner_);
        connect(window_, &FindStationsWindow::playRequested, this,
                [this](const QString& url, const QString& name) {
                    if (hooks_.play) hooks_.play(url, name);
                });
        connect(window_, &FindStationsWindow::addRequested, this,
                [this](const ChannelEntry& entry) {
                    if (hooks_.add) hooks_.add(entry);
                });
    }
    window_->SetProxy(proxy);
    window_->Open();
}

void StationFinding::StationPlaying(const QString& url) {
    if (window_) window_->StationPlaying(url);
}

}  // namespace velmora
