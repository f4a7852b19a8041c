// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_editor.h"

#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QValidator>
#include <algorithm>

#include "channels/channel_list_model.h"
#include "desktop/dialogs.h"
#include "desktop/language_switch.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"

namespace velmora {
namespace {

// The list file separates fields with "=", so no field may hold one. Remembers whether the last
// refused input was refused for that reason (a line edit also refuses input beyond its length).
class NoEqualsSignValidator final : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        refused_equals_ = input.contains(QLatin1Char('='));
        return refused_equals_ ? Invalid : Acceptable;
    }
    bool TakeRefusedEquals() { return std::exchange(refused_equals_, false); }

  private:
    mutable bool refused_equals_ = false;
};

// The text as hint when it is at least `threshold` characters long, so a long address can be read
// whole; no hint otherwise.
void UpdateLongTextHint(QLineEdit* field, int threshold) {
    field->setToolTip(field->text().size() >= threshold ? field->text() : QString());
}

constexpr int kPlaylistHintLength = 46;
constexpr int kPageHintLength = 53;

// Typing stops at `limit`, or at the length of a longer text the field was given: an entry saved
// by another program or an older version is never cut, and never grows past the limit either.
void HoldTypingTo(QLineEdit* field, int limit) {
    field->setMaxLength(std::max(limit, static_cast<int>(field->text().size())));
}

}  // namespace

ChannelEditor::ChannelEditor(ChannelListModel* list, QWidget* parent)
    : QDialog(parent), list_(list) {
    setObjectName(QStringLiteral("ChannelEditor"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(367, 367);

    QFont bold = font();
    bold.setBold(true);
    // Set explicitly, so that the fields do not inherit the bold of their group box.
    QFont normal = font();
    normal.setBold(false);

    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("Label1"));
    title_->setFont(bold);
    title_->setGeometry(24, 16, 329, 18);

    required_ = new QGroupBox(this);
    required_->setObjectName(QStringLiteral("GroupBox1"));
    required_->setFont(bold);
    required_->setGeometry(16, 40, 337, 113);
    optional_ = new QGroupBox(this);
    optional_->setObjectName(QStringLiteral("GroupBox2"));
    optional_->setGeometry(16, 160, 337, 110);
    position_ = new QGroupBox(this);
    position_->setObjectName(QStringLiteral("GroupBox3"));
    position_->setGeometry(16, 277, 337, 44);

    const auto make_field = [&](QGroupBox* box, int index, int y, int max_length) {
        auto* label = new QLabel(box);
        label->setFont(normal);
        label->setGeometry(8, y - 18, 321, 16);
        auto* field = new QLineEdit(box);
        field->setObjectName(QStringLiteral("LabeledEdit%1").arg(index + 1));
        field->setFont(normal);
        field->setGeometry(8, y, 321, 21);
        field->setMaxLength(max_length);
        field->setProperty("typingLimit", max_length);
        connect(field, &QLineEdit::textEdited, this,
                [field, max_length] { HoldTypingTo(field, max_length); });
        field->setMouseTracking(true);
        label->setBuddy(field);
        labels_[index] = label;
        auto* validator = new NoEqualsSignValidator(field);
        field->setValidator(validator);
        connect(field, &QLineEdit::inputRejected, this, [this, validator] {
            if (validator->TakeRefusedEquals()) RefuseEqualsSign();
        });
        field->installEventFilter(this);
        return field;
    };
    name_ = make_field(required_, 0, 40, 40);
    playlist_ = make_field(required_, 1, 84, 255);
    homepage_ = make_field(optional_, 2, 40, 150);
    programs_ = make_field(optional_, 3, 80, 255);
    normal_palette_ = name_->palette();

    top_ = new QRadioButton(position_);
    top_->setObjectName(QStringLiteral("RadioButton1"));
    top_->setGeometry(8, 20, 60, 17);
    bottom_ = new QRadioButton(position_);
    bottom_->setObjectName(QStringLiteral("RadioButton2"));
    bottom_->setGeometry(72, 20, 120, 17);
    bottom_->setChecked(true);

    const auto make_button = [&](const char* name, int x, int width) {
        auto* button = new QPushButton(this);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(x, 336, width, 25);
        // Neither Enter nor Escape may trigger a button.
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    };
    separator_ = make_button("BitBtn5", 16, 129);
    ok_add_ = make_button("BitBtn1", 184, 83);
    ok_edit_ = make_button("BitBtn3", 184, 83);
    ok_edit_->hide();
    cancel_ = make_button("BitBtn2", 272, 83);
    connect(ok_add_, &QPushButton::clicked, this, &ChannelEditor::OnAddClicked);
    connect(ok_edit_, &QPushButton::clicked, this, &ChannelEditor::OnEditClicked);
    connect(separator_, &QPushButton::clicked, this, &ChannelEditor::OnSeparatorClicked);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(name_, playlist_);
    setTabOrder(playlist_, homepage_);
    setTabOrder(homepage_, programs_);
    setTabOrder(programs_, top_);
    setTabOrder(top_, bottom_);
    setTabOrder(bottom_, separator_);
    setTabOrder(separator_, ok_add_);
    setTabOrder(ok_add_, cancel_);
    setTabOrder(cancel_, ok_edit_);

    {
        const EnglishTexts english;
        SetEnglishTexts();
    }
    TranslateWindow(this);
}

void ChannelEditor::SetLanguageName(std::function<QString()> language_name) {
    language_name_ = std::move(language_name);
}

void ChannelEditor::SetEnglishTexts() {
    setWindowTitle(QStringLiteral("Velmora"));
    title_->setText(edit_mode_ ? Msg("Edit this webradio channel") : Msg("Add a webradio channel"));
    required_->setTitle(Msg("Required input"));
    optional_->setTitle(Msg("Optional input"));
    position_->setTitle(Msg("Position in the Channel-List"));
    labels_[0]->setText(Msg("Name of channel:"));
    labels_[1]->setText(Msg("Playlist URL:"));
    labels_[2]->setText(Msg("Homepage URL:"));
    labels_[3]->setText(Msg("Programs URL:"));
    top_->setText(Msg("Top"));
    bottom_->setText(Msg("Bottom"));
    separator_->setText(Msg("Add Separator"));
    ok_add_->setText(Msg("OK"));
    ok_edit_->setText(Msg("OK"));
    cancel_->setText(Msg("Cancel"));
}

// A translation may run longer than the English: the position buttons and "Add Separator" grow
// into the free space beside them.
void ChannelEditor::FitTexts() {
    top_->resize(std::max(60, top_->sizeHint().width()), top_->height());
    bottom_->move(std::max(72, top_->x() + top_->width() + 8), bottom_->y());
    const int room = ok_add_->x() - 8 - separator_->x();
    separator_->resize(std::clamp(separator_->sizeHint().width(), 129, room), separator_->height());
}

void ChannelEditor::OpenForAdd() {
    PrepareAddMode();
    exec();
}

void ChannelEditor::OpenForEdit() {
    if (PrepareEditMode()) exec();
}

void ChannelEditor::PrepareAddMode() {
    edit_mode_ = false;
    title_->setText(Msg("Add a webradio channel"));
    top_->setEnabled(true);
    bottom_->setEnabled(true);
    ok_add_->show();
    ok_edit_->hide();
    separator_->setEnabled(true);
    for (QLineEdit* field : {name_, playlist_, homepage_, programs_}) {
        field->clear();
        HoldTypingTo(field, field->property("typingLimit").toInt());
    }
}

bool ChannelEditor::PrepareEditMode() {
    const int row = list_->SelectedRow();
    if (row < 0) {
        dialogs().Error(parentWidget(), Msg("Please select a channel!"));
        return false;
    }
    edit_mode_ = true;
    title_->setText(Msg("Edit this webradio channel"));
    top_->setEnabled(false);
    bottom_->setEnabled(false);
    ok_add_->hide();
    ok_edit_->show();
    separator_->setEnabled(false);
    const ChannelEntry entry = list_->Entry(row);
    const QString texts[] = {entry.name, entry.playlist, entry.homepage, entry.programs};
    QLineEdit* const fields[] = {name_, playlist_, homepage_, programs_};
    for (int i = 0; i < 4; ++i) {
        // Room for the whole text first: a line edit cuts what exceeds its length.
        fields[i]->setMaxLength(std::max(fields[i]->property("typingLimit").toInt(),
                                         static_cast<int>(texts[i].size())));
        fields[i]->setText(texts[i]);
        fields[i]->setCursorPosition(0);
    }
    return true;
}

bool ChannelEditor::PositionTop() const {
    return top_->isChecked();
}

void ChannelEditor::SetPositionTop(bool top) {
    (top ? top_ : bottom_)->setChecked(true);
}

bool ChannelEditor::Validate() {
    for (QLineEdit* field : {name_, playlist_}) {
        if (!field->text().isEmpty()) continue;
        dialogs().Beep();
        dialogs().Error(this, field == name_
                                  ? Msg("Please enter the name of the channel!")
                                  : Msg("Please enter the playlist URL of the channel!"));
        field->setFocus();
        PaintYellow(field);
        return false;
    }
    return true;
}

void ChannelEditor::OnAddClicked() {
    if (!Validate()) return;
    list_->Add(
        {name_->text(), playlist_->text(), homepage_->text(), programs_->text()},
        PositionTop() ? ChannelListModel::Position::Top : ChannelListModel::Position::Bottom);
    accept();
}

void ChannelEditor::OnEditClicked() {
    if (!Validate()) return;
    ChannelEntry edited{name_->text(), playlist_->text(), homepage_->text(), programs_->text()};
    // A station from the community directory stays linked to it through an edit.
    if (const int row = list_->SelectedRow(); row >= 0) {
        edited.directory_id = list_->Entry(row).directory_id;
    }
    list_->ReplaceSelected(edited);
    accept();
}

void ChannelEditor::OnSeparatorClicked() {
    list_->Add(ChannelEntry::Separator(), PositionTop() ? ChannelListModel::Position::Top
                                                        : ChannelListModel::Position::Bottom);
    accept();
}

void ChannelEditor::RefuseEqualsSign() {
    dialogs().Beep();
    dialogs().Error(this, Msg("The character \"=\" cannot be stored in the channel list. "
                              "Please leave it out."));
}

void ChannelEditor::PaintNormal(QLineEdit* field) {
    field->setPalette(normal_palette_);
}

void ChannelEditor::PaintYellow(QLineEdit* field) {
    QPalette palette = normal_palette_;
    palette.setColor(QPalette::Base, QColor(255, 255, 0));
    field->setPalette(palette);
}

bool ChannelEditor::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress && (watched == name_ || watched == playlist_)) {
        PaintNormal(static_cast<QLineEdit*>(watched));
    } else if (type == QEvent::MouseMove || type == QEvent::Enter || type == QEvent::ToolTip) {
        if (watched == playlist_) UpdateLongTextHint(playlist_, kPlaylistHintLength);
        if (watched == homepage_) UpdateLongTextHint(homepage_, kPageHintLength);
        if (watched == programs_) UpdateLongTextHint(programs_, kPageHintLength);
    }
    return QDialog::eventFilter(watched, event);
}

void ChannelEditor::keyPressEvent(QKeyEvent* event) {
    // No button is bound to Enter or Escape.
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void ChannelEditor::showEvent(QShowEvent* event) {
    ReapplyLanguage(this, language_name_ ? language_name_() : QString());
    FitTexts();
    // Centred on the desktop, not over the main window that owns it.
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
    name_->setFocus();
}

void ChannelEditor::hideEvent(QHideEvent* event) {
    PaintNormal(name_);
    PaintNormal(playlist_);
    QDialog::hideEvent(event);
}

}  // namespace velmora
