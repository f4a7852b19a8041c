// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/tray_icon.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include "desktop/shown_text.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "listening/recent_stations.h"

namespace velmora {

bool TrayAvailable(const QDBusConnection& bus) {
    if (bus.isConnected() && bus.interface() &&
        bus.interface()->isServiceRegistered(QString::fromLatin1(kStatusNotifierWatcher))) {
        return true;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QString TrayToolTip(const QString& station_text, const QString& title_text, int sleep_minutes) {
    const QString station = ShownText(station_text);
    const QString title = ShownText(title_text);
    QString text;
    if (!station.isEmpty() && !title.isEmpty()) {
        text = station + QStringLiteral(" \u2014 ") + title;
    } else if (!station.isEmpty() || !title.isEmpty()) {
        text = station + title;
    } else {
        text = Msg("Velmora");
    }
    if (sleep_minutes > 0) text += QLatin1Char('\n') + Msg("Sleep in %1 min").arg(sleep_minutes);
    return text;
}

namespace {

QAction* AddItem(QMenu* menu, const char* name, const char* caption) {
    QAction* a = menu->addAction(Msg(caption));
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

}  // namespace

TrayIcon::TrayIcon(const QIcon& icon, QWidget* window, QMenu* sleep_menu)
    : QObject(window), icon_(new QSystemTrayIcon(icon, this)), menu_(new QMenu(window)) {
    setObjectName(QStringLiteral("TrayIcon"));
    menu_->setObjectName(QStringLiteral("TrayMenu"));
    play_ = AddItem(menu_, "TrayPlay", "Play");
    stop_ = AddItem(menu_, "TrayStop", "Stop");
    stop_->setVisible(false);
    pause_ = AddItem(menu_, "TrayPause", "Pause");
    resume_ = AddItem(menu_, "TrayResume", "Resume");
    pause_->setVisible(false);
    resume_->setVisible(false);
    connect(pause_, &QAction::triggered, this, &TrayIcon::pauseResumeRequested);
    connect(resume_, &QAction::triggered, this, &TrayIcon::pauseResumeRequested);
    connect(AddItem(menu_, "TrayNext", "Next station"), &QAction::triggered, this,
            [this] { emit skipRequested(+1); });
    connect(AddItem(menu_, "TrayPrevious", "Previous station"), &QAction::triggered, this,
            [this] { emit skipRequested(-1); });
    recent_separator_ = menu_->addSeparator();
    recent_separator_->setVisible(false);
    for (std::size_t i = 0; i < RecentStations::kKept; ++i) {
        QAction* a = menu_->addAction(QString());
        a->setObjectName(QStringLiteral("TrayRecent%1").arg(i + 1));
        a->setVisible(false);
        ExcludeFromTranslation(a);  // station names are the stations' own
        connect(a, &QAction::triggered, this,
                [this, i] { emit recentStationChosen(static_cast<int>(i)); });
        recent_.push_back(a);
    }
    menu_->addSeparator();
    menu_->addMenu(sleep_menu);
    connect(AddItem(menu_, "TrayHistory", "Title history..."), &QAction::triggered, this,
            &TrayIcon::historyRequested);
    connect(AddItem(menu_, "TrayShowWindow", "Show window"), &QAction::triggered, this,
            &TrayIcon::showWindowRequested);
    menu_->addSeparator();
    connect(AddItem(menu_, "TrayQuit", "Quit"), &QAction::triggered, this,
            &TrayIcon::quitRequested);
    connect(play_, &QAction::triggered, this, &TrayIcon::playStopRequested);
    connect(stop_, &QAction::triggered, this, &TrayIcon::playStopRequested);

    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) emit toggleWindowRequested();
        if (r == QSystemTrayIcon::MiddleClick) emit playStopRequested();
    });
}

void TrayIcon::Show() {
    icon_->show();
}

void TrayIcon::Hide() {
    icon_->hide();
}

void TrayIcon::SetPausable(bool can_pause, bool paused) {
    pause_->setVisible(can_pause && !paused);
    resume_->setVisible(paused);
}

void TrayIcon::SetPlaying(bool playing) {
    play_->setVisible(!playing);
    stop_->setVisible(playing);
}

void TrayIcon::SetToolTip(const QString& text) {
    icon_->setToolTip(text);
}

QString TrayIcon::ToolTip() const {
    return icon_->toolTip();
}

void TrayIcon::SetRecentStations(const QStringList& names) {
    for (std::size_t i = 0; i < recent_.size(); ++i) {
        const bool used = i < static_cast<std::size_t>(names.size());
        // A lone "&" would mark a shortcut letter instead of showing.
        const QString name = used ? names[static_cast<qsizetype>(i)] : QString();
        recent_[i]->setText(QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
        recent_[i]->setVisible(used);
    }
    recent_separator_->setVisible(!names.isEmpty());
}

}  // namespace velmora
