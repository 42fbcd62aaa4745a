#pragma once
// The folder picker for the installation folder (OK only for a folder the installer can write to) and the save
// dialog for the licence text. Both are owned by the splash's main window and run on the calling thread.
#include <filesystem>
#include <string>

namespace Nolvar::FileDialog {

// The chosen folder; empty when the user cancelled or the dialog could not be shown. A folder that does not exist
// opens the picker at its parent.
std::filesystem::path SelectFolder(int titleTextId, const std::filesystem::path& initialFolder);

// The chosen file; empty when cancelled, or at once for a suggested name of 260 characters or more.
std::filesystem::path SaveTextFile(const std::wstring& suggestedName);

// Whether the folder exists and can be opened for writing.
bool FolderWritable(const std::filesystem::path& folder);

} // namespace Nolvar::FileDialog
