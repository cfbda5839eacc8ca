// The window, driven for real on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <chrono>
#include <filesystem>

#include "app/main_window.h"
#include "app/qtext.h"
#include "support/literals.h"
#include "support/novel_site.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace ravelkin {
namespace {

using test::gbk;
using test::NovelSite;
using test::readFile;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

// Answers every dialog the window opens, and remembers what it was shown.
class FakeDialogs : public Dialogs {
 public:
  void modalMessage(QWidget*, const QString& text) override { messages.push_back(text); }
  void openMessage(QWidget*, const QString& text, const QString& extraButton,
                   std::function<void(bool)> closed) override {
    messages.push_back(text);
    offeredExtra.push_back(extraButton);
    closed(mergeAnyway && !extraButton.isEmpty());
  }
  QString chooseRuleFile(QWidget*) override { return ruleFile; }
  QAction* execMenu(QMenu& menu, const QPoint& at) override {
    menuAt = at;
    ++menus;
    for (QAction* a : menu.actions()) {
      if (a->text() == choose && a->isEnabled()) return a->trigger(), a;
    }
    return nullptr;
  }
  void showFileInFolder(const QString& path) override { shownInFolder.push_back(path); }

  std::vector<QString> messages, offeredExtra, shownInFolder;
  bool mergeAnyway = false;
  QString ruleFile;
  QString choose;
  QPoint menuAt;
  int menus = 0;
};

// Serves the GUI thread's events until pred holds (or a minute has passed).
template <typename P>
bool waitFor(P pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

class Window : public ::testing::Test {
 protected:
  Window() {
    auto fake = std::make_unique<FakeDialogs>();
    dialogs = fake.get();
    window = std::make_unique<MainWindow>(std::move(fake), gbk(root()));
    window->show();
  }
  std::string root() const { return dir / "自建规则TXT/"; }
  template <typename T>
  T* control(const char* name) {
    T* w = window->findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QTableWidget* list() { return control<QTableWidget>("超级列表框1"); }
  QString cell(int row, int column) {
    const QTableWidgetItem* item = list()->item(row, column);
    return item ? item->text() : QString();
  }
  void useSite(const NovelSite& site, const std::string& pattern = NovelSite::pattern()) {
    window->setRules({gbk(site.catalogueUrl()), gbk(site.prefix()), gbk(NovelSite::startMarker()),
                      gbk(pattern), gbk("书"), gbk(NovelSite::endMarker())});
  }
  // No run or refresh in progress, and the window has caught up with that.
  bool idle() { return !window->busy() && control<QPushButton>("按钮1")->isEnabled(); }
  void refresh() {
    control<QPushButton>("按钮1")->click();
    ASSERT_TRUE(waitFor([&] { return idle(); }));
  }

  TempDir dir;
  FakeDialogs* dialogs;
  std::unique_ptr<MainWindow> window;
};

TEST_F(Window, ControlsLayoutAndCaptions) {
  struct Control {
    const char* name;
    const char* parent;
    QRect geometry;
    const char* caption;
  } controls[] = {
      {"分组框1", "client", {2, 8, 584, 48}, "请输入目录URL地址"},
      {"编辑框_URL", "分组框1", {8, 18, 568, 24}, ""},
      {"分组框2", "client", {2, 64, 584, 232}, "请建立下载规则"},
      {"超级列表框1", "分组框2", {6, 18, 248, 206}, ""},
      {"按钮1", "分组框2", {263, 192, 80, 32}, "刷新章节"},
      {"按钮2", "分组框2", {352, 192, 80, 32}, "开始下载"},
      {"分组框3", "client", {264, 76, 128, 52}, "小说名称"},
      {"编辑框_小说名字", "分组框3", {8, 19, 112, 24}, ""},
      {"分组框4", "client", {400, 76, 176, 52}, "章节正则表达式\\URL"},
      {"编辑框_章节正则", "分组框4", {8, 19, 160, 24}, ""},
      {"分组框6", "client", {264, 136, 312, 52}, "正文内容取中间"},
      {"编辑框_前", "分组框6", {8, 19, 144, 24}, ""},
      {"编辑框_后", "分组框6", {160, 19, 144, 24}, ""},
      {"分组框7", "client", {264, 194, 312, 52}, "URL地址前网址 （就是要在URL地址，前面加入地址）"},
      {"编辑框_QURL", "分组框7", {8, 19, 296, 24}, ""},
      {"按钮3", "client", {440, 256, 48, 32}, "导出"},
      {"按钮4", "client", {496, 256, 48, 32}, "导入"},
      {"进度条1", "client", {-1, 296, 592, 10}, ""},
  };
  for (const Control& c : controls) {
    const QWidget* w = control<QWidget>(c.name);
    if (!w) continue;
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromUtf8(c.parent)) << c.name;
    EXPECT_EQ(w->geometry(), c.geometry) << c.name;
    QString caption;
    if (auto* g = qobject_cast<const QGroupBox*>(w)) caption = g->title();
    if (auto* b = qobject_cast<const QPushButton*>(w)) caption = b->text();
    EXPECT_EQ(caption, QString::fromUtf8(c.caption)) << c.name;
  }
  EXPECT_TRUE(qobject_cast<QLineEdit*>(control<QWidget>("编辑框_URL")));
  EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(control<QWidget>("编辑框_前")));

  QTableWidget* l = list();
  EXPECT_EQ(l->columnCount(), 3);
  const char* headers[] = {"状态", "章节名称", "URL地址"};
  const int widths[] = {60, 80, 70};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(l->horizontalHeaderItem(c)->text(), QString::fromUtf8(headers[c]));
    EXPECT_EQ(l->columnWidth(c), widths[c]);
  }
  EXPECT_EQ(l->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(l->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(l->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_TRUE(l->showGrid());

  EXPECT_EQ(window->windowTitle(),
            QStringLiteral("Ravelkin 作者Tollan ") + QString::fromUtf8(kProjectAddress));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());  // fixed size
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(window->windowIcon().isNull());
  const QList<QAction*> menus = window->menuBar()->actions();
  ASSERT_EQ(menus.size(), 1);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("开始"));
  const QList<QAction*> items = menus[0]->menu()->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), QStringLiteral("导入"));
  EXPECT_EQ(items[1]->text(), QStringLiteral("导出"));
  EXPECT_TRUE(fs::is_directory(root()));  // made when the window was created
}

TEST_F(Window, EnterInAMultiLineBoxGivesCrLf) {
  auto* start = control<QPlainTextEdit>("编辑框_前");
  start->setFocus();
  QTest::keyClicks(start, "<p");
  QTest::keyClick(start, Qt::Key_Return);
  QTest::keyClicks(start, "class=x>");
  EXPECT_EQ(window->rules().startMarker, "<p\r\nclass=x>");
}

TEST_F(Window, PopupMenuDeletesTheSelectedRows) {
  QTableWidget* l = list();
  l->setRowCount(5);
  for (int r = 0; r < 5; ++r) window->setCellText(r, 0, numberToText(r + 1));
  for (const int r : {0, 2, 3}) {
    l->selectionModel()->select(l->model()->index(r, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  dialogs->choose = QStringLiteral("删除");
  QTest::mousePress(l->viewport(), Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(dialogs->menus, 1);
  EXPECT_EQ(dialogs->menuAt, QCursor::pos() + QPoint(3, 3));
  ASSERT_EQ(l->rowCount(), 2);
  EXPECT_EQ(cell(0, 0), QStringLiteral("2"));
  EXPECT_EQ(cell(1, 0), QStringLiteral("5"));

  // Over an empty list the menu still opens, and deleting changes nothing.
  l->setRowCount(0);
  QTest::mousePress(l->viewport(), Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(dialogs->menus, 2);
  EXPECT_EQ(l->rowCount(), 0);
}

TEST_F(Window, ProgressIsClamped) {
  auto* bar = control<QProgressBar>("进度条1");
  window->setProgressMaximum(40000);
  EXPECT_EQ(bar->maximum(), 32767);
  window->setProgressPosition(-5);
  EXPECT_EQ(bar->value(), 0);
  window->setProgressMaximum(10);
  window->setProgressPosition(50);
  EXPECT_EQ(bar->value(), 10);
}

TEST_F(Window, RefreshFillsTheListInEitherGroupOrder) {
  NovelSite site(3, NovelSite::Charset::Utf8);
  for (const std::string& pattern :
       {NovelSite::pattern(), std::string(R"re(<a href="(?=[^"]+">([^<]+))([^"]+)")re")}) {
    useSite(site, pattern);
    refresh();
    ASSERT_EQ(list()->rowCount(), 3) << pattern;
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(cell(r, 0), QString::number(r + 1));
      EXPECT_EQ(cell(r, 1), QString::fromStdString(NovelSite::title(r + 1)));
      EXPECT_EQ(cell(r, 2),
                QString::fromStdString(site.prefix() + "/c/" + std::to_string(r + 1) + ".html"));
    }
  }
  useSite(site, "no such thing");
  refresh();
  EXPECT_EQ(list()->rowCount(), 0);
  EXPECT_EQ(dialogs->messages.back(), QStringLiteral("章节正则表达式没有匹配到任何章节"));
}

TEST_F(Window, WholeRunGivesTheCliBook) {
  NovelSite site(5);
  bool chapterFourBroken = true;
  site.hook = [&](int chapter, int, httplib::Response& res) {
    if (chapter != 4 || !chapterFourBroken) return false;
    res.status = 404;
    return true;
  };
  useSite(site);
  refresh();
  ASSERT_EQ(list()->rowCount(), 5);

  control<QPushButton>("按钮2")->click();
  EXPECT_FALSE(control<QPushButton>("按钮2")->isEnabled());  // nothing may change the list now
  EXPECT_FALSE(control<QPushButton>("按钮1")->isEnabled());
  EXPECT_FALSE(control<QPushButton>("按钮4")->isEnabled());
  EXPECT_TRUE(control<QPushButton>("按钮3")->isEnabled());
  ASSERT_TRUE(waitFor([&] { return idle(); }));
  EXPECT_EQ(cell(0, 0), QStringLiteral("完成"));
  EXPECT_EQ(cell(3, 0), QStringLiteral("失败"));
  ASSERT_FALSE(dialogs->messages.empty());
  EXPECT_EQ(
      dialogs->messages.back(),
      QStringLiteral("有 1 章下载失败，书籍尚未合并。再次点击“开始下载”将只重新下载失败的章节。"));
  EXPECT_EQ(dialogs->offeredExtra.back(), QStringLiteral("仍然合并"));
  EXPECT_TRUE(control<QPushButton>("按钮2")->isEnabled());

  chapterFourBroken = false;
  control<QPushButton>("按钮2")->click();
  ASSERT_TRUE(waitFor([&] { return idle(); }));
  EXPECT_EQ(cell(0, 0), QStringLiteral("存在"));
  EXPECT_EQ(cell(3, 0), QStringLiteral("完成"));
  const std::string book = root() + "书/书.txt";
  EXPECT_EQ(dialogs->messages.back(),
            QStringLiteral("采集完毕！\n") + QString::fromStdString(book));

  // The command-line tool makes the very same book.
  const test::ProcessResult cli = test::runProcess(
      {RAVELKIN_CLI, "download", "--url", site.catalogueUrl(), "--pattern", NovelSite::pattern(),
       "--prefix", site.prefix(), "--start", NovelSite::startMarker(), "--end",
       NovelSite::endMarker(), "--name", "书", "--output-root", dir / "cli"});
  ASSERT_EQ(cli.exitCode, 0) << cli.err;
  EXPECT_EQ(readFile(book), readFile(dir / "cli/书/书.txt"));
}

TEST_F(Window, ExportThenImportRestoresEveryField) {
  const RuleSet rules{"http://x/b/", "", gbk("<div\r\nid=\"c\">"), "(a)(b)", gbk("书"), ""};
  window->setRules(rules);
  window->exportRules();
  const std::string file = root() + "书.zjp";
  EXPECT_EQ(dialogs->messages.back(), QStringLiteral("导出成功！"));
  EXPECT_EQ(dialogs->shownInFolder.back(), QString::fromStdString(file));
  EXPECT_EQ(readFile(file), encodeRuleFile(rules));

  window->setRules({});
  dialogs->ruleFile = QString::fromStdString(file);
  window->importRules();
  EXPECT_EQ(dialogs->messages.back(), QStringLiteral("导入成功！"));
  EXPECT_EQ(window->rules(), rules);

  // A cancelled dialog does nothing; a file that is no rule file changes no field.
  const size_t shown = dialogs->messages.size();
  dialogs->ruleFile.clear();
  window->importRules();
  EXPECT_EQ(dialogs->messages.size(), shown);
  writeFile(dir / "bad.zjp", "a\r\nb");
  dialogs->ruleFile = QString::fromStdString(dir / "bad.zjp");
  window->importRules();
  EXPECT_EQ(dialogs->messages.back(), QStringLiteral("请用最新版本软件！"));
  EXPECT_EQ(window->rules(), rules);
}

TEST_F(Window, ExportThatCannotWriteSaysSo) {
  fs::remove_all(root());
  writeFile(dir / "自建规则TXT", "a file where the folder should be");
  window->setRules({"u", "", "", "", gbk("书"), ""});
  window->exportRules();
  EXPECT_TRUE(dialogs->messages.back().startsWith(QStringLiteral("导出失败：")));
  EXPECT_TRUE(dialogs->shownInFolder.empty());
}

TEST_F(Window, ClosingDuringARunEndsIt) {
  NovelSite site(20);
  site.delay = std::chrono::milliseconds(2000);
  useSite(site);
  refresh();
  control<QPushButton>("按钮2")->click();
  ASSERT_TRUE(waitFor([&] { return site.arrivals().size() >= 2; }));
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->busy());
  EXPECT_FALSE(fs::exists(root() + "书/书.txt"));
}

TEST_F(Window, EscapeCloses) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(control<QLineEdit>("编辑框_URL"), Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace ravelkin

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
