// SPDX-License-Identifier: GPL-3.0-or-later
#include "finding/find_stations_window.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "desktop/dialogs.h"
#include "finding/directory_error_text.h"
#include "finding/found_stations_model.h"
#include "finding/station_icons.h"
#include "finding/station_search.h"
#include "i18n/message.h"
#include "update/browser.h"

namespace velmora {
namespace {

QString Text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QLabel* Buddy(const char* text, QWidget* field, QWidget* parent) {
    auto* label = new QLabel(Msg(text), parent);
    label->setBuddy(field);
    return label;
}

}  // namespace

std::optional<ChannelEntry> ChannelEntryForStation(const FoundStation& station) {
    ChannelEntry e;
    e.name = Text(station.name).replace(QLatin1Char('='), QLatin1Char('-')).trimmed();
    e.playlist = Text(station.PlayAddress());
    e.homepage = Text(station.homepage);
    e.directory_id = Text(station.uuid);
    if (e.name.isEmpty()) e.name = e.playlist.left(40);
    if (e.playlist.contains(QLatin1Char('=')) || e.homepage.contains(QLatin1Char('='))) {
        return std::nullopt;
    }
    return e;
}

FindStationsWindow::FindStationsWindow(std::shared_ptr<DirectoryClient> client,
                                       const QString& icon_folder, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FindStationsWindow"));
    setWindowTitle(Msg("Find stations"));
    searcher_ = new StationSearch(client, this);
    icons_ = new StationIcons(icon_folder, client->Settings(), 16 << 20, this);
    model_ = new FoundStationsModel(icons_, this);

    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("SearchField"));
    search_->setAccessibleName(Msg("Search stations"));
    search_->setPlaceholderText(Msg("Name of a station"));
    search_->setClearButtonEnabled(true);

    country_ = new QComboBox(this);
    country_->setObjectName(QStringLiteral("CountryFilter"));
    country_->addItem(Msg("Any"), QString());
    language_ = new QLineEdit(this);
    language_->setObjectName(QStringLiteral("LanguageFilter"));
    tag_ = new QComboBox(this);
    tag_->setObjectName(QStringLiteral("TagFilter"));
    tag_->setEditable(true);
    tag_->setInsertPolicy(QComboBox::NoInsert);
    codec_ = new QComboBox(this);
    codec_->setObjectName(QStringLiteral("CodecFilter"));
    codec_->addItem(Msg("Any"), QString());
    for (const char* c : {"MP3", "AAC", "AAC+", "OGG", "OPUS", "FLAC"})
        codec_->addItem(QLatin1String(c), QLatin1String(c));
    bitrate_ = new QComboBox(this);
    bitrate_->setObjectName(QStringLiteral("BitrateFilter"));
    bitrate_->addItem(Msg("Any"), 0);
    for (const int b : {64, 96, 128, 192, 256, 320}) bitrate_->addItem(Msg("%1 kbit/s").arg(b), b);
    order_ = new QComboBox(this);
    order_->setObjectName(QStringLiteral("OrderChoice"));
    order_->addItem(Msg("Most votes"), static_cast<int>(StationOrder::Votes));
    order_->addItem(Msg("Most played"), static_cast<int>(StationOrder::Clicks));
    order_->addItem(Msg("Name"), static_cast<int>(StationOrder::Name));
    order_->addItem(Msg("Highest bit rate"), static_cast<int>(StationOrder::Bitrate));

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("StationsFound"));
    table_->setAccessibleName(Msg("Stations found"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);
    table_->setWordWrap(false);
    table_->setAlternatingRowColors(true);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    table_->setIconSize(QSize(fontMetrics().height() + 4, fontMetrics().height() + 4));
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setSectionResizeMode(FoundStationsModel::kTags,
                                                     QHeaderView::Stretch);
    table_->setColumnWidth(FoundStationsModel::kName, 260);
    table_->setColumnWidth(FoundStationsModel::kCountry, 70);
    table_->setColumnWidth(FoundStationsModel::kFormat, 130);
    table_->setColumnWidth(FoundStationsModel::kVotes, 70);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("FinderStatus"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    details_ = new QLabel(this);
    details_->setObjectName(QStringLiteral("StationDetails"));
    details_->setTextFormat(Qt::PlainText);  // names and tags are a stranger's text
    details_->setWordWrap(true);

    play_ = new QPushButton(Msg("&Play"), this);
    play_->setObjectName(QStringLiteral("PlayFound"));
    add_ = new QPushButton(Msg("&Add to my channels"), this);
    add_->setObjectName(QStringLiteral("AddFound"));
    homepage_ = new QPushButton(Msg("&Homepage"), this);
    homepage_->setObjectName(QStringLiteral("HomepageFound"));
    auto* close = new QPushButton(Msg("Close"), this);
    for (QPushButton* b : {play_, add_, homepage_, close}) b->setAutoDefault(false);
    play_->setToolTip(Msg("Play the chosen station (Enter)"));
    add_->setToolTip(Msg("Add the chosen station to your channels (Ctrl+D)"));
    homepage_->setToolTip(Msg("Open the chosen station's homepage (Ctrl+H)"));

    auto* filters = new QGridLayout;
    filters->addWidget(Buddy(Translatable("&Country:"), country_, this), 0, 0);
    filters->addWidget(country_, 0, 1);
    filters->addWidget(Buddy(Translatable("&Language:"), language_, this), 0, 2);
    filters->addWidget(language_, 0, 3);
    filters->addWidget(Buddy(Translatable("&Tag:"), tag_, this), 0, 4);
    filters->addWidget(tag_, 0, 5);
    filters->addWidget(Buddy(Translatable("Co&dec:"), codec_, this), 1, 0);
    filters->addWidget(codec_, 1, 1);
    filters->addWidget(Buddy(Translatable("&Minimum bit rate:"), bitrate_, this), 1, 2);
    filters->addWidget(bitrate_, 1, 3);
    filters->addWidget(Buddy(Translatable("&Order:"), order_, this), 1, 4);
    filters->addWidget(order_, 1, 5);
    for (int c : {1, 3, 5}) filters->setColumnStretch(c, 1);
    auto* search_row = new QHBoxLayout;
    search_row->addWidget(Buddy(Translatable("&Search:"), search_, this));
    search_row->addWidget(search_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(play_);
    buttons->addWidget(add_);
    buttons->addWidget(homepage_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(search_row);
    layout->addLayout(filters);
    layout->addWidget(table_, 1);
    layout->addWidget(details_);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    // Enter in the table plays; Escape closes the window.
    auto* enter = new QAction(table_);
    enter->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    enter->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(enter);
    connect(enter, &QAction::triggered, this, &FindStationsWindow::PlaySelected);
    // Keys that work wherever the keyboard is in the window, beside the buttons' Alt letters.
    const auto window_key = [this](QKeySequence key, void (FindStationsWindow::*slot)()) {
        auto* action = new QAction(this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
    };
    window_key(QKeySequence(Qt::CTRL | Qt::Key_D), &FindStationsWindow::AddSelected);
    window_key(QKeySequence(Qt::CTRL | Qt::Key_H), &FindStationsWindow::OpenHomepage);
    window_key(QKeySequence(Qt::CTRL | Qt::Key_F), &FindStationsWindow::Open);
    auto* escape = new QAction(this);
    escape->setShortcut(QKeySequence(Qt::Key_Escape));
    escape->setShortcutContext(Qt::WindowShortcut);
    addAction(escape);
    connect(escape, &QAction::triggered, this, &QWidget::close);
    // Down from the search field goes to the results.
    auto* down = new QAction(search_);
    down->setShortcut(QKeySequence(Qt::Key_Down));
    down->setShortcutContext(Qt::WidgetShortcut);
    search_->addAction(down);
    connect(down, &QAction::triggered, this, [this] {
        table_->setFocus();
        if (model_->Count() > 0 && SelectedRow() < 0) table_->selectRow(0);
    });

    pause_ = new QTimer(this);
    pause_->setSingleShot(true);
    pause_->setInterval(300);
    connect(pause_, &QTimer::timeout, this, &FindStationsWindow::StartSearch);
    const auto restart = [this] { pause_->start(); };
    connect(search_, &QLineEdit::textChanged, this, restart);
    connect(language_, &QLineEdit::textChanged, this, restart);
    connect(tag_, &QComboBox::currentTextChanged, this, restart);
    for (QComboBox* box : {country_, codec_, bitrate_, order_})
        connect(box, &QComboBox::currentIndexChanged, this, restart);

    connect(searcher_, &StationSearch::found, this, &FindStationsWindow::ShowFound);
    connect(searcher_, &StationSearch::failed, this, &FindStationsWindow::ShowFailure);
    connect(searcher_, &StationSearch::facetsReady, this, &FindStationsWindow::FillFacets);
    connect(table_, &QTableView::doubleClicked, this, &FindStationsWindow::PlaySelected);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FindStationsWindow::UpdateButtons);
    connect(model_, &QAbstractItemModel::modelReset, this, &FindStationsWindow::UpdateButtons);
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &FindStationsWindow::MaybeLoadMore);
    connect(play_, &QPushButton::clicked, this, &FindStationsWindow::PlaySelected);
    connect(add_, &QPushButton::clicked, this, &FindStationsWindow::AddSelected);
    connect(homepage_, &QPushButton::clicked, this, &FindStationsWindow::OpenHomepage);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    // The last results, from the disk: the window is useful before the directory answers.
    model_->Set(searcher_->LastResults());
    if (model_->Count() > 0) status_->setText(Msg("The stations found last time."));
    UpdateButtons();
    resize(820, 560);
}

FindStationsWindow::~FindStationsWindow() = default;

void FindStationsWindow::SetTypingPause(int ms) {
    pause_->setInterval(ms);
}

void FindStationsWindow::SetProxy(const QString& proxy) {
    searcher_->SetProxy(proxy.toStdString());
    icons_->SetProxy(proxy.toStdString());
}

void FindStationsWindow::Open() {
    if (!facets_asked_) {
        facets_asked_ = true;
        searcher_->LoadFacets();
    }
    show();
    raise();
    activateWindow();
    search_->setFocus();
    search_->selectAll();
}

SearchQuery FindStationsWindow::CurrentQuery() const {
    SearchQuery q;
    q.name = search_->text().trimmed().toStdString();
    q.countrycode = country_->currentData().toString().toStdString();
    q.language = language_->text().trimmed().toLower().toStdString();
    q.tag = tag_->currentText().trimmed().toStdString();
    q.codec = codec_->currentData().toString().toStdString();
    q.bitrate_min = bitrate_->currentData().toInt();
    q.order = static_cast<StationOrder>(order_->currentData().toInt());
    return q;
}

void FindStationsWindow::StartSearch() {
    status_->setText(Msg("Searching..."));
    searcher_->Search(CurrentQuery());
}

void FindStationsWindow::ShowFound(const std::vector<FoundStation>& stations, bool append) {
    if (append) {
        model_->Append(stations);
    } else {
        model_->Set(stations);
        if (model_->Count() > 0) table_->selectRow(0);
    }
    status_->setText(model_->Count() == 0 ? Msg("No station found.")
                                          : Msg("Stations found: %1").arg(model_->Count()));
}

void FindStationsWindow::ShowFailure(const DirectoryError& error) {
    status_->setText(DirectoryErrorText(error));
}

void FindStationsWindow::FillFacets(const std::vector<DirectoryFacet>& countries,
                                    const std::vector<DirectoryFacet>& tags) {
    const QSignalBlocker block_country(country_);
    const QSignalBlocker block_tag(tag_);
    const QString tag_text = tag_->currentText();
    for (const DirectoryFacet& c : countries) {
        if (c.code.empty()) continue;
        country_->addItem(Text(c.name), Text(c.code));
    }
    tag_->addItem(QString());
    for (const DirectoryFacet& t : tags) tag_->addItem(Text(t.name));
    tag_->setCurrentText(tag_text);
}

int FindStationsWindow::SelectedRow() const {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void FindStationsWindow::UpdateButtons() {
    const int row = SelectedRow();
    play_->setEnabled(row >= 0);
    add_->setEnabled(row >= 0);
    homepage_->setEnabled(row >= 0 && !model_->Station(row).homepage.empty());
    if (row < 0) {
        details_->clear();
        return;
    }
    const FoundStation& s = model_->Station(row);
    QString text = Text(s.name);
    if (!s.tags.empty())
        text += QStringLiteral(" \u2013 ") +
                Text(s.tags).replace(QLatin1Char(','), QStringLiteral(", "));
    if (!s.last_check_ok) text += QStringLiteral(" (") + Msg("did not answer the last check") + ')';
    details_->setText(text);
}

void FindStationsWindow::MaybeLoadMore() {
    const QScrollBar* bar = table_->verticalScrollBar();
    if (bar->value() >= bar->maximum() - 5 && searcher_->HasMore()) searcher_->More();
}

void FindStationsWindow::PlaySelected() {
    const int row = SelectedRow();
    if (row < 0) return;
    const FoundStation& s = model_->Station(row);
    played_url_ = Text(s.PlayAddress());
    played_uuid_ = s.uuid;
    emit playRequested(played_url_, Text(s.name));
}

void FindStationsWindow::StationPlaying(const QString& url) {
    if (url.isEmpty() || url != played_url_) return;
    searcher_->Click(played_uuid_);
    played_url_.clear();
    played_uuid_.clear();
}

void FindStationsWindow::AddSelected() {
    const int row = SelectedRow();
    if (row < 0) return;
    const std::optional<ChannelEntry> entry = ChannelEntryForStation(model_->Station(row));
    if (!entry) {
        dialogs().Error(this, Msg("The character \"=\" cannot be stored in the channel list. "
                                  "Please leave it out."));
        return;
    }
    emit addRequested(*entry);
    status_->setText(Msg("\"%1\" was added to your channels.").arg(entry->name));
}

void FindStationsWindow::OpenHomepage() {
    const int row = SelectedRow();
    if (row < 0 || model_->Station(row).homepage.empty()) return;
    OpenUrl(Text(model_->Station(row).homepage));
}

}  // namespace velmora
