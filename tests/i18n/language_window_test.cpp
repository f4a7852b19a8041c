// SPDX-License-Identifier: GPL-3.0-or-later
// The interface language through the real windows and the shipped catalogues: the start-up choice
// from the settings or the system, what is stored at close, the update address, the menu items,
// choosing another language, and the secondary windows following the language at each showing.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/program_windows.h"
#include "app/window_harness.h"
#include "channels/channel_editor.h"
#include "desktop/language_switch.h"
#include "desktop/program_files.h"
#include "i18n/language.h"
#include "i18n/message.h"

namespace velmora {
namespace {

class LanguageWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        SetDialogs(&answers_);
        // The catalogues beside the program.
        InitMessages(FindProgramFile(QStringLiteral("locale")));
    }
    void TearDown() override {
        if (form_) test::CloseAndFlush(form_);
        SetDialogs(nullptr);
        qputenv("LANG", old_lang_);
        SelectCatalogueLanguage(QString());
    }

    // Starts the program as a user would, with LANG and the stored language given.
    void Start(const char* lang, const char* stored) {
        qputenv("LANG", lang);
        QFile::remove(home_.SettingsFile());
        if (stored) {
            QDir().mkpath(home_.Folder());
            test::WriteBytes(home_.SettingsFile(), QByteArray("[Default]\nLanguage=") + stored);
        }
        SelectStartupLanguage();
        form_ = CreateProgramWindows();
        ASSERT_NE(form_, nullptr);
        form_->show();
    }
    QString StoredLanguageAfterClose() {
        EXPECT_TRUE(test::CloseAndFlush(form_));
        form_ = nullptr;
        const QByteArray ini = test::ReadBytes(home_.SettingsFile());
        const int at = ini.indexOf("Language=") + 9;
        return QString::fromUtf8(ini.mid(at, ini.indexOf('\n', at) - at));
    }
    template <class T>
    T* Child(const char* name) {
        return test::FindChild<T>(form_, name);
    }

    QByteArray old_lang_ = qgetenv("LANG");
    test::SettingsHome home_;
    test::AnsweringDialogs answers_;
    MainWindow* form_ = nullptr;
};

// The stored language wins when it is one of the three names; otherwise the system's code picks
// one, or none (English texts, every item enabled, nothing stored, and the English update
// address, since updates are looked for on every locale).
TEST_F(LanguageWindowTest, StartupLanguageFromSettingsOrSystem) {
    struct Row {
        const char* lang;
        const char* stored;
        const char* applied;  // stored at close
        const char* update_path;
        const char* prompt;  // Label9
    };
    const Row rows[] = {
        {"de_DE.UTF-8", nullptr, "German", "/downloads/update/selfupdate_de.cgi",
         "Bitte wählen Sie einen Sender"},
        {"en_US.UTF-8", nullptr, "", "/downloads/update/selfupdate_en.cgi",
         "Please select a channel"},
        {"EN", nullptr, "English", "/downloads/update/selfupdate_en.cgi",
         "Please select a channel"},
        {"en_US.UTF-8", "Russian", "Russian", "/downloads/update/selfupdate_ru.cgi",
         "Выберите радиостанцию"},
        {"ru_RU.UTF-8", "german", "Russian", "/downloads/update/selfupdate_ru.cgi",
         "Выберите радиостанцию"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.lang) + " / " + (row.stored ? row.stored : "none"));
        Start(row.lang, row.stored);
        EXPECT_EQ(Child<QLabel>("Label9")->text(), QString::fromUtf8(row.prompt));
        EXPECT_EQ(form_->UpdateInfoPath(), row.update_path);
        EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), 1);
        for (const char* item : {"English1", "German1", "Russian1"}) {
            const bool active = QByteArray(item) == QByteArray(row.applied) + "1";
            EXPECT_EQ(Child<QAction>(item)->isEnabled(), !active) << item;
        }
        EXPECT_TRUE(Child<QAction>("SelectLanguage1")->isEnabled());
        EXPECT_EQ(StoredLanguageAfterClose(), row.applied);
        SelectCatalogueLanguage(QString());
    }
}

// Choosing a language tells the user to restart, stores the choice and closes the window.
TEST_F(LanguageWindowTest, ChoosingALanguageStoresItAndCloses) {
    Start("en_US.UTF-8", "German");
    QPointer<MainWindow> form = form_;
    Child<QAction>("Russian1")->trigger();
    test::Pump(std::chrono::milliseconds(20));
    ASSERT_EQ(answers_.messages.size(), 1);
    EXPECT_EQ(answers_.messages[0],
              "Das Programm muss neu gestartet werden, damit die Änderungen wirksam werden.");
    EXPECT_TRUE(form.isNull());  // closed and freed
    form_ = nullptr;
    EXPECT_TRUE(test::ReadBytes(home_.SettingsFile()).contains("Language=Russian\n"));
}

// The about box and the editor take the stored language at each showing, even when the catalogue
// language was switched since.
TEST_F(LanguageWindowTest, SecondaryWindowsFollowTheLanguageWhenShown) {
    Start("EN", "German");
    SelectCatalogueLanguage("EN");
    auto* about = form_->findChild<AboutBox*>();
    about->show();
    EXPECT_EQ(test::FindChild<QLabel>(about, "Label1")->text(), "Webseite:");
    EXPECT_EQ(about->windowTitle(), QString::fromUtf8("Über..."));
    about->hide();

    SelectCatalogueLanguage("EN");
    auto* editor = form_->findChild<ChannelEditor*>();
    editor->PrepareAddMode();
    editor->show();
    EXPECT_EQ(test::FindChild<QLabel>(editor, "Label1")->text(),
              QString::fromUtf8("Einen Webradio-Sender hinzufügen"));
    EXPECT_EQ(editor->CancelButton()->text(), "Abbrechen");
    editor->hide();
}

}  // namespace
}  // namespace velmora
