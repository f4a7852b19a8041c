// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/song_recording_window.h"

#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "i18n/message.h"

namespace velmora {

namespace {

// The label's text without its mnemonic, as a screen reader says the control's name.
QString Spoken(const QString& label) {
    QString name = label;
    name.remove(QLatin1Char('&'));
    if (name.endsWith(QLatin1Char(':'))) name.chop(1);
    return name;
}

QSpinBox* Seconds(QWidget* parent, const char* name, int highest) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(0, highest);
    return box;
}

}  // namespace

SongRecordingWindow::SongRecordingWindow(SongChoices* choices, QWidget* parent)
    : QDialog(parent), choices_(choices) {
    setObjectName(QStringLiteral("SongRecordingWindow"));
    setWindowTitle(Msg("Song Recording"));
    skip_ = new QPlainTextEdit(this);
    skip_->setObjectName(QStringLiteral("SongSkipPatterns"));
    skip_->setTabChangesFocus(true);
    skip_->setPlaceholderText(Msg("for example: news, *jingle*, advert"));
    before_ = Seconds(this, "SongCutBefore", kLongestCutReach);
    after_ = Seconds(this, "SongCutAfter", kLongestCutReach);
    padding_ = Seconds(this, "SongPadding", kLongestPadding);
    minimum_ = Seconds(this, "SongMinimum", kLongestMinimum);
    incomplete_ = new QComboBox(this);
    incomplete_->setObjectName(QStringLiteral("SongIncomplete"));
    incomplete_->addItems({Msg("Keep them in the \"incomplete\" folder"), Msg("Do not save them")});

    auto* skip_label = new QLabel(Msg("&Titles not to save, a word or a pattern such as *jingle* "
                                      "on each line:"),
                                  this);
    skip_label->setObjectName(QStringLiteral("SongSkipLabel"));
    skip_label->setWordWrap(true);
    skip_label->setBuddy(skip_);
    auto* form = new QFormLayout;
    form->setObjectName(QStringLiteral("SongForm"));
    const struct {
        QWidget* control;
        const char* label;
    } rows[] = {
        {before_, Translatable("Cut &from, seconds before the title change:")},
        {after_, Translatable("Cut &until, seconds after the title change:")},
        {padding_, Translatable("&Padding, seconds copied into both songs:")},
        {minimum_, Translatable("&Shortest whole song, in seconds:")},
        {incomplete_, Translatable("&Incomplete songs:")},
    };
    for (const auto& row : rows) {
        const QString text = Msg(row.label);
        auto* label = new QLabel(text, this);
        label->setObjectName(row.control->objectName() + QStringLiteral("Label"));
        label->setBuddy(row.control);
        row.control->setAccessibleName(Spoken(text));
        form->addRow(label, row.control);
    }
    skip_->setAccessibleName(Spoken(skip_label->text()));
    auto* note = new QLabel(Msg("A cut falls on the quietest moment between these two points. "
                                "Songs that began before the recording, ended with it or are "
                                "shorter than the shortest whole song are incomplete."),
                            this);
    note->setObjectName(QStringLiteral("SongNote"));
    note->setWordWrap(true);

    ok_ = new QPushButton(Msg("&OK"), this);
    ok_->setObjectName(QStringLiteral("SongOk"));
    ok_->setDefault(true);
    auto* cancel = new QPushButton(Msg("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("SongCancel"));
    connect(ok_, &QPushButton::clicked, this, &SongRecordingWindow::Take);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(skip_label);
    layout->addWidget(skip_);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addLayout(buttons);
    resize(520, 420);
    ShowChoices();
}

void SongRecordingWindow::ShowChoices() {
    QStringList lines;
    for (const std::string& p : choices_->rules.skip_patterns) lines << QString::fromStdString(p);
    skip_->setPlainText(lines.join(QLatin1Char('\n')));
    before_->setValue(static_cast<int>(choices_->window.before + 0.5));
    after_->setValue(static_cast<int>(choices_->window.after + 0.5));
    padding_->setValue(static_cast<int>(choices_->padding + 0.5));
    minimum_->setValue(static_cast<int>(choices_->rules.min_seconds + 0.5));
    incomplete_->setCurrentIndex(choices_->rules.keep_incomplete ? 0 : 1);
}

SongChoices SongRecordingWindow::Chosen() const {
    SongChoices c;
    c.rules.skip_patterns = ParseSkipPatterns(skip_->toPlainText().toStdString());
    c.window.before = before_->value();
    c.window.after = after_->value();
    c.padding = padding_->value();
    c.rules.min_seconds = minimum_->value();
    c.rules.keep_incomplete = incomplete_->currentIndex() == 0;
    return ClampedSongChoices(c);
}

void SongRecordingWindow::Take() {
    *choices_ = Chosen();
    accept();
}

void ConnectSongRecordingWindow(QAction* item, SongChoices* choices, QWidget* window) {
    if (!item || !choices) return;
    QObject::connect(item, &QAction::triggered, window, [=] {
        auto* shown = window->findChild<SongRecordingWindow*>();
        if (!shown) shown = new SongRecordingWindow(choices, window);
        shown->ShowChoices();
        shown->show();
        shown->raise();
        shown->activateWindow();
    });
}

}  // namespace velmora
