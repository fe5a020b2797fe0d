// Holders for the COM resources the program owns besides interface pointers
// (those are Microsoft::WRL::ComPtr): the apartment, a BSTR and a VARIANT.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace flashgate::win {

// COM for this thread. Declare it before every object that holds a COM
// pointer, so that CoUninitialize runs after they are all released.
class ComApartment {
public:
    explicit ComApartment(DWORD model) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};

class UniqueBstr {
public:
    explicit UniqueBstr(const wchar_t* text) : value_(SysAllocString(text)) {}
    ~UniqueBstr() { SysFreeString(value_); }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR get() const { return value_; }

private:
    BSTR value_;
};

class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&value_); }
    ~UniqueVariant() { VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    const VARIANT& get() const { return value_; }

    // Clears what is held before handing out the address, so that it can be
    // passed to one call after another without leaking.
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

}  // namespace flashgate::win
