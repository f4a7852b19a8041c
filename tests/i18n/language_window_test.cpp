// SPDX-License-Identifier: GPL-3.0-or-later
// The interface language through the real windows and the shipped catalogues: the start-up choice
// from the settings or the system, what is stored at close, the update address, the menu items,
// choosing another language, and the secondary windows following the language at each showing.
#include <QLocale>
#include <QPointer>
#include <QPushButton>

#include "app/about_box.h"
#include "channels/channel_editor.h"
#include "desktop/language_switch.h"
#include "desktop/program_files.h"
#include "i18n/message.h"
#include "support/window_fixture.h"

namespace velmora {
namespace {

using namespace test;

class LanguageWindowTest : public WindowTest {
  protected:
    LanguageWindowTest() { open_at_start_ = false; }
    void SetUp() override {
        WindowTest::SetUp();
        // The catalogues beside the program.
        InitMessages(FindProgramFile(QStringLiteral("locale")));
    }
    void TearDown() override {
        WindowTest::TearDown();
        qputenv("LANG", old_lang_);
        SelectCatalogueLanguage(QString());
    }

    // Starts the program as a user would, with LANG and the stored language given.
    void Start(const char* lang, const char* stored) {
        qputenv("LANG", lang);
        QFile::remove(home_.SettingsFile());
        if (stored) WriteBytes(home_.SettingsFile(), QByteArray("[Default]\nLanguage=") + stored);
        SelectStartupLanguage();
        OpenWindow();
    }
    QString StoredLanguageAfterClose() {
        EXPECT_TRUE(CloseWindow());
        const QByteArray ini = ReadBytes(home_.SettingsFile());
        const int at = ini.indexOf("Language=") + 9;
        return QString::fromUtf8(ini.mid(at, ini.indexOf('\n', at) - at));
    }

    QByteArray old_lang_ = qgetenv("LANG");
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
        const char* prompt;
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
        EXPECT_EQ(PromptLabel(window_)->text(), QString::fromUtf8(row.prompt));
        EXPECT_EQ(window_->UpdateInfoPath(), row.update_path);
        EXPECT_EQ(DirectoryCombo(window_)->currentIndex(), 1);
        const std::pair<QAction*, QString> items[] = {{EnglishItem(window_), "English"},
                                                      {GermanItem(window_), "German"},
                                                      {RussianItem(window_), "Russian"}};
        for (const auto& [item, name] : items) {
            EXPECT_EQ(item->isEnabled(), name != row.applied) << name.toStdString();
        }
        EXPECT_TRUE(LanguageItem(window_)->isEnabled());
        EXPECT_EQ(StoredLanguageAfterClose(), row.applied);
        SelectCatalogueLanguage(QString());
    }
}

// Choosing a language tells the user to restart, stores the choice and closes the window.
TEST_F(LanguageWindowTest, ChoosingALanguageStoresItAndCloses) {
    Start("en_US.UTF-8", "German");
    QPointer<MainWindow> form = window_;
    RussianItem(window_)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(answers_.messages.size(), 1);
    EXPECT_EQ(answers_.messages[0],
              "Das Programm muss neu gestartet werden, damit die Änderungen wirksam werden.");
    EXPECT_TRUE(form.isNull());  // closed and freed
    window_ = nullptr;
    EXPECT_TRUE(ReadBytes(home_.SettingsFile()).contains("Language=Russian\n"));
}

// The about box and the editor take the stored language at each showing, even when the catalogue
// language was switched since.
TEST_F(LanguageWindowTest, SecondaryWindowsFollowTheLanguageWhenShown) {
    Start("EN", "German");
    SelectCatalogueLanguage("EN");
    auto* about = window_->findChild<AboutBox*>();
    about->show();
    EXPECT_EQ(AboutWebsiteCaption(about)->text(), "Webseite:");
    EXPECT_EQ(about->windowTitle(), QString::fromUtf8("Über..."));
    about->hide();

    SelectCatalogueLanguage("EN");
    auto* editor = window_->findChild<ChannelEditor*>();
    editor->PrepareAddMode();
    editor->show();
    EXPECT_EQ(EditorHeading(editor)->text(), QString::fromUtf8("Einen Webradio-Sender hinzufügen"));
    EXPECT_EQ(editor->CancelButton()->text(), "Abbrechen");
    editor->hide();
}

}  // namespace
}  // namespace velmora
