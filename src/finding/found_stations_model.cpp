// SPDX-License-Identifier: GPL-3.0-or-later
#include "finding/found_stations_model.h"

#include "finding/station_icons.h"
#include "i18n/message.h"

namespace velmora {

namespace {

QString Text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

QString FormatText(const FoundStation& s) {
    const QString codec = Text(s.codec);
    if (s.bitrate <= 0) return codec;
    return Msg("%1 %2 kbit/s").arg(codec).arg(s.bitrate).trimmed();
}

FoundStationsModel::FoundStationsModel(StationIcons* icons, QObject* parent)
    : QAbstractTableModel(parent), icons_(icons) {
    if (icons_) connect(icons_, &StationIcons::iconReady, this, &FoundStationsModel::IconArrived);
}

void FoundStationsModel::Set(std::vector<FoundStation> stations) {
    beginResetModel();
    stations_ = std::move(stations);
    endResetModel();
}

void FoundStationsModel::Append(const std::vector<FoundStation>& stations) {
    if (stations.empty()) return;
    beginInsertRows({}, Count(), Count() + static_cast<int>(stations.size()) - 1);
    stations_.insert(stations_.end(), stations.begin(), stations.end());
    endInsertRows();
}

int FoundStationsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int FoundStationsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant FoundStationsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const FoundStation& s = Station(index.row());
    if (role == Qt::ToolTipRole) {
        // A tooltip reads markup when it sees some: the stranger's text is escaped inside one.
        const QString text = data(index, Qt::DisplayRole).toString();
        if (text.isEmpty() || index.column() == kVotes) return {};
        return QStringLiteral("<qt>") + text.toHtmlEscaped() + QStringLiteral("</qt>");
    }
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case kName:
                return Text(s.name);
            case kCountry:
                return Text(s.countrycode);
            case kFormat:
                return FormatText(s);
            case kTags:
                return Text(s.tags).replace(QLatin1Char(','), QStringLiteral(", "));
            case kVotes:
                return s.votes;
        }
    }
    if (role == Qt::DecorationRole && index.column() == kName && icons_) {
        return icons_->Icon(Text(s.favicon));
    }
    if (role == Qt::TextAlignmentRole && index.column() == kVotes) {
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant FoundStationsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case kName:
            return Msg("Name");
        case kCountry:
            return Msg("Country");
        case kFormat:
            return Msg("Format");
        case kTags:
            return Msg("Tags");
        case kVotes:
            return Msg("Votes");
    }
    return {};
}

void FoundStationsModel::IconArrived(const QString& url) {
    for (int row = 0; row < Count(); ++row) {
        if (Text(Station(row).favicon) == url)
            emit dataChanged(index(row, kName), index(row, kName));
    }
}

}  // namespace velmora
