#include "app/qt/FindingsModel.h"

#include <QDateTime>
#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

#include "linux/Owner.h"
#include "search/Identity.h"
#include "app/qt/AdminEnd.h"
#include "app/qt/ProcessState.h"
#include "cli/Platform.h"
#include "search/ResultLine.h"
#include "search/Uses.h"

namespace {

using Key = std::pair<uint32_t, Text>;

Key KeyOf(const ResultRow& row) { return {row.pid, row.path}; }

std::map<Key, size_t> IndexOf(const std::vector<ResultRow>& rows) {
    std::map<Key, size_t> index;
    for (size_t i = 0; i < rows.size(); ++i) index.emplace(KeyOf(rows[i]), i);
    return index;
}

void AddDescriptor(ResultRow& row, int64_t descriptor) {
    if (descriptor == Finding::kUnknown) return;
    const auto at = std::lower_bound(row.descriptors.begin(), row.descriptors.end(), descriptor);
    if (at == row.descriptors.end() || *at != descriptor) row.descriptors.insert(at, descriptor);
}

// Whether `kept` shows anything new.
bool Combine(ResultRow& kept, const ResultRow& other) {
    const uint32_t access = kept.access;
    const size_t descriptors = kept.descriptors.size();
    const int64_t uid = kept.uid;
    kept.access |= other.access;
    for (const int64_t descriptor : other.descriptors) AddDescriptor(kept, descriptor);
    if (!kept.process) kept.process = other.process;
    if (kept.uid == Finding::kUnknown) kept.uid = other.uid;
    const bool known = kept.identity != nullptr;
    if (!kept.identity) kept.identity = other.identity;
    return kept.access != access || kept.descriptors.size() != descriptors || kept.uid != uid ||
           known != (kept.identity != nullptr);
}

// Who the process is, as far as the row shows it: each look reads it anew.
auto ShownIdentity(const ResultRow& row) {
    static const ProcessIdentity kUnread;
    const ProcessIdentity& id = row.identity ? *row.identity : kUnread;
    return std::make_tuple(row.identity != nullptr, id.exe, id.commandLine, id.startedMs, id.parentPid, id.parentName,
                           PlaceText(id), id.container.id, id.container.pod);
}

// What a row shows beyond its key.
auto ShownFields(const ResultRow& row) {
    return std::tuple_cat(std::tie(row.processName, row.uid, row.access, row.descriptors), ShownIdentity(row));
}

// Names are bytes; shown as a line of text shows them, never as raw controls.
QString Shown(const Text& bytes) { return QString::fromUtf8(VisibleText(bytes).c_str()); }

const char* const kHeaders[FindingsModel::kColumns] = {"PID",          "Process",        "User",       "Use",
                                                       "Descriptor",   "Path",           "Command Line",
                                                       "Unit/Container", "Executable",   "Started",    "Parent"};

// An argument as a shell would need it to stay one: quoted where it holds a
// blank or is empty.
QString Argument(const Text& argument) {
    const QString shown = Shown(argument);
    if (!shown.isEmpty() && !shown.contains(QLatin1Char(' ')) && !shown.contains(QLatin1Char('\'')))
        return shown;
    return QLatin1Char('\'') + QString(shown).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

// The rows, and where each key's row is.
std::vector<ResultRow> Fold(const std::vector<Finding>& findings, std::map<Key, size_t>& index) {
    std::vector<ResultRow> rows;
    for (const Finding& finding : findings) {
        ResultRow row;
        row.pid = finding.pid;
        row.processName = finding.processName;
        row.path = finding.path;
        row.uid = finding.uid;
        row.access = finding.access;
        row.process = finding.process;
        row.identity = finding.identity;
        AddDescriptor(row, finding.descriptor);
        const auto [at, added] = index.emplace(KeyOf(row), rows.size());
        if (added)
            rows.push_back(std::move(row));
        else
            Combine(rows[at->second], row);
    }
    return rows;
}

}  // namespace

std::vector<ResultRow> FoldFindings(const std::vector<Finding>& findings) {
    std::map<Key, size_t> index;
    return Fold(findings, index);
}

void FindingsModel::Update(const std::vector<Finding>& findings, const std::function<bool(const ResultRow&)>& unseen) {
    std::map<Key, size_t> stays;
    std::vector<ResultRow> fresh = Fold(findings, stays);
    for (size_t i = m_rows.size(); i-- > 0;) {
        if (stays.count(KeyOf(m_rows[i])) != 0 || (unseen && unseen(m_rows[i]))) continue;
        beginRemoveRows(QModelIndex(), static_cast<int>(i), static_cast<int>(i));
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(i));
        endRemoveRows();
    }
    Absorb(std::move(fresh), true);
}

void FindingsModel::Merge(const std::vector<Finding>& findings) { Absorb(FoldFindings(findings), false); }

void FindingsModel::MergeFromRoot(const std::vector<Finding>& findings, const QDateTime& at) {
    std::map<Key, size_t> found;
    std::vector<ResultRow> rows = Fold(findings, found);
    for (size_t i = m_rows.size(); i-- > 0;) {
        if (!m_rows[i].rootAt.isValid() || found.count(KeyOf(m_rows[i])) != 0) continue;
        beginRemoveRows(QModelIndex(), static_cast<int>(i), static_cast<int>(i));
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(i));
        endRemoveRows();
    }
    const std::map<Key, size_t> here = IndexOf(m_rows);
    for (ResultRow& row : rows) {
        const auto kept = here.find(KeyOf(row));
        // A row this user's own look found stays its own: it holds the process.
        if (kept != here.end() && !m_rows[kept->second].rootAt.isValid()) continue;
        row.rootAt = at;
        row.started = ProcessStart(row.pid);
    }
    Absorb(std::move(rows), false);
    for (ResultRow& row : m_rows) {
        if (!row.rootAt.isValid() || row.rootAt == at || found.count(KeyOf(row)) == 0) continue;
        row.rootAt = at;
        row.started = ProcessStart(row.pid);
    }
    if (!m_rows.empty()) emit dataChanged(index(0, kUse), index(rowCount() - 1, kUse));
}

void FindingsModel::DropRootRowsOf(const std::vector<uint32_t>& pids) {
    for (size_t i = m_rows.size(); i-- > 0;) {
        const ResultRow& row = m_rows[i];
        if (!row.rootAt.isValid() || std::find(pids.begin(), pids.end(), row.pid) == pids.end()) continue;
        beginRemoveRows(QModelIndex(), static_cast<int>(i), static_cast<int>(i));
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(i));
        endRemoveRows();
    }
}

int FindingsModel::RootRows() const {
    return static_cast<int>(std::count_if(m_rows.begin(), m_rows.end(), [](const ResultRow& row) { return row.rootAt.isValid(); }));
}

void FindingsModel::Absorb(std::vector<ResultRow> rows, bool replace) {
    const std::map<Key, size_t> here = IndexOf(m_rows);
    std::vector<ResultRow> added;
    std::vector<int> changed;
    for (ResultRow& row : rows) {
        const auto found = here.find(KeyOf(row));
        if (found == here.end()) {
            added.push_back(std::move(row));
            continue;
        }
        ResultRow& kept = m_rows[found->second];
        bool shows;
        if (replace) {
            shows = ShownFields(kept) != ShownFields(row);
            kept = std::move(row);
        } else {
            shows = Combine(kept, row);
        }
        if (shows) changed.push_back(static_cast<int>(found->second));
    }
    // Most looks find what the last one did; only a row that shows something
    // new is repainted and sorted again.
    for (const int row : changed) emit dataChanged(index(row, 0), index(row, kColumns - 1));
    if (added.empty()) return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
    std::move(added.begin(), added.end(), std::back_inserter(m_rows));
    endInsertRows();
}

void FindingsModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

QString FindingsModel::UseInWords(uint32_t access) { return QString::fromUtf8(UseWords(access).c_str()); }

QString FindingsModel::Text(const ResultRow& row, int column) const {
    switch (column) {
    case kPid: return QString::number(row.pid);
    case kProcess: return Shown(row.processName);
    case kUser: return UserName(row.uid);
    case kUse:
        if (!row.rootAt.isValid()) return UseInWords(row.access);
        return QStringLiteral("%1 (as root, %2)")
            .arg(UseInWords(row.access), row.rootAt.toString(QStringLiteral("HH:mm:ss")));
    case kDescriptor: {
        QStringList numbers;
        for (const int64_t descriptor : row.descriptors) numbers << QString::number(descriptor);
        return numbers.join(QStringLiteral(", "));
    }
    case kPath: return Shown(row.path);
    default: return WhoText(row, column);
    }
}

QString FindingsModel::WhoText(const ResultRow& row, int column) const {
    if (!row.identity) return QString();
    const ProcessIdentity& id = *row.identity;
    switch (column) {
    case kCommandLine: {
        QStringList arguments;
        for (const ::Text& argument : id.commandLine) arguments << Argument(argument);
        return arguments.join(QLatin1Char(' '));
    }
    case kPlace: return Shown(PlaceText(id));
    case kExecutable: return Shown(id.exe);
    case kStarted:
        if (id.startedMs == ProcessIdentity::kUnknown) return QString();
        return QDateTime::fromMSecsSinceEpoch(id.startedMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case kParent:
        if (id.parentPid == ProcessIdentity::kUnknown) return QString();
        return id.parentName.empty() ? QString::number(id.parentPid)
                                     : QStringLiteral("%1 (%2)").arg(Shown(id.parentName)).arg(id.parentPid);
    }
    return QString();
}

// Everything known of who the process is, whole, for the process's tooltip.
QString FindingsModel::Who(const ResultRow& row) const {
    QStringList lines{QStringLiteral("%1, process %2").arg(Shown(row.processName)).arg(row.pid)};
    if (!row.identity) return lines.front();
    const ProcessIdentity& id = *row.identity;
    const std::pair<const char*, QString> parts[] = {
        {"Executable", WhoText(row, kExecutable)},
        {"Command line", id.commandLineRead ? WhoText(row, kCommandLine) : QString()},
        {"Started", WhoText(row, kStarted)},
        {"Parent", WhoText(row, kParent)},
        {id.userUnit ? "Unit (the user's own)" : "Unit", Shown(id.unit)},
        {"Container", id.container.runtime.empty() ? QString()
                                                    : Shown(id.container.runtime + " " + id.container.id)},
        {"Pod", Shown(id.container.pod)},
    };
    for (const auto& [label, text] : parts) {
        if (!text.isEmpty()) lines << QStringLiteral("%1: %2").arg(QLatin1String(label), text);
    }
    QStringList services;
    for (const ::Text& service : id.services) services << Shown(service);
    if (!services.isEmpty()) lines << QStringLiteral("Services: ") + services.join(QStringLiteral(", "));
    return lines.join(QLatin1Char('\n'));
}

QString FindingsModel::RowText(int row) const {
    QStringList columns;
    for (int column = 0; column < kCopiedColumns; ++column) columns << Text(Row(row), column);
    return columns.join(QLatin1Char('\t'));
}

QString FindingsModel::HeaderText() const {
    QStringList columns;
    for (int column = 0; column < kCopiedColumns; ++column) columns << QString::fromLatin1(kHeaders[column]);
    return columns.join(QLatin1Char('\t'));
}

QIcon FindingsModel::ProcessIcon(const ResultRow& row) const {
    const QString name = QString::fromUtf8(row.processName.c_str());
    const auto cached = m_icons.constFind(name);
    if (cached != m_icons.constEnd()) return *cached;
    const QIcon icon = QIcon::hasThemeIcon(name) ? QIcon::fromTheme(name) : QIcon();
    m_icons.insert(name, icon);
    return icon;
}

QString FindingsModel::UserName(int64_t uid) const {
    if (uid == Finding::kUnknown) return QString();
    const auto cached = m_users.constFind(uid);
    if (cached != m_users.constEnd()) return *cached;
    const QString name = QString::fromLocal8Bit(UserNameOf(uid).c_str());
    m_users.insert(uid, name);
    return name;
}

int FindingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FindingsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant FindingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return QVariant();
    const ResultRow& row = Row(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: return Text(row, column);
    // Cut text is read in full here.
    case Qt::ToolTipRole:
        if (column == kProcess) return Who(row);
        if (column == kUse && row.rootAt.isValid())
            return QStringLiteral("%1: found by the check as root at %2, which this user's looks cannot see again")
                .arg(UseInWords(row.access), row.rootAt.toString(QStringLiteral("HH:mm:ss")));
        if (column == kUser && NeedsAdministrator(row))
            return QStringLiteral("%1: ending it needs the administrator's rights").arg(Text(row, column));
        return column == kPid ? QVariant() : QVariant(Text(row, column));
    case Qt::DecorationRole: return column == kProcess ? QVariant(ProcessIcon(row)) : QVariant();
    case Qt::TextAlignmentRole:
        return column == kPid || column == kDescriptor ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    case kSortRole:
        if (column == kPid) return QVariant(qulonglong(row.pid));
        if (column == kDescriptor) return QVariant(qlonglong(row.descriptors.empty() ? -1 : row.descriptors.front()));
        if (column == kStarted) return QVariant(qlonglong(row.identity ? row.identity->startedMs : -1));
        return Text(row, column);
    }
    return QVariant();
}

QVariant FindingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
        return QVariant();
    return QString::fromLatin1(kHeaders[section]);
}
