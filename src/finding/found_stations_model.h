// SPDX-License-Identifier: GPL-3.0-or-later
// The stations a search found, as the results table shows them: name (with its icon), country,
// codec and bit rate, tags, votes. Every text is plain text: the view never reads it as markup.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "finder/found_station.h"

namespace velmora {

class StationIcons;

class FoundStationsModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { kName, kCountry, kFormat, kTags, kVotes, kColumns };

    explicit FoundStationsModel(StationIcons* icons, QObject* parent = nullptr);

    void Set(std::vector<FoundStation> stations);
    void Append(const std::vector<FoundStation>& stations);
    const FoundStation& Station(int row) const { return stations_[static_cast<std::size_t>(row)]; }
    int Count() const { return static_cast<int>(stations_.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    void IconArrived(const QString& url);

    StationIcons* const icons_;
    std::vector<FoundStation> stations_;
};

// "MP3 128 kbit/s"; the codec alone when the bit rate is unknown.
QString FormatText(const FoundStation& s);

}  // namespace velmora
