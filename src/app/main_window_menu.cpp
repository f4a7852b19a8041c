// TForm1's settings menu, header backgrounds, clock and about box.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include "app/about_box.h"
#include "app/header_clock.h"
#include "app/main_window.h"
#include "app/picture_button.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"

namespace velmora {

void TForm1::WireMenu() {
    connect(Image2, &PictureButton::clicked, this, &TForm1::Image2Click);
    connect(menu_.ShowDate1, &QAction::triggered, this, &TForm1::ShowDate1Click);
    connect(menu_.ShowTime1, &QAction::triggered, this, &TForm1::ShowTime1Click);
    for (const BackgroundInfo& info : kBackgrounds) {
        connect(menu_.Backgrounds[static_cast<std::size_t>(info.id)], &QAction::triggered, this,
                [this, id = info.id] { BackgroundClick(id); });
    }
    connect(menu_.ChannelListExport1, &QAction::triggered, this, &TForm1::ChannelListExport1Click);
    connect(menu_.ChannelListImport1, &QAction::triggered, this, &TForm1::ChannelListImport1Click);
    connect(menu_.About1, &QAction::triggered, this, &TForm1::About1Click);
    menu_.SelectLanguage1->setEnabled(true);
    connect(menu_.English1, &QAction::triggered, this, &TForm1::English1Click);
    connect(menu_.German1, &QAction::triggered, this, &TForm1::German1Click);
    connect(menu_.Russian1, &QAction::triggered, this, &TForm1::Russian1Click);
    // Through the normal close, which saves the settings and the list.
    connect(menu_.Close1, &QAction::triggered, this, &QWidget::close);
    connect(Timer4, &QTimer::timeout, this, &TForm1::Timer4Timer);
}

void TForm1::Image2Click() {
    PopupSettingsMenu(menu_, this);
}

// The item has already flipped its own mark.
void TForm1::ShowDate1Click() {
    Label10->setVisible(menu_.ShowDate1->isChecked());
}

void TForm1::ShowTime1Click() {
    Label11->setVisible(menu_.ShowTime1->isChecked());
}

void TForm1::BackgroundClick(Background background) {
    ShowBackground(background);
    background_name_ = StoredName(background);
}

// The picture into the header; its item marked and disabled, the other four unmarked and enabled.
void TForm1::ShowBackground(Background background) {
    const auto* source = findChild<QLabel*>(QLatin1String(InfoOf(background).picture));
    Image3->setPixmap(source->pixmap());
    ApplyBackgroundItemStates(menu_.Backgrounds, background);
}

void TForm1::About1Click() {
    about_box_->ShowWithHeader(Image3->pixmap());
}

void TForm1::English1Click() {
    ChooseLanguage("English");
}

void TForm1::German1Click() {
    ChooseLanguage("German");
}

void TForm1::Russian1Click() {
    ChooseLanguage("Russian");
}

// The new language applies at the next start; closing normally saves it with the settings.
void TForm1::ChooseLanguage(const char* language_name) {
    dialogs().Information(this, Msg("Program has to be restarted to apply the changes."));
    language_name_ = QString::fromLatin1(language_name);
    close();
}

void TForm1::Timer4Timer() {
    RefreshClockLabels(Label10, Label11);
}

}  // namespace velmora
