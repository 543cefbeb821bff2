// Two of the program's modules in one process (the keyring and the sent
// history): each handle answers with its own module's symbols, however the
// descriptors they were loaded through are numbered.
#include "trusted_module.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>

namespace {

using ModuleName = const char* (*)();

QString nameOf(void* handle) {
  const auto function = reinterpret_cast<ModuleName>(::dlsym(handle, "talvenor_test_module_name"));
  return function ? QString::fromLatin1(function()) : QStringLiteral("(no symbol)");
}

}  // namespace

class TestTrustedModule : public QObject {
  Q_OBJECT

 private slots:
  void twoModulesEachAnswerTheirOwn() {
    QTemporaryDir folder;
    const QString first = folder.filePath(QStringLiteral("first.so"));
    const QString second = folder.filePath(QStringLiteral("second.so"));
    QVERIFY(QFile::copy(QStringLiteral(FIRST_MODULE), first));
    QVERIFY(QFile::copy(QStringLiteral(SECOND_MODULE), second));
    for (const QString& module : {first, second})
      QVERIFY(QFile::setPermissions(module, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));

    void* firstHandle = TrustedModule::load(first);
    void* secondHandle = TrustedModule::load(second);
    QVERIFY(firstHandle);
    QVERIFY(secondHandle);
    QVERIFY(firstHandle != secondHandle);
    QCOMPARE(nameOf(firstHandle), QStringLiteral("first"));
    QCOMPARE(nameOf(secondHandle), QStringLiteral("second"));
    // Loaded again, a module is the same one.
    QCOMPARE(TrustedModule::load(first), firstHandle);
  }
};

QTEST_GUILESS_MAIN(TestTrustedModule)
#include "tst_trusted_module.moc"
