// The start procedure: the missing or refused settings' message and the
// second start.
#include "app_places.h"
#include "application_setup.h"
#include "start_procedure.h"
#include "scripted_message_boxes.h"
#include "single_instance.h"
#include "temp_app_folder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

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

  // Installed, with XDG_CONFIG_HOME in a shared folder where another user
  // put talvenor/Data.ini: one box names it, no window opens, nothing is sent.
  void settingsOfAnotherUserStopWithOneBox() {
    QTemporaryDir root;
    const QString program = root.path() + QStringLiteral("/prefix/bin/");
    const QString shared = root.path() + QStringLiteral("/shared");
    QVERIFY(QDir().mkpath(program) && QDir().mkpath(root.path() + QStringLiteral("/prefix/share/talvenor")));
    QVERIFY(QDir().mkpath(shared + QStringLiteral("/talvenor")));
    for (const QString& ini : {root.path() + QStringLiteral("/prefix/share/talvenor/Data.ini"),
                               shared + QStringLiteral("/talvenor/Data.ini")})
      QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/Data.ini"), ini));
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    QCOMPARE(::chown(QFile::encodeName(shared + QStringLiteral("/talvenor")).constData(), 65534, 65534), 0);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(shared));
    AppPlaces::useProgramFolder(program);
    ScriptedMessageBoxes boxes;
    int exitCode = -1;

    const auto outcome = StartProcedure::run(QUuid::createUuid().toString(QUuid::Id128), exitCode);

    AppPlaces::useProgramFolder(QString());
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(outcome, StartProcedure::StartOutcome::SettingsRefused);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("設定ファイルを安全に読めないため使えません。(Data.ini) \r\n") +
                                        shared + QStringLiteral("/talvenor：所有者が異なります\r\nTalvenor210を終了します。")});
    QCOMPARE(boxes.shown().first().icon, MessageBox::Icon::Critical);
    QVERIFY(std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
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
