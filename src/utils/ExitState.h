#pragma once
// The result of one product installer, as the launcher reports it, the logic counts it and the window shows it.
#include <cstdint>

namespace Nolvar {

// Its exit code when it lies in -1..9, otherwise 1.
using ExitState = std::int32_t;

// The exit states by name; the numbers are the product installers' exit codes.
namespace ExitStates {
enum : ExitState {
    NotReported = -1,   // after a time-out, an interruption or a failed start
    Success = 0,
    UnknownError = 1,
    InstallerPreparationCancelled = 2,
    InstallerRetryCancelled = 3,
    ProductStartedOnReinstall = 4,
    ProductStartedOnUninstall = 5,
    InstallerError = 6,
    UninstallerError = 7,
    IncorrectPath = 8,
    UnnamedSuccess = 9,   // has no statistics name of its own, yet counts as a success
};
} // namespace ExitStates

// Success and UnnamedSuccess.
constexpr bool IsSuccessfulExit(ExitState state) {
    return state == ExitStates::Success || state == ExitStates::UnnamedSuccess;
}

} // namespace Nolvar
