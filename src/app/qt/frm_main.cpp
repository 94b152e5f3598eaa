// frmMain's controls made from the form, at its positions and sizes in pixels at
// 96 dpi; Qt scales them for other screen densities.
#include "app/qt/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDirIterator>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
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

#include "app/qt/details_dialog.h"
#include "app/qt/tick_matching_dialog.h"

namespace velmoth::qt {
namespace {

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The list raises its double-click wherever in the rows it happens, and opens
// its context menu on a right click, the Menu key or Shift+F10; the handlers then
// look at which row is selected, as they do for any other caller.
class MailView final : public QTreeView {
 public:
  using QTreeView::QTreeView;
  std::function<void()> onDoubleClick;
  QMenu* contextMenu = nullptr;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && onDoubleClick) onDoubleClick();
  }
  void contextMenuEvent(QContextMenuEvent* event) override {
    // Some platforms raise one for the Menu key too, others do not: the keys
    // are taken below, alike everywhere, so the menu never opens twice.
    if (event->reason() == QContextMenuEvent::Keyboard) return event->ignore();
    contextMenu->exec(event->globalPos());
  }
  void keyPressEvent(QKeyEvent* event) override {
    const bool menuKey = event->key() == Qt::Key_Menu ||
                         (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (!menuKey) return QTreeView::keyPressEvent(event);
    // Under the current row, as a click there would open it.
    const QRect row = visualRect(currentIndex());
    contextMenu->exec(viewport()->mapToGlobal(row.isValid() ? row.bottomLeft() : QPoint()));
  }
};

// The keys of a key name of kContextMenu or kRefreshKey as Qt reads it, with the
// main keyboard's Enter (Qt's Return) beside the keypad's; none for no name.
QList<QKeySequence> KeysOf(std::string_view name) {
  const QKeySequence named = QKeySequence::fromString(Latin1(name), QKeySequence::PortableText);
  if (named.isEmpty()) return {};
  const QKeyCombination key = named[0];
  if (key.key() != Qt::Key_Enter) return {named};
  return {named, QKeySequence(QKeyCombination(key.keyboardModifiers(), Qt::Key_Return))};
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
      handlers_(model_.list(), *this, files_, locations_, log),
      follower_([this](const QueueChanges& changes) { return TakeChanges(changes); }) {
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
            [this, click = handler.click] { Run(click); });
  }
  CreateCommands();
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
  view->onDoubleClick = [this] { Run(&MainWindowHandlers::lvwMail_DblClick); };
  view->contextMenu = new QMenu(view);
  view->contextMenu->setObjectName(QStringLiteral("lvwMailMenu"));
  return view;
}

void FrmMain::CreateCommands() {
  auto* view = static_cast<MailView*>(lvwMail_);
  for (const MenuCommand& command : kContextMenu) {
    auto* action = new QAction(
        QString::fromUtf8(command.caption.data(), static_cast<qsizetype>(command.caption.size())),
        view);
    action->setShortcuts(KeysOf(command.key));
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, [this, run = command.run] { Run(run); });
    view->addAction(action);
    view->contextMenu->addAction(action);
  }
  auto* refresh = new QAction(this);
  refresh->setShortcuts(KeysOf(kRefreshKey.key));
  refresh->setShortcutContext(Qt::WindowShortcut);
  connect(refresh, &QAction::triggered, this, &FrmMain::RefreshNow);
  addAction(refresh);
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

void FrmMain::Form_Load() {
  // The watch comes first, so that no change falls between it and the scan.
  follower_.Follow(BadMailNow(), false);
  Run(&MainWindowHandlers::Form_Load);
}

void FrmMain::RefreshNow() {
  follower_.Follow(BadMailNow(), false);
  Run(kRefreshKey.run);
}

void FrmMain::Run(void (MainWindowHandlers::*handler)()) {
  (handlers_.*handler)();
  FollowListedDirectory();
}

std::optional<std::filesystem::path> FrmMain::BadMailNow() const {
  try {
    return locations_.Directory(Queue::kBadMail);
  } catch (const FileError&) {
    return std::nullopt;
  }
}

void FrmMain::FollowListedDirectory() {
  const std::optional<std::filesystem::path>& listed = handlers_.ListedFrom();
  if (listed != follower_.followed()) follower_.Follow(listed, true);
  TellFollowFailure();
}

void FrmMain::TellFollowFailure() {
  const std::optional<FileError> failure = follower_.failure();
  if (!failure || followFailureTold_) return;
  followFailureTold_ = true;
  ShowError(
      "The list cannot follow the Bad Mail directory: changes there show only once F5 reads it "
      "again.\n\n" +
      ErrorMessage(*failure));
}

std::chrono::milliseconds FrmMain::TakeChanges(const QueueChanges& changes) {
  const auto start = std::chrono::steady_clock::now();
  const auto operatorBefore = operatorTime_;
  handlers_.ParkedChanged(changes.names, changes.rescan);
  FollowListedDirectory();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start - (operatorTime_ - operatorBefore));
}

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
  RunModal(box);
}

int FrmMain::RunModal(QDialog& dialog) {
  const auto start = std::chrono::steady_clock::now();
  const int result = dialog.exec();
  operatorTime_ += std::chrono::steady_clock::now() - start;
  return result;
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
  return RunModal(box) == QMessageBox::Ok;
}

void FrmMain::ShowDetails(const MessageDetails& details) {
  DetailsDialog dialog(
      details, [this](FileDate date) { return model_.DateText(date); }, this);
  RunModal(dialog);
}

void FrmMain::ShowTickMatching() {
  if (tickMatching_ == nullptr) {
    tickMatching_ =
        new TickMatchingDialog([this](const MatchRequest& request,
                                      bool tick) { return handlers_.TickMatching(request, tick); },
                               this);
  }
  tickMatching_->Open();
}

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
