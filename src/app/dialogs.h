// The window's message boxes, file dialog, popup menu and file-manager call, behind one
// interface so that tests can answer them.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPoint;
class QWidget;

namespace ravelkin {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A box captioned "信息：" with the text and one OK button, modal; returns when it is closed.
  virtual void modalMessage(QWidget* parent, const QString& text) = 0;
  // The same box, leaving the window usable: returns at once and calls closed(true) when the
  // user pressed extraButton (when given, a second button) and closed(false) otherwise.
  virtual void openMessage(QWidget* parent, const QString& text, const QString& extraButton,
                           std::function<void(bool)> closed) = 0;
  // The rule file the user picks, or empty when the dialog was cancelled.
  virtual QString chooseRuleFile(QWidget* parent) = 0;
  // Shows the popup menu at a screen position; the chosen action or null.
  virtual QAction* execMenu(QMenu& menu, const QPoint& at) = 0;
  // Best effort: shows the file selected in a file-manager window.
  virtual void showFileInFolder(const QString& path) = 0;
};

// The real dialogs of a desktop session.
std::unique_ptr<Dialogs> makeDesktopDialogs();

}  // namespace ravelkin
