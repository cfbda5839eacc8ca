// The main window: the six rule fields, the chapter list, the commands and the progress bar.
#pragma once

#include <QMainWindow>
#include <atomic>
#include <memory>
#include <thread>

#include "app/dialogs.h"
#include "catalogue/catalogue.h"
#include "download/run.h"
#include "rules/rulefile.h"
#include "text/text.h"

class QAction;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace ravelkin {

// The web address shown in the window caption.
inline constexpr const char* kProjectAddress = "https://ravelkin.example/";

// Where books and rule files go: "自建规则TXT/" beside the program when that folder is writable,
// else under $XDG_DATA_HOME/ravelkin/ (by default ~/.local/share/ravelkin/).
Text defaultOutputRoot();

class MainWindow : public QMainWindow {
 public:
  // outputRoot empty: defaultOutputRoot().
  explicit MainWindow(std::unique_ptr<Dialogs> dialogs, Text outputRoot = {},
                      QWidget* parent = nullptr);
  ~MainWindow() override;

  // The commands, as the buttons, menus and popup run them.
  void refreshChapters();
  void startDownload();
  void exportRules();
  void importRules();
  void deleteSelectedRows();
  void showListMenu();

  // The one message box: caption "信息：", the text, OK. Callable from any thread; on the GUI
  // thread it is modal, from another thread it waits for the user but leaves the window usable.
  void showMessage(const Text& text);
  // The same with a second button "仍然合并"; true when the user pressed it.
  bool askMergeAnyway(const Text& text);

  // Control operations; from another thread each is carried out by the GUI thread while the
  // caller waits, and does nothing once the window is closing.
  int rowCount();
  Text cellText(int row, int column);
  void setCellText(int row, int column, const Text& text);
  void makeVisible(int row);
  void setProgressMaximum(int maximum);    // clamped to 0..32767
  void setProgressPosition(int position);  // clamped to 0..32767, then into the range

  // The rules in the edit boxes (multi-line boxes give CR LF line breaks), and back.
  RuleSet rules() const;
  void setRules(const RuleSet& rules);

  const Text& outputRoot() const { return outputRoot_; }
  Downloader& downloader() { return downloader_; }
  // True while a download run or a refresh is in progress.
  bool busy() const { return downloader_.running() || refreshing_; }

 protected:
  void closeEvent(class QCloseEvent* event) override;
  bool eventFilter(QObject* watched, class QEvent* event) override;

 private:
  class Ports;
  void buildControls();
  // Cancels a run or refresh and waits for it; the window takes no new work afterwards.
  void shutDown();
  void updateCommands();
  void applyCatalogue(const CatalogueResult& result);
  bool waitForMessage(const Text& text, const QString& extraButton);
  // Runs f on the GUI thread while the calling thread waits; false once the window is closing.
  template <typename F>
  bool onGuiThread(F&& f);

  std::unique_ptr<Dialogs> dialogs_;
  Text outputRoot_;
  Downloader downloader_;
  std::unique_ptr<Ports> ports_;
  std::atomic<bool> closing_{false};
  std::atomic<bool> refreshing_{false};
  std::jthread refresher_;

  QLineEdit* url_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* prefix_ = nullptr;
  QPlainTextEdit* pattern_ = nullptr;
  QPlainTextEdit* start_ = nullptr;
  QPlainTextEdit* end_ = nullptr;
  QTableWidget* list_ = nullptr;
  QPushButton* refreshButton_ = nullptr;
  QPushButton* downloadButton_ = nullptr;
  QPushButton* exportButton_ = nullptr;
  QPushButton* importButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QAction* importAction_ = nullptr;
  QAction* exportAction_ = nullptr;
  QAction* deleteAction_ = nullptr;
};

}  // namespace ravelkin
