// The start procedure: the missing-settings message and the second start.
#include "mod_dbl_launch.h"
#include "scripted_message_boxes.h"
#include "single_instance.h"
#include "temp_app_folder.h"

#include <QApplication>
#include <QTest>
#include <QUuid>

class TestStartProcedure : public QObject {
  Q_OBJECT

 private slots:
  void missingSettingsFileStopsWithOneBox() {
    TempAppFolder folder;  // no Data.ini in it
    ScriptedMessageBoxes boxes;
    int exitCode = -1;
    const auto outcome = ModDblLaunch::Main(QUuid::createUuid().toString(QUuid::Id128), exitCode);
    QCOMPARE(outcome, ModDblLaunch::StartOutcome::SettingsMissing);
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

  void secondStartEndsWithoutLookingAtSettings() {
    TempAppFolder folder;  // no Data.ini: a second start must not care
    const QString key = QUuid::createUuid().toString(QUuid::Id128);
    SingleInstance first(key);
    int raises = 0;
    first.onRaiseRequest = [&raises] { ++raises; };
    ScriptedMessageBoxes boxes;
    int exitCode = -1;
    QCOMPARE(ModDblLaunch::Main(key, exitCode), ModDblLaunch::StartOutcome::SecondInstance);
    QCOMPARE(exitCode, 0);
    QCOMPARE(boxes.count(), 0);
    QTRY_COMPARE(raises, 1);
  }
};

QTEST_MAIN(TestStartProcedure)
#include "tst_start_procedure.moc"
