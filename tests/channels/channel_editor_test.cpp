// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_editor.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

#include "channel_test_support.h"
#include "channels/channel_list_model.h"

namespace velmora {
namespace {

using testing::AnsweringDialogs;
using testing::App;

const QColor kYellow(255, 255, 0);

QColor Background(const QLineEdit* field) {
    return field->palette().color(QPalette::Base);
}

void Type(QWidget* target, Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

QString HintAfterMouseMove(QLineEdit* field) {
    const QPointF at(10, 10);
    QMouseEvent move(QEvent::MouseMove, at, field->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(field, &move);
    return field->toolTip();
}

struct EditorFixture {
    EditorFixture() {
        list.ReplaceAll({{"A", "a", "", ""},
                         {"B", "b", "hb", "pb"},
                         {"C", "c", "hc", "pc"},
                         {"D", "d", "", ""},
                         {"E", "e", "", ""}});
    }
    QApplication& app = App();  // before any widget
    AnsweringDialogs answers;
    QWidget window;
    ChannelListModel list{&window};
    ChannelEditor form{&list, &window};
};

// Only emptiness is checked, name first: each failure beeps, names the field and paints it
// yellow; a key press in a yellow field or closing the dialog gives the normal colour back.
TEST(ChannelEditor, ValidationOrderAndColours) {
    EditorFixture f;
    const QColor normal = Background(f.form.NameField());
    ASSERT_NE(normal, kYellow);
    f.form.PrepareAddMode();
    f.form.show();

    f.form.OkAddButton()->click();
    EXPECT_EQ(f.answers.errors, QStringList({"Please enter the name of the channel!"}));
    EXPECT_EQ(f.answers.beeps, 1);
    EXPECT_EQ(Background(f.form.NameField()), kYellow);
    EXPECT_EQ(Background(f.form.PlaylistField()), normal);
    EXPECT_TRUE(f.form.isVisible());
    EXPECT_EQ(f.list.Count(), 5);

    Type(f.form.NameField(), Qt::Key_Space, " ");  // a single blank is a name
    EXPECT_EQ(f.form.NameField()->text(), " ");
    EXPECT_EQ(Background(f.form.NameField()), normal);
    f.form.OkAddButton()->click();
    EXPECT_EQ(f.answers.errors.last(), "Please enter the playlist URL of the channel!");
    EXPECT_EQ(f.answers.beeps, 2);
    EXPECT_EQ(Background(f.form.PlaylistField()), kYellow);
    EXPECT_EQ(Background(f.form.NameField()), normal);

    // Closing resets the colour even without a key press.
    f.form.reject();
    EXPECT_FALSE(f.form.isVisible());
    EXPECT_EQ(Background(f.form.PlaylistField()), normal);

    f.form.show();
    f.form.NameField()->clear();
    f.form.OkAddButton()->click();
    EXPECT_EQ(Background(f.form.NameField()), kYellow);
    Type(f.form.NameField(), Qt::Key_R, "R");
    EXPECT_EQ(Background(f.form.NameField()), normal);
    f.form.PlaylistField()->setText("http://r.example/");
    f.form.OkAddButton()->click();
    EXPECT_FALSE(f.form.isVisible());
    EXPECT_EQ(f.list.Entry(5), (ChannelEntry{"R", "http://r.example/", "", ""}));
    EXPECT_EQ(f.answers.errors.size(), 3);
}

// Edit replaces the selected entry at its own row and leaves nothing selected, so a second Edit
// is refused.
TEST(ChannelEditor, EditsThirdOfFiveInPlace) {
    EditorFixture f;
    f.list.SetSelectedRow(2);
    ASSERT_TRUE(f.form.PrepareEditMode());
    EXPECT_EQ(f.form.NameField()->text(), "C");
    EXPECT_EQ(f.form.PlaylistField()->text(), "c");
    EXPECT_EQ(f.form.HomepageField()->text(), "hc");
    EXPECT_EQ(f.form.ProgramsField()->text(), "pc");
    EXPECT_FALSE(f.form.InsertAtTop()->isEnabled());
    EXPECT_FALSE(f.form.SeparatorButton()->isEnabled());
    f.form.show();
    EXPECT_FALSE(f.form.OkAddButton()->isVisible());
    EXPECT_TRUE(f.form.OkEditButton()->isVisible());

    f.form.NameField()->setText("C2");
    f.form.ProgramsField()->clear();
    f.form.OkEditButton()->click();
    EXPECT_FALSE(f.form.isVisible());
    ASSERT_EQ(f.list.Count(), 5);
    EXPECT_EQ(f.list.Entry(2), (ChannelEntry{"C2", "c", "hc", ""}));
    EXPECT_EQ(f.list.Entry(1).name, "B");
    EXPECT_EQ(f.list.Entry(3).name, "D");
    EXPECT_EQ(f.list.SelectedRow(), -1);

    EXPECT_FALSE(f.form.PrepareEditMode());
    EXPECT_EQ(f.answers.errors, QStringList({"Please select a channel!"}));

    // Add mode afterwards: fields cleared, position and separator usable again.
    f.form.PrepareAddMode();
    EXPECT_TRUE(f.form.NameField()->text().isEmpty());
    EXPECT_TRUE(f.form.InsertAtTop()->isEnabled());
    EXPECT_TRUE(f.form.SeparatorButton()->isEnabled());
}

// Edit keeps texts longer than the editor's limits whole on OK; typing cannot make them longer,
// and add mode holds typing to the limits again.
TEST(ChannelEditor, NeverShortensWhatItWasGiven) {
    EditorFixture f;
    const ChannelEntry long_entry{QString(60, 'n'), "http://x/" + QString(400, 'p'),
                                  "http://h/" + QString(200, 'h'), "http://p/" + QString(300, 'q')};
    f.list.ReplaceAll({long_entry});
    f.list.SetSelectedRow(0);
    ASSERT_TRUE(f.form.PrepareEditMode());
    f.form.show();
    QLineEdit* name = f.form.NameField();
    name->end(false);
    Type(name, Qt::Key_N, "n");
    EXPECT_EQ(name->text().size(), 60);
    Type(name, Qt::Key_Backspace, QString());
    Type(name, Qt::Key_N, "n");
    EXPECT_EQ(name->text().size(), 59);
    f.form.OkEditButton()->click();
    ChannelEntry expected = long_entry;
    expected.name.chop(1);  // the user's own deletion
    EXPECT_EQ(f.list.Entry(0), expected);

    f.form.PrepareAddMode();
    f.form.NameField()->insert(QString(50, 'a'));  // as a paste would
    EXPECT_EQ(f.form.NameField()->text().size(), 40);
}

// "Top" and "Bottom" place new rows; a selected row moves with its entry; the separator ignores
// what the fields hold.
TEST(ChannelEditor, AddsAtChosenPositionAndSeparators) {
    EditorFixture f;
    EXPECT_FALSE(f.form.PositionTop());  // "Bottom" until the settings say otherwise
    f.list.SetSelectedRow(1);
    f.form.SetPositionTop(true);
    f.form.PrepareAddMode();
    f.form.NameField()->setText("New");
    f.form.PlaylistField()->setText("n");
    f.form.OkAddButton()->click();
    EXPECT_EQ(f.list.Entry(0).name, "New");
    EXPECT_EQ(f.list.SelectedRow(), 2);
    EXPECT_EQ(f.list.Entry(2).name, "B");

    f.form.SetPositionTop(false);
    f.form.PrepareAddMode();
    f.form.NameField()->setText("ignored");
    f.form.PlaylistField()->setText("ignored");
    f.form.SeparatorButton()->click();
    ASSERT_EQ(f.list.Count(), 7);
    EXPECT_EQ(f.list.Entry(6), ChannelEntry::Separator());
    EXPECT_TRUE(f.answers.errors.isEmpty());
}

// Enter and Escape trigger nothing; "=" cannot be typed or pasted into any field and is explained,
// while a name too long for its field is cut silently.
TEST(ChannelEditor, KeyboardRefusals) {
    EditorFixture f;
    f.form.PrepareAddMode();
    f.form.show();
    f.form.NameField()->setText("Name");
    f.form.PlaylistField()->setText("http://x");
    Type(f.form.NameField(), Qt::Key_Return, "\r");
    Type(&f.form, Qt::Key_Escape, QString());
    EXPECT_TRUE(f.form.isVisible());
    EXPECT_EQ(f.list.Count(), 5);

    for (QLineEdit* field : {f.form.NameField(), f.form.PlaylistField(), f.form.HomepageField(),
                             f.form.ProgramsField()}) {
        const QString before = field->text();
        Type(field, Qt::Key_Equal, "=");
        EXPECT_EQ(field->text(), before) << field->objectName().toStdString();
    }
    ASSERT_EQ(f.answers.errors.size(), 4);
    EXPECT_TRUE(f.answers.errors.first().contains("\"=\""));
    EXPECT_EQ(f.answers.beeps, 4);

    f.form.HomepageField()->setFocus();
    f.form.HomepageField()->insert("http://a.example/?id=5");  // as a paste would
    EXPECT_TRUE(f.form.HomepageField()->text().isEmpty());
    EXPECT_EQ(f.answers.errors.size(), 5);

    f.form.NameField()->setText(QString(40, 'n'));
    Type(f.form.NameField(), Qt::Key_N, "n");
    EXPECT_EQ(f.form.NameField()->text().size(), 40);
    EXPECT_EQ(f.answers.errors.size(), 5);
}

// Long addresses show themselves as hint from 46 characters (playlist) and 53 (pages).
TEST(ChannelEditor, LongTextHints) {
    EditorFixture f;
    f.form.show();
    QLineEdit* playlist = f.form.PlaylistField();
    playlist->setText(QString(45, 'p'));
    EXPECT_EQ(HintAfterMouseMove(playlist), QString());
    playlist->setText(QString(46, 'p'));
    EXPECT_EQ(HintAfterMouseMove(playlist), QString(46, 'p'));
    playlist->setText(QString(45, 'p'));
    EXPECT_EQ(HintAfterMouseMove(playlist), QString());

    for (QLineEdit* page : {f.form.HomepageField(), f.form.ProgramsField()}) {
        page->setText(QString(52, 'h'));
        EXPECT_EQ(HintAfterMouseMove(page), QString());
        page->setText(QString(53, 'h'));
        EXPECT_EQ(HintAfterMouseMove(page), QString(53, 'h'));
    }
    f.form.NameField()->setText(QString(40, 'n'));
    EXPECT_EQ(HintAfterMouseMove(f.form.NameField()), QString());
}

}  // namespace
}  // namespace velmora
