#include "AwaitTask.h"
#include "Internal/TokenRefresher.h"
#include "TolvernError.h"

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTask>

#include <QTest>

namespace {

// Keeps a refresh open until the test lets it finish.
class Gate : public QObject
{
    Q_OBJECT
public:
    void open() { Q_EMIT opened(); }
Q_SIGNALS:
    void opened();
};

TvsResponse session(const QString &tvs)
{
    TvsResponse response;
    response.ok = true;
    response.tvs = tvs;
    response.refreshToken = QStringLiteral("next_") + tvs;
    return response;
}

// A perform step that counts its calls and waits at the gate before answering
// `answer` (or throwing `error`).
struct Script {
    Gate gate;
    int performed = 0;
    int running = 0;
    int mostAtOnce = 0;
    QStringList rotated;

    TokenRefresher::Perform perform(const QString &answer, std::optional<TolvernError> error = std::nullopt,
                                    std::optional<TolvernError> rejection = std::nullopt, bool wait = true)
    {
        return [this, answer, error, rejection, wait]() -> QCoro::Task<TokenRefresher::Rotation> {
            ++performed;
            mostAtOnce = std::max(mostAtOnce, ++running);
            if (wait)
                co_await qCoro(&gate, &Gate::opened);
            --running;
            if (error)
                throw *error;
            co_return TokenRefresher::Rotation{session(answer), rejection};
        };
    }
    TokenRefresher::OnRotated onRotated()
    {
        return [this](const QString &token, const TvsResponse &response) { rotated << token + QStringLiteral("->") + response.tvs; };
    }
};

// The result of a finished task, or the text of its error.
QString outcome(QCoro::Task<TvsResponse> &task)
{
    try {
        return awaitTask(std::move(task)).tvs;
    } catch (const TolvernError &error) {
        return QStringLiteral("error: ") + error.errorDescription();
    }
}

} // namespace

class tst_TokenRefresher : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sameTokenSharesOneRefresh();
    void rotatedTokenIsAnsweredFromMemory();
    void otherTokenIsServedAfresh();
    void otherTokenAlreadyRotatedIsAnsweredFromMemory();
    void failureReachesEveryWaiterAndLeavesNoTrace();
    void refreshEndsAndIsRecordedWithoutWaiters();
    void blockedVersionKeepsTheRotatedSession();
};

void tst_TokenRefresher::sameTokenSharesOneRefresh()
{
    TokenRefresher refresher;
    Script script;
    auto first = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("tvs_A1")), script.onRotated());
    auto second = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("wrong")), script.onRotated());
    QCOMPARE(script.performed, 1);
    script.gate.open();
    QCOMPARE(outcome(first), QStringLiteral("tvs_A1"));
    QCOMPARE(outcome(second), QStringLiteral("tvs_A1"));
    QCOMPARE(script.rotated, QStringList{QStringLiteral("A->tvs_A1")});
}

void tst_TokenRefresher::rotatedTokenIsAnsweredFromMemory()
{
    TokenRefresher refresher;
    Script script;
    auto first = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("tvs_A1"), {}, {}, false));
    QCOMPARE(outcome(first), QStringLiteral("tvs_A1"));
    // Token B rotates later; A is then answered with the latest session, sending nothing.
    auto other = refresher.refresh(QStringLiteral("B"), script.perform(QStringLiteral("tvs_B1"), {}, {}, false));
    QCOMPARE(outcome(other), QStringLiteral("tvs_B1"));
    auto again = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("wrong"), {}, {}, false));
    QCOMPARE(outcome(again), QStringLiteral("tvs_B1"));
    QCOMPARE(script.performed, 2);
}

void tst_TokenRefresher::otherTokenIsServedAfresh()
{
    TokenRefresher refresher;
    Script script;
    auto forA = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("tvs_A1")), script.onRotated());
    auto forB = refresher.refresh(QStringLiteral("B"), script.perform(QStringLiteral("tvs_B1")), script.onRotated());
    // B's refresh waits for A's to end: one request at a time.
    QCOMPARE(script.performed, 1);
    script.gate.open();
    QVERIFY(QTest::qWaitFor([&] { return script.performed == 2; }));
    script.gate.open();
    QCOMPARE(outcome(forA), QStringLiteral("tvs_A1"));
    QCOMPARE(outcome(forB), QStringLiteral("tvs_B1"));
    QCOMPARE(script.mostAtOnce, 1);
    QCOMPARE(script.rotated, (QStringList{QStringLiteral("A->tvs_A1"), QStringLiteral("B->tvs_B1")}));
}

void tst_TokenRefresher::otherTokenAlreadyRotatedIsAnsweredFromMemory()
{
    TokenRefresher refresher;
    Script script;
    auto forB = refresher.refresh(QStringLiteral("B"), script.perform(QStringLiteral("tvs_B1"), {}, {}, false));
    QCOMPARE(outcome(forB), QStringLiteral("tvs_B1"));
    auto forA = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("tvs_A1")));
    // B is consumed: answered at once, even while A's refresh runs.
    auto againB = refresher.refresh(QStringLiteral("B"), script.perform(QStringLiteral("wrong")));
    QVERIFY(againB.isReady());
    QCOMPARE(outcome(againB), QStringLiteral("tvs_B1"));
    script.gate.open();
    QCOMPARE(outcome(forA), QStringLiteral("tvs_A1"));
    QCOMPARE(script.performed, 2);
}

void tst_TokenRefresher::failureReachesEveryWaiterAndLeavesNoTrace()
{
    TokenRefresher refresher;
    Script script;
    const TolvernError refused = TolvernError::serverError(400, QStringLiteral("invalid_grant"));
    auto first = refresher.refresh(QStringLiteral("A"), script.perform(QString(), refused), script.onRotated());
    auto second = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("wrong")));
    script.gate.open();
    const QString expected = QStringLiteral("error: ") + refused.errorDescription();
    QCOMPARE(outcome(first), expected);
    QCOMPARE(outcome(second), expected);
    QVERIFY(script.rotated.isEmpty());

    auto retry = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("tvs_A1"), {}, {}, false));
    QCOMPARE(outcome(retry), QStringLiteral("tvs_A1"));
    QCOMPARE(script.performed, 2);
}

void tst_TokenRefresher::refreshEndsAndIsRecordedWithoutWaiters()
{
    TokenRefresher refresher;
    Script script;
    {
        // The caller goes away while the refresh is open; no onRotated either.
        auto abandoned = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("tvs_A1")));
    }
    script.gate.open();
    auto later = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("wrong"), {}, {}, false));
    QCOMPARE(outcome(later), QStringLiteral("tvs_A1"));
    QCOMPARE(script.performed, 1);
}

void tst_TokenRefresher::blockedVersionKeepsTheRotatedSession()
{
    TokenRefresher refresher;
    Script script;
    const TolvernError upgrade = TolvernError::requiresUpgrade(QStringLiteral("2.0.0"));
    auto first = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("tvs_A1"), {}, upgrade),
                                   script.onRotated());
    auto second = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("wrong")));
    script.gate.open();
    const QString expected = QStringLiteral("error: ") + upgrade.errorDescription();
    QCOMPARE(outcome(first), expected);
    QCOMPARE(outcome(second), expected);
    // The spent token's successor was handed on and kept: A is not presented again.
    QCOMPARE(script.rotated, QStringList{QStringLiteral("A->tvs_A1")});
    auto later = refresher.refresh(QStringLiteral("A"), script.perform(QStringLiteral("wrong"), {}, {}, false));
    QCOMPARE(outcome(later), QStringLiteral("tvs_A1"));
    QCOMPARE(script.performed, 1);
}

QTEST_GUILESS_MAIN(tst_TokenRefresher)
#include "tst_TokenRefresher.moc"
