// The rows of lvwMail for Qt: a table model that owns the window's MailList and
// shows it as it is, row for row, each cell from the form's column. The list
// tells the model of each change, which the model hands on as Qt's fine-grained
// signals; a sort from the view's header sorts the list itself, so list positions
// are the positions the operator sees. A row's tooltip is the one the window's
// handlers give for that position.
#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QString>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/mail_list.h"

namespace velmoth::qt {

class MailModel final : public QAbstractTableModel, private MailListView {
  Q_OBJECT

 public:
  // The tooltip of the list's row at a position.
  using RowTip = std::function<std::string(std::size_t position)>;

  // `rowTip` gives each row's tooltip when the view asks; without it rows have none.
  explicit MailModel(RowTip rowTip = {}, QObject* parent = nullptr);

  MailList& list() { return list_; }
  const MailList& list() const { return list_; }

  // The date as the list shows it: the user's short date and the time with seconds.
  QString DateText(FileDate date) const;

  // QAbstractTableModel.
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Sorts the list; column -1 restores the order its rows came in.
  void sort(int column, Qt::SortOrder order) override;

 private:
  // MailListView.
  void RowsAboutToBeInserted(std::size_t first, std::size_t count) override;
  void RowsInserted(std::size_t first, std::size_t count) override;
  void RowsAboutToBeRemoved(std::size_t first, std::size_t count) override;
  void RowsRemoved(std::size_t first, std::size_t count) override;
  void RowsChanged(std::size_t first, std::size_t last) override;
  void RowsAboutToBeReordered() override;
  void RowsReordered(const std::vector<std::size_t>& newPositions) override;

  QString CellText(const form::Cell& cell) const;
  // The tooltip of the row at `position` as rich text, so that no markup in a
  // header is obeyed, its lines kept whole: each is cut short enough already.
  QVariant ToolTip(std::size_t position) const;

  RowTip rowTip_;
  MailList list_{this};
  QLocale locale_;  // the user's, as it was when the list was made
  QString dateFormat_;
};

}  // namespace velmoth::qt
