// The lookup from the mail address against real servers of
// tests/servers/run_account_setup_servers.sh: the program's table, the
// domain's autoconfiguration over HTTPS (both addresses), DNS SRV records
// from dnsmasq, and hostile answers, each refused with its reason and the
// next step asked.
#include "account_lookup.h"

#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTest>

using Smtp = MailSettings::SmtpSecurity;
using Step = LookupStepReport::Step;
using Outcome = LookupStepReport::Outcome;

namespace {

QString stepName(Step step) {
  switch (step) {
    case Step::ProviderTable: return QStringLiteral("table");
    case Step::AutoconfigHost: return QStringLiteral("autoconfig");
    case Step::WellKnown: return QStringLiteral("well-known");
    case Step::DnsSrv: return QStringLiteral("dns");
  }
  return QString();
}

QString outcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Found: return QStringLiteral("found");
    case Outcome::NothingThere: return QStringLiteral("nothing");
    case Outcome::Refused: return QStringLiteral("refused");
    case Outcome::Failed: return QStringLiteral("failed");
    case Outcome::TimedOut: return QStringLiteral("timed out");
  }
  return QString();
}

// Every request the autoconfiguration servers saw.
QString requests() {
  QFile file(qEnvironmentVariable("TALVENOR_AUTOCONFIG_LOG"));
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

struct Run {
  AccountLookup lookup{nullptr, QStringLiteral(TALVENOR_TEST_PROVIDERS)};
  QStringList steps;    // "autoconfig:refused"
  QStringList details;  // the reasons given
  std::optional<FoundAccount> account;
  QString notFound;
  bool ended = false;

  explicit Run(const QString& address) {
    QObject::connect(&lookup, &AccountLookup::stepFinished, [this](const LookupStepReport& report) {
      steps << stepName(report.step) + QLatin1Char(':') + outcomeName(report.outcome);
      details << report.detail;
    });
    QObject::connect(&lookup, &AccountLookup::found, [this](const FoundAccount& found) { account = found, ended = true; });
    QObject::connect(&lookup, &AccountLookup::notFound, [this](const QString& why) { notFound = why, ended = true; });
    lookup.start(address);
  }
};

}  // namespace

class TstAccountLookup : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void finds_data();
  void finds();
  void refusesHostileAnswers_data();
  void refusesHostileAnswers();
  void neverAsksOverPlainHttp_data();
  void neverAsksOverPlainHttp();
  void invalidAddressAsksNobody();
  void cancelAtAnyStep_data();
  void cancelAtAnyStep();
};

void TstAccountLookup::initTestCase() {
  if (qEnvironmentVariableIsEmpty("TALVENOR_AUTOCONFIG_LOG"))
    QSKIP("needs the servers of tests/servers/run_account_setup_servers.sh");
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.addCaCertificates(qEnvironmentVariable("TALVENOR_TEST_CA"));
  QSslConfiguration::setDefaultConfiguration(config);
}

void TstAccountLookup::finds_data() {
  QTest::addColumn<QString>("address");
  QTest::addColumn<QString>("steps");
  QTest::addColumn<int>("source");
  QTest::addColumn<QString>("server");
  QTest::addColumn<int>("port");
  QTest::addColumn<int>("security");
  QTest::addColumn<QString>("user");
  QTest::addColumn<QString>("pop");  // "server:port", empty: none
  using S = FoundAccount::Source;
  QTest::newRow("the program's table") << "taro@table.test" << "table:found" << int(S::ProviderTable)
                                       << "smtp.table.test" << 465 << int(Smtp::Ssl) << "taro@table.test" << "";
  QTest::newRow("autoconfig host") << "taro@good.test" << "table:nothing,autoconfig:found" << int(S::AutoconfigHost)
                                   << "localhost" << 587 << int(Smtp::StartTls) << "taro" << "pop.good.test:995";
  QTest::newRow("well-known address") << "hanako@wellknown.test" << "table:nothing,autoconfig:nothing,well-known:found"
                                      << int(S::WellKnown) << "localhost" << 465 << int(Smtp::Ssl) << "hanako" << "pop.wellknown.test:995";
  QTest::newRow("redirect to https followed") << "taro@redirectok.test" << "table:nothing,autoconfig:found"
                                              << int(S::AutoconfigHost) << "localhost" << 465 << int(Smtp::Ssl) << "taro" << "pop.redirectok.test:995";
  QTest::newRow("SRV, TLS") << "taro@srv.test" << "table:nothing,autoconfig:nothing,well-known:nothing,dns:found"
                            << int(S::DnsSrv) << "localhost" << 465 << int(Smtp::Ssl) << "taro@srv.test" << "localhost:995";
  QTest::newRow("SRV, STARTTLS, best priority") << "taro@starttls.test" << "table:nothing,autoconfig:nothing,well-known:nothing,dns:found"
                                                << int(S::DnsSrv) << "localhost" << 587 << int(Smtp::StartTls) << "taro@starttls.test" << "localhost:110";
}

void TstAccountLookup::finds() {
  QFETCH(QString, address);
  QFETCH(QString, steps);
  QFETCH(int, source);
  QFETCH(QString, server);
  QFETCH(int, port);
  QFETCH(int, security);
  QFETCH(QString, user);
  QFETCH(QString, pop);
  Run run(address);
  QTRY_VERIFY_WITH_TIMEOUT(run.ended, 60000);
  QVERIFY2(run.account, qPrintable(run.notFound + QLatin1Char(' ') + run.steps.join(u',') + run.details.join(u'|')));
  QCOMPARE(run.steps.join(QLatin1Char(',')), steps);
  QCOMPARE(int(run.account->source), source);
  QCOMPARE(run.account->smtpServer, server);
  QCOMPARE(int(run.account->smtpPort), port);
  QCOMPARE(int(run.account->smtpSecurity), security);
  QVERIFY(run.account->smtpAuth);
  QVERIFY(!run.account->oauth2Only);
  QCOMPARE(run.account->smtpUser, user);
  if (address == u"taro@good.test")  // the address goes to its own domain's server, and only there
    QVERIFY(requests().contains(QStringLiteral("https autoconfig.good.test /mail/config-v1.1.xml?emailaddress=taro%40good.test")));
  QCOMPARE(run.account->hasPop ? run.account->popServer + QLatin1Char(':') + QString::number(run.account->popPort) : QString(), pop);
  QVERIFY(!run.lookup.isRunning());
}

void TstAccountLookup::refusesHostileAnswers_data() {
  QTest::addColumn<QString>("domain");
  QTest::addColumn<QString>("steps");
  QTest::addColumn<QString>("reason");  // a part of the autoconfig step's reason
  const QString rest = QStringLiteral(",well-known:nothing,dns:nothing");
  QTest::newRow("over 64 KiB, with a length") << "huge.test" << "table:nothing,autoconfig:refused" + rest << "64 KiB";
  QTest::newRow("over 64 KiB, no length") << "hugechunks.test" << "table:nothing,autoconfig:refused" + rest << "64 KiB";
  QTest::newRow("malformed XML") << "malformed.test" << "table:nothing,autoconfig:refused" + rest << "XML";
  QTest::newRow("not XML") << "notxml.test" << "table:nothing,autoconfig:refused" + rest << "clientConfig";
  QTest::newRow("port out of range") << "badport.test" << "table:nothing,autoconfig:refused" + rest << "70000";
  QTest::newRow("port not a number") << "textport.test" << "table:nothing,autoconfig:refused" + rest << "abc";
  QTest::newRow("unknown socketType") << "badsocket.test" << "table:nothing,autoconfig:refused" + rest << "TLS1.3";
  QTest::newRow("empty hostname") << "emptyhost.test" << "table:nothing,autoconfig:refused" + rest << "空";
  QTest::newRow("hostname not a name") << "badhost.test" << "table:nothing,autoconfig:refused" + rest << "使えません";
  QTest::newRow("redirect to http") << "redirect.test" << "table:nothing,autoconfig:refused" + rest << "http://";
  QTest::newRow("HTTP error") << "error.test" << "table:nothing,autoconfig:refused" + rest << "500";
  QTest::newRow("certificate of no known CA") << "untrusted.test" << "table:nothing,autoconfig:failed,well-known:failed,dns:nothing" << "証明書";
  QTest::newRow("bad entry in the table") << "brokentable.test" << "table:refused,autoconfig:nothing" + rest << "";
  QTest::newRow("services declared absent") << "declined.test" << "table:nothing,autoconfig:nothing" + rest << "";
}

void TstAccountLookup::refusesHostileAnswers() {
  QFETCH(QString, domain);
  QFETCH(QString, steps);
  QFETCH(QString, reason);
  Run run(QStringLiteral("taro@") + domain);
  QTRY_VERIFY_WITH_TIMEOUT(run.ended, 60000);
  QVERIFY(!run.account);
  QVERIFY(!run.notFound.isEmpty());
  QCOMPARE(run.steps.join(QLatin1Char(',')), steps);
  QVERIFY2(run.details.value(1).contains(reason), qPrintable(run.details.value(1)));
}

// No request ever goes over plain HTTP: not after a redirect to http, not
// as a fallback when HTTPS is not answered.
void TstAccountLookup::neverAsksOverPlainHttp_data() {
  QTest::addColumn<QString>("domain");
  QTest::newRow("redirect to http") << "redirect.test";
  QTest::newRow("only plain HTTP there") << "plainonly.test";
}

void TstAccountLookup::neverAsksOverPlainHttp() {
  QFETCH(QString, domain);
  Run run(QStringLiteral("taro@") + domain);
  QTRY_VERIFY_WITH_TIMEOUT(run.ended, 60000);
  QVERIFY(!run.account);
  QVERIFY2(!requests().contains(QStringLiteral("http ")), qPrintable(requests()));
}

void TstAccountLookup::invalidAddressAsksNobody() {
  const QString before = requests();
  Run run(QStringLiteral("taro@good.test/../x"));
  QTRY_VERIFY(run.ended);
  QVERIFY(!run.account);
  QVERIFY(run.steps.isEmpty());
  QCOMPARE(requests(), before);
}

// Cancelled or destroyed as any step begins: nothing more is reported, and
// the same object looks up the next address as if it were new.
void TstAccountLookup::cancelAtAnyStep_data() {
  QTest::addColumn<int>("step");
  QTest::addColumn<bool>("destroy");
  for (int step = 0; step < 4; ++step) {
    QTest::addRow("cancel at step %d", step) << step << false;
    QTest::addRow("destroy at step %d", step) << step << true;
  }
}

void TstAccountLookup::cancelAtAnyStep() {
  QFETCH(int, step);
  QFETCH(bool, destroy);
  auto* lookup = new AccountLookup(nullptr, QStringLiteral(TALVENOR_TEST_PROVIDERS));
  QPointer<AccountLookup> alive(lookup);
  QSignalSpy found(lookup, &AccountLookup::found);
  QSignalSpy notFound(lookup, &AccountLookup::notFound);
  QSignalSpy finishedSteps(lookup, &AccountLookup::stepFinished);
  bool stopped = false;
  connect(lookup, &AccountLookup::stepStarted, lookup, [&](Step started) {
    if (int(started) != step || stopped) return;
    stopped = true;
    if (destroy) lookup->deleteLater();
    else lookup->cancel();
  });
  lookup->start(QStringLiteral("taro@declined.test"));
  QTRY_VERIFY_WITH_TIMEOUT(stopped, 60000);
  if (destroy) {
    QTRY_VERIFY(alive.isNull());
    return;
  }
  QVERIFY(!lookup->isRunning());
  const qsizetype stepsBefore = finishedSteps.count();
  lookup->start(QStringLiteral("taro@table.test"));
  QTRY_COMPARE_WITH_TIMEOUT(found.count() + notFound.count(), 1, 60000);
  QCOMPARE(found.count(), 1);
  QCOMPARE(finishedSteps.count(), stepsBefore + 1);
  delete lookup;
}

QTEST_GUILESS_MAIN(TstAccountLookup)
#include "tst_account_lookup.moc"
