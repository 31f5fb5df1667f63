// "Check all…": the search again as root, through `pkexec fencat --json`, so
// that the window itself never runs privileged. Its findings are folded into
// the window's rows.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
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
    // fencat's arguments for the targets.
    static QStringList Arguments(const std::vector<Target>& targets);
    // What to run in a terminal instead, where there is no pkexec.
    static QString TerminalCommand(const std::vector<Target>& targets);

    // Starts the check; false with `error` set when it cannot run here.
    bool Start(const std::vector<Target>& targets, QString& error);
    bool Running() const { return m_process.state() != QProcess::NotRunning; }

signals:
    // `notice`: what fencat said on standard error (processes even root could not examine).
    void Found(const std::vector<Finding>& findings, const QString& notice);
    void Failed(const QString& why);

private:
    void Ended(int status, QProcess::ExitStatus how);

    QProcess m_process;
};

// fencat's JSON Lines as findings: names back to their bytes (\udcXX to the
// byte XX), access letters to access bits. Lines that are no finding are
// skipped.
std::vector<Finding> ParseFencatJson(const QByteArray& lines);
