#include "splash/win/FileDialog.h"

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <any>
#include <atomic>
#include <system_error>

#include <glog/logging.h>

#include "QorPointer/UniqueHandle.h"
#include "splash/win/CallFailed.h"
#include "splash/win/ImageLoader.h"
#include "utils/Localization.h"
#include "utils/Settings.h"

namespace Nolvar::FileDialog {
namespace {

using Microsoft::WRL::ComPtr;

constexpr FILEOPENDIALOGOPTIONS kFolderOptions =
    FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST | FOS_NODEREFERENCELINKS;
constexpr size_t kPathBuffer = 260;

HWND MainWindow() {
    try {
        const std::any value = Settings::Get(Settings::ID::MainWindow);
        if (const HWND* window = std::any_cast<HWND>(&value)) return *window;
    } catch (const std::exception& e) {
        LOG(WARNING) << "Main window setting unreadable: " << e.what();
    }
    return nullptr;
}

std::filesystem::path FileSystemPath(IShellItem* item) {
    if (!item) return {};
    wchar_t* raw = nullptr;
    // Virtual items (This PC, libraries) have no file-system path: a normal answer, logged at INFO.
    if (CallFailed(item->GetDisplayName(SIGDN_FILESYSPATH, &raw), "IShellItem::GetDisplayName", google::GLOG_INFO) ||
        !raw)
        return {};
    Core::UniqueCoTaskPtr<wchar_t*> owner(raw);
    return std::filesystem::path(raw);
}

class FileDialogEvents;
// The sink of the picker running on this thread, for the OK-button hook.
thread_local FileDialogEvents* t_activeSink = nullptr;

// Keeps the picker's OK button enabled only for a writable folder; answers only the interfaces it implements.
class FileDialogEvents final : public IFileDialogEvents {
public:
    FileDialogEvents() {
        m_hook.reset(SetWindowsHookExW(WH_CALLWNDPROCRET, &FileDialogEvents::Hook, nullptr, GetCurrentThreadId()));
        t_activeSink = this;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_INVALIDARG;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IFileDialogEvents)) {
            *object = static_cast<IFileDialogEvents*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = m_references > 0 ? --m_references : 0;
        if (left == 0) delete this;
        return left;
    }

    // IFileDialogEvents
    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog* dialog) override {
        update(dialog);
        return m_writable ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog*, IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* dialog) override {
        if (!m_okButtonFound && dialog) {
            ComPtr<IOleWindow> oleWindow;
            HWND dialogWindow = nullptr;
            if (!CallFailed(dialog->QueryInterface(IID_PPV_ARGS(&oleWindow)), "QueryInterface(IOleWindow)") &&
                !CallFailed(oleWindow->GetWindow(&dialogWindow), "IOleWindow::GetWindow") && dialogWindow) {
                m_okButton = GetDlgItem(dialogWindow, IDOK);
                m_okButtonFound = true;
            }
        }
        update(dialog);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog* dialog) override {
        update(dialog);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog*, IShellItem*, FDE_SHAREVIOLATION_RESPONSE*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog*, IShellItem*, FDE_OVERWRITE_RESPONSE*) override { return S_OK; }

private:
    ~FileDialogEvents() {
        if (t_activeSink == this) t_activeSink = nullptr;
    }

    // The writable state is always computed; only the button's enabling needs the button.
    void update(IFileDialog* dialog) {
        ComPtr<IShellItem> selection;
        std::filesystem::path folder;
        // No selection is no failure: each of the two asks may find nothing.
        if (dialog && SUCCEEDED(dialog->GetCurrentSelection(&selection))) folder = FileSystemPath(selection.Get());
        // Nothing selected: OK picks the folder the picker shows.
        if (folder.empty() && dialog && SUCCEEDED(dialog->GetFolder(&selection))) folder = FileSystemPath(selection.Get());
        m_writable = !folder.empty() && FolderWritable(folder);
        if (m_okButton && IsWindow(m_okButton) && (IsWindowEnabled(m_okButton) != FALSE) != m_writable)
            EnableWindow(m_okButton, m_writable);
    }

    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp) {
        if (code >= 0 && t_activeSink) {
            const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lp);
            FileDialogEvents* sink = t_activeSink;
            if (message->message == WM_ENABLE && sink->m_okButton && message->hwnd == sink->m_okButton &&
                (IsWindowEnabled(sink->m_okButton) != FALSE) != sink->m_writable) {
                // The dialog re-enables its button by itself.
                EnableWindow(sink->m_okButton, sink->m_writable);
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }

    std::atomic<ULONG> m_references{0};
    Core::UniqueHook m_hook;
    bool m_okButtonFound = false;
    HWND m_okButton = nullptr;
    bool m_writable = false;
};

void SetInitialFolder(IFileOpenDialog* dialog, const std::filesystem::path& initialFolder) {
    if (initialFolder.empty()) return;
    std::error_code error;
    const std::filesystem::path folder =
        std::filesystem::is_directory(initialFolder, error) ? initialFolder : initialFolder.parent_path();
    PIDLIST_ABSOLUTE list = nullptr;
    SFGAOF attributes = 0;
    if (CallFailed(SHParseDisplayName(folder.c_str(), nullptr, &list, SFGAO_FOLDER, &attributes), "SHParseDisplayName",
                   google::GLOG_WARNING) ||
        !list) {
        LOG(WARNING) << "Initial folder cannot be parsed; the picker chooses its own";
        return;
    }
    Core::UniqueCoTaskPtr<PIDLIST_ABSOLUTE> owner(list);
    ComPtr<IShellItem> item;
    if (!CallFailed(SHCreateShellItem(nullptr, nullptr, list, &item), "SHCreateShellItem", google::GLOG_WARNING))
        dialog->SetFolder(item.Get());
}

} // namespace

bool FolderWritable(const std::filesystem::path& folder) {
    Core::UniqueKernelHandle handle(CreateFileW(folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.valid();
}

std::filesystem::path SelectFolder(int titleTextId, const std::filesystem::path& initialFolder) {
    ComApartment com;
    if (!com.ok()) return {};
    std::filesystem::path chosen;
    {
        ComPtr<IFileOpenDialog> dialog;
        if (CallFailed(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&dialog)),
                       "CoCreateInstance(CLSID_FileOpenDialog)"))
            return {};
        dialog->ClearClientData();
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions(options | kFolderOptions);
        dialog->SetTitle(Tr(titleTextId).c_str());
        SetInitialFolder(dialog.Get(), initialFolder);

        // Our own reference keeps the sink alive for the whole dialog.
        ComPtr<IFileDialogEvents> sink(new FileDialogEvents());
        DWORD cookie = 0;
        const bool advised =
            !CallFailed(dialog->Advise(sink.Get(), &cookie), "IFileDialog::Advise", google::GLOG_WARNING);
        const HRESULT shown = dialog->Show(MainWindow());
        if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
            // The user cancelled: an empty path.
        } else if (!CallFailed(shown, "IFileDialog::Show", google::GLOG_WARNING)) {
            ComPtr<IShellItem> result;
            if (!CallFailed(dialog->GetResult(&result), "IFileDialog::GetResult"))
                chosen = FileSystemPath(result.Get());
        }
        if (advised) dialog->Unadvise(cookie);
    }
    return chosen;
}

std::filesystem::path SaveTextFile(const std::wstring& suggestedName) {
    if (suggestedName.size() >= kPathBuffer) return {};
    wchar_t file[kPathBuffer] = {};
    suggestedName.copy(file, suggestedName.size());
    static const wchar_t kFilter[] = L"Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = MainWindow();
    dialog.lpstrFilter = kFilter;
    dialog.lpstrFile = file;
    dialog.nMaxFile = static_cast<DWORD>(kPathBuffer);
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    dialog.lpstrDefExt = L"txt";
    if (!GetSaveFileNameW(&dialog)) return {};
    return std::filesystem::path(file);
}

} // namespace Nolvar::FileDialog
