// Searches off the window's thread: a look at every process takes a scan,
// and the window must go on answering while it runs.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <memory>
#include <optional>
#include <cstdint>
#include <utility>
#include <vector>

#include "app/qt/Targets.h"
#include "search/Search.h"
#include "search/Wait.h"

class Searcher : public QObject {
    Q_OBJECT

public:
    explicit Searcher(QObject* parent = nullptr);
    ~Searcher() override;

    // Searches the targets; with `lookAgain`, each path is first made a
    // target again from its name, off the window's thread too: a hung mount
    // must not freeze the window. A search asked for while one runs
    // replaces any waiting one and runs when the running one ends, whose
    // reports are then dropped: they answer a question no longer asked.
    // `question` comes back with the reports, so that the window can tell an
    // answer to a question it no longer asks.
    void Start(std::vector<Target> targets, bool lookAgain, uint64_t question);
    bool Busy() const { return m_search.isRunning(); }

    // One look of a wait; the watch keeps its requests between looks. A look
    // asked for while one runs follows it.
    void Look(std::shared_ptr<FreeWatch> watch);
    bool Looking() const { return m_look.isRunning(); }

signals:
    // `targets` as searched; a report for each that could be.
    void Searched(uint64_t question, const std::vector<Target>& targets, const std::vector<SearchReport>& reports);
    // `watch` tells which wait looked.
    void Looked(const FreeWatch* watch, WaitState state, const std::vector<SearchReport>& reports);

private:
    void SearchEnded();
    void LookEnded();

    struct Outcome {
        uint64_t question;
        std::vector<Target> targets;
        std::vector<SearchReport> reports;
    };
    QFutureWatcher<Outcome> m_search;
    struct Next {
        std::vector<Target> targets;
        bool lookAgain;
        uint64_t question;
    };
    std::optional<Next> m_next;
    QFutureWatcher<WaitState> m_look;
    std::shared_ptr<FreeWatch> m_watch;
    std::shared_ptr<FreeWatch> m_nextWatch;
};
