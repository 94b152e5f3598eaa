#include "app/qt/tick_matching_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace velmoth::qt {
namespace {

// The fields a text may be looked for in, in the order offered; the first is
// the one chosen when the dialog opens.
constexpr struct {
  const char* caption;
  MatchRequest::Field field;
} kFields[] = {
    {"Any", MatchRequest::Field::kAny},
    {"From", MatchRequest::Field::kFrom},
    {"To or Cc", MatchRequest::Field::kToOrCc},
    {"Subject", MatchRequest::Field::kSubject},
};

QLineEdit* TextBox(const char* name) {
  auto* box = new QLineEdit;
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

// Typed text as the filter takes it: UTF-8, a date without blanks around it.
std::string Typed(const QLineEdit& box) { return box.text().trimmed().toStdString(); }

}  // namespace

TickMatchingDialog::TickMatchingDialog(Run run, QWidget* parent)
    : QDialog(parent), run_(std::move(run)) {
  setObjectName(QStringLiteral("tickMatching"));
  setWindowTitle(QStringLiteral("Tick matching"));
  text_ = TextBox("text");
  field_ = new QComboBox;
  field_->setObjectName(QStringLiteral("field"));
  for (const auto& field : kFields) field_->addItem(QString::fromLatin1(field.caption));
  after_ = TextBox("after");
  before_ = TextBox("before");
  auto* dates = new QHBoxLayout;
  dates->addWidget(after_);
  dates->addWidget(new QLabel(QStringLiteral("before")));
  dates->addWidget(before_);
  auto* hint = new QLabel(
      QStringLiteral("Dates as 2026-12-07 or 2026-12-07 08:15, local time; add Z for UTC "
                     "(2026-12-07 08:15Z). Either may be left empty."));
  hint->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Text:"), text_);
  form->addRow(QStringLiteral("In:"), field_);
  form->addRow(QStringLiteral("Command file dated from:"), dates);
  form->addRow(QString(), hint);

  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("status"));
  status_->setTextFormat(Qt::PlainText);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox;
  QPushButton* tick = buttons->addButton(QStringLiteral("Tick"), QDialogButtonBox::ActionRole);
  QPushButton* untick = buttons->addButton(QStringLiteral("Untick"), QDialogButtonBox::ActionRole);
  buttons->addButton(QDialogButtonBox::Close);
  tick->setObjectName(QStringLiteral("tick"));
  untick->setObjectName(QStringLiteral("untick"));
  tick->setDefault(true);
  connect(tick, &QPushButton::clicked, this, [this] { RunRequest(true); });
  connect(untick, &QPushButton::clicked, this, [this] { RunRequest(false); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(status_);
  layout->addWidget(buttons);
}

void TickMatchingDialog::Open() {
  show();
  raise();
  activateWindow();
  text_->setFocus();
  text_->selectAll();
}

MatchRequest TickMatchingDialog::Request() const {
  MatchRequest request;
  request.field = kFields[std::max(field_->currentIndex(), 0)].field;
  request.text = text_->text().toStdString();
  request.after = Typed(*after_);
  request.before = Typed(*before_);
  return request;
}

void TickMatchingDialog::RunRequest(bool tick) {
  const std::string said = run_(Request(), tick);
  status_->setText(QString::fromUtf8(said.data(), static_cast<qsizetype>(said.size())));
}

}  // namespace velmoth::qt
