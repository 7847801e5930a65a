#include "app/mainwindow.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QStatusBar>
#include <QtTest>

namespace {
struct Expected
{
    const char *name;
    const char *className;
    QRect geometry;
    int pointSize;
    bool bold;
    Qt::Alignment alignment;
    QString text;
};
}

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QSqlDatabase::removeDatabase(QStringLiteral("fernwick_db")); }
    void formMatchesItsLayoutAndLimits();
    void everyWidgetFitsWhateverTheFont_data();
    void everyWidgetFitsWhateverTheFont();
    void clockShowsPlaceholderThenCurrentTime();
    void unreadableLocalFileIsSaidInLogAndPane();
};

void MainWindowTest::formMatchesItsLayoutAndLimits()
{
    WorkingDir wd;
    MainWindow window;
    const Qt::Alignment centred = Qt::AlignCenter;
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter;
    const QList<Expected> widgets = {
        {"label", "QLabel", {0, 30, 801, 25}, 14, true, centred, QStringLiteral("巡更系统点、线和计划跑数")},
        {"label_2", "QLabel", {0, 60, 801, 25}, 14, false, centred, QStringLiteral("KELDO-FERNWICK")},
        {"time_label", "QLabel", {600, 575, 180, 21}, 11, false, right, QStringLiteral("2021-06-06 14:00:00")},
        {"plainTextEdit", "QPlainTextEdit", {0, 110, 801, 461}, -1, false, {}, QString()},
        {"pushButton", "QPushButton", {60, 575, 75, 23}, -1, false, {}, QStringLiteral("更新数据")},
    };
    QWidget *central = window.centralWidget();
    QVERIFY(central);
    QCOMPARE(central->objectName(), QStringLiteral("centralwidget"));
    for (const Expected &e : widgets) {
        auto *w = central->findChild<QWidget *>(QLatin1String(e.name), Qt::FindDirectChildrenOnly);
        QVERIFY2(w, e.name);
        QCOMPARE(w->metaObject()->className(), e.className);
        QCOMPARE(w->geometry(), e.geometry);
        if (e.pointSize > 0) {
            QCOMPARE(w->font().family(), QStringLiteral("微软雅黑"));
            QCOMPARE(w->font().pointSize(), e.pointSize);
            QCOMPARE(w->font().weight(), e.bold ? 75 : 50);
        }
        if (auto *label = qobject_cast<QLabel *>(w)) {
            QCOMPARE(label->alignment(), e.alignment);
            QCOMPARE(label->text(), e.text);
        }
        if (auto *button = qobject_cast<QPushButton *>(w))
            QCOMPARE(button->text(), e.text);
    }
    QCOMPARE(window.statusBar()->objectName(), QStringLiteral("statusbar"));
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("KELDO-FERNWICK"));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.size(), QSize(800, 622));
    window.resize(300, 200);
    QCOMPARE(window.size(), QSize(400, 300));
    window.resize(1000, 1000);
    QCOMPARE(window.size(), QSize(800, 622));
}

void MainWindowTest::everyWidgetFitsWhateverTheFont_data()
{
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("the toolkit's font") << 0;
    // Where the application font is missing, a fallback may be this tall (a Windows machine
    // without Tahoma); the empty status bar must not push the button out of the window.
    QTest::newRow("a tall fallback font") << 46;
}

void MainWindowTest::everyWidgetFitsWhateverTheFont()
{
    QFETCH(int, pixelSize);
    WorkingDir wd;
    const QFont original = QApplication::font();
    QFont font = original;
    if (pixelSize > 0)
        font.setPixelSize(pixelSize);
    QApplication::setFont(font);
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const int visibleHeight = window.centralWidget()->height();
        for (const char *name : {"time_label", "pushButton", "plainTextEdit"}) {
            const QRect placed = window.centralWidget()->findChild<QWidget *>(QLatin1String(name))->geometry();
            QVERIFY2(placed.bottom() < visibleHeight,
                     qPrintable(QStringLiteral("%1 ends at %2 of %3").arg(QLatin1String(name)).arg(placed.bottom()).arg(visibleHeight)));
        }
    }
    QApplication::setFont(original);
}

void MainWindowTest::clockShowsPlaceholderThenCurrentTime()
{
    WorkingDir wd;
    ClockAt clock(QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)));
    MainWindow window;
    auto *label = window.findChild<QLabel *>(QStringLiteral("time_label"));
    QCOMPARE(label->text(), QStringLiteral("2021-06-06 14:00:00"));
    QTRY_VERIFY_WITH_TIMEOUT(label->text().startsWith(QStringLiteral("2030-01-02 03:04:")), 3000);
}

// The configuration store's own tests cover the ways the file can be unreadable; here, that
// what it says reaches the log and the pane.
void MainWindowTest::unreadableLocalFileIsSaidInLogAndPane()
{
    WorkingDir wd;
    const QByteArray junk = QByteArray("not a database ").repeated(100);
    {
        QFile file(QStringLiteral("fernwick.db"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(junk) == junk.size());
    }
    const QString reason = QStringLiteral("file is not a database");
    const QString said = QStringLiteral("fernwick.db could not be read: %1; using the built-in defaults").arg(reason);
    QString pane;
    {
        ClockAt clock(QDateTime(QDate(2021, 6, 6), QTime(14, 0, 0)));
        MainWindow window;
        pane = window.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit"))->toPlainText();
    }
    QVERIFY2(QRegularExpression(QStringLiteral("^\\n?") + stampedPattern(said).mid(2) + "\\n").match(pane).hasMatch(),
             qPrintable(pane));
    const QString log = QString::fromUtf8(readAll(QStringLiteral("log/fernwicklog-20210606.txt")));
    QVERIFY2(QRegularExpression(QStringLiteral("^") + stampedPattern(QStringLiteral("****** start ******")) + "\\n"
                                + stampedPattern(said) + "\\n")
                 .match(log)
                 .hasMatch(),
             qPrintable(log));
    // The snapshot steps meet the same file and say so too; the file stays as it was.
    QVERIFY2(log.contains(QStringLiteral("orva_point_data snapshot not saved: ") + reason), qPrintable(log));
    QCOMPARE(readAll(QStringLiteral("fernwick.db")), junk);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
