// The list model of lvwMail. Display texts are made only for the rows the view
// asks about, and a scan's rows reach the view in one insertion, so a list of a
// hundred thousand messages fills and scrolls without delay.
#include "app/qt/mail_model.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTextDocument>
#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace velmoth::qt {
namespace {

// The locale's short time format with the seconds added after the minutes when
// it has none, using the separator that stands before the minutes.
QString TimeFormatWithSeconds(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::ShortFormat);
  if (format.contains(QLatin1Char('s'))) return format;
  const qsizetype minutes = format.indexOf(QLatin1String("mm"));
  if (minutes < 0) return QStringLiteral("HH:mm:ss");
  const QChar before = minutes > 0 ? format.at(minutes - 1) : QLatin1Char(':');
  const QString separator = before.isLetter() ? QStringLiteral(":") : QString(before);
  format.insert(minutes + 2, separator + QStringLiteral("ss"));
  return format;
}

// Where a column of the form puts its texts, the header's included.
QVariant Alignment(int column) {
  if (column < 0 || column >= form::kColumnCount) return {};
  const bool right = form::kColumns[column].align == form::Align::kRight;
  return QVariant((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}

QString DisplayName(const std::string& text) {
  return QFile::decodeName(
      QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace

MailModel::MailModel(RowTip rowTip, QObject* parent)
    : QAbstractTableModel(parent), rowTip_(std::move(rowTip)) {
  dateFormat_ =
      locale_.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + TimeFormatWithSeconds(locale_);
}

void MailModel::SetSelectionModel(QItemSelectionModel* selection) { selection_ = selection; }

QString MailModel::DateText(FileDate date) const {
  const QDateTime local = QDateTime::fromSecsSinceEpoch(date.time_since_epoch().count());
  return locale_.toString(local, dateFormat_);
}

MailModel::Row& MailModel::At(int row) {
  return const_cast<Row&>(static_cast<const MailModel*>(this)->At(row));
}

const MailModel::Row& MailModel::At(int row) const {
  if (row < 1 || row > RowCount()) throw std::out_of_range("No list row " + std::to_string(row));
  const auto index = static_cast<std::size_t>(row - 1);
  return index < rows_.size() ? rows_[index] : pending_[index - rows_.size()];
}

void MailModel::RemoveAllRows() {
  beginResetModel();
  rows_.clear();
  pending_.clear();
  nextAdded_ = 0;
  endResetModel();
}

void MailModel::AddRow(const std::string& /*key*/, const std::string& text) {
  // The key is the file name too; only the text is ever read back.
  Row row{text, 0, FileDate{}, nextAdded_++, false};
  if (busyDepth_ > 0) {
    pending_.push_back(std::move(row));
    return;
  }
  const int at = static_cast<int>(rows_.size());
  beginInsertRows({}, at, at);
  rows_.push_back(std::move(row));
  endInsertRows();
}

void MailModel::SetSize(int row, std::uint64_t bytes) {
  At(row).size = bytes;
  if (row <= static_cast<int>(rows_.size())) {
    const QModelIndex cell = index(row - 1, kFileSize);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
  }
}

void MailModel::SetDate(int row, FileDate date) {
  At(row).date = date;
  if (row <= static_cast<int>(rows_.size())) {
    const QModelIndex cell = index(row - 1, kFileDate);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
  }
}

int MailModel::RowCount() const { return static_cast<int>(rows_.size() + pending_.size()); }

bool MailModel::IsTicked(int row) const { return At(row).ticked; }

void MailModel::SetTicked(int row, bool ticked) {
  Row& target = At(row);
  if (target.ticked == ticked) return;
  target.ticked = ticked;
  if (row <= static_cast<int>(rows_.size())) {
    const QModelIndex cell = index(row - 1, kFilename);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
  }
}

std::string MailModel::RowText(int row) const { return At(row).text; }

int MailModel::SelectedRow() const {
  if (!selection_) return 0;
  const QModelIndexList selected = selection_->selectedRows();
  return selected.isEmpty() ? 0 : selected.first().row() + 1;
}

void MailModel::SetBusyPointer(bool busy) {
  if (busy) {
    if (busyDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
    return;
  }
  if (busyDepth_ == 0) return;
  if (--busyDepth_ > 0) return;
  Publish();
  QApplication::restoreOverrideCursor();
}

void MailModel::Publish() {
  if (pending_.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(pending_.size()) - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(pending_.begin()),
               std::make_move_iterator(pending_.end()));
  pending_.clear();
  endInsertRows();
  // A list sorted by a column stays sorted when it is rebuilt.
  if (sortColumn_ >= 0) sort(sortColumn_, sortOrder_);
}

int MailModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MailModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant MailModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kFilename:
          return DisplayName(row.text);
        case kFileSize:
          return QString::number(row.size);
        case kFileDate:
          return DateText(row.date);
      }
      return {};
    case Qt::CheckStateRole:
      if (index.column() == kFilename) return row.ticked ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::TextAlignmentRole:
      return Alignment(index.column());
    case Qt::ToolTipRole:
      return ToolTip(index.row());
  }
  return {};
}

QVariant MailModel::ToolTip(int index) const {
  if (!rowTip_) return {};
  const std::string tip = rowTip_(index + 1);
  return Qt::convertFromPlainText(QString::fromUtf8(tip.data(), static_cast<qsizetype>(tip.size())),
                                  Qt::WhiteSpacePre);
}

bool MailModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != kFilename || role != Qt::CheckStateRole) return false;
  SetTicked(index.row() + 1, value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags MailModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == kFilename) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant MailModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) {
    const std::string_view title = form::kColumns[section].title;
    return QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()));
  }
  if (role == Qt::TextAlignmentRole) return Alignment(section);
  return {};
}

std::vector<std::size_t> MailModel::SortedOrder() const {
  std::vector<std::size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  const bool descending = sortOrder_ == Qt::DescendingOrder;
  // Equal keys keep the order the rows were added in, whichever the direction.
  const auto sortBy = [&](const auto& key) {
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const auto& keyA = key(a);
      const auto& keyB = key(b);
      if (keyA != keyB) return descending ? keyB < keyA : keyA < keyB;
      return rows_[a].added < rows_[b].added;
    });
  };
  switch (sortColumn_) {
    case kFilename: {
      // Each name is decoded once, not at every comparison; raw bytes break ties
      // between names that differ only in letter case.
      std::vector<std::pair<QString, std::string_view>> names(rows_.size());
      for (std::size_t i = 0; i < rows_.size(); ++i) {
        names[i] = {DisplayName(rows_[i].text).toCaseFolded(), rows_[i].text};
      }
      sortBy([&](std::size_t i) -> const auto& { return names[i]; });
      break;
    }
    case kFileSize:
      sortBy([&](std::size_t i) -> const auto& { return rows_[i].size; });
      break;
    case kFileDate:
      sortBy([&](std::size_t i) -> const auto& { return rows_[i].date; });
      break;
    default:
      sortBy([&](std::size_t i) -> const auto& { return rows_[i].added; });
  }
  return order;
}

void MailModel::sort(int column, Qt::SortOrder order) {
  sortColumn_ = (column >= 0 && column < kColumnCount) ? column : -1;
  sortOrder_ = order;
  if (rows_.size() < 2) return;

  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const std::vector<std::size_t> sortedOrder = SortedOrder();
  std::vector<int> newPosition(rows_.size());
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (std::size_t i = 0; i < sortedOrder.size(); ++i) {
    newPosition[sortedOrder[i]] = static_cast<int>(i);
    sorted.push_back(std::move(rows_[sortedOrder[i]]));
  }
  rows_ = std::move(sorted);
  const QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& old : from) to.push_back(index(newPosition[old.row()], old.column()));
  changePersistentIndexList(from, to);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace velmoth::qt
