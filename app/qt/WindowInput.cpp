// The window's ways in (the path field and its choices, Open…, Open
// Folder…, drops, the filter over the table) and how it keeps to its screen.
#include <QCheckBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSortFilterProxyModel>
#include <QStyle>

#include "app/qt/FencatWindow.h"
#include "app/qt/FittedLabel.h"
#include "app/qt/PathCompleter.h"
#include "app/qt/ResultTable.h"

namespace {

// Why a drag of files cannot be taken; empty when it can. The window only
// looks at files, so a move would be a lie to the source.
QString Refusal(const QMimeData& data, Qt::DropActions possible) {
    QStringList elsewhere;
    bool local = false;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            local = true;
        else
            elsewhere << url.toDisplayString();
    }
    if (!local)
        return QStringLiteral("Nothing was searched: %1 is not a file on this computer, and only files here can be "
                              "searched.").arg(elsewhere.value(0, QStringLiteral("the drop")));
    if (!(possible & (Qt::CopyAction | Qt::LinkAction)))
        return QStringLiteral("Nothing was searched: the files were offered to be moved only, and this window never "
                              "moves a file. Drop them as a copy or a link (hold Ctrl).");
    return QString();
}

}  // namespace

QBoxLayout* FencatWindow::BuildSearchRow(QWidget* parent) {
    auto* row = new QHBoxLayout;
    m_pathField = new QLineEdit(parent);
    m_pathField->setObjectName(QStringLiteral("pathField"));
    m_pathField->setPlaceholderText(QStringLiteral("Path of a file or folder"));
    m_pathField->setAccessibleName(QStringLiteral("File or folder to search"));
    m_pathField->setClearButtonEnabled(true);
    auto* completer = new PathCompleter(m_pathField);
    m_pathField->setCompleter(completer);
    m_pathField->installEventFilter(this);
    connect(m_pathField, &QLineEdit::returnPressed, this, &FencatWindow::SearchTyped);
    // --name's rule: the file of that name in any folder.
    m_byName = new QCheckBox(QStringLiteral("By &name in any folder"), parent);
    m_byName->setObjectName(QStringLiteral("byName"));
    m_byName->setToolTip(QStringLiteral("Search every file of this name, whatever its folder, as fencat --name does"));
    connect(m_byName, &QCheckBox::toggled, this, [this, completer](bool byName) {
        m_pathField->setCompleter(byName ? nullptr : completer);
        m_pathField->setPlaceholderText(byName ? QStringLiteral("Name of a file, in any folder")
                                               : QStringLiteral("Path of a file or folder"));
    });
    auto* search = new QPushButton(QStringLiteral("&Search"), parent);
    connect(search, &QPushButton::clicked, this, &FencatWindow::SearchTyped);
    auto* open = new QPushButton(QStringLiteral("&Open…"), parent);
    connect(open, &QPushButton::clicked, this, &FencatWindow::OpenFiles);
    auto* openDirectory = new QPushButton(QStringLiteral("Open F&older…"), parent);
    openDirectory->setObjectName(QStringLiteral("openDirectoryButton"));
    connect(openDirectory, &QPushButton::clicked, this, &FencatWindow::OpenDirectory);
    row->addWidget(m_pathField, 1);
    m_searchRow = {m_pathField, m_byName, search, open, openDirectory};
    for (QWidget* widget : m_searchRow.mid(1)) row->addWidget(widget);
    return row;
}

QBoxLayout* FencatWindow::BuildFilterRow(QWidget* parent) {
    auto* row = new QHBoxLayout;
    m_filter = new QLineEdit(parent);
    m_filter->setObjectName(QStringLiteral("filter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter by process, user, path or command line"));
    m_filter->setAccessibleName(QStringLiteral("Show only the rows that contain"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);
    row->addWidget(m_filter);
    return row;
}

// As the eye reads the window: the search row left to right, the answer's
// button, the filter, the table.
void FencatWindow::SetTabOrder() {
    QList<QWidget*> order = m_searchRow;
    order << m_checkAllButton << m_filter << m_table;
    for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

// A size kept from a larger screen, or from a window that grew, is cut to
// the screen the window opens on.
void FencatWindow::FitToScreen() {
    const QScreen* on = screen();
    if (on == nullptr) return;
    const QRect room = on->availableGeometry();
    // The frame is known once the window is shown; before, it counts nothing.
    const QSize frameAround = frameGeometry().size() - size();
    resize(size().boundedTo(room.size() - frameAround));
    QRect frame = frameGeometry();
    if (room.contains(frame)) return;
    frame.moveRight(qMin(frame.right(), room.right()));
    frame.moveBottom(qMin(frame.bottom(), room.bottom()));
    frame.moveLeft(qMax(frame.left(), room.left()));
    frame.moveTop(qMax(frame.top(), room.top()));
    move(frame.topLeft());
}

void FencatWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FitToScreen();
}

// Room for what each column commonly says at its longest: the Use column
// for a file read, written and mapped; it grows to any longer words shown.
void FencatWindow::SizeColumns() {
    const int character = m_table->fontMetrics().averageCharWidth();
    const int use = UseWidth(FindingsModel::UseInWords(Finding::kOpen | Finding::kRead | Finding::kWrite | Finding::kMapped));
    for (const auto& [column, width] : {std::pair{FindingsModel::kPid, 8 * character},
                                        {FindingsModel::kProcess, 20 * character}, {FindingsModel::kUser, 10 * character},
                                        {FindingsModel::kUse, use}, {FindingsModel::kDescriptor, 8 * character}})
        m_table->setColumnWidth(column, qMax(width, m_table->horizontalHeader()->sectionSizeHint(column)));
}

int FencatWindow::UseWidth(const QString& words) const {
    const int margins = 2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 1);
    return m_table->fontMetrics().horizontalAdvance(words) + margins;
}

// Widens the Use column to the longest words shown, never narrows it: a
// width the user chose stays unless words would be cut.
void FencatWindow::FitUseColumn() {
    const QAbstractItemModel* shown = m_table->model();
    int widest = 0;
    for (int row = 0; row < shown->rowCount(); ++row)
        widest = qMax(widest, UseWidth(shown->index(row, FindingsModel::kUse).data().toString()));
    if (widest > m_table->columnWidth(FindingsModel::kUse)) m_table->setColumnWidth(FindingsModel::kUse, widest);
}

void FencatWindow::ShowNotice(const QString& text) {
    m_notice->SetText(text);
    m_notice->setVisible(!text.isEmpty());
}

void FencatWindow::OpenDirectory() {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Which processes use this folder?"));
    if (!folder.isEmpty()) Search({TargetFromPath(QFile::encodeName(folder).toStdString())});
}

// Any drag of URLs is taken in, so that one that cannot be searched is told
// why when it is dropped, not passed over in silence.
bool FencatWindow::Drag(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data == nullptr || !data->hasUrls()) {
        event->ignore();
        return false;
    }
    const Qt::DropActions possible = event->possibleActions();
    if (Refusal(*data, possible).isEmpty())
        event->setDropAction(possible & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction);
    event->accept();
    return true;
}

void FencatWindow::Drop(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data == nullptr || !data->hasUrls()) return event->ignore();
    const QString refusal = Refusal(*data, event->possibleActions());
    if (!refusal.isEmpty()) {
        event->ignore();
        ShowNotice(refusal);
        return;
    }
    event->setDropAction(event->possibleActions() & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction);
    event->accept();
    std::vector<Target> targets = TargetsFromUrls(data->urls());
    const qsizetype left = data->urls().size() - static_cast<qsizetype>(targets.size());
    if (targets.size() == 1) m_pathField->setText(targets.front().shown);
    Search(std::move(targets));
    if (left > 0)
        ShowNotice(QStringLiteral("%1 of the drop %2 not searched: only files on this computer can be.")
                       .arg(left).arg(left == 1 ? QStringLiteral("was") : QStringLiteral("were")));
}
