// The floor of the admit path: only what any program that reads the board
// through WMI and then starts the flash utility has to do, with nothing
// around it. The benchmark compares flashgate.exe against it. Started as
// `bench_floor notice`, it is the floor of the notice path instead: the same
// WMI work, then the wrong-model notice in place of the start.
#include <windows.h>
#include <wbemdisp.h>

#include <cstdlib>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    ISWbemServices* services = nullptr;
    ISWbemObjectSet* resultSet = nullptr;
    IUnknown* enumerator = nullptr;
    IEnumVARIANT* walker = nullptr;
    CoGetObject(L"winmgmts:\\\\.\\root\\cimv2", nullptr, IID_PPV_ARGS(&services));
    if (services) {
        BSTR query = SysAllocString(L"Select * from WIN32_BaseBoard");
        BSTR language = SysAllocString(L"WQL");
        services->ExecQuery(query, language, wbemFlagReturnImmediately | wbemFlagForwardOnly,
                            nullptr, &resultSet);
        SysFreeString(language);
        SysFreeString(query);
    }
    if (resultSet && SUCCEEDED(resultSet->get__NewEnum(&enumerator)) && enumerator) {
        enumerator->QueryInterface(IID_PPV_ARGS(&walker));
    }
    VARIANT record;
    VariantInit(&record);
    ULONG fetched = 0;
    while (walker && walker->Next(1, &record, &fetched) == S_OK && fetched == 1) {
        if (V_VT(&record) == VT_DISPATCH && V_DISPATCH(&record)) {
            LPOLESTR name = const_cast<LPOLESTR>(L"Version");
            DISPID id = DISPID_UNKNOWN;
            if (SUCCEEDED(V_DISPATCH(&record)->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
                DISPPARAMS noArguments{};
                VARIANT version;
                VariantInit(&version);
                V_DISPATCH(&record)->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                                            DISPATCH_METHOD | DISPATCH_PROPERTYGET, &noArguments,
                                            &version, nullptr, nullptr);
                VariantClear(&version);
            }
        }
        VariantClear(&record);
    }

    // Whatever the board said: the floor has no verdict to form.
    const bool notice = __argc == 2 && lstrcmpW(__wargv[1], L"notice") == 0;
    BOOL started = FALSE;
    if (notice) {
        MessageBoxW(nullptr, L"This BIOS is not for your Notebook PC.", L"WinPhlash", MB_OK | MB_ICONEXCLAMATION);
    } else {
        wchar_t commandLine[] = L"WinPhlash.exe";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION process{};
        started = CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process);
        if (started) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }

    // Releasing the objects and leaving COM are part of any correct program.
    if (walker) walker->Release();
    if (enumerator) enumerator->Release();
    if (resultSet) resultSet->Release();
    if (services) services->Release();
    CoUninitialize();
    return notice ? 2 : started ? 0 : 3;
}
