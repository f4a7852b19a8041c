// SPDX-License-Identifier: GPL-3.0-or-later
// The "Song Recording" window: the rules of recording song by song (the titles not saved, where
// the cut may fall around a title change, the padding, the shortest whole song and what becomes of
// incomplete songs). OK hands the values to the choices the recordings follow, which are stored
// with the settings; Cancel leaves them as they were.
#pragma once

#include <QDialog>

#include "recording/song_choices.h"

class QAction;
class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace velmora {

class SongRecordingWindow final : public QDialog {
    Q_OBJECT
  public:
    // `choices` outlives the window; the controls show it now and at each Show().
    SongRecordingWindow(SongChoices* choices, QWidget* parent);

    // Shows the current choices.
    void ShowChoices();
    // The choices the controls hold now.
    SongChoices Chosen() const;

    QPushButton* OkButton() const { return ok_; }

  private:
    void Take();

    SongChoices* const choices_;
    QPlainTextEdit* skip_;
    QSpinBox* before_;
    QSpinBox* after_;
    QSpinBox* padding_;
    QSpinBox* minimum_;
    QComboBox* incomplete_;
    QPushButton* ok_;
};

// `item` opens the window over `choices`, one window kept for the next time.
void ConnectSongRecordingWindow(QAction* item, SongChoices* choices, QWidget* window);

}  // namespace velmora
