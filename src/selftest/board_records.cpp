// The self-test's own reading of the main board: IWbemLocator, root\cimv2,
// ExecQuery and IWbemClassObject::Get, none of it the program's code.
#include "selftest/board_records.h"

#include <windows.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include "win/com_holders.h"

namespace flashgate::selftest {

using Microsoft::WRL::ComPtr;
using win::UniqueBstr;
using win::UniqueVariant;

BoardReading ReadBoardRecords() {
    BoardReading board;
    const auto failed = [&board](const wchar_t* step, HRESULT hr) {
        if (FAILED(hr)) {
            board.failedStep = step;
            board.error = hr;
        }
        return FAILED(hr);
    };
    ComPtr<IWbemLocator> locator;
    if (failed(L"creating the WMI locator",
               CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&locator)))) {
        return board;
    }
    const UniqueBstr nameSpace(L"root\\cimv2"), language(L"WQL"), query(L"SELECT * FROM Win32_BaseBoard");
    ComPtr<IWbemServices> services;
    if (failed(L"connecting to root\\cimv2",
               locator->ConnectServer(nameSpace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services))) {
        return board;
    }
    // Windows' WMI providers answer a client that lets them impersonate it, as
    // a script's default does. An in-process WMI (Wine's) has no proxy to set.
    CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    ComPtr<IEnumWbemClassObject> records;
    if (failed(L"querying Win32_BaseBoard",
               services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                   nullptr, &records))) {
        return board;
    }
    for (;;) {
        ComPtr<IWbemClassObject> record;
        ULONG returned = 0;
        const HRESULT hr = records->Next(static_cast<long>(WBEM_INFINITE), 1, &record, &returned);
        if (returned == 0) {
            if (FAILED(hr)) {
                failed(L"walking the board records", hr);
            }
            return board;
        }
        UniqueVariant version, text;
        BoardRecord read;
        read.error = record->Get(L"Version", 0, version.put(), nullptr, nullptr);
        if (SUCCEEDED(read.error) && V_VT(&version.get()) == VT_NULL) {
            read.version = BoardRecord::Version::Null;
        } else if (SUCCEEDED(read.error)) {
            // A string property arrives as a BSTR; anything else is read as a
            // script would read it, as text.
            read.error = VariantChangeType(text.put(), const_cast<VARIANT*>(&version.get()), 0, VT_BSTR);
            if (SUCCEEDED(read.error)) {
                read.text.assign(V_BSTR(&text.get()), SysStringLen(V_BSTR(&text.get())));
            }
        }
        if (FAILED(read.error)) {
            read.version = BoardRecord::Version::Unreadable;
        }
        board.records.push_back(read);
    }
}

}  // namespace flashgate::selftest
