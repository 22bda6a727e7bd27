#include "platform/opendialog.h"

#include <shobjidl.h>
#include <windows.h>

namespace stats::platform {

namespace {

// A COM interface that is released on every path out of the scope that owns it.
template <typename T> class ComPointer
{
public:
    ComPointer() = default;
    ComPointer(const ComPointer &) = delete;
    ComPointer &operator=(const ComPointer &) = delete;
    ~ComPointer()
    {
        if (m_pointer != nullptr) {
            m_pointer->Release();
        }
    }
    T **out() { return &m_pointer; }
    T *get() const { return m_pointer; }
    T *operator->() const { return m_pointer; }

private:
    T *m_pointer = nullptr;
};

// COM on this thread: normally started by the toolkit already; a start made here is ended
// here.
class ComStart
{
public:
    ComStart() : m_owned(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComStart(const ComStart &) = delete;
    ComStart &operator=(const ComStart &) = delete;
    ~ComStart()
    {
        if (m_owned) {
            ::CoUninitialize();
        }
    }

private:
    bool m_owned;
};

// Points @p dialog at @p folder; a folder the shell cannot find leaves the system's choice.
void startIn(IFileOpenDialog &dialog, const Utf16 &folder)
{
    ComPointer<IShellItem> start;
    if (SUCCEEDED(
            ::SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(start.out())))) {
        dialog.SetFolder(start.get());
    }
}

} // namespace

std::optional<Utf16> askForFileToOpen(const OpenDialogRequest &request)
{
    const ComStart com;
    ComPointer<IFileOpenDialog> dialog;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(dialog.out())))) {
        return std::nullopt;
    }
    const COMDLG_FILTERSPEC filter{request.filterName.c_str(), request.pattern.c_str()};
    dialog->SetFileTypes(1, &filter);
    dialog->SetTitle(request.title.c_str());
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    // Files only, the process's folder left alone, and no entry in the user's recent files.
    dialog->SetOptions(options | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR | FOS_DONTADDTORECENT);
    if (!request.folder.empty()) {
        startIn(*dialog.get(), request.folder);
    }
    ComPointer<IShellItem> chosen;
    if (FAILED(dialog->Show(reinterpret_cast<HWND>(request.owner))) ||
        FAILED(dialog->GetResult(chosen.out()))) {
        return std::nullopt;
    }
    PWSTR name = nullptr;
    if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
        return std::nullopt;
    }
    Utf16 path(name);
    ::CoTaskMemFree(name);
    return path;
}

} // namespace stats::platform
