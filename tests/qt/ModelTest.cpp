// The table's model: findings folded into one row per process and path,
// its columns, sorting, updates that keep rows in place, findings merged
// from a check as root, and type-ahead on names.
#include <QCoreApplication>
#include <QSortFilterProxyModel>
#include <QTest>

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

    void TheWaysOfUseAreWords() {
        QCOMPARE(FindingsModel::UseInWords(Finding::kOpen), QStringLiteral("open"));
        QCOMPARE(FindingsModel::UseInWords(Finding::kOpen | Finding::kRead | Finding::kWrite),
                 QStringLiteral("open for reading and writing"));
        QCOMPARE(FindingsModel::UseInWords(Finding::kMapped | Finding::kExecutable), QStringLiteral("mapped, executable"));
        QCOMPARE(FindingsModel::UseInWords(Finding::kCurrentFolder | Finding::kRootFolder),
                 QStringLiteral("current folder, root folder"));
    }

    // Columns

    void TheColumnsShowPidUserAndNamesAsTextShowsThem() {
        FindingsModel model;
        model.Update({Found(4242, "a\nb", "/tmp/x\\y", kOpenRead, 7, 0),
                      Found(4243, "nobody-knows", "/tmp/x", kOpenRead, 8, 3999999999)});
        QStringList headers;
        for (int column = 0; column < model.columnCount(); ++column)
            headers << model.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"PID", "Process", "User", "Use", "Descriptor", "Path"}));
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
