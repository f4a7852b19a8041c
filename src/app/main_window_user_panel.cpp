// TForm1's user channel panel: the list file, opening and closing the panel, and the buttons and
// menu items that change the list.
#include <QLabel>
#include <QTimer>

#include "app/header_clock.h"
#include "app/main_window.h"
#include "app/picture_button.h"
#include "app/settings_binding.h"
#include "channels/channel_editor.h"
#include "channels/channel_list_model.h"
#include "channels/channel_operations.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "playback/stream_opener.h"

namespace velmora {

namespace {
enum ListButton { kAdd, kDelete, kEdit, kDeleteAll, kMoveUp, kMoveDown };
}

void TForm1::WireUserPanel() {
    connect(Image10, &PictureButton::clicked, this, &TForm1::Image10Click);
    connect(Image11, &PictureButton::clicked, this, &TForm1::Image11Click);
    connect(list_buttons_[kAdd], &PictureButton::clicked, this, &TForm1::Image12Click);
    connect(list_buttons_[kDelete], &PictureButton::clicked, this, &TForm1::Image13Click);
    connect(list_buttons_[kEdit], &PictureButton::clicked, this, &TForm1::Image15Click);
    connect(list_buttons_[kDeleteAll], &PictureButton::clicked, this, &TForm1::Image14Click);
    connect(list_buttons_[kMoveUp], &PictureButton::clicked, this, &TForm1::Image16Click);
    connect(list_buttons_[kMoveDown], &PictureButton::clicked, this, &TForm1::Image17Click);
}

// The user list comes from the settings folder, or the default list beside the program, or starts
// empty when there is neither.
bool TForm1::LoadChannelList() {
    if (const auto error = LoadUserChannelList(*channels_, ChannelListFile())) {
        dialogs().Error(this, error->Message());
        // Only the user's own list is worth protecting; a broken shipped list leaves an empty one.
        return error->path != ChannelListFile();
    }
    return true;
}

// Writes the user list into the settings folder; the previous file survives a failure.
bool TForm1::SaveChannelList() {
    if (const auto error = SaveUserChannelList(*channels_, ChannelListFile())) {
        ShowSaveFailure(error->Message());
        return false;
    }
    return true;
}

void TForm1::Image10Click() {
    SetClientWidth(this, kOpenPanelClientWidth);
    Image10->hide();
    Image11->show();
    velmora::PlaceClockLabels(Label10, Label11, PanelLayout::Open);
}

// A user channel that plays goes on playing, but Play now opens the directory's row.
void TForm1::Image11Click() {
    SetClientWidth(this, kClosedPanelClientWidth);
    Image10->show();
    Image11->hide();
    channels_->ClearSelection();
    user_channel_mode_ = false;
    velmora::PlaceClockLabels(Label10, Label11, PanelLayout::Closed);
}

void TForm1::Image12Click() {
    form3_->OpenForAdd();
}

void TForm1::Image13Click() {
    DeleteChannel(*channels_, *this, this);
}

void TForm1::Image14Click() {
    DeleteAllChannels(*channels_, this);
}

void TForm1::Image15Click() {
    form3_->OpenForEdit();
}

void TForm1::Image16Click() {
    MoveChannelUp(*channels_, this);
}

void TForm1::Image17Click() {
    MoveChannelDown(*channels_, this);
}

void TForm1::ChannelListExport1Click() {
    ExportChannelList(*channels_, this);
}

void TForm1::ChannelListImport1Click() {
    ImportChannelList(*channels_, this);
}

// Deleting any entry ends whatever plays; a recording goes on.
void TForm1::StopAndReleaseStream() {
    opening_ = 0;  // what the stopped stream still reports is not shown
    if (opener_) opener_->StopAndFree();
}

void TForm1::ResetNowPlaying() {
    Label3->clear();
    Label4->setText(Msg("Not playing"));
    Label5->clear();
    Image7->hide();
    Image9->hide();
    Timer2->stop();
}

}  // namespace velmora
