// SPDX-License-Identifier: GPL-3.0-or-later
// Delete, delete all, move up, move down, export and import on the user's channel list. Questions,
// messages and file dialogs go through dialogs(); what only the main window can do comes in
// through ChannelListHost.
#pragma once

#include <QString>

class QWidget;

namespace velmora {

class ChannelListModel;

// The main window's part in the list operations.
class ChannelListHost {
  public:
    virtual ~ChannelListHost() = default;
    // Stops and releases the current stream, whatever plays; a recording goes on.
    virtual void StopAndReleaseStream() = 0;
    // Empties the title and bit-rate labels, shows "Not playing", hides the homepage and programs
    // buttons and switches off the retry timer.
    virtual void ResetNowPlaying() = 0;
};

// The name the export dialog suggests, every time.
inline const QString kExportFileName = QStringLiteral("Channel-List.vlr");

// "Delete": asks, then removes the selected entry and stops playback.
void DeleteChannel(ChannelListModel& list, ChannelListHost& host, QWidget* owner);
// "Delete all": asks, then empties the list; playback goes on.
void DeleteAllChannels(ChannelListModel& list, QWidget* owner);
// "Move to top" / "Move to bottom": one row up or down, the selection moving with the entry.
void MoveChannelUp(ChannelListModel& list, QWidget* owner);
void MoveChannelDown(ChannelListModel& list, QWidget* owner);
// "Export Channel-List": writes the list to a file the user chooses.
void ExportChannelList(const ChannelListModel& list, QWidget* owner);
// "Import Channel-List": puts the entries of a file the user chooses at the top of the list,
// keeping or dropping the existing entries as the user answers.
void ImportChannelList(ChannelListModel& list, QWidget* owner);

// `path` with ".vlr" appended when its file name has no extension.
QString WithChannelListExtension(const QString& path);

}  // namespace velmora
