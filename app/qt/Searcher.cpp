#include "app/qt/Searcher.h"

#include <QtConcurrent/QtConcurrentRun>

Searcher::Searcher(QObject* parent) : QObject(parent) {
    connect(&m_search, &QFutureWatcherBase::finished, this, &Searcher::SearchEnded);
    connect(&m_look, &QFutureWatcherBase::finished, this, &Searcher::LookEnded);
}

// A scan in flight has only its own copies; it ends on its own.
Searcher::~Searcher() {
    m_search.waitForFinished();
    m_look.waitForFinished();
}

void Searcher::Start(std::vector<Target> targets, bool lookAgain, uint64_t question) {
    if (Busy()) {
        m_next = Next{std::move(targets), lookAgain, question};
        return;
    }
    m_search.setFuture(QtConcurrent::run([targets = std::move(targets), lookAgain, question]() mutable {
        if (lookAgain) {
            for (Target& target : targets) {
                if (target.scope != SearchScope::Name) target = TargetFromPath(target.name);
            }
        }
        std::vector<SearchRequest> requests = RequestsFor(targets);
        std::vector<SearchReport> reports = RunSearch(requests);
        return Outcome{question, std::move(targets), std::move(reports)};
    }));
}

void Searcher::SearchEnded() {
    if (m_next) {
        Next next = std::move(*m_next);
        m_next.reset();
        Start(std::move(next.targets), next.lookAgain, next.question);
        return;
    }
    const Outcome outcome = m_search.result();
    emit Searched(outcome.question, outcome.targets, outcome.reports);
}

void Searcher::Look(std::shared_ptr<FreeWatch> watch) {
    if (Looking()) {
        m_nextWatch = std::move(watch);
        return;
    }
    m_watch = std::move(watch);
    m_look.setFuture(QtConcurrent::run([watch = m_watch] { return watch->Look(); }));
}

void Searcher::LookEnded() {
    // The watch's reports are read here, on this thread, once its look is done.
    const std::shared_ptr<FreeWatch> watch = std::move(m_watch);
    const WaitState state = m_look.result();
    if (m_nextWatch) Look(std::move(m_nextWatch));
    emit Looked(watch.get(), state, watch->Reports());
}
