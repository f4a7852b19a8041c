// SPDX-License-Identifier: GPL-3.0-or-later
// ChannelEditor, the channel editor: adds a channel or a separator row to the user's list, or
// changes the selected channel in place. One dialog for the whole run, shown modally for each use.
#pragma once

#include <QDialog>
#include <QPalette>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class ChannelListModel;

class ChannelEditor final : public QDialog {
    Q_OBJECT
  public:
    // `list` is the main window's user list, which the dialog changes directly.
    explicit ChannelEditor(ChannelListModel* list, QWidget* parent = nullptr);

    // Add button of the user panel: add mode, then shown modally.
    void OpenForAdd();
    // Edit button: edit mode for the selected channel, then shown modally; with no channel
    // selected, reports that instead.
    void OpenForEdit();

    // The two halves of the openers, without the modal loop.
    void PrepareAddMode();
    // False (after telling the user) when no channel is selected.
    bool PrepareEditMode();

    // "Top" rather than "Bottom" for new rows; saved in the settings.
    bool PositionTop() const;
    void SetPositionTop(bool top);

    // Where the dialog reads the main window's interface language (LanguageName) at each showing.
    void SetLanguageName(std::function<QString()> language_name);

    QLineEdit* NameField() const { return name_; }
    QLineEdit* PlaylistField() const { return playlist_; }
    QLineEdit* HomepageField() const { return homepage_; }
    QLineEdit* ProgramsField() const { return programs_; }
    QRadioButton* InsertAtTop() const { return top_; }
    QRadioButton* InsertAtBottom() const { return bottom_; }
    QPushButton* OkAddButton() const { return ok_add_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* OkEditButton() const { return ok_edit_; }
    QPushButton* SeparatorButton() const { return separator_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void SetEnglishTexts();
    void FitTexts();
    void OnAddClicked();
    void OnEditClicked();
    void OnSeparatorClicked();
    bool Validate();
    void RefuseEqualsSign();
    void PaintNormal(QLineEdit* field);
    void PaintYellow(QLineEdit* field);

    ChannelListModel* list_;
    std::function<QString()> language_name_;
    QPalette normal_palette_;
    bool edit_mode_ = false;
    QLabel* title_;
    QGroupBox* required_;
    QGroupBox* optional_;
    QGroupBox* position_;
    QLineEdit* name_;
    QLineEdit* playlist_;
    QLineEdit* homepage_;
    QLineEdit* programs_;
    QLabel* labels_[4];
    QRadioButton* top_;
    QRadioButton* bottom_;
    QPushButton* separator_;
    QPushButton* ok_add_;
    QPushButton* ok_edit_;
    QPushButton* cancel_;
};

}  // namespace velmora
