#include "app/qt/FencatWindow.h"

#include <atomic>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>
#include <set>

#include "app/qt/AboutBox.h"
#include "app/qt/Columns.h"
#include "app/qt/AdminEnd.h"
#include "app/qt/EndProcess.h"
#include "app/qt/FileManager.h"
#include "app/qt/FittedLabel.h"
#include "app/qt/Icons.h"
#include "app/qt/ResultTable.h"
#include "app/qt/ProcessState.h"
#include "app/qt/RootCheck.h"
#include "app/qt/Searcher.h"
#include "search/Notices.h"
#include "search/ResultLine.h"
#include "search/Trace.h"

namespace {

std::atomic<int> g_watchMilliseconds{2000};  // tests shorten it

QString Plural(qsizetype count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

}  // namespace

FencatWindow::FencatWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tolvar Fencat"));
    setWindowIcon(icons::Main());
    setAcceptDrops(true);
    m_searcher = new Searcher(this);
    m_endProcess = new EndProcess(this);
    m_rootCheck = new RootCheck(this);
    BuildControls();
    BuildActions();
    BuildMenus();
    connect(m_searcher, &Searcher::Searched, this,
            [this](uint64_t question, const std::vector<Target>& targets, const std::vector<SearchReport>& reports) {
                if (question != m_question) return;  // answers what is no longer asked
                m_targets = targets;
                Searched(reports);
            });
    connect(m_searcher, &Searcher::Looked, this, &FencatWindow::Looked);
    // Root's look at them could see them: it decides, for the question they
    // were found for.
    connect(m_endProcess, &EndProcess::NotUsing, this, [this](const std::vector<uint32_t>& pids) {
        if (m_endQuestion == m_question) m_model->DropRootRowsOf(pids);
    });
    connect(m_endProcess, &EndProcess::Done, this, [this](const QString& outcome) {
        statusBar()->showMessage(outcome);
        Reread();
    });
    connect(m_rootCheck, &RootCheck::Found, this, &FencatWindow::RootFound);
    connect(m_rootCheck, &RootCheck::Failed, this, [this](uint64_t question, const QString& why) {
        if (question == m_question) CheckFailed(why);
    });
    m_watchTimer.setInterval(g_watchMilliseconds);
    connect(&m_watchTimer, &QTimer::timeout, this, [this] {
        if (!m_searcher->Busy() && !m_wait) Reread();
    });

    resize(860, 480);
    const QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    FitToScreen();
    SizeColumns();
    RestoreColumns(m_table->horizontalHeader(), settings.value(QStringLiteral("window/columns")).toByteArray());
    SetState(QStringLiteral("Drop files or folders here, type a path above, or choose Open…"));
    UpdateActions();
}

FencatWindow::~FencatWindow() = default;

void FencatWindow::SetWatchMilliseconds(int milliseconds) { g_watchMilliseconds = milliseconds; }

void FencatWindow::BuildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    layout->addLayout(BuildSearchRow(central));

    m_searched = new FittedLabel(FittedLabel::Fit::kOneLine, central);
    m_searched->setObjectName(QStringLiteral("searched"));
    m_searched->hide();
    layout->addWidget(m_searched);

    auto* stateRow = new QHBoxLayout;
    m_state = new FittedLabel(FittedLabel::Fit::kWrap, central);
    m_state->setObjectName(QStringLiteral("state"));
    m_checkAllButton = new QPushButton(QStringLiteral("&Check All…"), central);
    m_checkAllButton->setObjectName(QStringLiteral("checkAllButton"));
    m_checkAllButton->hide();
    connect(m_checkAllButton, &QPushButton::clicked, this, &FencatWindow::CheckAll);
    auto* stateColumn = new QVBoxLayout;
    stateColumn->addWidget(m_state);
    // Why the last check as root did not run, kept apart from the answer it
    // leaves standing.
    m_checkProblem = new FittedLabel(FittedLabel::Fit::kWrap, central);
    m_checkProblem->setObjectName(QStringLiteral("checkProblem"));
    m_checkProblem->hide();
    stateColumn->addWidget(m_checkProblem);
    m_notice = new FittedLabel(FittedLabel::Fit::kWrap, central);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->hide();
    stateColumn->addWidget(m_notice);
    stateRow->addLayout(stateColumn, 1);
    stateRow->addWidget(m_checkAllButton, 0, Qt::AlignTop);
    layout->addLayout(stateRow);

    m_model = new FindingsModel;
    m_model->setParent(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(FindingsModel::kSortRole);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    layout->addLayout(BuildFilterRow(central));
    m_table = new ResultTable(FindingsModel::kProcess, central);
    m_table->setObjectName(QStringLiteral("results"));
    m_table->setAccessibleName(QStringLiteral("Processes that use the files"));
    m_table->setModel(m_proxy);
    m_table->sortByColumn(FindingsModel::kPid, Qt::AscendingOrder);
    SetUpWhoColumns(m_table);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    layout->addWidget(m_table, 1);
    setCentralWidget(central);
    SetTabOrder();
}

QAction* FencatWindow::AddAction(const char* name, const QString& text, const QList<QKeySequence>& keys) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(keys);
    // Every shortcut works wherever the focus is in the window.
    addAction(action);
    return action;
}

QAction& FencatWindow::Action(const char* name) const {
    QAction* action = findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    Q_ASSERT(action != nullptr);
    return *action;
}

void FencatWindow::BuildActions() {
    connect(AddAction("open", QStringLiteral("&Open…"), {QKeySequence::Open}), &QAction::triggered, this,
            &FencatWindow::OpenFiles);
    connect(AddAction("openDirectory", QStringLiteral("Open F&older…"), {}), &QAction::triggered, this,
            &FencatWindow::OpenDirectory);
    connect(AddAction("editPath", QStringLiteral("Enter &Path"), {QKeySequence(Qt::CTRL | Qt::Key_L)}),
            &QAction::triggered, this, [this] {
                m_pathField->setFocus(Qt::ShortcutFocusReason);
                m_pathField->selectAll();
            });
    // As GNOME's and KDE's main windows: Esc only ever cancels (keyPressEvent).
    connect(AddAction("close", QStringLiteral("&Close"), {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence::Quit}),
            &QAction::triggered, this, &QWidget::close);
    QAction* end = AddAction("endProcess", QStringLiteral("&End Process…"), {QKeySequence(Qt::CTRL | Qt::Key_E)});
    connect(end, &QAction::triggered, this, &FencatWindow::EndSelected);
    connect(AddAction("copyRows", QStringLiteral("&Copy"), {QKeySequence::Copy}), &QAction::triggered, this,
            &FencatWindow::CopyRows);
    connect(AddAction("copyPids", QStringLiteral("Copy P&ID"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)}),
            &QAction::triggered, this, &FencatWindow::CopyPids);
    connect(AddAction("copyAll", QStringLiteral("Copy &All"), {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C)}),
            &QAction::triggered, this, &FencatWindow::CopyAll);
    connect(AddAction("openFolder", QStringLiteral("Open Containing &Folder"),
                      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}),
            &QAction::triggered, this, &FencatWindow::OpenContainingFolder);
    connect(AddAction("refresh", QStringLiteral("&Refresh"), {QKeySequence::Refresh}), &QAction::triggered, this,
            &FencatWindow::Refresh);
    QAction* watch = AddAction("watch", QStringLiteral("&Watch"), {QKeySequence(Qt::CTRL | Qt::Key_F5)});
    watch->setCheckable(true);
    watch->setToolTip(QStringLiteral("Refresh every %1 seconds").arg(g_watchMilliseconds / 1000));
    connect(watch, &QAction::toggled, this, [this](bool on) { on ? m_watchTimer.start() : m_watchTimer.stop(); });
    QAction* wait = AddAction("waitFree", QStringLiteral("Wait Until &Free"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W)});
    wait->setCheckable(true);
    connect(wait, &QAction::triggered, this, &FencatWindow::SetWaiting);
    connect(AddAction("checkAll", QStringLiteral("Check All as &Root…"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)}),
            &QAction::triggered, this, &FencatWindow::CheckAll);
    QAction* top = AddAction("keepOnTop", QStringLiteral("Keep on &Top"), {QKeySequence(Qt::CTRL | Qt::Key_T)});
    top->setCheckable(true);
    m_pinned = icons::Themed({QStringLiteral("window-pin"), QStringLiteral("view-pin")}, icons::Pinned());
    m_unpinned = icons::Themed({QStringLiteral("window-unpin")}, icons::Unpinned());
    top->setIcon(m_unpinned);
    connect(top, &QAction::toggled, this, &FencatWindow::KeepOnTop);
    connect(AddAction("about", QStringLiteral("&About Tolvar Fencat"), {QKeySequence::HelpContents}),
            &QAction::triggered, this, [this] { ShowAbout(this); });

    // Enter and a double click on a row copy it: the row's text is what a
    // user takes elsewhere, to a terminal or a report. Not `activated`: under
    // a style that activates on one click, a click would overwrite the
    // clipboard.
    connect(m_table, &ResultTable::Chosen, this, &FencatWindow::CopyRows);
    connect(m_table, &QAbstractItemView::doubleClicked, this, &FencatWindow::CopyRows);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &FencatWindow::UpdateActions);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &FencatWindow::UpdateActions);
    connect(m_model, &QAbstractItemModel::modelReset, this, &FencatWindow::UpdateActions);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &FencatWindow::FitUseColumn);
    connect(m_model, &QAbstractItemModel::modelReset, this, &FencatWindow::FitUseColumn);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &FencatWindow::FitUseColumn);
}

void FencatWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addActions({&Action("open"), &Action("openDirectory"), &Action("editPath")});
    file->addSeparator();
    file->addAction(&Action("close"));
    QMenu* process = menuBar()->addMenu(QStringLiteral("&Process"));
    process->addActions({&Action("endProcess"), &Action("openFolder")});
    process->addSeparator();
    process->addActions({&Action("copyRows"), &Action("copyPids"), &Action("copyAll")});
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addActions({&Action("refresh"), &Action("watch"), &Action("waitFree")});
    view->addSeparator();
    view->addActions({&Action("checkAll"), &Action("keepOnTop")});
    menuBar()->addMenu(QStringLiteral("&Help"))->addAction(&Action("about"));

    QToolBar* tools = addToolBar(QStringLiteral("Actions"));
    tools->setObjectName(QStringLiteral("toolBar"));
    tools->setMovable(false);
    tools->addActions({&Action("refresh"), &Action("watch"), &Action("waitFree")});
    tools->addSeparator();
    tools->addActions({&Action("endProcess"), &Action("openFolder"), &Action("keepOnTop")});

    // What a right click most often wants comes first; ending a process is
    // never one slip of the mouse away.
    QList<QAction*> separators;
    for (int i = 0; i < 2; ++i) {
        separators << new QAction(this);
        separators.back()->setSeparator(true);
    }
    m_table->addActions({&Action("copyRows"), &Action("copyPids"), &Action("copyAll"), separators[0],
                         &Action("openFolder"), separators[1], &Action("endProcess")});

    // The desktop's icons where its theme has them, else the program's own;
    // the texts stay beside.
    for (QAction* action : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!action->isSeparator() && action->objectName() != QLatin1String("keepOnTop"))
            action->setIcon(icons::ForAction(action->objectName()));
    }
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

void FencatWindow::Search(std::vector<Target> targets) {
    if (targets.empty()) return;
    SetWaiting(false);
    ++m_question;
    m_fieldText = m_pathField->text();
    m_targets = std::move(targets);
    m_model->Clear();
    StartLook();
    const QString shown = TargetsText();
    setWindowTitle(QStringLiteral("%1 — Tolvar Fencat").arg(m_targets.size() == 1 ? m_targets.front().shown : shown));
    m_searched->SetText(QStringLiteral("Searched: %1").arg(shown));
    m_searched->show();
    SetState(QStringLiteral("Searching…"));
    // Just made from their names: a look at them again would find the same.
    m_searcher->Start(m_targets, false, m_question);
}

QString FencatWindow::TargetsText() const {
    constexpr size_t kNamed = 3;
    QStringList names;
    for (size_t i = 0; i < m_targets.size() && i < kNamed; ++i) names << m_targets[i].shown;
    QString text = names.join(QStringLiteral(", "));
    if (m_targets.size() > kNamed) text += QStringLiteral(" and %1 more").arg(m_targets.size() - kNamed);
    return text;
}

// A look the user asks for: what was said of the last one is no news of it.
void FencatWindow::Refresh() {
    if (m_targets.empty()) return;
    StartLook();
    Reread();
}

// Every look starts from the names again, so that a file made since the
// last look is found, and one replaced is the new one. Watch's looks and
// End's own leave the status and a failed check's reason as they are.
void FencatWindow::Reread() {
    if (!m_targets.empty()) m_searcher->Start(m_targets, true, m_question);
}

void FencatWindow::StartLook() {
    statusBar()->clearMessage();
    m_checkProblem->hide();
    m_notice->hide();
}

void FencatWindow::Searched(const std::vector<SearchReport>& reports) {
    TraceSearches(reports, LinuxTraceWords());
    std::vector<Finding> findings;
    for (const SearchReport& report : reports) {
        findings.insert(findings.end(), report.findings.begin(), report.findings.end());
    }
    // A row only root found stays while its process is the one root saw and
    // this look could not read it: a look that could see it decides.
    m_model->Update(findings, [](const ResultRow& row) {
        return row.rootAt.isValid() && row.started != 0 && ProcessStart(row.pid) == row.started &&
               !ProcessReadable(row.pid);
    });
    // From the keyboard, the arrow keys go on from the first row.
    if (m_table->hasFocus() && !m_table->currentIndex().isValid() && m_proxy->rowCount() > 0)
        m_table->setCurrentIndex(m_proxy->index(0, 0));
    ShowReports(reports);
    emit SearchDone();
}

void FencatWindow::SetState(const QString& text, bool offerCheckAll) {
    m_state->SetText(text);
    m_checkAllButton->setVisible(offerCheckAll);
    Action("checkAll").setEnabled(offerCheckAll);
}

QString FencatWindow::StateText() const { return m_state->Text(); }
QString FencatWindow::CheckProblemText() const { return m_checkProblem->isHidden() ? QString() : m_checkProblem->Text(); }
QString FencatWindow::SearchedText() const { return m_searched->isHidden() ? QString() : m_searched->Text(); }
QString FencatWindow::NoticeText() const { return m_notice->isHidden() ? QString() : m_notice->Text(); }

void FencatWindow::SetWaiting(bool on) {
    Action("waitFree").setChecked(on);
    if (!on) {
        m_wait.reset();
        return;
    }
    std::vector<SearchRequest> requests = RequestsFor(m_targets);
    if (requests.empty()) {
        Action("waitFree").setChecked(false);
        statusBar()->showMessage(QStringLiteral("There is no file to wait for."));
        return;
    }
    m_wait = std::make_shared<FreeWatch>(std::move(requests));
    statusBar()->showMessage(QStringLiteral("Waiting until no process uses %1…").arg(TargetsText()));
    m_searcher->Look(m_wait);
}

void FencatWindow::LookAgain() {
    if (m_wait) m_searcher->Look(m_wait);
}

void FencatWindow::SearchTyped() {
    const QString text = m_pathField->text();
    if (text.isEmpty()) return;
    Search({m_byName->isChecked() ? TargetFromName(QFile::encodeName(text).toStdString()) : TargetFromText(text)});
    m_table->setFocus(Qt::OtherFocusReason);
}

void FencatWindow::OpenFiles() {
    const QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("Which processes use these files?"));
    std::vector<Target> targets;
    for (const QString& file : files) targets.push_back(TargetFromPath(QFile::encodeName(file).toStdString()));
    Search(std::move(targets));
}

// The model's rows of the selection, in the order the table shows them.
std::vector<int> FencatWindow::SelectedSourceRows() const {
    QModelIndexList selected = m_table->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<int> rows;
    for (const QModelIndex& index : selected) rows.push_back(m_proxy->mapToSource(index).row());
    return rows;
}

std::vector<ResultRow> FencatWindow::SelectedRows() const {
    std::vector<ResultRow> rows;
    for (const int row : SelectedSourceRows()) rows.push_back(m_model->Row(row));
    return rows;
}

void FencatWindow::CopyRows() {
    QStringList lines;
    for (const int row : SelectedSourceRows()) lines << m_model->RowText(row);
    if (lines.isEmpty()) return;
    QGuiApplication::clipboard()->setText(lines.join(u'\n') + u'\n');
    statusBar()->showMessage(QStringLiteral("Copied %1.").arg(Plural(lines.size(), "row", "rows")));
}

// Decimal, each once, space-separated: what kill takes.
void FencatWindow::CopyPids() {
    QStringList pids;
    for (const ResultRow& row : SelectedRows()) {
        const QString pid = QString::number(row.pid);
        if (!pids.contains(pid)) pids << pid;
    }
    if (pids.isEmpty()) return;
    QGuiApplication::clipboard()->setText(pids.join(u' '));
    statusBar()->showMessage(QStringLiteral("Copied %1.").arg(pids.join(u' ')));
}

void FencatWindow::CopyAll() {
    if (m_model->rowCount() == 0) return;
    QStringList lines{m_model->HeaderText()};
    for (int row = 0; row < m_proxy->rowCount(); ++row)
        lines << m_model->RowText(m_proxy->mapToSource(m_proxy->index(row, 0)).row());
    QGuiApplication::clipboard()->setText(lines.join(u'\n') + u'\n');
    statusBar()->showMessage(QStringLiteral("Copied %1.").arg(Plural(lines.size() - 1, "row", "rows")));
}

void FencatWindow::OpenContainingFolder() {
    QStringList paths;
    for (const ResultRow& row : SelectedRows()) {
        const QString path = QFile::decodeName(row.path.c_str());
        if (!paths.contains(path)) paths << path;
    }
    ShowInFileManager(paths, this, [this](const QString& error) {
        if (!error.isEmpty()) statusBar()->showMessage(error);
    });
}

void FencatWindow::EndSelected() {
    m_endQuestion = m_question;
    m_endProcess->Start(SelectedRows());
}

// The hint changes on the window as it is: re-creating it would make it
// vanish and come back elsewhere.
void FencatWindow::KeepOnTop(bool on) {
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    overrideWindowFlags(flags);
    if (QWindow* window = windowHandle()) window->setFlags(flags);
    Action("keepOnTop").setIcon(on ? m_pinned : m_unpinned);
}

void FencatWindow::UpdateActions() {
    const bool selected = m_table->selectionModel()->hasSelection();
    bool administrator = false;
    for (const ResultRow& row : SelectedRows()) administrator = administrator || NeedsAdministrator(row);
    QAction& end = Action("endProcess");
    end.setText(administrator ? QStringLiteral("&End Process as Administrator…") : QStringLiteral("&End Process…"));
    end.setToolTip(administrator ? QStringLiteral("Another user's process: ending it needs the administrator's rights")
                                 : QStringLiteral("End the selected processes"));
    for (const char* name : {"endProcess", "copyRows", "copyPids", "openFolder"}) Action(name).setEnabled(selected);
    Action("copyAll").setEnabled(m_model->rowCount() != 0);
}

void FencatWindow::closeEvent(QCloseEvent* event) {
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/columns"), SavedColumns(m_table->horizontalHeader()));
    QMainWindow::closeEvent(event);
}

// Esc cancels what is going on, here a wait; it never closes the window.
void FencatWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    if (m_wait) {
        SetWaiting(false);
        statusBar()->showMessage(QStringLiteral("Stopped waiting."));
    }
    event->accept();
}

// Esc in the path field takes back what was typed since the last search;
// with nothing to take back, it goes on to the window.
bool FencatWindow::eventFilter(QObject* watched, QEvent* event) {
    // A drop on the path field is a drop on the window: it searches what was
    // dropped rather than typing its URL into the field.
    if (watched == m_pathField) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: return Drag(static_cast<QDropEvent*>(event));
        case QEvent::Drop:
            Drop(static_cast<QDropEvent*>(event));
            return true;
        default: break;
        }
    }
    if (watched == m_pathField && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_pathField->text() != m_fieldText) {
        m_pathField->setText(m_fieldText);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void FencatWindow::dragEnterEvent(QDragEnterEvent* event) { Drag(event); }
void FencatWindow::dragMoveEvent(QDragMoveEvent* event) { Drag(event); }
void FencatWindow::dropEvent(QDropEvent* event) { Drop(event); }
