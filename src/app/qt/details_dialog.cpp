// The details dialog: one read-only line per field, so that each can be selected
// alone, and the command file and header block in monospace boxes that keep
// their lines as written.
#include "app/qt/details_dialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <optional>
#include <string>

namespace velmoth::qt {
namespace {

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit* Field(const char* name, const QString& text) {
  auto* field = new QLineEdit(text);
  field->setObjectName(QString::fromLatin1(name));
  field->setReadOnly(true);
  field->setCursorPosition(0);
  return field;
}

// Why a file could not be read, or nothing when it was.
QLabel* Problem(const char* name, const std::string& problem) {
  auto* label = new QLabel(Utf8(problem));
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  label->setVisible(!problem.empty());
  return label;
}

// A file's lines under its title, in monospace and unwrapped, or why the file
// could not be read.
QGroupBox* FileLines(const char* title, const char* name, const std::string& lines,
                     const char* problemName, const std::string& problem) {
  auto* group = new QGroupBox(QString::fromLatin1(title));
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(Problem(problemName, problem));
  auto* box = new QPlainTextEdit(Utf8(lines));
  box->setObjectName(QString::fromLatin1(name));
  box->setReadOnly(true);
  box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  box->setVisible(problem.empty() || !lines.empty());
  layout->addWidget(box);
  return group;
}

QString OrEmpty(const std::optional<FileDate>& date, const DetailsDialog::DateText& dateText) {
  return date ? dateText(*date) : QString();
}

}  // namespace

DetailsDialog::DetailsDialog(const MessageDetails& details, const DateText& dateText,
                             QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("details"));
  const QString name = QFile::decodeName(QByteArray::fromStdString(details.name));
  setWindowTitle(QStringLiteral("Details of ") + name);
  const MessageHeader header = details.header.value_or(MessageHeader{});
  auto* fields = new QFormLayout;
  const struct {
    const char* label;
    const char* name;
    QString text;
  } rows[] = {
      {"Message:", "name", name},
      {"From:", "from", Utf8(header.from)},
      {"To:", "to", Utf8(header.to)},
      {"Cc:", "cc", Utf8(header.cc)},
      {"Subject:", "subject", Utf8(header.subject)},
      {"Date:", "date", Utf8(header.date)},
      {"Message-ID:", "messageId", Utf8(header.messageId)},
      {"Size:", "size",
       details.size ? QString::number(*details.size) + QStringLiteral(" bytes") : QString()},
      {"Message file date:", "messageDate", OrEmpty(details.messageDate, dateText)},
      {"Command file date:", "commandDate", OrEmpty(details.commandDate, dateText)},
  };
  for (const auto& row : rows)
    fields->addRow(QString::fromLatin1(row.label), Field(row.name, row.text));

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(FileLines("Command file", "commandLines", details.commandLines,
                              "commandProblem", details.commandProblem));
  layout->addWidget(FileLines("Message file's header", "headerBlock", details.headerBlock,
                              "messageProblem", details.messageProblem));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(640, 600);
}

}  // namespace velmoth::qt
