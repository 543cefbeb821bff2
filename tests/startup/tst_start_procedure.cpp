// The start procedure: the missing-settings message and the second start.
#include "application_setup.h"
#include "start_procedure.h"
#include "scripted_message_boxes.h"
#include "single_instance.h"
#include "temp_app_folder.h"

#include <QApplication>
#include <QFileInfo>
#include <QTest>
#include <QTranslator>
#include <QUuid>

class TestStartProcedure : public QObject {
  Q_OBJECT

 private slots:
  void missingSettingsFileStopsWithOneBox() {
    TempAppFolder folder;  // no Data.ini in it
    ScriptedMessageBoxes boxes;
    int exitCode = -1;
    const auto outcome = StartProcedure::run(QUuid::createUuid().toString(QUuid::Id128), exitCode);
    QCOMPARE(outcome, StartProcedure::StartOutcome::SettingsMissing);
    QCOMPARE(boxes.count(), 1);
    const MessageBox::Request& box = boxes.shown().first();
    QCOMPARE(box.text, QStringLiteral("設定ファイルが見つかりません。(Data.ini) \r\nTalvenor210を終了します。"));
    QCOMPARE(box.icon, MessageBox::Icon::Critical);
    QCOMPARE(box.buttons, MessageBox::Buttons::Ok);
    QVERIFY(box.title.isEmpty());  // the application title
    QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
            std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                         [](QWidget* w) { return w->isVisible(); }));
  }

  // The windows carry the icon of the menu entry, from its SVG file, at the
  // sizes title bars and task bars ask for; the desktop file name leads a
  // Wayland desktop to that entry.
  void windowsCarryTheMenuEntrysIcon() {
    QTranslator translator;
    ApplicationSetup::prepare(*qApp, translator);
    const QString id = QGuiApplication::desktopFileName();
    const QString desktop = qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/desktop/") + id;
    QVERIFY2(QFileInfo::exists(desktop + QStringLiteral(".desktop")), qPrintable(id));
    QVERIFY(QFileInfo::exists(desktop + QStringLiteral(".svg")));
    const QIcon icon = QApplication::windowIcon();
    for (const int size : {16, 24, 32, 48}) {
      QVERIFY(icon.availableSizes().contains(QSize(size, size)));
      const QImage image = icon.pixmap(size).toImage();
      QCOMPARE(image.pixelColor(size / 2, size / 2).alpha(), 255);  // drawn, not empty
      QCOMPARE(image.pixelColor(0, 0).alpha(), 0);                  // the tile's round corner
    }
  }

  void secondStartEndsWithoutLookingAtSettings() {
    TempAppFolder folder;  // no Data.ini: a second start must not care
    const QString key = QUuid::createUuid().toString(QUuid::Id128);
    SingleInstance first(key);
    int raises = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });
    ScriptedMessageBoxes boxes;
    int exitCode = -1;
    QCOMPARE(StartProcedure::run(key, exitCode), StartProcedure::StartOutcome::SecondInstance);
    QCOMPARE(exitCode, 0);
    QCOMPARE(boxes.count(), 0);
    QTRY_COMPARE(raises, 1);
  }
};

QTEST_MAIN(TestStartProcedure)
#include "tst_start_procedure.moc"
