// Ending the processes of the selected rows: a confirmation that names them,
// SIGTERM through the process as the search held it, and after a moment an
// offer of SIGKILL to those still there. Other users' processes are ended
// with the administrator's rights (AdminEnd), asked for once. A process that could not be held
// is not signalled at all: its ID may by now be another's.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

#include "app/qt/FindingsModel.h"

class AdminEnd;

class EndProcess : public QObject {
    Q_OBJECT

public:
    explicit EndProcess(QWidget* window);

    // How long a process has to end on SIGTERM before SIGKILL is offered.
    static constexpr int kGraceMilliseconds = 1500;
    // The grace in force: kGraceMilliseconds unless tests shortened it.
    static int GraceMilliseconds();
    static void SetGraceMilliseconds(int milliseconds);

    // The rows' processes, each once.
    void Start(const std::vector<ResultRow>& rows);

signals:
    // What became of them, in one line for the window; then it looks again.
    void Done(const QString& outcome);
    // A look as root found these processes using none of their rows' files.
    void NotUsing(const std::vector<uint32_t>& pids);

private:
    void OfferKill();
    QString Send(const ResultRow& row, int signal, const char* verb);

    QPointer<QWidget> m_window;
    AdminEnd* m_admin;
    std::vector<ResultRow> m_sent;  // given SIGTERM, not yet known to have ended
};

// "python3 (PID 4242)"
QString ProcessLabel(const ResultRow& row);
