// frmMain's controls made from the form, at its positions and sizes in pixels at
// 96 dpi; Qt scales them for other screen densities.
#include "app/qt/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <cerrno>
#include <functional>
#include <iterator>
#include <string_view>

namespace velmoth::qt {
namespace {

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The list raises its double-click wherever in the rows it happens; the handler
// then looks at which row is selected, as it does for any other caller.
class MailView final : public QTreeView {
 public:
  using QTreeView::QTreeView;
  std::function<void()> onDoubleClick;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && onDoubleClick) onDoubleClick();
  }
};

// Space a control needs around its text: a button's margins, a check box's indicator.
int TextPadding(const QWidget& control) {
  const QStyle* style = control.style();
  if (qobject_cast<const QCheckBox*>(&control)) {
    return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &control) +
           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &control) + 2;
  }
  if (qobject_cast<const QPushButton*>(&control)) {
    return 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &control) +
                style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &control));
  }
  return 0;
}

bool TextFits(const QWidget& control, const QFont& font) {
  const QFontMetrics metrics(font);
  const QString text = control.property("text").toString();
  return metrics.horizontalAdvance(text) + TextPadding(control) <= control.width() &&
         metrics.height() <= control.height();
}

// Velmoth's icon at each size that the build rendered into the resource :/icon.
QIcon VelmothIcon() {
  QIcon icon;
  QDirIterator files(QStringLiteral(":/icon"), {QStringLiteral("*.png")});
  while (files.hasNext()) icon.addFile(files.next());
  return icon;
}

}  // namespace

FrmMain::FrmMain(SystemLog* log, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      model_([this](std::size_t position) { return handlers_.RowTip(position); }),
      handlers_(model_.list(), *this, files_, locations_, log) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromLatin1(form::kCaption));
  setWindowIcon(VelmothIcon());
  setFixedSize(form::kClientSize.width, form::kClientSize.height);
  CreateControls();
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

FrmMain::~FrmMain() {
  // The list goes before the model it shows.
  delete lvwMail_;
}

void FrmMain::CreateControls() {
  QWidget* previous = nullptr;
  for (const form::Control& control : form::kControls) {
    QWidget* widget = NewControl(control);
    widget->setObjectName(Latin1(control.name));
    const form::Box& box = control.box;
    widget->setGeometry(box.left, box.top, box.width, box.height);
    if (!form::TakesFocus(control.kind)) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
  lvwMail_ = findChild<QTreeView*>(QStringLiteral("lvwMail"));
  chkDelete_ = findChild<QCheckBox*>(QStringLiteral("chkDelete"));
  for (const ClickHandler& handler : kClickHandlers) {
    connect(findChild<QPushButton*>(Latin1(handler.button)), &QPushButton::clicked, this,
            [this, click = handler.click] { (handlers_.*click)(); });
  }
  findChild<QWidget*>(Latin1(form::kFirstFocus))->setFocus();
  FitFont();
}

QWidget* FrmMain::NewControl(const form::Control& control) {
  const QString caption = Latin1(control.caption);
  switch (control.kind) {
    case form::Kind::kLabel:
      return new QLabel(caption, this);
    case form::Kind::kButton: {
      auto* button = new QPushButton(caption, this);
      // Neither Enter nor Esc presses a button.
      button->setAutoDefault(false);
      button->setDefault(false);
      return button;
    }
    case form::Kind::kCheckBox: {
      auto* box = new QCheckBox(caption, this);
      box->setChecked(control.ticked);
      return box;
    }
    case form::Kind::kList:
      break;
  }
  return NewList();
}

QTreeView* FrmMain::NewList() {
  auto* view = new MailView(this);
  view->setModel(&model_);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QHeaderView* header = view->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  for (int column = 0; column < form::kColumnCount; ++column) {
    header->resizeSection(column, form::kColumns[column].width);
  }
  // Unsorted at first: the rows come in the order the directory gives them.
  header->setSortIndicator(-1, Qt::AscendingOrder);
  view->setSortingEnabled(true);
  view->onDoubleClick = [this] { handlers_.lvwMail_DblClick(); };
  return view;
}

void FrmMain::FitFont() {
  // The layout is fixed in pixels, drawn for a small font. A larger platform font
  // is stepped down until every caption fits its control; the family stays.
  QFont font = this->font();
  const auto fits = [this, &font] {
    return std::all_of(std::begin(form::kControls), std::end(form::kControls),
                       [this, &font](const form::Control& control) {
                         return TextFits(*findChild<QWidget*>(Latin1(control.name)), font);
                       });
  };
  constexpr qreal kSmallest = 6.0;
  while (!fits() && font.pointSizeF() > kSmallest) font.setPointSizeF(font.pointSizeF() - 0.5);
  if (font != this->font()) setFont(font);
}

void FrmMain::Form_Load() { handlers_.Form_Load(); }

std::optional<std::size_t> FrmMain::SelectedRow() const {
  const QModelIndexList selected = lvwMail_->selectionModel()->selectedRows();
  if (selected.isEmpty()) return std::nullopt;
  return static_cast<std::size_t>(selected.first().row());
}

void FrmMain::SetBusyPointer(bool busy) {
  if (busy) {
    if (busyDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
    QApplication::restoreOverrideCursor();
  }
}

bool FrmMain::IsDeleteTicked() const { return chkDelete_->isChecked(); }

void FrmMain::ShowMessage(QMessageBox::Icon icon, const std::string& message) {
  QMessageBox box(icon, QString::fromLatin1(form::kCaption),
                  QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())),
                  QMessageBox::Ok, this);
  box.exec();
}

void FrmMain::ShowError(const std::string& message) { ShowMessage(QMessageBox::Critical, message); }

void FrmMain::ShowNotice(const std::string& message) {
  ShowMessage(QMessageBox::Information, message);
}

bool FrmMain::Confirm(const std::string& question) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(form::kCaption),
                  QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())),
                  QMessageBox::Ok | QMessageBox::Cancel, this);
  box.setDefaultButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

void FrmMain::ShowDetails(const MessageDetails& details) { ShowNotice(details.commandLines); }

void FrmMain::ShowTickMatching() {}

void FrmMain::StartViewer(const std::filesystem::path& file) {
  // Started directly, not through a shell, so the path is one argument whatever
  // it holds; Qt detaches the viewer so it is never waited for.
  const std::string& bytes = file.native();
  const QByteArray encoded(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const QString argument = QFile::decodeName(encoded);
  if (QFile::encodeName(argument) != encoded) {
    throw FileError(ErrorKind::kOther, EILSEQ,
                    "The file name cannot be passed to the viewer " + std::string(kViewer),
                    PathText(file));
  }
  if (!QProcess::startDetached(QString::fromLatin1(kViewer), {argument})) {
    throw FileError(ErrorKind::kNotFound, ENOENT,
                    "The viewer " + std::string(kViewer) + " could not be started", PathText(file));
  }
}

void FrmMain::Close() { close(); }

}  // namespace velmoth::qt
