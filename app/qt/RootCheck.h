// "Check all…": the search again as root, through `pkexec fencat --json`, so
// that the window itself never runs privileged. Its findings are folded into
// the window's rows.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "app/qt/Targets.h"
#include "search/Finding.h"

class RootCheck : public QObject {
    Q_OBJECT

public:
    explicit RootCheck(QObject* parent = nullptr);

    // pkexec where it is installed, else empty.
    static QString Pkexec();
    // fencat beside this program, else on PATH.
    static QString Fencat();
    // fencat's arguments for the targets: those that can be searched, and
    // those this user was refused (root may not be).
    static QStringList Arguments(const std::vector<Target>& targets);
    // Whether a check as root could search a target this user could not.
    static bool RootMayReach(const Target& target);
    // What to run in a terminal instead, where there is no pkexec.
    static QString TerminalCommand(const std::vector<Target>& targets);

    // Starts the check of the window's `question`; false with `error` set
    // when it cannot run here. A check of an earlier question still running
    // is given up: its answer would be to what is no longer asked.
    bool Start(const std::vector<Target>& targets, uint64_t question, QString& error);
    bool Running() const { return m_process.state() != QProcess::NotRunning; }

signals:
    // `notice`: what fencat said on standard error (processes even root could not examine).
    void Found(uint64_t question, const std::vector<Finding>& findings, const QString& notice);
    void Failed(uint64_t question, const QString& why);

private:
    void Ended(int status, QProcess::ExitStatus how);

    QProcess m_process;
    uint64_t m_question = 0;
};

// fencat's JSON Lines as findings: names back to their bytes (\udcXX to the
// byte XX), access letters to access bits. Lines that are no finding are
// skipped.
std::vector<Finding> ParseFencatJson(const QByteArray& lines);
