#include "settings.h"

#include <QDir>
#include <QSettings>
#include <QWidget>

#include <shobjidl.h>
#include <windows.h>

namespace stats::app {

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
    T *operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

private:
    T *m_pointer = nullptr;
};

} // namespace

void keepNoSettings()
{
    // The native settings are the registry, which a path cannot redirect: every setting that
    // Qt lets a program place goes to an INI file instead, in a folder below a device, which
    // cannot be made.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    for (const auto scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings::setPath(QSettings::IniFormat, scope, QStringLiteral("//./NUL/settings"));
    }
}

QString askForImage(QWidget *parent, const QString &folder)
{
    // Windows' own dialog, asked for directly: Qt's file dialog reads and writes its settings
    // in the registry (HKCU\Software\QtProject) whatever the default format, and creates the
    // key just by reading it.
    // COM is normally started on this thread by Qt already; a start here is ended here.
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    struct ComEnd
    {
        bool owned;
        ~ComEnd()
        {
            if (owned) {
                CoUninitialize();
            }
        }
    } end{SUCCEEDED(started)};
    ComPointer<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(dialog.out())))) {
        return {};
    }
    const COMDLG_FILTERSPEC filter{L"NDS Roms", L"*.nds"};
    dialog->SetFileTypes(1, &filter);
    dialog->SetTitle(L"Open Rom");
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    // Files only, the process's folder left alone, and no entry in the user's recent files.
    dialog->SetOptions(options | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR | FOS_DONTADDTORECENT);
    if (!folder.isEmpty()) {
        const QString native = QDir::toNativeSeparators(folder);
        ComPointer<IShellItem> start;
        if (SUCCEEDED(SHCreateItemFromParsingName(reinterpret_cast<PCWSTR>(native.utf16()), nullptr,
                                                  IID_PPV_ARGS(start.out())))) {
            dialog->SetFolder(start.operator->());
        }
    }
    const HWND owner =
        parent != nullptr ? reinterpret_cast<HWND>(parent->window()->winId()) : nullptr;
    ComPointer<IShellItem> chosen;
    if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(chosen.out()))) {
        return {};
    }
    PWSTR name = nullptr;
    if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
        return {};
    }
    const QString path = QDir::fromNativeSeparators(QString::fromWCharArray(name));
    CoTaskMemFree(name);
    return path;
}

} // namespace stats::app
