// The floor for the start-up figure: the same application set-up as the
// program and a bare window with five controls showing Japanese text in
// the program's fonts, nothing else. Prints a "first-paint" line once the
// window has been painted and exits.

#include "first_paint_probe.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTranslator>
#include <QWidget>
#include <chrono>

int main(int argc, char* argv[]) {
  const auto mainBegan = std::chrono::steady_clock::now();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Talvenor"));
  QApplication::setApplicationVersion(QStringLiteral("2.1.0"));

  QTranslator qtTranslator;
  if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTranslator);

  FirstPaintProbe probe(mainBegan);
  app.installEventFilter(&probe);

  QFont fixedPitch(QStringList{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("Noto Sans Mono CJK JP")}, 9);
  fixedPitch.setStyleHint(QFont::TypeWriter);
  fixedPitch.setFixedPitch(true);

  QWidget window;
  window.setWindowTitle(QStringLiteral("Talvenor"));
  window.setFixedSize(161, 419);

  auto* caption = new QLabel(QStringLiteral("キャリア"), &window);
  caption->setGeometry(8, 4, 145, 17);
  auto* carrier = new QComboBox(&window);
  carrier->setEditable(true);
  carrier->addItems({QStringLiteral("docomo"), QStringLiteral("au"), QStringLiteral("SoftBank"),
                     QStringLiteral("楽天モバイル"), QStringLiteral("制限なし")});
  carrier->setEditText(QStringLiteral("キャリア選択"));
  carrier->setGeometry(8, 21, 145, 22);
  auto* subjectCaption = new QLabel(QStringLiteral("題名"), &window);
  subjectCaption->setGeometry(8, 47, 145, 17);
  auto* subject = new QLineEdit(QStringLiteral("明日の打ち合わせ"), &window);
  subject->setFont(fixedPitch);
  subject->setGeometry(8, 64, 145, 22);
  auto* body = new QPlainTextEdit(QStringLiteral("本文をここに入力します。"), &window);
  body->setFont(fixedPitch);
  body->setGeometry(8, 90, 145, 137);

  window.show();
  return QApplication::exec();
}
