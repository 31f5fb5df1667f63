// What every unit test shares: a fresh simulated system, captured
// diagnostics, and the check that a test leaves the system as it found it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/sim/SimSystem.h"
#include "search/Diagnostics.h"

// Diagnostics go to a temporary file for as long as this object lives.
class CapturedDiagnostics {
public:
    CapturedDiagnostics() : m_file(std::tmpfile()) { SetDiagnosticStream(m_file); }
    ~CapturedDiagnostics() {
        SetDiagnosticStream(nullptr);
        if (m_file != nullptr) std::fclose(m_file);
    }
    CapturedDiagnostics(const CapturedDiagnostics&) = delete;
    CapturedDiagnostics& operator=(const CapturedDiagnostics&) = delete;

    std::string Text() const {
        if (m_file == nullptr) return "<no temporary file>";
        std::fflush(m_file);
        long end = std::ftell(m_file);
        std::string text(static_cast<size_t>(end), '\0');
        std::rewind(m_file);
        size_t read = std::fread(&text[0], 1, text.size(), m_file);
        text.resize(read);
        std::fseek(m_file, 0, SEEK_END);
        return text;
    }

private:
    FILE* m_file;
};

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        m_openObjects = sim::OpenObjects();
    }

    // Whatever a test did, the code under test must have closed what it
    // opened, released what it allocated and loaded, and misused nothing.
    void TearDown() override {
        const sim::Record& log = sim::Log();
        EXPECT_EQ(sim::OpenObjects(), m_openObjects) << "process, duplicate or token handles left open";
        EXPECT_EQ(log.allocations.size(), log.releases) << "VirtualAlloc without VirtualFree";
        EXPECT_EQ(log.libraryLoads, log.libraryFrees) << "LoadLibrary without FreeLibrary";
        for (const auto& fault : log.faults) ADD_FAILURE() << "fault: " << fault;
    }

    CapturedDiagnostics m_diagnostics;
    size_t m_openObjects = 0;
};
