// Ending other users' processes with the administrator's rights. pkexec runs
// `fencat -k -TERM --pid PID FILE`: as root, fencat signals a process only
// where its own look finds it to use the file, through the hold that look
// took. An ID that another process has taken since the window's look ends
// nothing.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/qt/FindingsModel.h"

class AdminEnd : public QObject {
    Q_OBJECT

public:
    explicit AdminEnd(QObject* parent = nullptr);

    // fencat's arguments to send `signal` to the rows' processes, each only
    // if it still uses its row's file.
    static QStringList Arguments(const std::vector<ResultRow>& rows, const QString& signal);

    // False with `error` set when it cannot run here or one already runs.
    bool Start(const std::vector<ResultRow>& rows, QString& error);
    bool Running() const { return m_process.state() != QProcess::NotRunning; }

signals:
    // What became of them, in one line for the window.
    void Done(const QString& outcome);
    // Root looked and found these processes using none of the files.
    void NotUsing(const std::vector<uint32_t>& pids);

private:
    void Ended(int status, QProcess::ExitStatus how);

    QProcess m_process;
    std::vector<ResultRow> m_rows;
};

// Whether ending the row's process needs more rights than the window has:
// another user's, where the window does not run as root.
bool NeedsAdministrator(const ResultRow& row);
