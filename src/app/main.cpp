// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: the main window, then the about box and the channel editor, then the message loop.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QThread>
#include <cstdio>

#include "app/command_line.h"
#include "app/find_command.h"
#include "app/main_window.h"
#include "app/program_windows.h"
#include "app/settings_binding.h"
#include "desktop/dialogs.h"
#include "desktop/language_switch.h"
#include "desktop/program_files.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "playback/station_argument.h"
#include "recording/headless_recording.h"
#include "session/session_end.h"
#include "session/single_instance.h"
#include "settings/settings.h"

namespace {

// A player of these settings runs already: it takes the station (or only raises its window). It
// may have started a moment ago and not listen yet, so it is asked for a while.
bool HandOver(const QString& settings_folder, const velmora::StationArgument& station) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (velmora::HandOverToRunningPlayer(settings_folder, station.url, station.name)) {
            return true;
        }
        QThread::msleep(200);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const velmora::CommandLine command = velmora::ParseCommandLine(arguments);
    switch (command.action) {
        case velmora::CommandLine::Action::Help:
            std::fputs(qPrintable(velmora::UsageText()), stdout);
            return 0;
        case velmora::CommandLine::Action::Version:
            std::fputs(qPrintable(velmora::VersionText()), stdout);
            return 0;
        case velmora::CommandLine::Action::Usage:
            std::fprintf(stderr, "velmora: %s\n%s", qPrintable(command.error),
                         qPrintable(velmora::UsageText()));
            return 2;
        case velmora::CommandLine::Action::Find: {
            // No window and no display: a plain application for the catalogues' folder.
            QCoreApplication app(argc, argv);
            velmora::InitMessages(velmora::FindProgramFile(QStringLiteral("locale")));
            // A catalogue problem leaves the English texts; there is no window to tell it in.
            velmora::InitCatalogueSwitching();
            (void)velmora::SelectCatalogueLanguage(velmora::StartupCatalogueCode(
                qEnvironmentVariable("LANG"), QLocale::system().name()));
            return velmora::RunFindCommand(command.find, stdout, stderr);
        }
        case velmora::CommandLine::Action::Record: {
            // No display and no sound device: a core application only, for the catalogues.
            QCoreApplication core(argc, argv);
            velmora::InitMessages(velmora::FindProgramFile(QStringLiteral("locale")));
            velmora::HeadlessRecordingOptions options;
            options.url = command.station;
            options.duration_seconds = command.duration_seconds;
            options.per_song = command.per_song;
            options.output_folder = command.output;
            // The choices made in the player's settings, unless the command line says otherwise.
            const velmora::LoadedSettings stored =
                velmora::LoadSettings(velmora::SettingsFilePath());
            options.songs = velmora::SongChoicesOf(stored.settings.value_or(velmora::Settings{}));
            if (command.min_song_seconds)
                options.songs.rules.min_seconds = *command.min_song_seconds;
            return velmora::RunHeadlessRecording(options, stdout, stderr);
        }
        case velmora::CommandLine::Action::Run:
            break;
    }

    // On X11, shared-memory images turn every small repaint (the clock, once a second) into a
    // round trip that wakes the program three times; this window's repaints are small, so plain
    // requests cost less. A user's own setting wins.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    velmora::InitMessages(velmora::FindProgramFile(QStringLiteral("locale")));
    velmora::SelectStartupLanguage();
    QApplication::setApplicationName(velmora::Msg("Velmora"));
    // Lets the desktop match the windows to velmora.desktop and show the installed icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velmora"), QIcon(":/logo.png")));

    velmora::StationArgument station;
    if (!command.station.isEmpty()) {
        station = velmora::StationFromArgument(command.station, QDir::currentPath());
        if (!station.error.isEmpty()) {
            velmora::dialogs().Error(nullptr, station.error);
            station = {};
        }
    }
    const QString settings_folder = velmora::SettingsFolder();
    const velmora::InstanceLock lock(settings_folder);
    if (!lock.Held()) {
        if (HandOver(settings_folder, station)) return 0;
        velmora::dialogs().Error(nullptr, velmora::Msg("Velmora is already running, but it does "
                                                       "not answer."));
        return 1;
    }

    velmora::MainWindow* main_window = velmora::CreateProgramWindows();
    if (!main_window) return 1;
    auto* instances = new velmora::InstanceServer(settings_folder, main_window);
    QObject::connect(instances, &velmora::InstanceServer::playRequested, main_window,
                     [main_window](const QString& url, const QString& name) {
                         main_window->RaiseWindow();
                         main_window->PlayStation(url, name);
                     });
    QObject::connect(instances, &velmora::InstanceServer::raiseRequested, main_window,
                     &velmora::MainWindow::RaiseWindow);
    main_window->show();
    // Only after the first showing has loaded the list: an earlier close would save an empty one.
    new velmora::SessionEnd(main_window);
    if (!station.url.isEmpty()) main_window->PlayStation(station.url, station.name);
    return app.exec();
}
