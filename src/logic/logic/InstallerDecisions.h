#pragma once
// The rules by which the installer logic moves a run on, as pure functions of its run state, its item list and
// an installer's exit state. The handlers apply them; each rule can be tested alone.
#include <cstddef>
#include <cstdint>

#include "logic/logic/Events.h"
#include "logic/logic/InstallerItem.h"
#include "utils/ExitState.h"

namespace Nolvar {

// How a posted state meets the current one: a second Start is ignored, a Start before the configuration is parsed
// waits for it, the configuration's Ready never takes back a Start pressed meanwhile, and after the exit only the
// exit again is taken.
enum class StateChange { Take, RepeatedStart, HoldUntilConfigured, ReadyAfterStart, AfterExit };
StateChange JudgeStateChange(RunState current, RunState posted, bool configured);

// The start screen: shown by the first of the start image's outcome and the end of the wait for it.
enum class StartScreenState { NotShown, ShownWithoutImage, ShownWithImage };
enum class StartImageNews { Arrived, Failed, WaitOver };
// The first news shows the screen, with the image only when it arrived; an image arriving after the screen showed
// without it is handed over to be shown where the user is; anything else changes nothing.
enum class StartScreenStep { ShowWithImage, ShowWithoutImage, HandOverImage, Nothing };
StartScreenStep NextStartScreenStep(StartScreenState state, StartImageNews news);
// The state a step leaves the start screen in.
StartScreenState StartScreenAfter(StartScreenState state, StartScreenStep step);

// Which download reports may change an item: a start or progress report while its download is unsettled (new,
// downloading or failed), a finish while downloading or failed (a retried download may finish late), a failure
// only while downloading. Other reports are late or repeated and change nothing.
bool TakesDownloadProgress(ItemStatus status);
bool TakesDownloadFinish(ItemStatus status);
bool TakesDownloadFailure(ItemStatus status);

inline constexpr unsigned kFullProgress = 100;

// The progress bar, 0..kFullProgress: a one-product bundle follows the report's own fraction, a larger one the bytes of all
// items; sizes not known yet give 0.
unsigned DownloadProgressPercent(const InstallerItems& items, double reportedFraction);

// Where the product downloads stand. A skipped item is settled: neither a running download nor a failed one, so
// no rule waits for it and "every item failed" neither counts it nor is kept from holding by it.
struct DownloadOutcomes {
    std::size_t items = 0;
    std::size_t failed = 0;
    std::size_t downloaded = 0;
    std::size_t skipped = 0;
    std::uint64_t totalBytes = 0;   // over all items, skipped ones too
    std::uint64_t failedReceivedBytes = 0;
    std::uint64_t failedTotalBytes = 0;

    bool AllFailed() const { return failed != 0 && failed + skipped == items; }
    bool NoneRunning() const { return failed + downloaded + skipped == items; }
    // Every item downloaded or skipped (true for no items): the installations may start.
    bool AllDownloaded() const { return downloaded + skipped == items; }
};
DownloadOutcomes CountDownloadOutcomes(const InstallerItems& items);

// What a counted product download failure leads to: nothing while another download still runs; then the retry
// decision, at once while the run is working, else once Start is pressed.
enum class AfterDownloadFailure { WaitForRunningDownloads, DecideNow, DecideAtStart };
AfterDownloadFailure NextAfterDownloadFailure(const DownloadOutcomes& outcomes, RunState state);

// Every item installed or skipped (true for no items): the run is finished.
bool AllDone(const InstallerItems& items);

// The free disk space an installation needs: five times the total bytes of the items not installed or skipped.
std::uint64_t RequiredDiskSpace(const InstallerItems& items);

// What an installer's exit state means for its item: 0 and 9 succeed (the product is then looked for), 4 says the
// product runs and blocks its reinstallation, any other fails.
enum class InstallerOutcome { Succeeded, ProductRunning, Failed };
InstallerOutcome OutcomeOfExitState(ExitState state);

// The exit state the retry pop-up names for an item: its launcher's last one, or NotReported when it has no
// launcher (a failed download) or its installer succeeded (its product was not found afterwards).
ExitState RetryPopupExitState(const InstallerItem& item);

// What Try again does with an item: a failed download is downloaded again, a failed installation started again.
enum class RetryRoad { None, Download, Install };
RetryRoad RetryRoadOf(ItemStatus status);

// The item whose product the run waits for once everything is installed: the first of install order 0, when its
// arguments hold "/APP_LAUNCH_METHOD=Auto"; null when the run ends at once.
const InstallerItem* ProductToWaitFor(const InstallerItems& items);

} // namespace Nolvar
