// The result table: rows selected whole, and type-ahead that finds a row by
// its process name whichever column is current.
#pragma once

#include <QElapsedTimer>
#include <QTableView>

class ResultTable : public QTableView {
    Q_OBJECT

public:
    // `nameColumn`: the column that type-ahead searches.
    ResultTable(int nameColumn, QWidget* parent = nullptr);

    void keyboardSearch(const QString& search) override;

signals:
    // Enter or Return on the table: the user takes its rows.
    void Chosen();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    int m_nameColumn;
    QString m_typed;
    QElapsedTimer m_sinceTyped;
};
