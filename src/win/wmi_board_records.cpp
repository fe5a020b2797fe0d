// Board identification's WMI steps against the scripting objects of WMI.
#include "win/wmi_board_records.h"

#include "win/com_holders.h"

namespace flashgate::win {
namespace {

// The namespace root\cimv2 of the local machine, with no security settings.
constexpr wchar_t kMoniker[] = L"winmgmts:\\\\.\\root\\cimv2";
constexpr wchar_t kQuery[] = L"Select * from WIN32_BaseBoard";
// A call through the vtable does not fill in optional arguments the way a
// script engine does, so WMI's default query language is passed by name.
constexpr wchar_t kQueryLanguage[] = L"WQL";
constexpr long kQueryFlags = wbemFlagReturnImmediately | wbemFlagForwardOnly;  // 48
constexpr wchar_t kVersionProperty[] = L"Version";

const char16_t* AsUtf16(const wchar_t* text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
    return reinterpret_cast<const char16_t*>(text);
}

HRESULT PrefixFromBstr(BSTR text, BoardVersionPrefix& prefix) {
    // SysStringLen, not wcslen: a NUL inside the text is a character of it.
    prefix = BoardVersionPrefix::FromVersionText(AsUtf16(text), SysStringLen(text));
    return S_OK;
}

}  // namespace

HRESULT WmiBoardRecords::BindServices(Services& services) {
    Services bound;
    const HRESULT hr = CoGetObject(kMoniker, nullptr, IID_PPV_ARGS(&bound));
    if (SUCCEEDED(hr)) {
        services = bound;
    }
    return hr;
}

HRESULT WmiBoardRecords::ExecQuery(const Services& services, ResultSet& resultSet) {
    if (!services) {
        return E_POINTER;
    }
    const UniqueBstr query(kQuery);
    const UniqueBstr language(kQueryLanguage);
    if (!query.get() || !language.get()) {
        return E_OUTOFMEMORY;
    }
    ResultSet result;
    const HRESULT hr = services->ExecQuery(query.get(), language.get(), kQueryFlags, nullptr, &result);
    if (FAILED(hr)) {
        return hr;
    }
    if (!result) {
        return E_POINTER;
    }
    resultSet = result;
    return hr;
}

HRESULT WmiBoardRecords::StartWalk(const ResultSet& resultSet, Walker& walker) {
    if (!resultSet) {
        return E_POINTER;
    }
    Microsoft::WRL::ComPtr<IUnknown> enumerator;
    HRESULT hr = resultSet->get__NewEnum(&enumerator);
    if (FAILED(hr) || !enumerator) {
        return FAILED(hr) ? hr : E_POINTER;
    }
    Walker started;
    hr = enumerator.As(&started);
    if (SUCCEEDED(hr)) {
        walker = started;
    }
    return hr;
}

HRESULT WmiBoardRecords::NextRecord(const Walker& walker, Record& record) {
    if (!walker) {
        return E_POINTER;
    }
    UniqueVariant item;
    ULONG fetched = 0;
    HRESULT hr = walker->Next(1, item.put(), &fetched);
    if (hr != S_OK || fetched != 1) {
        return FAILED(hr) ? hr : S_FALSE;
    }
    // Records arrive as objects; anything else cannot be walked on from.
    const VARIANT& value = item.get();
    if (V_VT(&value) != VT_DISPATCH || !V_DISPATCH(&value)) {
        return DISP_E_TYPEMISMATCH;
    }
    record = V_DISPATCH(&value);
    return S_OK;
}

HRESULT WmiBoardRecords::ReadVersion(const Record& record, BoardVersionPrefix& prefix) {
    if (!record) {
        return E_POINTER;
    }
    LPOLESTR name = const_cast<LPOLESTR>(kVersionProperty);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = record->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    // Script engines read a property with both flags, and some implementations
    // refuse DISPATCH_PROPERTYGET alone.
    DISPPARAMS noArguments{};
    UniqueVariant version;
    hr = record->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        &noArguments, version.put(), nullptr, nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    return VersionPrefixFromVariant(version.get(), prefix);
}

HRESULT VersionPrefixFromVariant(const VARIANT& version, BoardVersionPrefix& prefix) {
    switch (V_VT(&version)) {
    case VT_BSTR:
        return PrefixFromBstr(V_BSTR(&version), prefix);
    case VT_NULL:
        prefix = BoardVersionPrefix::Valueless();
        return S_OK;
    case VT_EMPTY:
        prefix = BoardVersionPrefix::FromVersionText(nullptr, 0);
        return S_OK;
    default:
        break;
    }
    UniqueVariant text;
    // The source is only read; some SDK headers declare it without const.
    const HRESULT hr = VariantChangeType(text.put(), const_cast<VARIANT*>(&version), 0, VT_BSTR);
    if (FAILED(hr)) {
        return hr;
    }
    if (V_VT(&text.get()) != VT_BSTR) {
        return DISP_E_TYPEMISMATCH;
    }
    return PrefixFromBstr(V_BSTR(&text.get()), prefix);
}

}  // namespace flashgate::win
