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
    const QColor normal = Background(f.form.LabeledEdit1());
    ASSERT_NE(normal, kYellow);
    f.form.PrepareAddMode();
    f.form.show();

    f.form.BitBtn1()->click();
    EXPECT_EQ(f.answers.errors, QStringList({"Please enter the name of the channel!"}));
    EXPECT_EQ(f.answers.beeps, 1);
    EXPECT_EQ(Background(f.form.LabeledEdit1()), kYellow);
    EXPECT_EQ(Background(f.form.LabeledEdit2()), normal);
    EXPECT_TRUE(f.form.isVisible());
    EXPECT_EQ(f.list.Count(), 5);

    Type(f.form.LabeledEdit1(), Qt::Key_Space, " ");  // a single blank is a name
    EXPECT_EQ(f.form.LabeledEdit1()->text(), " ");
    EXPECT_EQ(Background(f.form.LabeledEdit1()), normal);
    f.form.BitBtn1()->click();
    EXPECT_EQ(f.answers.errors.last(), "Please enter the playlist URL of the channel!");
    EXPECT_EQ(f.answers.beeps, 2);
    EXPECT_EQ(Background(f.form.LabeledEdit2()), kYellow);
    EXPECT_EQ(Background(f.form.LabeledEdit1()), normal);

    // Closing resets the colour even without a key press.
    f.form.reject();
    EXPECT_FALSE(f.form.isVisible());
    EXPECT_EQ(Background(f.form.LabeledEdit2()), normal);

    f.form.show();
    f.form.LabeledEdit1()->clear();
    f.form.BitBtn1()->click();
    EXPECT_EQ(Background(f.form.LabeledEdit1()), kYellow);
    Type(f.form.LabeledEdit1(), Qt::Key_R, "R");
    EXPECT_EQ(Background(f.form.LabeledEdit1()), normal);
    f.form.LabeledEdit2()->setText("http://r.example/");
    f.form.BitBtn1()->click();
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
    EXPECT_EQ(f.form.LabeledEdit1()->text(), "C");
    EXPECT_EQ(f.form.LabeledEdit2()->text(), "c");
    EXPECT_EQ(f.form.LabeledEdit3()->text(), "hc");
    EXPECT_EQ(f.form.LabeledEdit4()->text(), "pc");
    EXPECT_FALSE(f.form.RadioButton1()->isEnabled());
    EXPECT_FALSE(f.form.BitBtn5()->isEnabled());
    f.form.show();
    EXPECT_FALSE(f.form.BitBtn1()->isVisible());
    EXPECT_TRUE(f.form.BitBtn3()->isVisible());

    f.form.LabeledEdit1()->setText("C2");
    f.form.LabeledEdit4()->clear();
    f.form.BitBtn3()->click();
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
    EXPECT_TRUE(f.form.LabeledEdit1()->text().isEmpty());
    EXPECT_TRUE(f.form.RadioButton1()->isEnabled());
    EXPECT_TRUE(f.form.BitBtn5()->isEnabled());
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
    QLineEdit* name = f.form.LabeledEdit1();
    name->end(false);
    Type(name, Qt::Key_N, "n");
    EXPECT_EQ(name->text().size(), 60);
    Type(name, Qt::Key_Backspace, QString());
    Type(name, Qt::Key_N, "n");
    EXPECT_EQ(name->text().size(), 59);
    f.form.BitBtn3()->click();
    ChannelEntry expected = long_entry;
    expected.name.chop(1);  // the user's own deletion
    EXPECT_EQ(f.list.Entry(0), expected);

    f.form.PrepareAddMode();
    f.form.LabeledEdit1()->insert(QString(50, 'a'));  // as a paste would
    EXPECT_EQ(f.form.LabeledEdit1()->text().size(), 40);
}

// "Top" and "Bottom" place new rows; a selected row moves with its entry; the separator ignores
// what the fields hold.
TEST(ChannelEditor, AddsAtChosenPositionAndSeparators) {
    EditorFixture f;
    EXPECT_FALSE(f.form.PositionTop());  // "Bottom" until the settings say otherwise
    f.list.SetSelectedRow(1);
    f.form.SetPositionTop(true);
    f.form.PrepareAddMode();
    f.form.LabeledEdit1()->setText("New");
    f.form.LabeledEdit2()->setText("n");
    f.form.BitBtn1()->click();
    EXPECT_EQ(f.list.Entry(0).name, "New");
    EXPECT_EQ(f.list.SelectedRow(), 2);
    EXPECT_EQ(f.list.Entry(2).name, "B");

    f.form.SetPositionTop(false);
    f.form.PrepareAddMode();
    f.form.LabeledEdit1()->setText("ignored");
    f.form.LabeledEdit2()->setText("ignored");
    f.form.BitBtn5()->click();
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
    f.form.LabeledEdit1()->setText("Name");
    f.form.LabeledEdit2()->setText("http://x");
    Type(f.form.LabeledEdit1(), Qt::Key_Return, "\r");
    Type(&f.form, Qt::Key_Escape, QString());
    EXPECT_TRUE(f.form.isVisible());
    EXPECT_EQ(f.list.Count(), 5);

    for (QLineEdit* field : {f.form.LabeledEdit1(), f.form.LabeledEdit2(), f.form.LabeledEdit3(),
                             f.form.LabeledEdit4()}) {
        const QString before = field->text();
        Type(field, Qt::Key_Equal, "=");
        EXPECT_EQ(field->text(), before) << field->objectName().toStdString();
    }
    ASSERT_EQ(f.answers.errors.size(), 4);
    EXPECT_TRUE(f.answers.errors.first().contains("\"=\""));
    EXPECT_EQ(f.answers.beeps, 4);

    f.form.LabeledEdit3()->setFocus();
    f.form.LabeledEdit3()->insert("http://a.example/?id=5");  // as a paste would
    EXPECT_TRUE(f.form.LabeledEdit3()->text().isEmpty());
    EXPECT_EQ(f.answers.errors.size(), 5);

    f.form.LabeledEdit1()->setText(QString(40, 'n'));
    Type(f.form.LabeledEdit1(), Qt::Key_N, "n");
    EXPECT_EQ(f.form.LabeledEdit1()->text().size(), 40);
    EXPECT_EQ(f.answers.errors.size(), 5);
}

// Long addresses show themselves as hint from 46 characters (playlist) and 53 (pages).
TEST(ChannelEditor, LongTextHints) {
    EditorFixture f;
    f.form.show();
    QLineEdit* playlist = f.form.LabeledEdit2();
    playlist->setText(QString(45, 'p'));
    EXPECT_EQ(HintAfterMouseMove(playlist), QString());
    playlist->setText(QString(46, 'p'));
    EXPECT_EQ(HintAfterMouseMove(playlist), QString(46, 'p'));
    playlist->setText(QString(45, 'p'));
    EXPECT_EQ(HintAfterMouseMove(playlist), QString());

    for (QLineEdit* page : {f.form.LabeledEdit3(), f.form.LabeledEdit4()}) {
        page->setText(QString(52, 'h'));
        EXPECT_EQ(HintAfterMouseMove(page), QString());
        page->setText(QString(53, 'h'));
        EXPECT_EQ(HintAfterMouseMove(page), QString(53, 'h'));
    }
    f.form.LabeledEdit1()->setText(QString(40, 'n'));
    EXPECT_EQ(HintAfterMouseMove(f.form.LabeledEdit1()), QString());
}

}  // namespace
}  // namespace velmora
