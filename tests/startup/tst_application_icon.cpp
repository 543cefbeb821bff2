// The window's icon, drawn at build time, is the menu entry's SVG as Qt SVG
// draws it, pixel for pixel, at every size a desktop asks for.
#include "application_setup.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTest>

class TstApplicationIcon : public QObject {
  Q_OBJECT

 private slots:
  void sameAsTheSvg_data() {
    QTest::addColumn<int>("size");
    for (const int size : {16, 24, 32, 48, 64, 128}) QTest::addRow("%d px", size) << size;
  }

  void sameAsTheSvg() {
    QFETCH(int, size);
    QSvgRenderer renderer(QStringLiteral(TALVENOR_ICON_SVG));
    QVERIFY(renderer.isValid());
    QPixmap drawn(size, size);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    renderer.render(&painter);
    painter.end();

    const QIcon icon = ApplicationSetup::applicationIcon();
    QVERIFY(icon.availableSizes().contains(QSize(size, size)));
    const QImage shown = icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(shown, drawn.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
  }
};

QTEST_MAIN(TstApplicationIcon)
#include "tst_application_icon.moc"
