#include "app/dialogs.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

namespace ravelkin {
namespace {

QMessageBox* makeBox(QWidget* parent, const QString& text) {
  auto* box = new QMessageBox(parent);
  box->setWindowTitle(QStringLiteral("信息："));
  box->setText(text);
  box->setIcon(QMessageBox::NoIcon);
  box->setStandardButtons(QMessageBox::Ok);
  box->setAttribute(Qt::WA_QuitOnClose, false);
  return box;
}

class DesktopDialogs : public Dialogs {
 public:
  void modalMessage(QWidget* parent, const QString& text) override {
    std::unique_ptr<QMessageBox> box(makeBox(parent, text));
    box->exec();
  }

  void openMessage(QWidget* parent, const QString& text, const QString& extraButton,
                   std::function<void(bool)> closed) override {
    QMessageBox* box = makeBox(parent, text);
    QPushButton* extra =
        extraButton.isEmpty() ? nullptr : box->addButton(extraButton, QMessageBox::AcceptRole);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, extra, closed] { closed(extra && box->clickedButton() == extra); });
    box->show();
  }

  QString chooseRuleFile(QWidget* parent) override {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("选择zjp格式的配置文件！"),
                                        QString(),
                                        QStringLiteral("规则文件 (*.zjp);;所有文件 (*)"));
  }

  QAction* execMenu(QMenu& menu, const QPoint& at) override { return menu.exec(at); }

  void showFileInFolder(const QString& path) override {
    const QString url = QUrl::fromLocalFile(path).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{url} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
    if (reply.type() == QDBusMessage::ReplyMessage) return;
    // No file manager on the bus: open the folder instead, if anything can. xdg-open may wait
    // for the program it starts, so its exit code is collected without blocking the window;
    // a failure (no opener, no desktop) leaves nothing more to do.
    auto* opener = new QProcess;
    QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
    QObject::connect(opener, &QProcess::errorOccurred, opener, &QObject::deleteLater);
    opener->start(QStringLiteral("xdg-open"), {QFileInfo(path).absolutePath()});
  }
};

}  // namespace

std::unique_ptr<Dialogs> makeDesktopDialogs() { return std::make_unique<DesktopDialogs>(); }

}  // namespace ravelkin
