// The table's model: findings folded into one row per process and path,
// its columns, sorting, updates that keep rows in place, findings merged
// from a check as root, and type-ahead on names.
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QCoreApplication>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include "app/qt/Columns.h"
#include "cli/Output.h"

#include "app/qt/FindingsModel.h"
#include "app/qt/ResultTable.h"
#include "app/qt/RootCheck.h"
#include "search/Process.h"

namespace {

Finding Found(uint32_t pid, const char* name, const char* path, uint32_t access, int64_t descriptor = Finding::kUnknown,
              int64_t uid = 0) {
    Finding finding;
    finding.kind = descriptor == Finding::kUnknown ? Finding::Kind::Module : Finding::Kind::Handle;
    finding.pid = pid;
    finding.processName = name;
    finding.path = path;
    finding.access = access;
    finding.descriptor = descriptor;
    finding.uid = uid;
    return finding;
}

constexpr uint32_t kOpenRead = Finding::kOpen | Finding::kRead;

class StillThere : public HeldProcess {
public:
    Outcome Signal(int, std::string&) override { return Outcome::Sent; }
    bool Running() const override { return true; }
};

QStringList Column(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts << model.index(row, column).data().toString();
    return texts;
}

// Two python3 processes, as the Linux search reads them.
std::vector<Finding> TwoPythons(const char* secondArgument = "http.server") {
    auto first = std::make_shared<ProcessIdentity>();
    first->exe = "/usr/bin/python3.11";
    first->commandLineRead = true;
    first->commandLine = {"python3", "serve.py", "--name", "a b", "it's"};
    first->startedMs = 1800000000000;
    first->parentPid = 1200;
    first->parentName = "bash";
    first->placeRead = true;
    first->unit = "app-serve.service";
    first->userUnit = true;
    auto second = std::make_shared<ProcessIdentity>(*first);
    second->commandLine = {"python3", "-m", secondArgument};
    second->startedMs = 1700000000000;
    second->parentPid = ProcessIdentity::kUnknown;
    second->parentName.clear();
    second->container = Container{"docker", std::string(40, 'e') + "0123456789abcdef0123456789", "pod-9"};
    std::vector<Finding> findings{Found(10, "python3", "/f", kOpenRead, 3), Found(11, "python3", "/f", kOpenRead, 4)};
    findings[0].identity = first;
    findings[1].identity = second;
    return findings;
}

}  // namespace

class ModelTest : public QObject {
    Q_OBJECT

private slots:
    // Folding

    void OneProcessUsingOnePathInSeveralWaysIsOneRow() {
        FindingsModel model;
        model.Update({Found(10, "python3", "/data/a", Finding::kMapped), Found(10, "python3", "/data/a", kOpenRead, 4),
                      Found(10, "python3", "/data/a", kOpenRead, 3),
                      // the same descriptor again, as a thread with the process's table reports it
                      Found(10, "python3", "/data/a", kOpenRead, 3),
                      Found(11, "cat", "/data/a", Finding::kOpen | Finding::kWrite, 5),
                      Found(10, "python3", "/data", Finding::kCurrentFolder)});
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(Column(model, FindingsModel::kPid), (QStringList{"10", "11", "10"}));
        QCOMPARE(Column(model, FindingsModel::kPath), (QStringList{"/data/a", "/data/a", "/data"}));
        QCOMPARE(Column(model, FindingsModel::kUse),
                 (QStringList{"open for reading, mapped", "open for writing", "current folder"}));
        QCOMPARE(Column(model, FindingsModel::kDescriptor), (QStringList{"3, 4", "5", ""}));
    }

    // Columns

    void TheColumnsShowPidUserAndNamesAsTextShowsThem() {
        FindingsModel model;
        model.Update({Found(4242, "a\nb", "/tmp/x\\y", kOpenRead, 7, 0),
                      Found(4243, "nobody-knows", "/tmp/x", kOpenRead, 8, 3999999999)});
        QStringList headers;
        for (int column = 0; column < model.columnCount(); ++column)
            headers << model.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"PID", "Process", "User", "Use", "Descriptor", "Path", "Command Line",
                                       "Unit/Container", "Executable", "Started", "Parent"}));
        QCOMPARE(model.RowText(0), QStringLiteral("4242\ta\\x0ab\troot\topen for reading\t7\t/tmp/x\\\\y"));
        // A user the system cannot name is shown by number.
        QCOMPARE(model.index(1, FindingsModel::kUser).data().toString(), QStringLiteral("3999999999"));
        QCOMPARE(model.index(0, FindingsModel::kPath).data(Qt::ToolTipRole).toString(), QStringLiteral("/tmp/x\\\\y"));
        QVERIFY(!model.index(0, FindingsModel::kPid).data(Qt::ToolTipRole).isValid());
    }

    void ColumnsSortAsTheirValues() {
        FindingsModel model;
        model.Update({Found(100, "zsh", "/f", kOpenRead, 10), Found(9, "Bash", "/f", kOpenRead, 9),
                      Found(10, "awk", "/f", kOpenRead, 100)});
        QSortFilterProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setSortRole(FindingsModel::kSortRole);
        proxy.setSortCaseSensitivity(Qt::CaseInsensitive);
        proxy.sort(FindingsModel::kPid);
        QCOMPARE(Column(proxy, FindingsModel::kPid), (QStringList{"9", "10", "100"}));
        proxy.sort(FindingsModel::kDescriptor, Qt::DescendingOrder);
        QCOMPARE(Column(proxy, FindingsModel::kDescriptor), (QStringList{"100", "10", "9"}));
        proxy.sort(FindingsModel::kProcess);
        QCOMPARE(Column(proxy, FindingsModel::kProcess), (QStringList{"awk", "Bash", "zsh"}));
    }

    void TwoProcessesOfOneProgramAreToldApartByWhoTheyAre() {
        FindingsModel model;
        model.Update(TwoPythons());
        QCOMPARE(Column(model, FindingsModel::kCommandLine),
                 (QStringList{"python3 serve.py --name 'a b' 'it'\\''s'", "python3 -m http.server"}));
        QCOMPARE(Column(model, FindingsModel::kPlace), (QStringList{"user:app-serve.service", "docker:eeeeeeeeeeee"}));
        QCOMPARE(Column(model, FindingsModel::kExecutable), (QStringList{"/usr/bin/python3.11", "/usr/bin/python3.11"}));
        QCOMPARE(Column(model, FindingsModel::kParent), (QStringList{"bash (1200)", ""}));
        QVERIFY(Column(model, FindingsModel::kStarted).front().startsWith(QStringLiteral("2027-01-1")));
        // The process's tooltip holds it all, whole.
        const QString first = model.index(0, FindingsModel::kProcess).data(Qt::ToolTipRole).toString();
        QVERIFY2(first.contains(QStringLiteral("\nCommand line: python3 serve.py --name 'a b'")), qPrintable(first));
        QVERIFY2(first.contains(QStringLiteral("\nUnit (the user's own): app-serve.service")), qPrintable(first));
        QVERIFY2(first.contains(QStringLiteral("\nParent: bash (1200)")), qPrintable(first));
        const QString second = model.index(1, FindingsModel::kProcess).data(Qt::ToolTipRole).toString();
        QVERIFY2(second.contains(QStringLiteral("\nContainer: docker eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee0123456789abcdef")),
                 qPrintable(second));
        QVERIFY2(second.contains(QStringLiteral("\nPod: pod-9")) && !second.contains(QStringLiteral("Parent")),
                 qPrintable(second));
        // A copied row stays as it was; the start sorts as time does.
        QCOMPARE(model.RowText(0), QStringLiteral("10\tpython3\troot\topen for reading\t3\t/f"));
        QSortFilterProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setSortRole(FindingsModel::kSortRole);
        proxy.sort(FindingsModel::kStarted);
        QCOMPARE(Column(proxy, FindingsModel::kPid), (QStringList{"11", "10"}));

        // Each look reads who they are anew: only a change repaints.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.Update(TwoPythons());
        QCOMPARE(changed.size(), 0);
        model.Update(TwoPythons("other"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.front().front().toModelIndex().row(), 1);
    }

    void TheHeaderShowsCommandLineAndPlaceAtFirstAndTogglesEveryColumn() {
        FindingsModel model;
        model.Update(TwoPythons());
        QTableView table;
        table.setModel(&model);
        SetUpWhoColumns(&table);
        QHeaderView* header = table.horizontalHeader();
        for (const int shown : {FindingsModel::kCommandLine, FindingsModel::kPlace, FindingsModel::kPath})
            QVERIFY(!header->isSectionHidden(shown));
        for (const int hidden : {FindingsModel::kExecutable, FindingsModel::kStarted, FindingsModel::kParent})
            QVERIFY(header->isSectionHidden(hidden));
        QCOMPARE(header->logicalIndex(header->count() - 1), int(FindingsModel::kPath));
        std::unique_ptr<QMenu> menu(ColumnMenu(header));
        const QList<QAction*> actions = menu->actions();
        QCOMPARE(actions.size(), int(FindingsModel::kColumns));
        QCOMPARE(actions[FindingsModel::kStarted]->text(), QStringLiteral("Started"));
        QVERIFY(!actions[FindingsModel::kStarted]->isChecked() && actions[FindingsModel::kCommandLine]->isChecked());
        QVERIFY(!actions[FindingsModel::kProcess]->isEnabled());
        actions[FindingsModel::kStarted]->trigger();
        actions[FindingsModel::kCommandLine]->trigger();
        QVERIFY(!header->isSectionHidden(FindingsModel::kStarted));
        QVERIFY(header->isSectionHidden(FindingsModel::kCommandLine));
        // A fresh menu shows the header as it is now.
        std::unique_ptr<QMenu> again(ColumnMenu(header));
        QVERIFY(again->actions()[FindingsModel::kStarted]->isChecked());
        QVERIFY(!again->actions()[FindingsModel::kCommandLine]->isChecked());
    }

    void AHeaderSavedBeforeTheseColumnsLeavesThemAsSetUp() {
        QStandardItemModel older(0, FindingsModel::kCopiedColumns);
        QTableView before;
        before.setModel(&older);
        const QByteArray saved = before.horizontalHeader()->saveState();
        FindingsModel model;
        QTableView table;
        table.setModel(&model);
        SetUpWhoColumns(&table);
        QHeaderView* header = table.horizontalHeader();
        // Saved before these columns were: what they are set up to be stays.
        RestoreColumns(header, saved);
        QVERIFY(!header->isSectionHidden(FindingsModel::kCommandLine));
        QVERIFY(header->isSectionHidden(FindingsModel::kExecutable));
        QCOMPARE(header->logicalIndex(header->count() - 1), int(FindingsModel::kPath));
        // Saved with them: as the user left them.
        header->showSection(FindingsModel::kExecutable);
        header->resizeSection(FindingsModel::kUse, 333);
        const QByteArray now = SavedColumns(header);
        QTableView later;
        later.setModel(&model);
        SetUpWhoColumns(&later);
        RestoreColumns(later.horizontalHeader(), now);
        QVERIFY(!later.horizontalHeader()->isSectionHidden(FindingsModel::kExecutable));
        QCOMPARE(later.horizontalHeader()->sectionSize(FindingsModel::kUse), 333);
    }

    // Updates and merges

    void ALookAgainRemovesRowsThatWentAndKeepsTheSelectionOnThoseThatStay() {
        FindingsModel model;
        model.Update({Found(10, "a", "/f", kOpenRead, 3), Found(11, "b", "/f", kOpenRead, 3),
                      Found(12, "c", "/f", kOpenRead, 3)});
        QItemSelectionModel selection(&model);
        selection.select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        model.Update({Found(13, "d", "/f", kOpenRead, 3), Found(12, "c", "/f", kOpenRead | Finding::kMapped, 3)});
        QCOMPARE(Column(model, FindingsModel::kPid), (QStringList{"12", "13"}));
        QCOMPARE(model.index(0, FindingsModel::kUse).data().toString(), QStringLiteral("open for reading, mapped"));
        QCOMPARE(selection.selectedRows().size(), 1);
        QCOMPARE(selection.selectedRows().front().data().toString(), QStringLiteral("12"));
    }

    void FindingsFromElsewhereFoldIntoTheRowsThereAre() {
        FindingsModel model;
        Finding held = Found(10, "a", "/f", kOpenRead, 3);
        held.process = std::make_shared<StillThere>();
        model.Update({held});
        model.Merge({Found(10, "a", "/f", Finding::kOpen, 5), Found(20, "b", "/f", Finding::kMapped)});
        QCOMPARE(Column(model, FindingsModel::kPid), (QStringList{"10", "20"}));
        QCOMPARE(model.Row(0).descriptors, (std::vector<int64_t>{3, 5}));
        QVERIFY(model.Row(0).process == held.process);
        QVERIFY(!model.Row(1).process);
    }

    void RootsFindingsSayWhoTheProcessIsAsFencatWroteIt() {
        std::vector<Finding> written = TwoPythons();
        auto odd = std::make_shared<ProcessIdentity>(*written[0].identity);
        odd->commandLine = {"py\xffthon", "a b", ""};
        odd->startedMs = 1800000000123;
        written[0].identity = odd;
        FILE* out = std::tmpfile();
        SearchReport report;
        report.findings = written;
        PrintFindings(out, OutputFormat::Json, {Answer{"/f", report}});
        std::rewind(out);
        QByteArray lines;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) lines.append(buffer, qsizetype(n));
        std::fclose(out);
        const std::vector<Finding> read = ParseFencatJson(lines);
        QCOMPARE(read.size(), size_t(2));
        for (size_t i = 0; i < 2; ++i) {
            const ProcessIdentity& was = *written[i].identity;
            QVERIFY(read[i].identity);
            const ProcessIdentity& is = *read[i].identity;
            QCOMPARE(is.exe, was.exe);
            QVERIFY(is.commandLineRead);
            QCOMPARE(is.commandLine, was.commandLine);
            QCOMPARE(is.startedMs, was.startedMs);
            QCOMPARE(is.parentPid, was.parentPid);
            QCOMPARE(is.parentName, was.parentName);
            QCOMPARE(is.unit, was.unit);
            QCOMPARE(is.userUnit, was.userUnit);
            QVERIFY(is.placeRead);
            QCOMPARE(is.container.runtime, was.container.runtime);
            QCOMPARE(is.container.id, was.container.id);
            QCOMPARE(is.container.pod, was.container.pod);
        }
        // An older fencat's lines: nothing known, the place not read.
        const std::vector<Finding> older = ParseFencatJson("{\"pid\":7,\"kind\":\"handle\",\"access\":\"f\"}\n");
        QVERIFY(older.at(0).identity && !older[0].identity->placeRead && !older[0].identity->commandLineRead);
    }

    // Rows only root found are marked with when; this user's own rows stay
    // theirs; a later check replaces the earlier one's rows, and a look as
    // root that no longer finds a process takes its row away.
    void RootsRowsAreMarkedAndReplacedOnlyByALookThatSawThem() {
        FindingsModel model;
        const uint32_t self = static_cast<uint32_t>(QCoreApplication::applicationPid());
        Finding own = Found(10, "a", "/f", kOpenRead, 3);
        own.process = std::make_shared<StillThere>();
        model.Update({own});
        const QDateTime first = QDateTime::fromString(QStringLiteral("2026-01-02T03:04:05"), Qt::ISODate);
        model.MergeFromRoot({Found(10, "a", "/f", Finding::kOpen, 3), Found(self, "me", "/f", kOpenRead, 4)}, first);
        QCOMPARE(model.RootRows(), 1);
        QCOMPARE(Column(model, FindingsModel::kUse),
                 (QStringList{"open for reading", "open for reading (as root, 03:04:05)"}));
        QVERIFY(model.Row(0).process == own.process);
        QVERIFY(model.Row(1).started != 0);

        // A look that could not see it leaves it; one that could, decides.
        const auto unseen = [](const ResultRow& row) { return row.rootAt.isValid(); };
        model.Update({own}, unseen);
        QCOMPARE(Column(model, FindingsModel::kPid), (QStringList{"10", QString::number(self)}));
        model.Update({own});
        QCOMPARE(Column(model, FindingsModel::kPid), QStringList{"10"});

        model.MergeFromRoot({Found(self, "me", "/f", kOpenRead, 4), Found(30, "c", "/f", kOpenRead, 5)}, first);
        model.MergeFromRoot({Found(30, "c", "/f", kOpenRead, 5)}, first.addSecs(60));
        QCOMPARE(Column(model, FindingsModel::kPid), (QStringList{"10", "30"}));
        QVERIFY(model.index(1, FindingsModel::kUse).data().toString().endsWith(QStringLiteral("03:05:05)")));
        model.DropRootRowsOf({10, 30});
        QCOMPARE(Column(model, FindingsModel::kPid), QStringList{"10"});
    }

    void FencatsJsonLinesBecomeFindingsWithTheirBytes() {
        const QByteArray lines =
            "{\"pid\":8000,\"name\":\"py\\udcffthon\",\"kind\":\"module\",\"path\":\"/srv/\\u00e9\",\"file\":\"/srv\","
            "\"uid\":33,\"user\":\"www-data\",\"access\":\"m\",\"fd\":null}\n"
            "not json\n"
            "{\"pid\":8001,\"name\":\"sh\",\"kind\":\"handle\",\"path\":\"/srv/a\",\"file\":\"/srv/a\",\"uid\":0,"
            "\"user\":\"root\",\"access\":\"F.c..\",\"fd\":12,\"use\":\"open for reading and writing, current folder\"}\n"
            "{\"pid\":8002,\"kind\":\"handle\",\"access\":\"f\",\"use\":\"open for reading\"}\n";
        const std::vector<Finding> findings = ParseFencatJson(lines);
        QCOMPARE(findings.size(), size_t(3));
        QCOMPARE(findings[0].pid, 8000u);
        QCOMPARE(findings[0].processName, std::string("py\xffthon"));
        QCOMPARE(findings[0].path, std::string("/srv/\xc3\xa9"));
        QCOMPARE(findings[0].access, uint32_t(Finding::kMapped));
        QCOMPARE(findings[0].descriptor, Finding::kUnknown);
        QCOMPARE(findings[0].uid, int64_t(33));
        // The words tell what the letters cannot: reading as well as writing, or reading alone.
        QCOMPARE(findings[1].access,
                 uint32_t(Finding::kOpen | Finding::kRead | Finding::kWrite | Finding::kCurrentFolder));
        QCOMPARE(FindingsModel::UseInWords(findings[2].access), QStringLiteral("open for reading"));
        QCOMPARE(findings[1].descriptor, int64_t(12));
        QCOMPARE(findings[0].kind, Finding::Kind::Module);
        QCOMPARE(findings[1].kind, Finding::Kind::Handle);

        // fencat.exe's mapped views keep their kind; a kind unknown here is still a use.
        const std::vector<Finding> others = ParseFencatJson(
            "{\"pid\":1,\"kind\":\"mapped\",\"access\":\"m\"}\n{\"pid\":2,\"kind\":\"socket\",\"access\":\"f\"}\n");
        QCOMPARE(others.size(), size_t(2));
        QCOMPARE(others[0].kind, Finding::Kind::Mapped);
        QCOMPARE(others[1].kind, Finding::Kind::Handle);
        QCOMPARE(others[1].access, uint32_t(Finding::kOpen));
    }

    // Type-ahead

    void TypingFindsARowByItsNameWhateverTheColumn() {
        FindingsModel model;
        model.Update({Found(1, "bash", "/f", kOpenRead, 3), Found(2, "perl", "/f", kOpenRead, 3),
                      Found(3, "perlbug", "/f", kOpenRead, 3), Found(4, "bc", "/f", kOpenRead, 3)});
        ResultTable table(FindingsModel::kProcess);
        table.setModel(&model);
        table.setCurrentIndex(model.index(0, FindingsModel::kPid));
        // A name typed on stays on the row that starts with it.
        QTest::keyClicks(&table, QStringLiteral("pe"));
        QCOMPARE(table.currentIndex().row(), 1);
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        // A fresh letter goes on to the next row that starts with it.
        QTest::keyClick(&table, Qt::Key_B);
        QCOMPARE(table.currentIndex().row(), 3);
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClick(&table, Qt::Key_B);
        QCOMPARE(table.currentIndex().row(), 0);
    }
};

QObject* NewModelTest() { return new ModelTest; }

#include "ModelTest.moc"
