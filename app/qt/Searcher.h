// Searches off the window's thread: a look at every process takes a scan,
// and the window must go on answering while it runs.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <memory>
#include <optional>
#include <vector>

#include "search/Search.h"
#include "search/Wait.h"

class Searcher : public QObject {
    Q_OBJECT

public:
    explicit Searcher(QObject* parent = nullptr);
    ~Searcher() override;

    // Runs the requests. A search asked for while one runs replaces any
    // waiting one and runs when the running one ends, whose reports are
    // then dropped: they answer a question no longer asked.
    void Start(std::vector<SearchRequest> requests);
    bool Busy() const { return m_search.isRunning(); }

    // One look of a wait; the watch keeps its requests between looks. A look
    // asked for while one runs follows it.
    void Look(std::shared_ptr<FreeWatch> watch);
    bool Looking() const { return m_look.isRunning(); }

signals:
    void Searched(const std::vector<SearchReport>& reports);
    // `watch` tells which wait looked.
    void Looked(const FreeWatch* watch, WaitState state, const std::vector<SearchReport>& reports);

private:
    void SearchEnded();
    void LookEnded();

    QFutureWatcher<std::vector<SearchReport>> m_search;
    std::optional<std::vector<SearchRequest>> m_next;
    QFutureWatcher<WaitState> m_look;
    std::shared_ptr<FreeWatch> m_watch;
    std::shared_ptr<FreeWatch> m_nextWatch;
};
