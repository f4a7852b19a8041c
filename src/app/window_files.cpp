// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_files.h"

#include <QDir>

#include "app/settings_binding.h"
#include "channels/channel_file.h"
#include "channels/channel_list_model.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "settings/settings.h"

namespace velmora {

WindowFiles::WindowFiles(QWidget* owner, ChannelListModel* channels,
                         std::function<SettingsControls()> controls)
    : owner_(owner), channels_(channels), controls_(std::move(controls)) {}

void WindowFiles::DetermineFolder() {
    folder_ = SettingsFolder();
}

QString WindowFiles::SettingsFile() const {
    return folder_ + QLatin1Char('/') + QLatin1String(kSettingsFileName);
}

QString WindowFiles::ChannelListFile() const {
    return folder_ + QLatin1Char('/') + kChannelListFileName;
}

bool WindowFiles::LoadOnFirstShow() {
    DetermineFolder();
    // The user list comes from the settings folder, or the default list beside the program, or
    // starts empty when there is neither.
    if (const auto error = LoadUserChannelList(*channels_, ChannelListFile())) {
        dialogs().Error(owner_, error->Message());
        // Only the user's own list is worth protecting; a broken shipped list leaves an empty one.
        if (error->path == ChannelListFile()) return false;
    }
    loaded_ = true;
    // An unreadable settings file reads as the defaults of every key, and is kept as it is: it may
    // be another file of the user's under this name.
    const LoadedSettings stored = LoadSettings(SettingsFile());
    if (!stored.status.ok()) {
        settings_kept_ = true;
        dialogs().Error(owner_, stored.status.Message() + QLatin1Char('\n') +
                                    Msg("It is left as it is, and the settings are not saved."));
    }
    if (stored.settings) {
        ApplySettings(*stored.settings, controls_());
        settings_applied_ = true;
    }
    return true;
}

bool WindowFiles::SaveBeforeClose(bool shown) {
    if (folder_.isEmpty()) DetermineFolder();  // closed without ever being shown
    if (shown && !loaded_) {
        // The user's list could not be read at start-up, so neither it nor the settings were
        // loaded: writing now would replace the user's files with this session's list and the
        // designed defaults.
        dialogs().Error(owner_, Msg("The channel list \"%1\" could not be read when the program "
                                    "started. It was left as it was, and neither the list nor "
                                    "the settings were saved.")
                                    .arg(QDir::toNativeSeparators(ChannelListFile())));
        return true;
    }
    QDir().mkpath(folder_);  // a failure shows when the settings are written
    // Every close tries to save, so changes made after a failure are not lost once the disk has
    // room again. A failed save refuses the close once: the user has been told, and closing again
    // quits, the writer having left the previous files as they were.
    const bool saved = SaveSettings() && SaveChannelList();
    if (!saved && !save_refused_) {
        save_refused_ = true;
        return false;
    }
    return true;
}

bool WindowFiles::SaveSettings() {
    if (settings_kept_) return true;  // the user was told at the start
    const FileStatus status = velmora::SaveSettings(SettingsFile(), CollectSettings(controls_()));
    if (status.ok()) return true;
    ShowSaveFailure(status.Message());
    return false;
}

// The previous list file survives a failure.
bool WindowFiles::SaveChannelList() {
    if (const auto error = SaveUserChannelList(*channels_, ChannelListFile())) {
        ShowSaveFailure(error->Message());
        return false;
    }
    return true;
}

void WindowFiles::ShowSaveFailure(const QString& message) {
    if (save_refused_) {
        dialogs().Error(owner_, message);  // this close quits all the same
        return;
    }
    dialogs().Error(owner_, message + QStringLiteral("\n\n") +
                                Msg("Close the window again to quit without saving."));
}

}  // namespace velmora
