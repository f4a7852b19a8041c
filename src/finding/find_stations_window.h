// SPDX-License-Identifier: GPL-3.0-or-later
// The "Find stations" window: search the community station directory as you type, filter and
// order the results, and play a station, add it to the user's channels or open its homepage.
// It opens at once with the last results kept on disk; the directory is asked on worker threads.
#pragma once

#include <QWidget>
#include <memory>

#include "channels/channel_file.h"
#include "finder/directory_client.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace velmora {

class FoundStationsModel;
class StationIcons;
class StationSearch;

class FindStationsWindow final : public QWidget {
    Q_OBJECT
  public:
    // `icon_folder`: where station icons are kept on disk.
    FindStationsWindow(std::shared_ptr<DirectoryClient> client, const QString& icon_folder,
                       QWidget* parent = nullptr);
    ~FindStationsWindow() override;

    // The pause after the last key before a search starts.
    void SetTypingPause(int ms);
    // The proxy for the next requests ("host:port", "user:pass@host:port"; empty: direct).
    void SetProxy(const QString& proxy);
    // Shows, raises and puts the keyboard in the search field.
    void Open();

    QLineEdit* SearchField() const { return search_; }
    QTableView* Table() const { return table_; }
    QLabel* Status() const { return status_; }
    const FoundStationsModel* Model() const { return model_; }
    StationSearch* Search() const { return searcher_; }

    // The player's station now sounds: when it is the one this window asked to play, the
    // directory is told (once per station and day).
    void StationPlaying(const QString& url);

    // What the user asked for now, as a query of the first page.
    SearchQuery CurrentQuery() const;

  signals:
    void playRequested(const QString& url, const QString& name);
    // `entry` follows the channel list's rules; its directory id is kept.
    void addRequested(const velmora::ChannelEntry& entry);

  public slots:
    void PlaySelected();
    void AddSelected();
    void OpenHomepage();

  private:
    void StartSearch();
    void ShowFound(const std::vector<FoundStation>& stations, bool append);
    void ShowFailure(const DirectoryError& error);
    void FillFacets(const std::vector<DirectoryFacet>& countries,
                    const std::vector<DirectoryFacet>& tags);
    void UpdateButtons();
    void MaybeLoadMore();
    int SelectedRow() const;

    StationSearch* searcher_ = nullptr;
    StationIcons* icons_ = nullptr;
    FoundStationsModel* model_ = nullptr;
    QTimer* pause_ = nullptr;
    QLineEdit* search_ = nullptr;
    QComboBox* country_ = nullptr;
    QLineEdit* language_ = nullptr;
    QComboBox* tag_ = nullptr;
    QComboBox* codec_ = nullptr;
    QComboBox* bitrate_ = nullptr;
    QComboBox* order_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* details_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* homepage_ = nullptr;
    bool facets_asked_ = false;
    QString played_url_;       // the address last handed to the player
    std::string played_uuid_;  // and its station's directory id
};

// The user-list entry for a found station: "=" (which the list cannot hold) in the name becomes
// "-"; nullopt when an address holds "=".
std::optional<ChannelEntry> ChannelEntryForStation(const FoundStation& station);

}  // namespace velmora
