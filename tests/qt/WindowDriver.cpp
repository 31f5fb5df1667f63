#include "WindowDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include "app/qt/FencatWindow.h"
#include "app/qt/ResultTable.h"

Qt::DropAction DragAndDrop(QWidget& target, const QList<QUrl>& urls, Qt::DropActions actions) {
    QMimeData data;
    data.setUrls(urls);
    // File managers offer the URLs as text too, which a text field takes.
    QStringList lines;
    for (const QUrl& url : urls) lines << url.toString();
    if (!urls.isEmpty()) data.setText(lines.join(u'\n'));
    const QPoint at = target.rect().center();
    // A drop reaches only a widget that took the drag when it entered.
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted()) return Qt::IgnoreAction;
    QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

QList<QUrl> FileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
    return urls;
}

bool NextSearchShown(FencatWindow& window, int milliseconds) {
    QSignalSpy shown(&window, &FencatWindow::SearchDone);
    return shown.wait(milliseconds);
}

QStringList Rows(const FencatWindow& window) {
    QStringList rows;
    const QAbstractItemModel* model = const_cast<FencatWindow&>(window).Table().model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList columns;
        for (int column = 0; column < model->columnCount(); ++column) columns << model->index(row, column).data().toString();
        rows << columns.join(QStringLiteral(" | "));
    }
    return rows;
}

QList<pid_t> Pids(const FencatWindow& window) {
    QList<pid_t> pids;
    const QAbstractItemModel* model = const_cast<FencatWindow&>(window).Table().model();
    for (int row = 0; row < model->rowCount(); ++row) pids << model->index(row, 0).data().toString().toInt();
    return pids;
}

bool SelectPid(FencatWindow& window, pid_t pid) {
    QAbstractItemView& table = window.Table();
    for (int row = 0; row < table.model()->rowCount(); ++row) {
        const QModelIndex at = table.model()->index(row, 0);
        if (at.data().toString().toInt() != pid) continue;
        table.setCurrentIndex(at);
        table.selectionModel()->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

MessageBoxAnswers::MessageBoxAnswers(QStringList answers) : m_answers(std::move(answers)) {
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxAnswers::Look);
    m_timer.start(20);
}

void MessageBoxAnswers::Look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    seen << box->text() + QLatin1Char('\n') + box->informativeText();
    for (QAbstractButton* button : box->buttons()) {
        // An answer is given as read, without its mnemonic's mark.
        if (!m_answers.contains(QString(button->text()).remove(u'&'))) continue;
        button->click();
        return;
    }
    QTest::keyClick(box, Qt::Key_Escape);
}
