#include "app/main_window.h"

#include <unistd.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableWidget>
#include <QThread>
#include <algorithm>
#include <future>

#include "app/qtext.h"
#include "download/book.h"
#include "files/files.h"
#include "rules/rulefile.h"

namespace ravelkin {
namespace {

constexpr int kClientWidth = 590;   // the rule area below the menu bar, in device-independent
constexpr int kClientHeight = 306;  // pixels; Qt scales it on high-DPI screens
constexpr int kProgressLimit = 32767;

// Multi-line boxes hold their line breaks as CR LF, as rules and rule files expect.
Text plainText(const QPlainTextEdit* box) {
  return toText(box->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
}

void setPlainText(QPlainTextEdit* box, const Text& text) {
  box->setPlainText(toQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

QPlainTextEdit* multiLineBox(QWidget* parent, const char* name, QRect geometry) {
  auto* box = new QPlainTextEdit(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(geometry);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box->setTabChangesFocus(true);
  box->document()->setDocumentMargin(1);
  return box;
}

QLineEdit* lineBox(QWidget* parent, const char* name, QRect geometry) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(geometry);
  return box;
}

QGroupBox* groupBox(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* box = new QGroupBox(caption, parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(geometry);
  return box;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setGeometry(geometry);
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}

}  // namespace

Text defaultOutputRoot() {
  const QString programFolder = QCoreApplication::applicationDirPath();
  if (::access(QFile::encodeName(programFolder).constData(), W_OK) == 0) {
    return toText(programFolder + QStringLiteral("/自建规则TXT/"));
  }
  QString data = qEnvironmentVariable("XDG_DATA_HOME");
  if (data.isEmpty()) data = QDir::homePath() + QStringLiteral("/.local/share");
  return toText(data + QStringLiteral("/ravelkin/自建规则TXT/"));
}

// The window seen by a download run: the list, the progress bar and the message box.
class MainWindow::Ports : public ChapterList, public ProgressBar, public MessageBox {
 public:
  explicit Ports(MainWindow& w) : w_(w) {}
  int rowCount() override { return w_.rowCount(); }
  Text cellText(int row, int column) override { return w_.cellText(row, column); }
  void setCellText(int row, int column, const Text& text) override {
    w_.setCellText(row, column, text);
  }
  void makeVisible(int row) override { w_.makeVisible(row); }
  void noteFailure(int row, const Text& reason) override {
    w_.onGuiThread([&] {
      if (QTableWidgetItem* item = w_.list_->item(row, kStatusColumn)) {
        item->setToolTip(toQString(reason));
      }
    });
  }
  void setMaximum(int maximum) override { w_.setProgressMaximum(maximum); }
  void setPosition(int position) override { w_.setProgressPosition(position); }
  void showMessage(const Text& text) override { w_.showMessage(text); }
  bool askMergeAnyway(const Text& text) override { return w_.askMergeAnyway(text); }

 private:
  MainWindow& w_;
};

template <typename F>
bool MainWindow::onGuiThread(F&& f) {
  if (QThread::currentThread() == thread()) {
    f();
    return true;
  }
  // Once closing has begun the GUI thread may be waiting for this very thread: never block then.
  if (closing_) return false;
  QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
  return true;
}

MainWindow::MainWindow(std::unique_ptr<Dialogs> dialogs, Text outputRoot, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(std::move(dialogs)),
      outputRoot_(outputRoot.empty() ? defaultOutputRoot() : std::move(outputRoot)),
      ports_(std::make_unique<Ports>(*this)) {
  setWindowTitle(QStringLiteral("Ravelkin 作者Tollan ") + QString::fromUtf8(kProjectAddress));
  setWindowIcon(QIcon(QStringLiteral(":/DEFAULT_ICON.png")));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  buildControls();

  // The folder is made now so that the user can find it; when it cannot be, the commands that
  // need it say why.
  if (!isDirectory(outputRoot_)) ensureDirectoryPath(outputRoot_);

  const QSize size(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  setFixedSize(size);
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - size.width()) / 2,
         area.y() + (area.height() - size.height()) / 2);
  }
  updateCommands();
}

MainWindow::~MainWindow() { shutDown(); }

void MainWindow::shutDown() {
  // From here on no worker may wait for this thread, and this thread waits for the run while
  // still serving the calls already queued, so the two can never wait for each other.
  closing_ = true;
  downloader_.cancel();
  refresher_.request_stop();
  while (downloader_.running()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  downloader_.wait();
  refresher_ = {};
}

void MainWindow::buildControls() {
  QMenu* start = menuBar()->addMenu(QStringLiteral("开始"));
  importAction_ = start->addAction(QStringLiteral("导入"), this, &MainWindow::importRules);
  exportAction_ = start->addAction(QStringLiteral("导出"), this, &MainWindow::exportRules);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  QGroupBox* g1 = groupBox(client, "分组框1", QStringLiteral("请输入目录URL地址"), {2, 8, 584, 48});
  url_ = lineBox(g1, "编辑框_URL", {8, 18, 568, 24});

  QGroupBox* g2 = groupBox(client, "分组框2", QStringLiteral("请建立下载规则"), {2, 64, 584, 232});
  list_ = new QTableWidget(0, 3, g2);
  list_->setObjectName(QStringLiteral("超级列表框1"));
  list_->setGeometry(6, 18, 248, 206);
  list_->setHorizontalHeaderLabels(
      {QStringLiteral("状态"), QStringLiteral("章节名称"), QStringLiteral("URL地址")});
  list_->setColumnWidth(0, 60);
  list_->setColumnWidth(1, 80);
  list_->setColumnWidth(2, 70);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->horizontalHeader()->setStretchLastSection(false);
  list_->horizontalHeader()->setSectionsClickable(false);
  list_->verticalHeader()->setVisible(false);
  list_->verticalHeader()->setDefaultSectionSize(18);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setShowGrid(true);
  list_->setSortingEnabled(false);
  list_->setWordWrap(false);
  list_->setContextMenuPolicy(Qt::NoContextMenu);
  list_->viewport()->installEventFilter(this);
  // The selection is shown only while the list has the focus.
  QPalette palette = list_->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Base));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Text));
  list_->setPalette(palette);

  refreshButton_ = button(g2, "按钮1", QStringLiteral("刷新章节"), {263, 192, 80, 32});
  downloadButton_ = button(g2, "按钮2", QStringLiteral("开始下载"), {352, 192, 80, 32});
  connect(refreshButton_, &QPushButton::clicked, this, &MainWindow::refreshChapters);
  connect(downloadButton_, &QPushButton::clicked, this, &MainWindow::startDownload);

  QGroupBox* g3 = groupBox(client, "分组框3", QStringLiteral("小说名称"), {264, 76, 128, 52});
  name_ = lineBox(g3, "编辑框_小说名字", {8, 19, 112, 24});
  QGroupBox* g4 =
      groupBox(client, "分组框4", QStringLiteral("章节正则表达式\\URL"), {400, 76, 176, 52});
  pattern_ = multiLineBox(g4, "编辑框_章节正则", {8, 19, 160, 24});
  QGroupBox* g6 =
      groupBox(client, "分组框6", QStringLiteral("正文内容取中间"), {264, 136, 312, 52});
  start_ = multiLineBox(g6, "编辑框_前", {8, 19, 144, 24});
  end_ = multiLineBox(g6, "编辑框_后", {160, 19, 144, 24});
  QGroupBox* g7 =
      groupBox(client, "分组框7", QStringLiteral("URL地址前网址 （就是要在URL地址，前面加入地址）"),
               {264, 194, 312, 52});
  prefix_ = lineBox(g7, "编辑框_QURL", {8, 19, 296, 24});

  exportButton_ = button(client, "按钮3", QStringLiteral("导出"), {440, 256, 48, 32});
  importButton_ = button(client, "按钮4", QStringLiteral("导入"), {496, 256, 48, 32});
  connect(exportButton_, &QPushButton::clicked, this, &MainWindow::exportRules);
  connect(importButton_, &QPushButton::clicked, this, &MainWindow::importRules);

  progress_ = new QProgressBar(client);
  progress_->setObjectName(QStringLiteral("进度条1"));
  progress_->setGeometry(-1, 296, 592, 10);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);

  deleteAction_ = new QAction(QStringLiteral("删除"), this);
  connect(deleteAction_, &QAction::triggered, this, &MainWindow::deleteSelectedRows);

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void MainWindow::updateCommands() {
  // Rows are addressed by index during a run, so nothing may change the list under it.
  const bool idle = !busy();
  for (QWidget* w :
       std::initializer_list<QWidget*>{refreshButton_, downloadButton_, importButton_}) {
    w->setEnabled(idle);
  }
  importAction_->setEnabled(idle);
  deleteAction_->setEnabled(idle);
}

RuleSet MainWindow::rules() const {
  return {toText(url_->text()), toText(prefix_->text()), plainText(start_),
          plainText(pattern_),  toText(name_->text()),   plainText(end_)};
}

void MainWindow::setRules(const RuleSet& r) {
  url_->setText(toQString(r.catalogueUrl));
  prefix_->setText(toQString(r.urlPrefix));
  setPlainText(start_, r.startMarker);
  setPlainText(pattern_, r.chapterPattern);
  name_->setText(toQString(r.novelName));
  setPlainText(end_, r.endMarker);
}

void MainWindow::refreshChapters() {
  if (busy()) return;
  const RuleSet r = rules();
  list_->setRowCount(0);
  refreshing_ = true;
  updateCommands();
  // The fetch runs in the background so that the window keeps painting.
  refresher_ = std::jthread([this, r](std::stop_token stop) {
    CatalogueResult result =
        ravelkin::refreshChapters(r.catalogueUrl, r.chapterPattern, r.urlPrefix, stop);
    if (stop.stop_requested()) return;
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)] { applyCatalogue(result); }, Qt::QueuedConnection);
  });
}

void MainWindow::applyCatalogue(const CatalogueResult& result) {
  refreshing_ = false;
  if (refresher_.joinable()) refresher_.join();
  list_->setRowCount(static_cast<int>(result.rows.size()));
  for (int i = 0; i < static_cast<int>(result.rows.size()); ++i) {
    const ChapterRow& row = result.rows[static_cast<size_t>(i)];
    list_->setItem(i, kStatusColumn, new QTableWidgetItem(toQString(row.status)));
    list_->setItem(i, kTitleColumn, new QTableWidgetItem(toQString(row.title)));
    list_->setItem(i, kUrlColumn, new QTableWidgetItem(toQString(row.url)));
  }
  updateCommands();
  if (result.rows.empty() && !closing_) showMessage(result.error);
}

void MainWindow::startDownload() {
  if (busy()) return;
  const RuleSet r = rules();
  const RunSettings settings{r.startMarker, r.endMarker, r.novelName, outputRoot_};
  const Text refused =
      downloader_.startDownload(settings, *ports_, *ports_, *ports_, [this](const RunResult&) {
        QMetaObject::invokeMethod(
            this, [this] { updateCommands(); }, Qt::QueuedConnection);
      });
  updateCommands();
  if (!refused.empty()) showMessage(refused);
}

void MainWindow::exportRules() {
  const RuleSet r = rules();
  Text why;
  if (!isDirectory(outputRoot_) && !ensureDirectoryPath(outputRoot_, &why)) {
    showMessage(toText(QStringLiteral("导出失败：")) + outputRoot_ + toText(QStringLiteral("：")) +
                why);
    return;
  }
  const Text path = BookPaths{outputRoot_, safeNovelName(r.novelName)}.ruleFile();
  if (!writeFileAtomically(path, encodeRuleFile(r), &why)) {
    showMessage(toText(QStringLiteral("导出失败：")) + path + toText(QStringLiteral("：")) + why);
    return;
  }
  showMessage(toText(QStringLiteral("导出成功！")));
  dialogs_->showFileInFolder(toQString(path));
}

void MainWindow::importRules() {
  if (busy()) return;
  const QString chosen = dialogs_->chooseRuleFile(this);
  if (chosen.isEmpty()) return;  // the user changed their mind
  const std::optional<RuleSet> r = decodeRuleFile(readWholeFile(toText(chosen)));
  if (!r) {
    showMessage(toText(QStringLiteral("请用最新版本软件！")));
    return;
  }
  setRules(*r);
  showMessage(toText(QStringLiteral("导入成功！")));
}

void MainWindow::deleteSelectedRows() {
  if (busy()) return;
  std::vector<int> selected;
  for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
    selected.push_back(index.row());
  }
  std::sort(selected.begin(), selected.end());
  for (size_t k = 0; k < selected.size(); ++k) list_->removeRow(selected[k] - static_cast<int>(k));
}

void MainWindow::showListMenu() {
  QMenu menu(QStringLiteral("菜单"), this);
  menu.addAction(deleteAction_);
  dialogs_->execMenu(menu, QCursor::pos() + QPoint(3, 3));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    showListMenu();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showMessage(const Text& text) {
  if (QThread::currentThread() == thread()) {
    dialogs_->modalMessage(this, toQString(text));
    return;
  }
  waitForMessage(text, {});
}

bool MainWindow::askMergeAnyway(const Text& text) {
  if (QThread::currentThread() == thread()) {
    dialogs_->modalMessage(this, toQString(text));
    return false;
  }
  return waitForMessage(text, QStringLiteral("仍然合并"));
}

bool MainWindow::waitForMessage(const Text& text, const QString& extraButton) {
  // The box is opened without blocking the GUI thread, and this thread waits for the answer;
  // once the window is closing it stops waiting, so a box left open cannot hold up the exit.
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> chosen = answer->get_future();
  if (closing_) return false;
  QMetaObject::invokeMethod(
      this,
      [this, text, extraButton, answer] {
        if (closing_) {
          answer->set_value(false);
          return;
        }
        dialogs_->openMessage(this, toQString(text), extraButton,
                              [answer](bool extra) { answer->set_value(extra); });
      },
      Qt::QueuedConnection);
  while (chosen.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (closing_) return false;
  }
  return chosen.get();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  shutDown();
  event->accept();
}

int MainWindow::rowCount() {
  int n = 0;
  onGuiThread([&] { n = list_->rowCount(); });
  return n;
}

Text MainWindow::cellText(int row, int column) {
  Text t;
  onGuiThread([&] {
    if (const QTableWidgetItem* item = list_->item(row, column)) t = toText(item->text());
  });
  return t;
}

void MainWindow::setCellText(int row, int column, const Text& text) {
  onGuiThread([&] {
    if (row < 0 || row >= list_->rowCount() || column < 0 || column > 2) return;
    if (QTableWidgetItem* item = list_->item(row, column)) {
      item->setText(toQString(text));
    } else {
      list_->setItem(row, column, new QTableWidgetItem(toQString(text)));
    }
  });
}

void MainWindow::makeVisible(int row) {
  onGuiThread([&] {
    if (QTableWidgetItem* item = list_->item(row, 0)) {
      list_->scrollToItem(item, QAbstractItemView::EnsureVisible);
    }
  });
}

void MainWindow::setProgressMaximum(int maximum) {
  onGuiThread([&] { progress_->setMaximum(std::clamp(maximum, 0, kProgressLimit)); });
}

void MainWindow::setProgressPosition(int position) {
  onGuiThread([&] {
    progress_->setValue(std::clamp(std::clamp(position, 0, kProgressLimit), progress_->minimum(),
                                   progress_->maximum()));
  });
}

}  // namespace ravelkin
