#pragma once
// The installer logic's own state, grouped by what it serves. Owned by InstallerLogic::Impl; the loop thread
// changes it, and the atomics are read on the splash UI thread and the installer tasks' threads too.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "logic/logic/Events.h"
#include "logic/logic/InstallerDecisions.h"

namespace Nolvar {

// Where the run stands and what may still end it.
struct RunFlow {
    std::atomic<RunState> state{RunState::Initial};
    bool configured = false;       // the configuration is parsed and its products are known
    // Start was pressed before the configuration was parsed: it is taken once nothing stands in the way.
    bool startHeld = false;
    // Set by the first road that ends the run (exit, Ready, the end of the installation); it acts once.
    std::atomic<bool> exitRequested{false};
    std::atomic<bool> startPressed{false};
    bool ownsMutex = false;        // this process holds the single-instance mutex
    bool productRunning = false;   // a product of the bundle was found running
    // Installers started and not yet reported; the run does not end while one runs.
    int runningInstallers = 0;
    bool stopWhenInstallersEnd = false;

    // The run is over or on its way out: reports and the skip road change nothing more.
    bool Ending() const { return state.load() == RunState::Exit || exitRequested.load(); }
};

// The download side of the run.
struct DownloadFlow {
    bool configurationTaken = false;   // the configuration's first outcome was acted on
    bool bundleStarted = false;
    std::int64_t bundleStart = 0;      // steady-clock nanoseconds of the first product download's start
    bool failedBeforeStart = false;    // a product download failed before Start: Start brings up the decision
    StartScreenState startScreen = StartScreenState::NotShown;
};

// Failed product downloads and installations of the run, all items together.
struct ErrorCounts {
    std::atomic<std::int32_t> downloads{0};
    std::atomic<std::int32_t> installs{0};
};

// Statistics events sent at most once per process.
struct OnceReports {
    std::once_flag startScreenShown;
    std::once_flag downloadScreenShown;
    std::once_flag startImageAdded;
};

} // namespace Nolvar
