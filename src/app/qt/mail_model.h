// The rows of lvwMail: a Qt table model that owns the parked messages and is the
// window's MailList. Its row order is the order shown, also after a header-click
// sort, so list positions are the positions the operator sees. A row's tooltip
// is the one the window's handlers give for that list position.
#pragma once

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QLocale>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/mail_list.h"

namespace velmoth::qt {

class MailModel final : public QAbstractTableModel, public MailList {
  Q_OBJECT

 public:
  // The form's columns, in its order.
  enum Column { kFilename = 0, kFileSize = 1, kFileDate = 2, kColumnCount = form::kColumnCount };

  // The tooltip of the list's row `row`, counted from 1 as MailList counts.
  using RowTip = std::function<std::string(int row)>;

  // `rowTip` gives each row's tooltip when the view asks; without it rows have none.
  explicit MailModel(RowTip rowTip = {}, QObject* parent = nullptr);

  // Where SelectedRow() looks; the view's selection.
  void SetSelectionModel(QItemSelectionModel* selection);

  // The date as the list shows it: the user's short date and the time with seconds.
  QString DateText(FileDate date) const;

  // MailList. While the busy pointer is up, appended rows are collected and
  // handed to the view in one step when it comes down; MailList callers see
  // them at once.
  void RemoveAllRows() override;
  void AddRow(const std::string& key, const std::string& text) override;
  void SetSize(int row, std::uint64_t bytes) override;
  void SetDate(int row, FileDate date) override;
  int RowCount() const override;
  bool IsTicked(int row) const override;
  void SetTicked(int row, bool ticked) override;
  std::string RowText(int row) const override;
  int SelectedRow() const override;
  void SetBusyPointer(bool busy) override;

  // QAbstractTableModel.
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Reorders the rows themselves; column -1 restores the order they were added in.
  void sort(int column, Qt::SortOrder order) override;

 private:
  struct Row {
    std::string text;  // the file name as the scan gave it, bytes on POSIX
    std::uint64_t size = 0;
    FileDate date{};
    std::uint64_t added = 0;  // order of arrival, for the unsorted order
    bool ticked = false;
  };

  Row& At(int row);
  const Row& At(int row) const;
  // Hands the collected rows to the view.
  void Publish();
  // Positions in rows_ in the order of the current sort column.
  std::vector<std::size_t> SortedOrder() const;
  // The tooltip of the view's row `index` as rich text, so that no markup in a
  // header is obeyed, its lines kept whole: each is cut short enough already.
  QVariant ToolTip(int index) const;

  RowTip rowTip_;
  std::vector<Row> rows_;     // what the view knows about
  std::vector<Row> pending_;  // appended while busy, after rows_
  int busyDepth_ = 0;
  std::uint64_t nextAdded_ = 0;
  int sortColumn_ = -1;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
  QLocale locale_;  // the user's, as it was when the list was made
  QString dateFormat_;
  QPointer<QItemSelectionModel> selection_;
};

}  // namespace velmoth::qt
