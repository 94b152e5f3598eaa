// The list model of lvwMail. Display texts are made only for the rows the view
// asks about, and a scan's rows reach the view in one insertion, so a list of a
// hundred thousand messages fills and scrolls without delay.
#include "app/qt/mail_model.h"

#include <QDateTime>
#include <QFile>
#include <QTextDocument>
#include <string_view>
#include <utility>
#include <variant>

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

int Row(std::size_t position) { return static_cast<int>(position); }

}  // namespace

MailModel::MailModel(RowTip rowTip, QObject* parent)
    : QAbstractTableModel(parent), rowTip_(std::move(rowTip)) {
  dateFormat_ =
      locale_.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + TimeFormatWithSeconds(locale_);
}

QString MailModel::DateText(FileDate date) const {
  const QDateTime local = QDateTime::fromSecsSinceEpoch(date.time_since_epoch().count());
  return locale_.toString(local, dateFormat_);
}

QString MailModel::CellText(const form::Cell& cell) const {
  if (const auto* text = std::get_if<std::string_view>(&cell)) {
    // A name's bytes as the file system's encoding reads them.
    return QFile::decodeName(
        QByteArray::fromRawData(text->data(), static_cast<qsizetype>(text->size())));
  }
  if (const auto* number = std::get_if<std::uint64_t>(&cell)) return QString::number(*number);
  return DateText(std::get<FileDate>(cell));
}

int MailModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Row(list_.size());
}

int MailModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : form::kColumnCount;
}

QVariant MailModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= form::kColumnCount) {
    return {};
  }
  const MailRow& row = list_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return CellText(form::kColumns[index.column()].cell(row.entry));
    case Qt::CheckStateRole:
      if (index.column() == 0) return row.ticked ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::TextAlignmentRole:
      return Alignment(index.column());
    case Qt::ToolTipRole:
      return ToolTip(static_cast<std::size_t>(index.row()));
  }
  return {};
}

QVariant MailModel::ToolTip(std::size_t position) const {
  if (!rowTip_) return {};
  const std::string tip = rowTip_(position);
  return Qt::convertFromPlainText(QString::fromUtf8(tip.data(), static_cast<qsizetype>(tip.size())),
                                  Qt::WhiteSpacePre);
}

bool MailModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
  list_.SetTicked(static_cast<std::size_t>(index.row()), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags MailModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  // The tick box stands in the first column.
  if (index.column() == 0) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant MailModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= form::kColumnCount) return {};
  if (role == Qt::DisplayRole) {
    const std::string_view title = form::kColumns[section].title;
    return QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()));
  }
  if (role == Qt::TextAlignmentRole) return Alignment(section);
  return {};
}

void MailModel::sort(int column, Qt::SortOrder order) {
  list_.Sort(column, order == Qt::DescendingOrder ? SortOrder::kDescending : SortOrder::kAscending);
}

void MailModel::RowsAboutToBeInserted(std::size_t first, std::size_t count) {
  beginInsertRows({}, Row(first), Row(first + count - 1));
}

void MailModel::RowsInserted(std::size_t, std::size_t) { endInsertRows(); }

void MailModel::RowsAboutToBeRemoved(std::size_t first, std::size_t count) {
  beginRemoveRows({}, Row(first), Row(first + count - 1));
}

void MailModel::RowsRemoved(std::size_t, std::size_t) { endRemoveRows(); }

void MailModel::RowsChanged(std::size_t first, std::size_t last) {
  emit dataChanged(index(Row(first), 0), index(Row(last), form::kColumnCount - 1));
}

void MailModel::RowsAboutToBeReordered() {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
}

void MailModel::RowsReordered(const std::vector<std::size_t>& newPositions) {
  // The selection and the current row stay with their messages.
  const QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& old : from) {
    to.push_back(index(Row(newPositions[static_cast<std::size_t>(old.row())]), old.column()));
  }
  changePersistentIndexList(from, to);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace velmoth::qt
