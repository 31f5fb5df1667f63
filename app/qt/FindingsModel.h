// The findings of a search as a table: one row per process and path, however
// many ways (descriptors, mappings, folders) the process uses the file.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <functional>
#include <memory>
#include <vector>

#include "search/Finding.h"

struct ResultRow {
    uint32_t pid = 0;
    Text processName;
    Text path;
    int64_t uid = Finding::kUnknown;
    uint32_t access = 0;
    std::vector<int64_t> descriptors;  // ascending, each once
    std::shared_ptr<HeldProcess> process;
    std::shared_ptr<const ProcessIdentity> identity;  // null where not read
    // Set where only a check as root found it: when, and the process's start
    // (ProcessStart), so that its ID taken by another is not taken for it.
    QDateTime rootAt;
    uint64_t started = 0;
};

class FindingsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        kPid, kProcess, kUser, kUse, kDescriptor, kPath,
        // Who the process is; not copied with the row.
        kCommandLine, kPlace, kExecutable, kStarted, kParent, kColumns
    };
    // The columns a copied row holds.
    static constexpr int kCopiedColumns = kPath + 1;
    // What the columns sort by: numbers as numbers.
    static constexpr int kSortRole = Qt::UserRole;

    // The findings of a new look: rows that went are removed, rows that stay
    // keep their place (and so the selection), new rows come at the end. A
    // row the look could not have seen (`unseen`) is kept.
    void Update(const std::vector<Finding>& findings, const std::function<bool(const ResultRow&)>& unseen = {});
    // Findings from elsewhere (a check as root) folded into the rows there are.
    void Merge(const std::vector<Finding>& findings);
    // A check as root at `at`: its findings folded in, those it alone found
    // marked; rows of an earlier check that it no longer finds leave.
    void MergeFromRoot(const std::vector<Finding>& findings, const QDateTime& at);
    // How many rows only a check as root found.
    int RootRows() const;
    // Root's rows of these processes, which a look as root no longer found.
    void DropRootRowsOf(const std::vector<uint32_t>& pids);
    void Clear();

    const ResultRow& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }
    const std::vector<ResultRow>& Rows() const { return m_rows; }
    // The row's columns as text, tab-separated, as copied.
    QString RowText(int row) const;
    QString HeaderText() const;

    // How a process uses the file, in words: "open for reading, mapped".
    static QString UseInWords(uint32_t access);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString Text(const ResultRow& row, int column) const;
    QString WhoText(const ResultRow& row, int column) const;
    QString Who(const ResultRow& row) const;
    QIcon ProcessIcon(const ResultRow& row) const;
    QString UserName(int64_t uid) const;
    void Absorb(std::vector<ResultRow> rows, bool replace);

    std::vector<ResultRow> m_rows;
    mutable QHash<QString, QIcon> m_icons;
    mutable QHash<int64_t, QString> m_users;
};

// The findings folded: one row per process and path, in the order first found.
std::vector<ResultRow> FoldFindings(const std::vector<Finding>& findings);
