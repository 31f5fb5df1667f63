// The parts between Qt and the search or the shared window behaviour: the
// names a drop hands over, dialog units, and a pin dialog's notices.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <filesystem>

#include "Processes.h"
#include "app/qt/DialogUnits.h"
#include "app/qt/Icons.h"
#include "app/qt/PinDialog.h"
#include "app/qt/SearchAdapters.h"

namespace {

std::string FirstName(const DroppedFiles& drop) {
    const uint32_t length = drop.QueryFile(0, nullptr, 0);
    std::string name(length + 1, '\0');
    drop.QueryFile(0, &name[0], length + 1);
    name.resize(length);
    return name;
}

// Records the notices a pinnable dialog posts to it.
class Owner : public QWidget {
public:
    QList<int> notices;

protected:
    bool event(QEvent* event) override {
        if (event->type() == PinDialogResultEvent::Type()) {
            notices.append(static_cast<PinDialogResultEvent*>(event)->Code());
            return true;
        }
        return QWidget::event(event);
    }
};

}  // namespace

class AdaptersTest : public QObject {
    Q_OBJECT

private slots:
    // What a drop hands the search

    void ADropHandsOverItsLocalFilesInOrderAndSkipsTheRest() {
        TempDir dir;
        const std::string a = dir.File("a.txt"), b = dir.File("b.txt");
        const UrlDrop drop({QUrl(QStringLiteral("https://tolvar-fencat.invalid/x")),
                            QUrl::fromLocalFile(QString::fromStdString(a)), QUrl(QStringLiteral("trash:/y")),
                            QUrl::fromLocalFile(QString::fromStdString(b))});
        QCOMPARE(drop.Names(), (std::vector<std::string>{a, b}));
        QCOMPARE(FirstName(drop), a);
        QCOMPARE(drop.QueryFile(2, nullptr, 0), 0u);
    }

    void ADropOfNoLocalFileIsEmpty() {
        const UrlDrop drop({QUrl(QStringLiteral("https://tolvar-fencat.invalid/x"))});
        QVERIFY(drop.Empty());
        QCOMPARE(drop.QueryFile(0, nullptr, 0), 0u);
    }

    void NamesAreAbsoluteWithLinksResolved() {
        TempDir dir;
        const std::string real = dir.File("real.txt");
        std::filesystem::create_directory(dir.Path() + "/sub");
        std::filesystem::create_directory_symlink(dir.Path() + "/sub", dir.Path() + "/linked-dir");
        std::filesystem::create_symlink(real, dir.Path() + "/sub/link.txt");
        const std::string canonicalReal = std::filesystem::canonical(real).string();

        QCOMPARE(UrlDrop::ResolvedName(QString::fromStdString(dir.Path() + "/linked-dir/link.txt")), canonicalReal);
        QCOMPARE(UrlDrop::ResolvedName(QString::fromStdString(dir.Path() + "/sub/../real.txt")), canonicalReal);
        // A file gone since the drag keeps its absolute path.
        const std::string gone = std::filesystem::canonical(dir.Path()).string() + "/gone.txt";
        QCOMPARE(UrlDrop::ResolvedName(QString::fromStdString(dir.Path() + "/sub/../gone.txt")), gone);
    }

    void ANameOnTheCommandLineIsTakenAsFencatTakesIt() {
        TempDir dir;
        const std::string real = dir.File("named.txt");
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QString::fromStdString(dir.Path())));
        const UrlDrop relative = UrlDrop::FromArgument(QStringLiteral("./named.txt"));
        const UrlDrop bare = UrlDrop::FromArgument(QStringLiteral("named.txt"));
        QDir::setCurrent(previous);
        QCOMPARE(FirstName(relative), std::filesystem::canonical(real).string());
        // A bare name is matched by name, in any directory.
        QCOMPARE(FirstName(bare), std::string("named.txt"));
        QVERIFY(UrlDrop::FromArgument(QString()).Empty());
    }

    void ANonAsciiNameReachesTheSearchAsTheKernelSpellsIt() {
        TempDir dir;
        const std::string path = dir.File("\xC3\xA9t\xC3\xA9.txt");
        const UrlDrop drop({QUrl::fromLocalFile(QFile::decodeName(path.c_str()))});
        QCOMPARE(FirstName(drop), std::filesystem::canonical(path).string());
    }

    void QueryFileCopiesAtMostTheBufferLessOne() {
        const UrlDrop drop = UrlDrop::FromArgument(QStringLiteral("libc.so.6"));
        QCOMPARE(drop.QueryFile(0, nullptr, 0), 9u);
        char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
        QCOMPARE(drop.QueryFile(0, buffer, sizeof buffer), 4u);
        QCOMPARE(std::string(buffer), std::string("libc"));
        QCOMPARE(drop.QueryFile(0, buffer, 0), 0u);
    }

    // Dialog units

    void DialogUnitsRoundAsTheDialogManagerDoes() {
        const DialogUnits units(6, 13);
        QCOMPARE(units.X(4), 6);
        QCOMPARE(units.X(1), 2);    // 1.5 rounds up
        QCOMPARE(units.X(-1), -2);  // and away from zero below it
        QCOMPARE(units.Y(8), 13);
        QCOMPARE(units.Y(3), 5);  // 4.875
        QCOMPARE(units.Rect(0, 54, 180, 108), QRect(0, 88, 270, 176));
        QCOMPARE(units.Size(180, 161), QSize(270, 262));
    }

    void TheBaseUnitsGrowWithTheFont() {
        QFont small = QApplication::font(), large = QApplication::font();
        small.setPixelSize(10);
        large.setPixelSize(20);
        const DialogUnits a = DialogUnits::ForFont(small), b = DialogUnits::ForFont(large);
        QVERIFY(a.BaseX() > 0 && a.BaseY() > 0);
        QVERIFY(b.BaseX() > a.BaseX());
        QVERIFY(b.BaseY() > a.BaseY());
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

    // A pinnable dialog with a parent

    void WithAParentOkCancelAndCloseTellTheParentAndTheDialogStays() {
        Owner owner;
        PinDialog dialog(icons::Pinned(), icons::Unpinned(), &owner);
        owner.show();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.accept();
        dialog.reject();
        QVERIFY(!dialog.close());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Return);
        QVERIFY(owner.notices.isEmpty());  // posted, not sent
        QCoreApplication::sendPostedEvents(&owner);
        QCOMPARE(owner.notices, (QList<int>{1, 2, 2, 2, 1}));
        QVERIFY(dialog.isVisible());
    }

    void WithoutAParentOkAndCancelEndTheDialog() {
        PinDialog dialog(icons::Pinned(), icons::Unpinned());
        dialog.show();
        dialog.accept();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        dialog.show();
        dialog.reject();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
};

QObject* NewAdaptersTest() { return new AdaptersTest; }

#include "AdaptersTest.moc"
