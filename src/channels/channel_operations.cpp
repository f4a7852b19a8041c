// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_operations.h"

#include <QFileInfo>

#include "channels/channel_file.h"
#include "channels/channel_list_model.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"

namespace velmora {
namespace {

QString ChannelListFilter() {
    return Msg("VLR-File (*.vlr)");
}

}  // namespace

void DeleteChannel(ChannelListModel& list, ChannelListHost& host, QWidget* owner) {
    if (list.Count() == 0) {
        dialogs().Error(owner, Msg("No channel to delete!"));
        return;
    }
    const int row = list.SelectedRow();
    if (row < 0) {
        dialogs().Error(owner, Msg("Please select a channel!"));
        return;
    }
    if (!dialogs().AskYesNo(owner, Msg("Sure delete?"))) return;
    host.StopAndReleaseStream();
    list.Remove(row);
    host.ResetNowPlaying();
}

void DeleteAllChannels(ChannelListModel& list, QWidget* owner) {
    if (list.Count() == 0) {
        dialogs().Error(owner, Msg("No channel to delete!"));
        return;
    }
    if (!dialogs().AskYesNo(owner, Msg("Sure delete all channels?"))) return;
    list.Clear();
}

void MoveChannelUp(ChannelListModel& list, QWidget* owner) {
    if (list.SelectedRow() < 0) {
        dialogs().Error(owner, Msg("Please select a channel!"));
        return;
    }
    list.MoveSelectedUp();  // nothing to do on the first row
}

void MoveChannelDown(ChannelListModel& list, QWidget* owner) {
    if (list.SelectedRow() < 0) {
        dialogs().Error(owner, Msg("Please select a channel!"));
        return;
    }
    list.MoveSelectedDown();  // nothing to do on the last row
}

QString WithChannelListExtension(const QString& path) {
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".vlr") : path;
}

void ExportChannelList(const ChannelListModel& list, QWidget* owner) {
    const QString chosen = dialogs().SaveFileName(owner, Msg("Export Channel-List"),
                                                  kExportFileName, ChannelListFilter());
    if (chosen.isEmpty()) return;
    const QString path = WithChannelListExtension(chosen);
    if (const auto error = WriteChannelFile(path, list.Entries()))
        dialogs().Error(owner, error->Message());
}

void ImportChannelList(ChannelListModel& list, QWidget* owner) {
    const QString path =
        dialogs().OpenFileName(owner, Msg("Import Channel-List"), ChannelListFilter());
    if (path.isEmpty()) return;
    // Read first: a file that cannot be read must leave the list as it is.
    const ChannelFileReadResult read = ReadChannelFile(path);
    if (read.error) {
        dialogs().Error(owner, read.error->Message());
        return;
    }
    if (list.Count() > 0 && !dialogs().AskYesNo(owner, Msg("Retain existing Channel-List?")))
        list.Clear();
    list.Insert(0, read.entries);
}

}  // namespace velmora
