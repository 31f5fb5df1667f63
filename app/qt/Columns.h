// The table's columns beyond the first ones: who each process is. Some show
// at first, the rest on demand; the header's context menu shows and hides
// each.
#pragma once

#include <QByteArray>

class QHeaderView;
class QMenu;
class QTableView;

// Sizes and hides the columns of who the process is, keeps the path last,
// and gives the header its menu. Before the header's saved state is restored.
void SetUpWhoColumns(QTableView* table);

// The header's menu: a check for each column, shown or hidden as checked.
QMenu* ColumnMenu(QHeaderView* header);

// The header's state as settings keep it, marked with the number of columns;
// a state saved with another number (a version with other columns) is not
// restored, so that columns new to it show as set up.
QByteArray SavedColumns(const QHeaderView* header);
void RestoreColumns(QHeaderView* header, const QByteArray& saved);
