// ravelkin: the window.
#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QTimer>

#include "app/main_window.h"
#include "files/files.h"
#include "text/codepage.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ravelkin"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/DEFAULT_ICON.png")));
  // The layout is laid out in small fixed boxes, as the rules window has always been: a compact
  // font keeps every caption inside its control.
  QFont font = QApplication::font();
  font.setPixelSize(12);
  QApplication::setFont(font);

  ravelkin::MainWindow window(ravelkin::makeDesktopDialogs());
  window.show();

  // --screenshot FILE [RULES.zjp]: loads the rules, refreshes the chapter list, saves a picture of
  // the window and ends. The README's screenshot is made this way.
  const QStringList args = QApplication::arguments();
  const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
  if (at >= 0 && at + 1 < args.size()) {
    if (at + 2 < args.size()) {
      const QByteArray path = args[at + 2].toUtf8();
      if (auto rules = ravelkin::decodeRuleFile(
              ravelkin::readWholeFile(ravelkin::utf8ToText(path.toStdString())))) {
        window.setRules(*rules);
        window.refreshChapters();
      }
    }
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, file = args[at + 1]] {
      if (window.busy()) return;
      poll->stop();
      window.grab().save(file);
      window.close();
    });
    poll->start(300);
  }
  return app.exec();
}
