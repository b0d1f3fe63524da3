#include "AgentWorkspaceTestTree.h"
#include "TestEnvironment.h"
#include "workspace/AgentWorkspaceWalk.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_AgentWorkspaceWalk : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // What enters the tree and in which order: extensions and agent names in any
    // case, hidden entries and excluded folders left out (by exact name), folders
    // without Markdown dropped, folders before files at every level, links skipped.
    void walkOutline_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("agentDocs");

        QTest::newRow("every Markdown extension, any case")
            << QStringList{"a.md", "B.MD", "c.markdown", "d.mdown", "e.mkd", "f.mkdn", "g.mdx", "h.txt", "i.md.bak",
                           "md", "j.Markdown"}
            << "a.md\nB.MD\nc.markdown\nd.mdown\ne.mkd\nf.mkdn\ng.mdx\nj.Markdown\n" << QStringList{};
        QTest::newRow("case-insensitive order, folders first")
            << QStringList{"zeta/a.md", "Alpha/b.md", "beta/c.md", "b.md", "A.md", "c.md"}
            << "Alpha/\n  b.md\nbeta/\n  c.md\nzeta/\n  a.md\nA.md\nb.md\nc.md\n" << QStringList{};
        QTest::newRow("hidden entries")
            << QStringList{".hidden.md", ".notes/a.md", "docs/.draft.md", "docs/keep.md"}
            << "docs/\n  keep.md\n" << QStringList{};
        QTest::newRow("excluded folders by exact name")
            << QStringList{"build/a.md", "Build/b.md", "node_modules/pkg/README.md", "vendor/c.md", "Pods/d.md",
                           "target/e.md", "src/f.md", "builds/g.md"}
            << "Build/\n  b.md\nbuilds/\n  g.md\nsrc/\n  f.md\n" << QStringList{};
        QTest::newRow("folders without Markdown")
            << QStringList{"notes/readme.txt", "notes/todo.txt", "empty/", "deep/er/still/", "deep/er/x.md"}
            << "deep/\n  er/\n    x.md\n" << QStringList{};
        QTest::newRow("no Markdown at all") << QStringList{"a.txt", "sub/b.txt", ".c.md"} << "" << QStringList{};
        QTest::newRow("agent files in any case, anywhere")
            << QStringList{"Agents.MD", "sub/claude.md", "sub/CLAUDE.md.bak", "sub/agents.markdown", "README.md"}
            << "sub/\n  agents.markdown\n  claude.md\nAgents.MD\nREADME.md\n"
            << QStringList{"Agents.MD", "sub/claude.md"};
        QTest::newRow("a link loop and linked files are skipped")
            << QStringList{"real/x.md", "loop -> .", "real/up -> ..", "linked.md -> real/x.md", "dir -> real"}
            << "real/\n  x.md\n" << QStringList{};
    }
    void walkOutline()
    {
        QFETCH(QStringList, tree);
        QFETCH(QString, expected);
        QFETCH(QStringList, agentDocs);
        QTemporaryDir dir;
        makeTree(dir.path(), tree);

        const AgentWorkspaceWalk::Result result = AgentWorkspaceWalk::walk(dir.path());
        QCOMPARE(outline(result.nodes), expected);
        QCOMPARE(relativeTo(dir.path(), result.agentDocPaths), agentDocs);
        const QStringList lines = expected.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(result.fileCount, int(std::count_if(lines.cbegin(), lines.cend(),
                                                     [](const QString &line) { return !line.endsWith(QLatin1Char('/')); })));
        QVERIFY(!result.truncated);
        // Every entry is named by its path under the root.
        if (!result.nodes.isEmpty())
            QCOMPARE(result.nodes.first().id, dir.path() + QLatin1Char('/') + result.nodes.first().name);
    }

    // The cap counts Markdown files only; once 6000 are counted the next entry of any
    // kind stops the walk and marks it truncated, at that level and every level above.
    void cap_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("truncated");
        QTest::addColumn<QString>("lastTopLevel");

        QTest::newRow("6000th file is the last entry") << QStringList{} << false << "many/";
        QTest::newRow("entries before it do not count")
            << QStringList{"a.txt", "a-notes/x.txt"} << false << "many/";
        QTest::newRow("a hidden entry after it is no entry") << QStringList{"many/.zz.md", ".zz/"} << false << "many/";
        QTest::newRow("a text file after it") << QStringList{"zz.txt"} << true << "many/";
        QTest::newRow("an excluded folder after it") << QStringList{"zz/build/"} << true << "many/";
        QTest::newRow("one more Markdown file") << QStringList{"many/g.md"} << true << "many/";
        QTest::newRow("a folder after it is not entered") << QStringList{"zz/late.md"} << true << "many/";
    }
    void cap()
    {
        QFETCH(QStringList, extra);
        QFETCH(bool, truncated);
        QFETCH(QString, lastTopLevel);
        QTemporaryDir dir;
        makeNumberedFiles(dir.path() + QStringLiteral("/many"), AgentWorkspaceWalk::fileCap);
        makeTree(dir.path(), extra);

        const AgentWorkspaceWalk::Result result = AgentWorkspaceWalk::walk(dir.path());
        QCOMPARE(result.fileCount, AgentWorkspaceWalk::fileCap);
        QCOMPARE(result.truncated, truncated);
        QCOMPARE(outline({result.nodes.last()}).section(QLatin1Char('\n'), 0, 0), lastTopLevel);
        QCOMPARE(result.nodes.last().children.size(), AgentWorkspaceWalk::fileCap);
    }

    // An unreadable folder contributes nothing; a missing root yields an empty tree.
    void unreadableFolders()
    {
        QTemporaryDir dir;
        makeTree(dir.path(), {"open/a.md", "closed/b.md"});
        QFile::setPermissions(dir.path() + QStringLiteral("/closed"), QFileDevice::Permissions());
        const AgentWorkspaceWalk::Result result = AgentWorkspaceWalk::walk(dir.path());
        QFile::setPermissions(dir.path() + QStringLiteral("/closed"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // Root reads every folder anyway.
        if (::geteuid() != 0)
            QCOMPARE(outline(result.nodes), QStringLiteral("open/\n  a.md\n"));

        const AgentWorkspaceWalk::Result missing = AgentWorkspaceWalk::walk(dir.path() + QStringLiteral("/gone"));
        QVERIFY(missing.nodes.isEmpty());
        QCOMPARE(missing.fileCount, 0);
    }

    // A stop request ends the walk early and says so.
    void stopRequest()
    {
        QTemporaryDir dir;
        makeTree(dir.path(), {"a.md"});
        const std::atomic_bool stop{true};
        const AgentWorkspaceWalk::Result result = AgentWorkspaceWalk::walk(dir.path(), &stop);
        QVERIFY(result.stopped);
        QVERIFY(result.nodes.isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_AgentWorkspaceWalk)
#include "tst_AgentWorkspaceWalk.moc"
