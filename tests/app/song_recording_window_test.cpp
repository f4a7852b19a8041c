// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of recording song by song as the user keeps them: stored values, hand-edited ones too,
// give choices within their limits; the "Song Recording" window changes them on OK only, they are
// stored at the close and read at the next start; every control is named and every text shown
// whole in the three languages.
#include "app/song_recording_window.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include "app/settings_binding.h"
#include "desktop/program_files.h"
#include "support/window_fixture.h"

namespace velmora {
namespace {

using namespace test;

SongChoices Choices(double before, double after, double padding, double minimum, bool keep,
                    std::vector<std::string> skip) {
    SongChoices c;
    c.window = {before, after};
    c.padding = padding;
    c.rules.min_seconds = minimum;
    c.rules.keep_incomplete = keep;
    c.rules.skip_patterns = std::move(skip);
    return c;
}

// Each stored line gives these choices, and storing them again gives them back.
TEST(SongRecordingSettingsTest, StoredValuesGiveChoicesWithinLimits) {
    const struct {
        const char* stored;
        SongChoices expected;
    } rows[] = {
        {"", Choices(2, 4, 0, 30, true, {})},
        {"SongCutBefore=-3\nSongCutAfter=99\nSongPadding=11\nSongMinSeconds=-5\n",
         Choices(0, 30, 10, 0, true, {})},
        {"SongSkipPatterns=news, ,*jingle* ,Werbung,\nKeepIncompleteSongs=0\nSongMinSeconds=45\n",
         Choices(2, 4, 0, 45, false, {"news", "*jingle*", "Werbung"})},
        {"SongCutAfter=abc\nSongPadding=3\nSongMinSeconds=100000\n",
         Choices(2, 4, 3, kLongestMinimum, true, {})},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("Config-t.ini");
    for (const auto& r : rows) {
        WriteBytes(path, QByteArray("[Default]\n") + r.stored);
        const Settings stored = LoadSettings(path).settings.value_or(Settings{});
        EXPECT_EQ(SongChoicesOf(stored), r.expected) << r.stored;
        Settings again;
        StoreSongChoices(r.expected, &again);
        ASSERT_TRUE(SaveSettings(path, again).ok());
        EXPECT_EQ(SongChoicesOf(LoadSettings(path).settings.value_or(Settings{})), r.expected)
            << r.stored;
    }
}

class SongRecordingWindowTest : public WindowTest {
  protected:
    SongRecordingWindow* Open() {
        SongRecordingItem(window_)->trigger();
        auto* shown = window_->findChild<SongRecordingWindow*>();
        EXPECT_NE(shown, nullptr);
        if (shown) {
            EXPECT_TRUE(shown->isVisible());
        }
        return shown;
    }
    template <typename T>
    static T* Part(const SongRecordingWindow* w, const char* name) {
        T* part = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(part, nullptr) << name;
        return part;
    }
    static void Edit(SongRecordingWindow* w) {
        Part<QPlainTextEdit>(w, "SongSkipPatterns")->setPlainText("news\n *jingle*, advert\n\n");
        Part<QSpinBox>(w, "SongCutBefore")->setValue(1);
        Part<QSpinBox>(w, "SongCutAfter")->setValue(6);
        Part<QSpinBox>(w, "SongPadding")->setValue(2);
        Part<QSpinBox>(w, "SongMinimum")->setValue(45);
        Part<QComboBox>(w, "SongIncomplete")->setCurrentIndex(1);
    }
};

// Cancel keeps the rules, OK takes them; the close stores them and the next start shows them.
TEST_F(SongRecordingWindowTest, OkTakesTheRulesAndTheyAreStored) {
    SongRecordingWindow* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Chosen(), SongChoices{});
    Edit(w);
    Part<QPushButton>(w, "SongCancel")->click();
    EXPECT_FALSE(w->isVisible());
    w = Open();
    EXPECT_EQ(w->Chosen(), SongChoices{});
    Edit(w);
    Part<QPushButton>(w, "SongOk")->click();
    const SongChoices edited = Choices(1, 6, 2, 45, false, {"news", "*jingle*", "advert"});
    EXPECT_EQ(w->Chosen(), edited);

    ASSERT_TRUE(CloseWindow());
    const QByteArray stored = ReadBytes(home_.SettingsFile());
    for (const char* line :
         {"SongSkipPatterns=news, *jingle*, advert\n", "SongCutBefore=1\n", "SongCutAfter=6\n",
          "SongPadding=2\n", "SongMinSeconds=45\n", "KeepIncompleteSongs=0\n"})
        EXPECT_TRUE(stored.contains(line)) << line << " in " << stored.toStdString();
    OpenWindow();
    w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Chosen(), edited);
    EXPECT_EQ(Part<QPlainTextEdit>(w, "SongSkipPatterns")->toPlainText(), "news\n*jingle*\nadvert");
}

// In each language every control has a spoken name, every label is shown whole inside the window,
// and no two of them cover each other.
TEST_F(SongRecordingWindowTest, NamedAndWholeInEveryLanguage) {
    InitMessages(FindProgramFile(QStringLiteral("locale")));
    QStringList english;
    for (const char* code : {"", "de_DE", "ru_RU"}) {
        SelectCatalogueLanguage(QString::fromLatin1(code));
        SongChoices choices;
        SongRecordingWindow w(&choices, window_);
        w.show();
        QList<QWidget*> shown;
        QStringList names;
        for (QWidget* c : w.findChildren<QWidget*>()) {
            if (!c->isVisible()) continue;
            if (qobject_cast<QSpinBox*>(c) || qobject_cast<QComboBox*>(c) ||
                qobject_cast<QPlainTextEdit*>(c)) {
                EXPECT_FALSE(c->accessibleName().isEmpty())
                    << code << c->objectName().toStdString();
                names << c->accessibleName();
                shown << c;
            }
            if (auto* l = qobject_cast<QLabel*>(c)) {
                const QSize need = l->wordWrap() ? QSize(l->width(), l->heightForWidth(l->width()))
                                                 : l->sizeHint();
                EXPECT_GE(l->width(), need.width()) << code << l->text().toStdString();
                EXPECT_GE(l->height(), need.height()) << code << l->text().toStdString();
                shown << l;
            }
            if (qobject_cast<QPushButton*>(c)) shown << c;
        }
        EXPECT_EQ(names.size(), 6);
        for (QWidget* a : shown) {
            EXPECT_TRUE(w.rect().contains(a->geometry())) << code << a->objectName().toStdString();
            for (QWidget* b : shown) {
                if (a != b && a->parentWidget() == b->parentWidget()) {
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << code << a->objectName().toStdString() << " / "
                        << b->objectName().toStdString();
                }
            }
        }
        // The names follow the language: none is left in English.
        if (english.isEmpty()) {
            english = names;
        } else {
            for (const QString& name : names) EXPECT_FALSE(english.contains(name)) << code;
        }
    }
    SelectCatalogueLanguage(QString());
}

}  // namespace
}  // namespace velmora
