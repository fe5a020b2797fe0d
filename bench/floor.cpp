// The floor of the admit path: only what any program that reads the board
// through WMI and then starts the flash utility has to do, with nothing
// around it. The benchmark compares flashgate.exe against it.
#include <windows.h>
#include <wbemdisp.h>

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

    // Started whatever the board said: the floor has no verdict to form.
    wchar_t commandLine[] = L"WinPhlash.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    const BOOL ok = CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &started);
    if (ok) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }

    // Releasing the objects and leaving COM are part of any correct program.
    if (walker) walker->Release();
    if (enumerator) enumerator->Release();
    if (resultSet) resultSet->Release();
    if (services) services->Release();
    CoUninitialize();
    return ok ? 0 : 3;
}
