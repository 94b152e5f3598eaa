// frmMain's controls at the positions and sizes of the original layout, in
// pixels at 96 dpi; Qt scales them for other screen densities.
#include "app/qt/frm_main.h"

#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
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
#include <utility>

namespace velmoth::qt {
namespace {

constexpr int kClientWidth = 590;
constexpr int kClientHeight = 352;
constexpr int kColumnWidths[MailModel::kColumnCount] = {333, 93, 141};

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

QPushButton* NewButton(QWidget* parent, const char* name, const char* text, QRect geometry) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  // Neither Enter nor Esc presses a button.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

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

QLabel* NewLabel(QWidget* parent, const char* name, const char* text, QRect geometry) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  return label;
}

}  // namespace

FrmMain::FrmMain(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      handlers_(model_, *this, files_) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromLatin1(kCaption));
  setFixedSize(kClientWidth, kClientHeight);
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
  label1_ = NewLabel(this, "Label1", "Bad Mail Directory", {8, 8, 113, 17});
  label2_ = NewLabel(this, "Label2", "Double-click item to view", {168, 8, 249, 17});
  cmdNone_ = NewButton(this, "cmdNone", "None", {448, 8, 65, 17});
  cmdAll_ = NewButton(this, "cmdAll", "All", {520, 8, 65, 17});

  auto* view = new MailView(this);
  lvwMail_ = view;
  view->setObjectName(QStringLiteral("lvwMail"));
  view->setGeometry(8, 24, 577, 289);
  view->setModel(&model_);
  model_.SetSelectionModel(view->selectionModel());
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
  for (int column = 0; column < MailModel::kColumnCount; ++column) {
    header->resizeSection(column, kColumnWidths[column]);
  }
  // Unsorted at first: the rows come in the order the directory gives them.
  header->setSortIndicator(-1, Qt::AscendingOrder);
  view->setSortingEnabled(true);
  view->onDoubleClick = [this] { handlers_.lvwMail_DblClick(); };

  cmdCopy_ = NewButton(this, "cmdCopy", "Copy to SMTP Outbound", {8, 320, 145, 25});
  chkDelete_ = new QCheckBox(QStringLiteral("Delete from Bad Mail after copy"), this);
  chkDelete_->setObjectName(QStringLiteral("chkDelete"));
  chkDelete_->setGeometry(208, 320, 201, 25);
  chkDelete_->setChecked(true);
  cmdQuit_ = NewButton(this, "cmdQuit", "Quit", {488, 320, 97, 25});

  connect(cmdNone_, &QPushButton::clicked, this, [this] { handlers_.cmdNone_Click(); });
  connect(cmdAll_, &QPushButton::clicked, this, [this] { handlers_.cmdAll_Click(); });
  connect(cmdCopy_, &QPushButton::clicked, this, [this] { handlers_.cmdCopy_Click(); });
  connect(cmdQuit_, &QPushButton::clicked, this, [this] { handlers_.cmdQuit_Click(); });

  QWidget::setTabOrder(cmdNone_, cmdAll_);
  QWidget::setTabOrder(cmdAll_, lvwMail_);
  QWidget::setTabOrder(lvwMail_, cmdCopy_);
  QWidget::setTabOrder(cmdCopy_, cmdQuit_);
  QWidget::setTabOrder(cmdQuit_, chkDelete_);
  cmdNone_->setFocus();
  FitFont();
}

void FrmMain::FitFont() {
  // The layout is fixed in pixels, drawn for a small font. A larger platform font
  // is stepped down until every caption fits its control; the family stays.
  const QWidget* const captioned[] = {label1_,  label2_,    cmdNone_, cmdAll_,
                                      cmdCopy_, chkDelete_, cmdQuit_};
  QFont font = this->font();
  const auto fits = [&font, &captioned] {
    return std::all_of(std::begin(captioned), std::end(captioned),
                       [&font](const QWidget* control) { return TextFits(*control, font); });
  };
  constexpr qreal kSmallest = 6.0;
  while (!fits() && font.pointSizeF() > kSmallest) font.setPointSizeF(font.pointSizeF() - 0.5);
  if (font != this->font()) setFont(font);
}

void FrmMain::Form_Load() { handlers_.Form_Load(); }

bool FrmMain::IsDeleteTicked() const { return chkDelete_->isChecked(); }

void FrmMain::ShowMessage(QMessageBox::Icon icon, const std::string& message) {
  QMessageBox box(icon, QString::fromLatin1(kCaption),
                  QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())),
                  QMessageBox::Ok, this);
  box.exec();
}

void FrmMain::ShowError(const std::string& message) { ShowMessage(QMessageBox::Critical, message); }

void FrmMain::ShowNotice(const std::string& message) {
  ShowMessage(QMessageBox::Information, message);
}

void FrmMain::StartViewer(const std::filesystem::path& file) {
  // Started directly, not through a shell, so the path is one argument whatever
  // it holds; Qt detaches the viewer so it is never waited for.
  const std::string& bytes = file.native();
  const QByteArray encoded(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const QString argument = QFile::decodeName(encoded);
  if (QFile::encodeName(argument) != encoded) {
    throw FileError(EILSEQ, "The file name cannot be passed to the viewer " + std::string(kViewer),
                    PathText(file));
  }
  if (!QProcess::startDetached(QString::fromLatin1(kViewer), {argument})) {
    throw FileError(ENOENT, "The viewer " + std::string(kViewer) + " could not be started",
                    PathText(file));
  }
}

void FrmMain::Close() { close(); }

}  // namespace velmoth::qt
