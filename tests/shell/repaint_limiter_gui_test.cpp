// The window paint limiter: bursts of changes are painted together, and none is lost.
#include "shell/repaint_limiter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A label that remembers how often, and with which text, it was painted.
class CountingLabel : public QLabel {
  public:
    using QLabel::QLabel;
    int paints = 0;
    QString paintedText;

  protected:
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        paintedText = text();
        QLabel::paintEvent(e);
    }
};

struct LimitedWindow {
    explicit LimitedWindow(int intervalMs)
    {
        auto* layout = new QVBoxLayout(&window);
        label = new CountingLabel(QStringLiteral("start"));
        label->setFixedSize(200, 20);
        layout->addWidget(label);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(label->paints > 0, 5000);
        new korvel::RepaintLimiter(window, intervalMs);
    }
    QWidget window;
    CountingLabel* label = nullptr;
};

TEST(RepaintLimiter, BurstIsPaintedOnceMoreWithItsLastText)
{
    // A long frame, so that the burst surely falls into one frame even on a slow machine.
    LimitedWindow w(1500);
    QTest::qWait(0);
    w.label->setText(QStringLiteral("first"));
    QTRY_COMPARE_WITH_TIMEOUT(w.label->paintedText, QStringLiteral("first"), 2000); // at once after a quiet spell
    const int afterFirst = w.label->paints;
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < 200; ++i) {
        w.label->setText(QString::number(i));
        QApplication::processEvents();
    }
    ASSERT_LT(burst.elapsed(), 1200) << "the burst did not fit into one frame; the test says nothing";
    EXPECT_EQ(w.label->paints, afterFirst) << "changes within a frame are held back";
    EXPECT_EQ(w.label->text(), QStringLiteral("199")) << "the text itself changes at once";
    QTRY_COMPARE_WITH_TIMEOUT(w.label->paintedText, QStringLiteral("199"), 6000);
    EXPECT_EQ(w.label->paints, afterFirst + 1) << "the held-back changes are painted together";
}

TEST(RepaintLimiter, ChangesAfterAQuietFrameArePaintedAtOnce)
{
    LimitedWindow w(20);
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(40); // longer than a frame: every change is the first after a quiet spell
        const QString text = QStringLiteral("step %1").arg(i);
        w.label->setText(text);
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_EQ(w.label->paintedText, text) << "painted in the same pass of the event loop";
    }
}

} // namespace
