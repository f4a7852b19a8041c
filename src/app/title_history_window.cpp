// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/title_history_window.h"

#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "listening/title_history.h"

namespace velmora {

namespace {

enum Column { kTime, kStation, kTitle, kColumns };
// Where an item keeps the line it copies as.
constexpr int kLineRole = Qt::UserRole;

// The recording mark: the red dot of the record button, drawn at the list's text height.
QIcon RecordingMark(int size) {
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x9a, 0x10, 0x10));
    painter.setBrush(QColor(0xe0, 0x20, 0x20));
    const qreal margin = size * 0.2;
    painter.drawEllipse(QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
    return QIcon(p);
}

}  // namespace

TitleHistoryWindow::TitleHistoryWindow(const TitleHistory* history, std::function<void()> clear,
                                       QWidget* parent)
    : QDialog(parent), history_(history), clear_(std::move(clear)) {
    setObjectName(QStringLiteral("TitleHistoryWindow"));
    setWindowTitle(Msg("Title History"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("HistoryFilter"));
    filter_->setPlaceholderText(Msg("Type to filter by station or title"));
    filter_->setClearButtonEnabled(true);
    filter_->setAccessibleName(Msg("Filter"));
    auto* filter_label = new QLabel(Msg("&Find:"), this);
    filter_label->setBuddy(filter_);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("HistoryList"));
    list_->setColumnCount(kColumns);
    list_->setHeaderLabels({Msg("Time"), Msg("Station"), Msg("Title")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAlternatingRowColors(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setAccessibleName(Msg("Titles played"));
    list_->header()->setStretchLastSection(true);
    list_->header()->setSectionResizeMode(kTime, QHeaderView::ResizeToContents);
    list_->setColumnWidth(kStation, 170);

    auto* copy_key = new QAction(list_);
    copy_key->setShortcut(QKeySequence::Copy);
    copy_key->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    list_->addAction(copy_key);
    connect(copy_key, &QAction::triggered, this, &TitleHistoryWindow::CopySelection);

    auto* mark = new QLabel(this);
    const int mark_size = fontMetrics().height();
    mark->setPixmap(RecordingMark(mark_size).pixmap(mark_size, mark_size));
    auto* mark_text = new QLabel(Msg("Came while a recording ran"), this);
    mark_text->setObjectName(QStringLiteral("RecordingMarkText"));

    copy_ = new QPushButton(Msg("&Copy"), this);
    copy_->setObjectName(QStringLiteral("CopyButton"));
    clear_button_ = new QPushButton(Msg("C&lear List..."), this);
    clear_button_->setObjectName(QStringLiteral("ClearButton"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(Msg("Close"));
    buttons->addButton(copy_, QDialogButtonBox::ActionRole);
    buttons->addButton(clear_button_, QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(copy_, &QPushButton::clicked, this, &TitleHistoryWindow::CopySelection);
    connect(clear_button_, &QPushButton::clicked, this, &TitleHistoryWindow::AskToClear);
    // Return in the filter must not close the window through a default button.
    for (QPushButton* b : {copy_, clear_button_, buttons->button(QDialogButtonBox::Close)}) {
        b->setAutoDefault(false);
    }

    auto* filter_row = new QHBoxLayout;
    filter_row->addWidget(filter_label);
    filter_row->addWidget(filter_);
    auto* mark_row = new QHBoxLayout;
    mark_row->addWidget(mark);
    mark_row->addWidget(mark_text);
    mark_row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filter_row);
    layout->addWidget(list_, 1);
    layout->addLayout(mark_row);
    layout->addWidget(buttons);

    connect(filter_, &QLineEdit::textChanged, this, &TitleHistoryWindow::ApplyFilter);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &TitleHistoryWindow::UpdateButtons);
    resize(680, 440);
    Refresh();
}

void TitleHistoryWindow::Refresh() {
    list_->clear();
    const QIcon mark = RecordingMark(fontMetrics().height());
    QList<QTreeWidgetItem*> items;
    for (const TitleHistoryEntry& e : history_->Entries()) {
        auto* item = new QTreeWidgetItem;
        item->setText(kTime, e.when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        item->setText(kStation, e.station);
        item->setText(kTitle, e.title);
        item->setData(kTime, kLineRole, TitleHistoryLine(e));
        item->setToolTip(kTitle, e.title);
        item->setToolTip(kStation, e.station);
        if (e.recorded) {
            item->setIcon(kTime, mark);
            item->setToolTip(kTime, Msg("Came while a recording ran"));
            // The mark is a picture: a screen reader hears it as words.
            item->setData(
                kTime, Qt::AccessibleTextRole,
                item->text(kTime) + QStringLiteral(", ") + Msg("Came while a recording ran"));
        }
        items.append(item);
    }
    list_->addTopLevelItems(items);
    ApplyFilter();
}

void TitleHistoryWindow::ApplyFilter() {
    const QList<TitleHistoryEntry>& entries = history_->Entries();
    const QString filter = filter_->text();
    for (int i = 0; i < list_->topLevelItemCount() && i < entries.size(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        const bool shown = TitleMatches(entries[i], filter);
        item->setHidden(!shown);
        if (!shown) item->setSelected(false);
    }
    UpdateButtons();
}

QString TitleHistoryWindow::SelectedText() const {
    QStringList lines;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->isSelected() && !item->isHidden()) {
            lines << item->data(kTime, kLineRole).toString();
        }
    }
    return lines.join(QLatin1Char('\n'));
}

void TitleHistoryWindow::CopySelection() {
    const QString text = SelectedText();
    if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

void TitleHistoryWindow::AskToClear() {
    if (!dialogs().AskYesNo(this, Msg("Remove every title from the history?"))) return;
    clear_();
    Refresh();
}

void TitleHistoryWindow::UpdateButtons() {
    copy_->setEnabled(!SelectedText().isEmpty());
    clear_button_->setEnabled(list_->topLevelItemCount() > 0);
}

}  // namespace velmora
