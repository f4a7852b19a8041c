// SPDX-License-Identifier: GPL-3.0-or-later
// Catalogue switching and window translation over real catalogues compiled by msgfmt: the
// messages locale may be plain C, codes fall back to their language, line ends, broken charsets,
// and a retranslation that starts from the English texts.
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <clocale>

#include "desktop/dialogs.h"
#include "desktop/language_switch.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

struct Entry {
    const char* id;
    const char* text;
};

class RecordingDialogs final : public Dialogs {
  public:
    void Error(QWidget*, const QString& text, const QString& caption) override {
        boxes << caption + ": " + text;
    }
    void Message(QWidget*, const QString& text, const QString&) override { boxes << text; }
    bool AskYesNo(QWidget*, const QString&, const QString&) override { return false; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    void Beep() override {}
    QStringList boxes;
};

class CatalogueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        SetDialogs(&dialogs_);
        // What a fresh system gives a program: no locale but C.
        std::setlocale(LC_MESSAGES, "C");
        InitMessages(dir_.path());
        InitCatalogueSwitching();
        Write("de_DE", {{"Play", "Abspielen"},
                        {"Stop", "Stopp"},
                        {"Title", "Titel"},
                        {"Pick", "Wählen"},
                        {"Two\nlines", "Zwei\nZeilen"}});
        Write("ru", {{"Play", "Играть"},
                     {"Title", "Заголовок"},
                     {"Pick", "Выбор"},
                     // Only reached if a German text were taken for an English one.
                     {"Abspielen", "DOUBLE"},
                     {"Titel", "DOUBLE"}});
    }
    void TearDown() override {
        SelectCatalogueLanguage(QString());
        SetDialogs(nullptr);
    }

    // Compiles a catalogue for `code`; the header declares `charset`, the file is encoded in it.
    void Write(const QString& code, const std::vector<Entry>& entries,
               const char* charset = "UTF-8") {
        QString po =
            QStringLiteral("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=%1\\n\"\n")
                .arg(QLatin1String(charset));
        for (const Entry& e : entries) {
            const auto quote = [](QString s) { return s.replace("\n", "\\n"); };
            po += QStringLiteral("\nmsgid \"%1\"\nmsgstr \"%2\"\n")
                      .arg(quote(QString::fromUtf8(e.id)), quote(QString::fromUtf8(e.text)));
        }
        const QString folder = dir_.path() + "/" + code + "/LC_MESSAGES";
        QDir().mkpath(folder);
        const QString po_file = dir_.path() + "/" + code + ".po";
        const bool latin1 = QByteArray(charset) == "ISO-8859-1";
        test::WriteBytes(po_file, latin1 ? po.toLatin1() : po.toUtf8());
        ASSERT_EQ(QProcess::execute("msgfmt", {"-o", folder + "/default.mo", po_file}), 0);
    }

    QTemporaryDir dir_;
    RecordingDialogs dialogs_;
};

// Switching back and forth at run time takes effect at once; a code finds its catalogue, else the
// catalogue of its first two letters, else none (English); CR LF texts are found under LF ids.
TEST_F(CatalogueTest, SwitchesAtRunTimeWithFallbackAndLineEnds) {
    struct Row {
        const char* code;
        const char* play;
        const char* stop;
    };
    for (const Row& row : std::initializer_list<Row>{{"de_DE", "Abspielen", "Stopp"},
                                                     {"ru_RU", "Играть", "Stop"},
                                                     {"EN", "Play", "Stop"},
                                                     {"de_AT", "Play", "Stop"},
                                                     {"de_DE", "Abspielen", "Stopp"}}) {
        SCOPED_TRACE(row.code);
        EXPECT_FALSE(SelectCatalogueLanguage(row.code));
        EXPECT_EQ(CatalogueLanguage(), row.code);
        EXPECT_EQ(Msg("Play"), QString::fromUtf8(row.play));
        EXPECT_EQ(Msg("Stop"), QString::fromUtf8(row.stop));
    }
    EXPECT_EQ(Msg("Two\r\nlines"), "Zwei\r\nZeilen");
    EXPECT_EQ(Msg("Two\nlines"), "Zwei\r\nZeilen");
    EXPECT_TRUE(dialogs_.boxes.isEmpty());
}

// A catalogue that declares another charset gives the "Localization problem" box once and
// English texts; a sound catalogue selected afterwards translates again.
TEST_F(CatalogueTest, CatalogueWithoutUtf8GivesTheBoxAndEnglish) {
    Write("fr_FR", {{"Play", "Écouter"}}, "ISO-8859-1");
    SwitchCatalogue("fr_FR", nullptr);
    ASSERT_EQ(dialogs_.boxes.size(), 1);
    EXPECT_EQ(dialogs_.boxes[0],
              "Localization problem: The translation for the language code fr_FR (in " +
                  dir_.path() +
                  "/fr_FR/LC_MESSAGES/default.mo) does not have charset=utf-8 in its "
                  "Content-Type. Translations are turned off.");
    EXPECT_EQ(Msg("Play"), "Play");
    SwitchCatalogue("fr_FR", nullptr);  // the about box and the editor select it again
    EXPECT_EQ(dialogs_.boxes.size(), 1);

    SwitchCatalogue("de_DE", nullptr);
    EXPECT_EQ(Msg("Play"), "Abspielen");
    EXPECT_EQ(dialogs_.boxes.size(), 1);
}

// Every kind of shown text is translated once, names and the user's input never; a retranslation
// after a switch starts from English, and a text the program replaced since stays as it is.
TEST_F(CatalogueTest, WindowTranslationStartsFromEnglishEachTime) {
    SelectCatalogueLanguage("de_DE");
    QWidget window;
    window.setWindowTitle("Title");
    auto* label = new QLabel("Play", &window);
    label->setObjectName("Play");
    auto* status = new QLabel("Stop", &window);
    auto* box = new QGroupBox("Title", &window);
    auto* button = new QPushButton("Stop", box);
    button->setToolTip("Play");
    auto* combo = new QComboBox(&window);
    combo->addItems({"Pick", "Play"});
    combo->setCurrentIndex(1);
    auto* edit = new QLineEdit("Play", &window);
    edit->setPlaceholderText("Pick");
    auto* menu = new QMenu(&window);
    QAction* item = menu->addAction("Stop");
    QMenu* sub = menu->addMenu("Title");
    auto* data = new QLabel("Play", &window);
    ExcludeFromTranslation(data);

    TranslateWindow(&window);
    TranslateWindow(&window);  // a second call changes nothing
    EXPECT_EQ(window.windowTitle(), "Titel");
    EXPECT_EQ(label->text(), "Abspielen");
    EXPECT_EQ(label->objectName(), "Play");
    EXPECT_EQ(box->title(), "Titel");
    EXPECT_EQ(button->text(), "Stopp");
    EXPECT_EQ(button->toolTip(), "Abspielen");
    EXPECT_EQ(combo->itemText(0), QString::fromUtf8("Wählen"));
    EXPECT_EQ(combo->itemText(1), "Abspielen");
    EXPECT_EQ(edit->text(), "Play");
    EXPECT_EQ(edit->placeholderText(), QString::fromUtf8("Wählen"));
    EXPECT_EQ(item->text(), "Stopp");
    EXPECT_EQ(sub->title(), "Titel");
    EXPECT_EQ(data->text(), "Play");

    status->setText("Radio One");  // the program's own text now
    SelectCatalogueLanguage("ru_RU");
    RetranslateWindow(&window);
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Заголовок"));
    EXPECT_EQ(label->text(), QString::fromUtf8("Играть"));
    EXPECT_EQ(button->text(), "Stop");
    EXPECT_EQ(combo->itemText(0), QString::fromUtf8("Выбор"));
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(sub->title(), QString::fromUtf8("Заголовок"));
    EXPECT_EQ(status->text(), "Radio One");

    SelectCatalogueLanguage("EN");
    RetranslateWindow(&window);
    EXPECT_EQ(label->text(), "Play");
    EXPECT_EQ(button->toolTip(), "Play");
    EXPECT_EQ(item->text(), "Stop");
    EXPECT_EQ(RememberedEnglishTexts(&window), QStringList({"Title", "Play", "Stop", "Pick"}));
}

}  // namespace
}  // namespace velmora
