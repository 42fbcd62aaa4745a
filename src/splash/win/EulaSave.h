#pragma once
// Saving the licence agreement as a text file (the save button of the licence screen).
#include <functional>
#include <string>

#include "QorFilesystem/Path.h"

namespace Nolvar {

// The text with every line end (CR LF, LF or a lone CR) written as exactly one CR LF.
std::string WithWindowsLineEnds(const std::string& text);

enum class TextFileWrite { Written, CannotOpen, WriteFailed };

// Writes the text (line ends as above) to the file, replacing what it held. Others may read and write the file
// meanwhile.
TextFileWrite WriteTextFileWithWindowsLineEnds(const ioPath& path, const std::string& text);

// Asks `choosePath` for a file (suggesting "Nolvaria License Agreement"), then writes the text that `readText`
// gives there. A cancelled choice (empty path) does nothing; every failure is logged and kept from the caller.
void SaveEula(const std::function<ioPath(const std::wstring& suggestedName)>& choosePath,
              const std::function<std::string()>& readText);

} // namespace Nolvar
