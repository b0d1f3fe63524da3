#include "AnalyticsEmitThrottle.h"

#include <QAtomicInt>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

namespace {

// A clock the test moves by hand.
struct ManualClock {
    QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
    void advance(double seconds) { now = now.addMSecs(qRound64(seconds * 1000)); }
    AnalyticsEmitThrottle::Clock reader()
    {
        return [this] { return now; };
    }
};

AnalyticsEmitThrottleOptions options(double window, double budgetMax, double refill)
{
    AnalyticsEmitThrottleOptions made;
    made.coalesceWindow = window;
    made.budgetMax = budgetMax;
    made.budgetRefill = refill;
    return made;
}

// Spends every token of a production throttle on distinct events at one instant.
void drainBudget(AnalyticsEmitThrottle &throttle)
{
    int passed = 0;
    for (int i = 0; i < 200; ++i)
        passed += throttle.allowEmit(QStringLiteral("drain_%1").arg(i)) ? 1 : 0;
    QCOMPARE(passed, 200);
}

} // namespace

class tst_AnalyticsEmitThrottle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // "$" events and the never-drop list pass with the budget at zero, again and
    // again, and neither record a key nor spend a token.
    void exemptEventsPassWithoutCounting_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("dollar event") << "$identify";
        QTest::newRow("dollar event with discriminator") << "$pageview";
        QTest::newRow("never-drop event") << "auth_completed";
    }
    void exemptEventsPassWithoutCounting()
    {
        QFETCH(QString, event);
        ManualClock clock;
        AnalyticsEmitThrottle throttle(AnalyticsEmitThrottleOptions::production(), clock.reader());
        drainBudget(throttle);
        const qsizetype keys = throttle.recordedKeyCount();
        for (int i = 0; i < 3; ++i)
            QVERIFY(throttle.allowEmit(event, {{QStringLiteral("source"), QStringLiteral("menu")}}));
        QCOMPARE(throttle.recordedKeyCount(), keys);

        // With a budget of one token, the exempt event leaves it for the next one.
        AnalyticsEmitThrottle single(options(60, 1, 0), clock.reader());
        QVERIFY(single.allowEmit(event));
        QVERIFY(single.allowEmit(event));
        QVERIFY(single.allowEmit(QStringLiteral("ordinary")));
        QVERIFY(!single.allowEmit(QStringLiteral("another")));
    }

    // A second send of one event under the production preset, `after` seconds later.
    void repeatsCoalesce_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QVariantMap>("first");
        QTest::addColumn<QVariantMap>("second");
        QTest::addColumn<double>("after");
        QTest::addColumn<bool>("secondPasses");
        const QVariantMap menu{{QStringLiteral("source"), QStringLiteral("menu")}};
        const QVariantMap toolbar{{QStringLiteral("source"), QStringLiteral("toolbar")}};
        const auto with = [](const QString &name, const QVariant &value) { return QVariantMap{{name, value}}; };

        QTest::newRow("same source at once") << "copy_html" << menu << menu << 0.0 << false;
        QTest::newRow("same source 59.9 s later") << "copy_html" << menu << menu << 59.9 << false;
        QTest::newRow("same source 60 s later") << "copy_html" << menu << menu << 60.0 << true;
        QTest::newRow("other source") << "copy_html" << menu << toolbar << 1.0 << true;
        QTest::newRow("no properties twice") << "share_document" << QVariantMap() << QVariantMap() << 1.0 << false;
        QTest::newRow("only a non-discriminator differs")
            << "copy_html" << QVariantMap{{QStringLiteral("source"), QStringLiteral("menu")}, {QStringLiteral("size"), 1}}
            << QVariantMap{{QStringLiteral("source"), QStringLiteral("menu")}, {QStringLiteral("size"), 2}} << 1.0
            << false;
        QTest::newRow("discriminator added") << "copy_html" << QVariantMap() << menu << 1.0 << true;
        QTest::newRow("integer against double") << "e" << with(QStringLiteral("step"), 1)
                                                << with(QStringLiteral("step"), 1.0) << 1.0 << true;
        QTest::newRow("Boolean against its text") << "e" << with(QStringLiteral("on"), true)
                                                  << with(QStringLiteral("on"), QStringLiteral("true")) << 1.0 << false;
        // A state that changed is no repeat.
        QTest::newRow("full screen off again") << "fullscreen_toggled" << with(QStringLiteral("on"), true)
                                               << with(QStringLiteral("on"), false) << 2.0 << true;
        QTest::newRow("full screen on twice") << "fullscreen_toggled" << with(QStringLiteral("on"), true)
                                              << with(QStringLiteral("on"), true) << 2.0 << false;
        QTest::newRow("beta switched off") << "beta_updates_setting_changed" << with(QStringLiteral("enabled"), true)
                                           << with(QStringLiteral("enabled"), false) << 2.0 << true;
        QTest::newRow("second export format") << "export_pandoc" << with(QStringLiteral("format"), QStringLiteral("docx"))
                                              << with(QStringLiteral("format"), QStringLiteral("epub")) << 2.0 << true;
        QTest::newRow("same export format") << "export_pandoc" << with(QStringLiteral("format"), QStringLiteral("docx"))
                                            << with(QStringLiteral("format"), QStringLiteral("docx")) << 2.0 << false;
        // A send recorded "in the future" still counts as inside the window.
        QTest::newRow("clock went back") << "copy_html" << menu << menu << -30.0 << false;
    }
    void repeatsCoalesce()
    {
        QFETCH(QString, event);
        QFETCH(QVariantMap, first);
        QFETCH(QVariantMap, second);
        QFETCH(double, after);
        QFETCH(bool, secondPasses);
        ManualClock clock;
        AnalyticsEmitThrottle throttle(AnalyticsEmitThrottleOptions::production(), clock.reader());
        QVERIFY(throttle.allowEmit(event, first));
        clock.advance(after);
        QCOMPARE(throttle.allowEmit(event, second), secondPasses);
        // A refused send recorded nothing: the window still runs from the first send.
        if (!secondPasses && after >= 0) {
            clock.advance(60 - after);
            QVERIFY(throttle.allowEmit(event, second));
        }
    }

    void keyTakesDiscriminatorsInListOrder_data()
    {
        QTest::addColumn<QVariantMap>("properties");
        QTest::addColumn<QString>("key");
        QTest::newRow("none") << QVariantMap() << "e";
        QTest::newRow("Boolean") << QVariantMap{{QStringLiteral("on"), true}} << "e|on=true";
        QTest::newRow("list order, not property order")
            << QVariantMap{{QStringLiteral("step"), 2}, {QStringLiteral("slot"), QStringLiteral("a")}} << "e|slot=a|step=2";
        QTest::newRow("every later discriminator")
            << QVariantMap{{QStringLiteral("format"), QStringLiteral("docx")},
                           {QStringLiteral("enabled"), false},
                           {QStringLiteral("on"), true},
                           {QStringLiteral("plan"), QStringLiteral("pro")}}
            << "e|plan=pro|on=true|enabled=false|format=docx";
        QTest::newRow("others left out") << QVariantMap{{QStringLiteral("size"), 3}, {QStringLiteral("reason"), QStringLiteral("x")}}
                                         << "e|reason=x";
        QTest::newRow("empty string kept") << QVariantMap{{QStringLiteral("variant"), QString()}} << "e|variant=";
        QTest::newRow("whole double") << QVariantMap{{QStringLiteral("step"), 1.0}} << "e|step=1.0";
        QTest::newRow("fraction") << QVariantMap{{QStringLiteral("step"), 2.5}} << "e|step=2.5";
        QTest::newRow("negative zero") << QVariantMap{{QStringLiteral("step"), -0.0}} << "e|step=-0.0";
        QTest::newRow("large whole double") << QVariantMap{{QStringLiteral("step"), 1e15}} << "e|step=1000000000000000.0";
        QTest::newRow("beyond 2^54") << QVariantMap{{QStringLiteral("step"), 1e17}} << "e|step=1e+17";
        QTest::newRow("small") << QVariantMap{{QStringLiteral("step"), 0.0001}} << "e|step=0.0001";
        QTest::newRow("tiny") << QVariantMap{{QStringLiteral("step"), 0.00001}} << "e|step=1e-05";
        QTest::newRow("64-bit integer") << QVariantMap{{QStringLiteral("step"), Q_INT64_C(9007199254740993)}}
                                        << "e|step=9007199254740993";
    }
    void keyTakesDiscriminatorsInListOrder()
    {
        QFETCH(QVariantMap, properties);
        QFETCH(QString, key);
        QCOMPARE(AnalyticsEmitThrottle::coalescingKey(QStringLiteral("e"), properties,
                                                       AnalyticsEmitThrottleOptions::production()),
                 key);
    }

    // Two hundred distinct events in one instant pass and the next waits 0.3 s for a
    // token; an idle hour refills no more than the full budget.
    void budgetCapsTheRate_data()
    {
        QTest::addColumn<double>("idleFirst");
        QTest::newRow("fresh") << 0.0;
        QTest::newRow("after an idle hour") << 3600.0;
    }
    void budgetCapsTheRate()
    {
        QFETCH(double, idleFirst);
        ManualClock clock;
        AnalyticsEmitThrottle throttle(AnalyticsEmitThrottleOptions::production(), clock.reader());
        clock.advance(idleFirst);
        drainBudget(throttle);
        QVERIFY(!throttle.allowEmit(QStringLiteral("late")));
        clock.advance(0.2);
        QVERIFY(!throttle.allowEmit(QStringLiteral("late")));
        clock.advance(0.1);
        // Nothing was recorded for the refused key: it passes now.
        QVERIFY(throttle.allowEmit(QStringLiteral("late")));
        QVERIFY(!throttle.allowEmit(QStringLiteral("later")));
    }

    void clockGoingBackRefillsNothing()
    {
        ManualClock clock;
        AnalyticsEmitThrottle throttle(AnalyticsEmitThrottleOptions::production(), clock.reader());
        drainBudget(throttle);
        const QDateTime drained = clock.now;
        clock.advance(-10);
        QVERIFY(!throttle.allowEmit(QStringLiteral("a")));
        clock.advance(0.3); // 0.3 s after the backward reading, still before the drain
        QVERIFY(!throttle.allowEmit(QStringLiteral("a")));
        clock.now = drained.addMSecs(300);
        QVERIFY(throttle.allowEmit(QStringLiteral("a")));
    }

    // Keys recorded at `firstAt` seconds, then `laterCount` keys at `laterAt`: how
    // many stay recorded.
    void pruningDropsOnlyExpiredKeys_data()
    {
        QTest::addColumn<int>("firstCount");
        QTest::addColumn<int>("laterCount");
        QTest::addColumn<double>("laterAt");
        QTest::addColumn<int>("remaining");
        QTest::newRow("257th key prunes the old ones") << 256 << 1 << 60.0 << 1;
        QTest::newRow("256 keys are never scanned") << 255 << 1 << 60.0 << 256;
        QTest::newRow("just inside the window") << 256 << 1 << 59.9 << 257;
        QTest::newRow("300 young keys stay whole") << 150 << 150 << 59.0 << 300;
        QTest::newRow("old ones go, young ones stay") << 200 << 100 << 61.0 << 100;
    }
    void pruningDropsOnlyExpiredKeys()
    {
        QFETCH(int, firstCount);
        QFETCH(int, laterCount);
        QFETCH(double, laterAt);
        QFETCH(int, remaining);
        ManualClock clock;
        AnalyticsEmitThrottle throttle(options(60, 10000, 0.3), clock.reader());
        for (int i = 0; i < firstCount; ++i)
            QVERIFY(throttle.allowEmit(QStringLiteral("first_%1").arg(i)));
        clock.advance(laterAt);
        for (int i = 0; i < laterCount; ++i)
            QVERIFY(throttle.allowEmit(QStringLiteral("later_%1").arg(i)));
        QCOMPARE(throttle.recordedKeyCount(), qsizetype(remaining));
    }

    // Refill, test, spend and record are one step: eight threads racing for a budget
    // of 200 get exactly 200 sends, and one key passes once.
    void threadsShareOneBudget()
    {
        ManualClock clock; // never moves: nothing refills
        AnalyticsEmitThrottle throttle(AnalyticsEmitThrottleOptions::production(), clock.reader());
        QAtomicInt passed;
        QAtomicInt sharedPassed;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back(QThread::create([&, t] {
                for (int i = 0; i < 100; ++i) {
                    if (throttle.allowEmit(QStringLiteral("shared"), {{QStringLiteral("source"), QStringLiteral("x")}}))
                        sharedPassed.fetchAndAddRelaxed(1);
                    if (throttle.allowEmit(QStringLiteral("t%1_%2").arg(t).arg(i)))
                        passed.fetchAndAddRelaxed(1);
                }
            }));
            threads.back()->start();
        }
        for (auto &thread : threads)
            QVERIFY(thread->wait(30000));
        QCOMPARE(sharedPassed.loadRelaxed(), 1);
        QCOMPARE(passed.loadRelaxed(), 199);
    }
};

QTEST_GUILESS_MAIN(tst_AnalyticsEmitThrottle)
#include "tst_AnalyticsEmitThrottle.moc"
