// The busy window: progress formula, the close-on-finish handshake, the
// window itself (offscreen), and the real program driven through the real
// interface library's shared status word.
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QtTest>

#include "aldpanel/core/glue.h"
#include "aldpanel/core/runner.h"
#include "aldpanel/core/startup.h"
#include "notebox/busyanimation.h"
#include "notebox/noteboxwindow.h"
#include "notebox/progress.h"

using notebox::NoteboxWindow;

class NoteboxTest : public QObject {
  Q_OBJECT

 private slots:
  void formulaFillsInTwelveSecondsPlusOnePer431Bytes() {
    QCOMPARE(notebox::ExpectedDurationMs(43100), int64_t{112000});
    QCOMPARE(notebox::ExpectedDurationMs(430), int64_t{12000});  // integer division
    QCOMPARE(notebox::ExpectedDurationMs(notebox::kDefaultExpectedSize), int64_t{46000});
    // One step every 1120 ms for 43100 bytes, full after 112 s and then full.
    QCOMPARE(notebox::ProgressPosition(43100, 1119), 0);
    QCOMPARE(notebox::ProgressPosition(43100, 1120), 1);
    QCOMPARE(notebox::ProgressPosition(43100, 111999), 99);
    QCOMPARE(notebox::ProgressPosition(43100, 112000), 100);
    QCOMPARE(notebox::ProgressPosition(43100, 10'000'000), 100);
    // No overflow for the largest sizes, no movement backwards in time.
    QCOMPARE(notebox::ProgressPosition(999'999'999'999'999'999, 5000), 0);
    QCOMPARE(notebox::ProgressPosition(-5, 6000), 50);
    QCOMPARE(notebox::ProgressPosition(43100, -10), 0);
  }

  void sizeArgumentMustBeAWholeNumber() {
    QCOMPARE(notebox::ParseExpectedSize("43100"), std::optional<int64_t>(43100));
    QCOMPARE(notebox::ParseExpectedSize("0"), std::optional<int64_t>(0));
    QVERIFY(!notebox::ParseExpectedSize(""));
    QVERIFY(!notebox::ParseExpectedSize("12kB"));
    QVERIFY(!notebox::ParseExpectedSize("-4"));
    QVERIFY(!notebox::ParseExpectedSize(" 4"));
    QVERIFY(!notebox::ParseExpectedSize(std::string(19, '9')));
  }

  void staleFinishedStatusDoesNotCloseTheWindow() {
    notebox::StatusWatch watch;
    QVERIFY(!watch.Feed(aldpanel::kStatusFinished));  // left from the last operation
    QVERIFY(!watch.Feed(0));
    QVERIFY(!watch.Feed(aldpanel::kStatusBusy));
    QVERIFY(!watch.Feed(aldpanel::kStatusBusy));
    QVERIFY(watch.Feed(aldpanel::kStatusFinished));
  }

  void windowWithoutArgumentsHasTheProductTitleAndNoBar() {
    NoteboxWindow w({}, {});
    QCOMPARE(w.objectName(), QString("MessageBoxForm"));
    QCOMPARE(w.windowTitle(), QString(aldpanel::kProductName));
    QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(w.size(), QSize(323, 111));
    QVERIFY(!w.progressShown());
    w.show();
    QVERIFY(!w.progressBar()->isVisible());
  }

  void downloadBarFollowsTheElapsedTimeWhileTheStatusCanBeRead() {
    int status = aldpanel::kStatusBusy;
    NoteboxWindow w({"Download Software", "43100"}, [&]() -> std::optional<int> { return status; });
    QCOMPARE(w.windowTitle(), QString("Download Software"));
    QCOMPARE(w.accessibleName(), QString("Download Software"));
    QCOMPARE(w.expectedSize(), int64_t{43100});
    w.show();
    QVERIFY(w.progressBar()->isVisible());
    // Time counts from the first tick, whenever that comes.
    w.Tick(5000);
    QCOMPARE(w.progressBar()->value(), 0);
    w.Tick(5000 + 1120 * 10);
    QCOMPARE(w.progressBar()->value(), 10);
    w.Tick(5000 + 200000);
    QCOMPARE(w.progressBar()->value(), 100);
  }

  void barStandsStillWithoutTheStatusExport() {
    NoteboxWindow w({"Download Software", "431"}, {});
    w.Tick(0);
    w.Tick(60000);
    QCOMPARE(w.progressBar()->value(), 0);
    NoteboxWindow unreadable({"Download Software", "431"},
                             []() -> std::optional<int> { return std::nullopt; });
    unreadable.Tick(0);
    unreadable.Tick(60000);
    QCOMPARE(unreadable.progressBar()->value(), 0);
  }

  void aSizeThatIsNoNumberKeepsTheDefaultAndSaysWhy() {
    NoteboxWindow w({"Download Software", "big"}, {});
    QVERIFY(w.progressShown());
    QCOMPARE(w.expectedSize(), notebox::kDefaultExpectedSize);
    QVERIFY(w.argumentError().contains("'big'"));
  }

  void windowClosesOnFinishedOnlyAfterItsOwnBusyStatus() {
    int status = aldpanel::kStatusFinished;  // stale
    NoteboxWindow w({"Scan Device"}, [&]() -> std::optional<int> { return status; });
    QSignalSpy finished(&w, &NoteboxWindow::finished);
    w.Tick(0);
    w.Tick(50);
    QCOMPARE(finished.count(), 0);
    status = aldpanel::kStatusBusy;
    w.Tick(100);
    QCOMPARE(finished.count(), 0);
    status = aldpanel::kStatusFinished;
    w.Tick(150);
    QCOMPARE(finished.count(), 1);
  }

  void windowIsCentredOnLargeScreensAndAtTheCornerOnSmallOnes() {
    const QSize size(331, 140);
    QCOMPARE(notebox::BusyWindowPosition(QRect(0, 0, 1920, 1080), size), QPoint(794, 470));
    QCOMPARE(notebox::BusyWindowPosition(QRect(0, 0, 640, 1080), size), QPoint(0, 470));
    QCOMPARE(notebox::BusyWindowPosition(QRect(0, 0, 1024, 400), size), QPoint(346, 0));
    QCOMPARE(notebox::BusyWindowPosition(QRect(1920, 0, 1024, 768), size), QPoint(2266, 314));
  }

  void animationMovesFromFrameToFrame() {
    NoteboxWindow w({"Scan Device"}, {});
    w.show();
    const QImage first = w.animation()->grab().toImage();
    for (int i = 0; i < 4; ++i) w.animation()->Advance();
    const QImage later = w.animation()->grab().toImage();
    QCOMPARE(first.size(), QSize(323, 111));
    QVERIFY(first != later);
    // Not a blank picture.
    QVERIFY(first.pixel(2, 2) != first.pixel(36, 90) || first.pixel(2, 2) != first.pixel(161, 90));
  }

  // The real program with the real library: it stays up through a stale
  // finished status and leaves by itself after busy, then finished.
  void realProgramLeavesAfterTheHandshake() {
    aldpanel::GlueLibrary glue;
    QVERIFY(glue.LoadStatusOnly("", ALDGLUE_LIBRARY).empty());
    auto set = glue.exports().setProcessStatus;
    set(0, aldpanel::kStatusFinished);

    QProcess box;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    box.setProcessEnvironment(env);
    box.start(NOTEBOX_PROGRAM, {"Scan Device"});
    QVERIFY(box.waitForStarted(5000));
    // A few ticks with the stale status: still there.
    QVERIFY(!box.waitForFinished(600));
    QCOMPARE(box.state(), QProcess::Running);
    set(0, aldpanel::kStatusBusy);
    QTest::qWait(300);
    set(0, aldpanel::kStatusFinished);
    QVERIFY(box.waitForFinished(5000));
    QCOMPARE(box.exitStatus(), QProcess::NormalExit);
    QCOMPARE(box.exitCode(), 0);
  }
};

QTEST_MAIN(NoteboxTest)
#include "notebox_test.moc"
