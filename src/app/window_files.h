// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's two files in the settings folder: the user's channel list and the settings.
// Both are read at the first showing and written at each close; a write failure refuses the close
// once, and a list that could not be read is never overwritten.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace velmora {

class ChannelListModel;
struct SettingsControls;

class WindowFiles {
  public:
    // `owner` owns the message boxes; `controls` gives the controls the settings are kept in.
    WindowFiles(QWidget* owner, ChannelListModel* channels,
                std::function<SettingsControls()> controls);

    QString Folder() const { return folder_; }
    QString SettingsFile() const;
    QString ChannelListFile() const;

    // First showing: reads the user's list and then the settings. False, after telling the user,
    // when the user's own list could not be read; the settings are then not read either.
    bool LoadOnFirstShow();
    // True when the stored settings were read and applied.
    bool SettingsApplied() const { return settings_applied_; }
    // Close: writes both files. False (the close is refused) after the first failed write; the
    // next close quits all the same. `shown` says whether the window was ever shown.
    bool SaveBeforeClose(bool shown);

  private:
    void DetermineFolder();
    bool SaveSettings();
    bool SaveChannelList();
    void ShowSaveFailure(const QString& message);

    QWidget* const owner_;
    ChannelListModel* const channels_;
    const std::function<SettingsControls()> controls_;
    QString folder_;
    bool loaded_ = false;
    bool settings_applied_ = false;
    bool save_refused_ = false;
    bool settings_kept_ = false;  // the settings file could not be read: never written over
};

}  // namespace velmora
