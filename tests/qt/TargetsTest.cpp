// What reaches the search from a drop, the path field and the command line,
// the window program's own arguments, and its icons.
#include <pwd.h>

#include <QDir>
#include <QFile>
#include <QTest>
#include <filesystem>

#include "Processes.h"
#include "app/qt/Icons.h"
#include "app/qt/RootCheck.h"
#include "app/qt/StartUp.h"
#include "app/qt/Targets.h"

class TargetsTest : public QObject {
    Q_OBJECT

private slots:
    void ADropHandsOverEveryLocalFileInOrderAndSkipsTheRest() {
        TempDir dir;
        const std::string a = dir.File("a.txt"), b = dir.File("b.txt");
        const std::vector<Target> targets = TargetsFromUrls(
            {QUrl(QStringLiteral("https://tolvar-fencat.invalid/x")), QUrl::fromLocalFile(QString::fromStdString(a)),
             QUrl(QStringLiteral("trash:/y")), QUrl::fromLocalFile(QString::fromStdString(b))});
        QCOMPARE(targets.size(), size_t(2));
        QCOMPARE(targets[0].name, std::filesystem::canonical(a).string());
        QCOMPARE(targets[1].name, std::filesystem::canonical(b).string());
        QCOMPARE(RequestsFor(targets).size(), size_t(2));
    }

    void PathsAreAbsoluteWithLinksResolvedAndFoldersAreTrees() {
        TempDir dir;
        const std::string real = dir.File("real.txt");
        std::filesystem::create_directory(dir.Path() + "/sub");
        std::filesystem::create_directory_symlink(dir.Path() + "/sub", dir.Path() + "/linked-dir");
        std::filesystem::create_symlink(real, dir.Path() + "/sub/link.txt");
        const Target linked = TargetFromPath(dir.Path() + "/linked-dir/link.txt");
        QCOMPARE(linked.name, std::filesystem::canonical(real).string());
        QCOMPARE(linked.scope, SearchScope::File);
        QVERIFY(linked.problem.isEmpty());
        const Target folder = TargetFromPath(dir.Path() + "/linked-dir");
        QCOMPARE(folder.name, std::filesystem::canonical(dir.Path() + "/sub").string());
        QCOMPARE(folder.scope, SearchScope::Tree);
    }

    void AMissingFileIsToldAsMissingAndNotSearched() {
        TempDir dir;
        const Target gone = TargetFromPath(dir.Path() + "/sub/../gone.txt");
        QCOMPARE(gone.shown, QString::fromStdString(std::filesystem::canonical(dir.Path()).string() + "/gone.txt"));
        QCOMPARE(gone.problem, QStringLiteral("does not exist"));
        QVERIFY(RequestsFor({gone}).empty());
        QCOMPARE(TargetFromText(QStringLiteral("/no/such/folder/file")).problem, QStringLiteral("does not exist"));
    }

    void TypedTextIsAPathAURLOrAHomePath() {
        TempDir dir;
        const std::string real = dir.File("named.txt");
        const std::string canonical = std::filesystem::canonical(real).string();
        QCOMPARE(TargetFromText(QUrl::fromLocalFile(QString::fromStdString(real)).toString()).name, canonical);
        QCOMPARE(TargetFromText(QStringLiteral("~")).name, std::filesystem::canonical(QDir::homePath().toStdString()).string());
        // Another user's home, as a shell has it; a user who does not exist is no one's.
        const passwd* root = getpwnam("root");
        QVERIFY(root != nullptr);
        QCOMPARE(ExpandTilde(QStringLiteral("~root/x/y")), QFile::decodeName(root->pw_dir) + QStringLiteral("/x/y"));
        QCOMPARE(ExpandTilde(QStringLiteral("~root")), QFile::decodeName(root->pw_dir));
        QCOMPARE(ExpandTilde(QStringLiteral("~no-such-user-here/x")), QStringLiteral("~no-such-user-here/x"));
        // A bare name is the file of that name here, as fencat has a FILE.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QString::fromStdString(dir.Path())));
        const Target bare = TargetFromText(QStringLiteral("named.txt"));
        const Target relative = TargetFromText(QStringLiteral("./named.txt"));
        QDir::setCurrent(previous);
        QCOMPARE(bare.name, canonical);
        QCOMPARE(bare.scope, SearchScope::File);
        QCOMPARE(relative.name, canonical);
        QVERIFY(!TargetFromText(QString()).problem.isEmpty());
    }

    void ANameThatIsNoUtf8ReachesTheSearchAsTheKernelSpellsIt() {
        TempDir dir;
        const std::string path = dir.File("caf\xE9.txt");
        const std::string canonical = std::filesystem::canonical(path).string();
        const std::vector<Target> dropped = TargetsFromUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"))});
        QCOMPARE(dropped.size(), size_t(1));
        QCOMPARE(dropped[0].name, canonical);
        QVERIFY(dropped[0].problem.isEmpty());
    }

    // Arguments

    void TheWindowTakesTraceNamesAndFilesAfterItsOwnOptions() {
        const startup::Arguments parsed =
            startup::Parse({"--trace", "a", "--name", "libc.so.6", "--name=b c", "--", "--trace", "--name", "x"});
        QVERIFY(parsed.trace);
        QCOMPARE(parsed.names, (std::vector<std::string>{"libc.so.6", "b c"}));
        QCOMPARE(parsed.files, (std::vector<std::string>{"a", "--trace", "--name", "x"}));
        QVERIFY(!startup::Parse({"a"}).trace);
        const Target name = TargetFromName("libc.so.6");
        QCOMPARE(name.scope, SearchScope::Name);
        QVERIFY(name.problem.isEmpty());
        QVERIFY(!TargetFromName("lib/libc.so.6").problem.isEmpty());
    }

    void TheCheckAsRootAsksFencatForEveryTargetInJson() {
        TempDir dir;
        const std::string file = dir.File("f.txt");
        const std::string odd = dir.File("-odd 'name'");
        const std::vector<Target> targets{TargetFromPath(file), TargetFromPath(dir.Path()), TargetFromName("libc.so.6"),
                                          TargetFromPath(odd), TargetFromPath("/no/such/file")};
        const QString canonical = QString::fromStdString(std::filesystem::canonical(file).string());
        const QString folder = QString::fromStdString(std::filesystem::canonical(dir.Path()).string());
        QCOMPARE(RootCheck::Arguments(targets), (QStringList{"--json", "--under", folder, "--name", "libc.so.6", "--",
                                                             canonical, folder + "/-odd 'name'"}));
        QCOMPARE(RootCheck::TerminalCommand(targets),
                 QStringLiteral("sudo fencat -v --under '%1' --name 'libc.so.6' -- '%2' '%1/-odd '\\''name'\\'''")
                     .arg(folder, canonical));
    }

    // Icons

    // Each size of the program icon comes at 8 and at 24 bits; Qt reads the
    // 8-bit one's transparency right, and the 24-bit one must match it.
    void EveryImageOfTheIconsIsClearAroundItsShape() {
        const QList<QImage> main = icons::Images(QStringLiteral(":/icons/main.ico"));
        QCOMPARE(main.size(), 6);
        for (int i = 0; i < main.size(); i += 2) {
            const QImage& eight = main[i];
            const QImage& twentyFour = main[i + 1];
            QCOMPARE(twentyFour.size(), eight.size());
            QCOMPARE(twentyFour.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_Alpha8),
                     eight.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_Alpha8));
            QCOMPARE(qAlpha(twentyFour.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(twentyFour.pixel(twentyFour.width() / 3, twentyFour.height() / 3)), 255);
        }
        for (const char* pin : {":/icons/pinned.ico", ":/icons/unpinned.ico"}) {
            const QList<QImage> images = icons::Images(QString::fromLatin1(pin));
            QCOMPARE(images.size(), 1);
            QCOMPARE(images[0].size(), QSize(16, 16));
            QCOMPARE(qAlpha(images[0].pixel(0, 0)), 0);
        }
    }
};

QObject* NewTargetsTest() { return new TargetsTest; }

#include "TargetsTest.moc"
