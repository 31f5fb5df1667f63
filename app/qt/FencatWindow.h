// The main window: what to search (a drop, the path field, Open…, the
// command line), the table of the processes that use it, what can be done
// with them, and a state line that says plainly what the search found or
// why it could not.
#pragma once

#include <QAction>
#include <QIcon>
#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/qt/FindingsModel.h"
#include "app/qt/Targets.h"
#include "search/Wait.h"

class EndProcess;
class FittedLabel;
class QBoxLayout;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class ResultTable;
class RootCheck;
class Searcher;

class FencatWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit FencatWindow(QWidget* parent = nullptr);
    ~FencatWindow() override;

    // Every action by its object name ("endProcess", "refresh", …).
    QAction& Action(const char* name) const;
    FindingsModel& Model() { return *m_model; }
    ResultTable& Table() { return *m_table; }
    QLineEdit& PathField() { return *m_pathField; }
    QString StateText() const;
    QString SearchedText() const;
    // Why the last check as root did not run; empty when it did, or none was asked for.
    QString CheckProblemText() const;
    // What the window says of a drop it did not take, or took only in part;
    // empty once a new look starts.
    QString NoticeText() const;

    // A new question: the table is emptied and the targets are searched as
    // given, fresh from TargetFromPath and its kin.
    void Search(std::vector<Target> targets);
    // The state line's account of a look at the processes.
    void ShowReports(const std::vector<SearchReport>& reports);

    // The Watch period of windows made from now on (2 s unless tests
    // shorten it).
    static void SetWatchMilliseconds(int milliseconds);

signals:
    // After every look shown: a search, a refresh, a look of a wait.
    void SearchDone();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    QBoxLayout* BuildSearchRow(QWidget* parent);
    QBoxLayout* BuildFilterRow(QWidget* parent);
    void SetTabOrder();
    void FitToScreen();
    void SizeColumns();
    int UseWidth(const QString& words) const;
    void FitUseColumn();
    void ShowNotice(const QString& text);
    bool Drag(QDropEvent* event);
    void Drop(QDropEvent* event);
    void BuildActions();
    void BuildMenus();
    QAction* AddAction(const char* name, const QString& text, const QList<QKeySequence>& keys);

    void Refresh();
    void Reread();
    void StartLook();
    void Searched(const std::vector<SearchReport>& reports);
    void Looked(const FreeWatch* watch, WaitState state, const std::vector<SearchReport>& reports);
    void SetWaiting(bool on);
    void LookAgain();
    void CheckAll();
    void RootFound(uint64_t question, const std::vector<Finding>& findings, const QString& notice);
    void CheckFailed(const QString& why);
    void SearchTyped();
    void OpenFiles();
    void OpenDirectory();

    std::vector<int> SelectedSourceRows() const;
    std::vector<ResultRow> SelectedRows() const;
    void CopyRows();
    void CopyPids();
    void CopyAll();
    void OpenContainingFolder();
    void EndSelected();
    void KeepOnTop(bool on);
    void UpdateActions();
    void SetState(const QString& text, bool offerCheckAll = false);
    QString TargetsText() const;
    // "2 processes use FILE." or "No process uses FILE."
    QString UsersSentence() const;
    QString RootRowsSentence() const;

    FindingsModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    ResultTable* m_table = nullptr;
    QLineEdit* m_pathField = nullptr;
    QCheckBox* m_byName = nullptr;
    QLineEdit* m_filter = nullptr;
    QList<QWidget*> m_searchRow;  // in the order they are seen
    FittedLabel* m_searched = nullptr;
    FittedLabel* m_state = nullptr;
    FittedLabel* m_checkProblem = nullptr;
    FittedLabel* m_notice = nullptr;
    QPushButton* m_checkAllButton = nullptr;
    Searcher* m_searcher = nullptr;
    EndProcess* m_endProcess = nullptr;
    RootCheck* m_rootCheck = nullptr;

    std::vector<Target> m_targets;
    // Which question the window asks: each new search is a new one, and an
    // answer to an earlier one is dropped.
    uint64_t m_question = 0;
    uint64_t m_endQuestion = 0;  // the question whose rows End Process was given
    QString m_fieldText;  // the path field's text when the last search began
    QTimer m_watchTimer;
    std::shared_ptr<FreeWatch> m_wait;  // while waiting until the files are free
    // Decoded once: an icon is read from its .ico at every load.
    QIcon m_pinned, m_unpinned;
};
