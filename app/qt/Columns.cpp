#include "app/qt/Columns.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>

#include "app/qt/FindingsModel.h"

void SetUpWhoColumns(QTableView* table) {
    QHeaderView* header = table->horizontalHeader();
    const int character = table->fontMetrics().averageCharWidth();
    // Command lines and paths run long: cut, and whole in the tooltip.
    table->setTextElideMode(Qt::ElideMiddle);
    for (const auto& [column, characters] :
         {std::pair{FindingsModel::kCommandLine, 24}, {FindingsModel::kPlace, 14}, {FindingsModel::kExecutable, 28},
          {FindingsModel::kStarted, 19}, {FindingsModel::kParent, 16}})
        table->setColumnWidth(column, qMax(characters * character, header->sectionSizeHint(column)));
    for (const int column : {FindingsModel::kExecutable, FindingsModel::kStarted, FindingsModel::kParent})
        header->hideSection(column);
    // The path takes what room is left.
    header->moveSection(header->visualIndex(FindingsModel::kPath), header->count() - 1);

    header->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(header, &QWidget::customContextMenuRequested, header, [header](const QPoint& at) {
        QMenu* menu = ColumnMenu(header);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(header->viewport()->mapToGlobal(at));
    });
}

QMenu* ColumnMenu(QHeaderView* header) {
    auto* menu = new QMenu(header);
    QAbstractItemModel* model = header->model();
    for (int column = 0; column < model->columnCount(); ++column) {
        QAction* action = menu->addAction(model->headerData(column, Qt::Horizontal).toString());
        action->setCheckable(true);
        action->setChecked(!header->isSectionHidden(column));
        // A row must say whose it is.
        action->setEnabled(column != FindingsModel::kPid && column != FindingsModel::kProcess);
        QObject::connect(action, &QAction::toggled, header,
                         [header, column](bool shown) { header->setSectionHidden(column, !shown); });
    }
    return menu;
}

namespace {

QByteArray Mark(int columns) { return "columns " + QByteArray::number(columns) + ":"; }

}  // namespace

QByteArray SavedColumns(const QHeaderView* header) { return Mark(header->count()) + header->saveState(); }

void RestoreColumns(QHeaderView* header, const QByteArray& saved) {
    const QByteArray mark = Mark(header->count());
    if (saved.startsWith(mark)) header->restoreState(saved.mid(mark.size()));
}
