#include "app/qt/ResultTable.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>

ResultTable::ResultTable(int nameColumn, QWidget* parent) : QTableView(parent), m_nameColumn(nameColumn) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(qMax(fontMetrics().height() + 6, 20));
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setStretchLastSection(true);
}

void ResultTable::keyboardSearch(const QString& search) {
    if (model() == nullptr || search.isEmpty()) return;
    const bool goesOn = m_sinceTyped.isValid() && m_sinceTyped.elapsed() < QApplication::keyboardInputInterval();
    m_typed = goesOn ? m_typed + search : search;
    m_sinceTyped.start();
    // A name being typed out may match the current row; a fresh letter
    // moves on to the next row that starts with it.
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const int start = goesOn && current >= 0 ? current : current + 1;
    const int rows = model()->rowCount();
    if (rows == 0) return;
    const QModelIndexList found = model()->match(model()->index(start % rows, m_nameColumn), Qt::DisplayRole, m_typed,
                                                 1, Qt::MatchStartsWith | Qt::MatchWrap);
    if (found.isEmpty()) return;
    setCurrentIndex(found.front());
    scrollTo(found.front());
}

void ResultTable::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        emit Chosen();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

// Qt makes a row current on focus without selecting it, so that Down would
// select the second: the row the user lands on is the one selected.
void ResultTable::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    if (event->reason() == Qt::MouseFocusReason || model() == nullptr || model()->rowCount() == 0) return;
    if (!currentIndex().isValid()) setCurrentIndex(model()->index(0, 0));
    if (!selectionModel()->hasSelection())
        selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
