#include "platform/WmiSubscriptions.h"

#include <windows.h>
#include <wbemcli.h>

#include "platform/ComObjects.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

// The consumers whose work is to start something.
constexpr std::string_view kRunningConsumers[] = {"CommandLineEventConsumer", "ActiveScriptEventConsumer"};

// WMI's codes are of an unsigned enumeration.
bool Is(HRESULT result, unsigned long code) {
    return static_cast<unsigned long>(result) == code;
}

void Check(HRESULT result, const std::string& call) {
    if (Is(result, WBEM_E_ACCESS_DENIED) || Is(result, E_ACCESSDENIED)) ThrowWin32Error(call, ERROR_ACCESS_DENIED);
    if (FAILED(result)) ThrowWin32Error(call, static_cast<DWORD>(result));
}

// Owns a VARIANT.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* Put() {
        VariantClear(&value_);
        return &value_;
    }
    VARIANT& Get() { return value_; }

private:
    VARIANT value_;
};

// The blanket a call into WMI's service needs: it acts as the user.
void SetBlanket(IUnknown* proxy) {
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

ComRef<IWbemServices> Connect() {
    EnsureComOnThisThread();
    ComRef<IWbemLocator> locator;
    Check(CoCreateInstance(__uuidof(WbemLocator), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWbemLocator),
                           locator.PutVoid()),
          "CoCreateInstance(WbemLocator)");
    ComRef<IWbemServices> services;
    Check(locator->ConnectServer(Bstr(kSubscriptionNamespace).Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                 services.Put()),
          "IWbemLocator::ConnectServer(root\\subscription)");
    SetBlanket(services.Get());
    return services;
}

std::string TextOf(const VARIANT& value) {
    if (value.vt != VT_BSTR || !value.bstrVal) return {};
    return Utf8FromWide(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)));
}

std::string TextProperty(IWbemClassObject* object, const wchar_t* name) {
    Variant value;
    if (FAILED(object->Get(name, 0, value.Put(), nullptr, nullptr))) return {};
    return TextOf(value.Get());
}

WmiObject ReadObject(IWbemClassObject* object) {
    WmiObject read{TextProperty(object, L"__CLASS"), TextProperty(object, L"__RELPATH"), {}};
    Check(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY), "IWbemClassObject::BeginEnumeration");
    for (;;) {
        Bstr name;
        Variant value;
        CIMTYPE type = 0;
        if (object->Next(0, name.Put(), value.Put(), &type, nullptr) != WBEM_S_NO_ERROR) break;
        const VARIANT& v = value.Get();
        WmiProperty property{name.Text(), 's', type, {}};
        switch (v.vt) {
        case VT_BSTR: property.value = TextOf(v); break;
        case VT_I1: property.kind = 'i', property.value = std::to_string(v.cVal); break;
        case VT_UI1: property.kind = 'i', property.value = std::to_string(v.bVal); break;
        case VT_I2: property.kind = 'i', property.value = std::to_string(v.iVal); break;
        case VT_UI2: property.kind = 'i', property.value = std::to_string(v.uiVal); break;
        case VT_I4: property.kind = 'i', property.value = std::to_string(v.lVal); break;
        case VT_UI4: property.kind = 'i', property.value = std::to_string(v.ulVal); break;
        case VT_BOOL: property.kind = 'b', property.value = v.boolVal != VARIANT_FALSE ? "1" : "0"; break;
        default: continue;  // not set, an array (the creator's SID, which WMI sets itself)
        }
        read.properties.push_back(std::move(property));
    }
    object->EndEnumeration();
    return read;
}

std::optional<WmiObject> ReadAt(IWbemServices* services, std::string_view path) {
    ComRef<IWbemClassObject> object;
    const HRESULT result = services->GetObject(Bstr(path).Get(), 0, nullptr, object.Put(), nullptr);
    if (Is(result, WBEM_E_NOT_FOUND) || Is(result, WBEM_E_INVALID_OBJECT_PATH)) return std::nullopt;
    Check(result, "IWbemServices::GetObject(" + std::string(path) + ")");
    return ReadObject(object.Get());
}

bool SameText(std::string_view a, std::string_view b) {
    return CompareStringOrdinal(WideFromUtf8(a).c_str(), -1, WideFromUtf8(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string WmiObject::Text(std::string_view name) const {
    for (const WmiProperty& property : properties)
        if (SameText(property.name, name)) return property.value;
    return {};
}

bool IsWmiMissing(unsigned long code) {
    for (const unsigned long missing :
         {static_cast<unsigned long>(WBEM_E_INVALID_NAMESPACE), static_cast<unsigned long>(WBEM_E_INVALID_CLASS),
          static_cast<unsigned long>(WBEM_E_NOT_SUPPORTED), static_cast<unsigned long>(WBEM_E_PROVIDER_NOT_FOUND),
          static_cast<unsigned long>(REGDB_E_CLASSNOTREG), static_cast<unsigned long>(E_NOTIMPL),
          static_cast<unsigned long>(E_NOINTERFACE)})
        if (code == missing) return true;
    return false;
}

std::string RelativeWmiPath(std::string_view reference) {
    // "\\HOST\root\subscription:Class.Key=..." or "root\subscription:Class.Key=...": the part after
    // the colon that ends the namespace (a colon inside quotes belongs to a key's value).
    const std::size_t quote = reference.find('"');
    const std::size_t colon = reference.find(':');
    if (colon != std::string_view::npos && colon < quote) reference.remove_prefix(colon + 1);
    return std::string(reference);
}

namespace {

std::vector<WmiObject> ListObjects(IWbemServices* services, std::string_view className) {
    ComRef<IEnumWbemClassObject> instances;
    Check(services->CreateInstanceEnum(Bstr(className).Get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                       nullptr, instances.Put()),
          "IWbemServices::CreateInstanceEnum(" + std::string(className) + ")");
    SetBlanket(instances.Get());
    std::vector<WmiObject> found;
    for (;;) {
        ComRef<IWbemClassObject> object;
        ULONG returned = 0;
        Check(instances->Next(static_cast<long>(WBEM_INFINITE), 1, object.Put(), &returned),
              "IEnumWbemClassObject::Next");
        if (returned == 0) break;
        found.push_back(ReadObject(object.Get()));
    }
    return found;
}

}  // namespace

std::vector<WmiObject> ListWmiObjects(std::string_view className) {
    return ListObjects(Connect().Get(), className);
}

std::vector<WmiSubscription> ListWmiSubscriptions() {
    ComRef<IWbemServices> services = Connect();
    std::vector<WmiSubscription> found;
    for (WmiObject& binding : ListObjects(services.Get(), "__FilterToConsumerBinding")) {
        std::optional<WmiObject> consumer = ReadAt(services.Get(), RelativeWmiPath(binding.Text("Consumer")));
        if (!consumer) continue;
        bool runs = false;
        for (const std::string_view name : kRunningConsumers) runs = runs || SameText(consumer->className, name);
        if (!runs) continue;  // a consumer that writes a log or sends mail starts nothing
        std::optional<WmiObject> filter = ReadAt(services.Get(), RelativeWmiPath(binding.Text("Filter")));
        if (!filter) continue;
        found.push_back({std::move(*consumer), std::move(*filter), std::move(binding)});
    }
    return found;
}

std::optional<WmiObject> ReadWmiObject(std::string_view path) {
    return ReadAt(Connect().Get(), path);
}

bool DeleteWmiObject(std::string_view path) {
    const HRESULT result = Connect()->DeleteInstance(Bstr(path).Get(), 0, nullptr, nullptr);
    if (Is(result, WBEM_E_NOT_FOUND)) return false;
    Check(result, "IWbemServices::DeleteInstance(" + std::string(path) + ")");
    return true;
}

void CreateWmiObject(const WmiObject& object) {
    ComRef<IWbemServices> services = Connect();
    ComRef<IWbemClassObject> type;
    Check(services->GetObject(Bstr(object.className).Get(), 0, nullptr, type.Put(), nullptr),
          "IWbemServices::GetObject(" + object.className + ")");
    ComRef<IWbemClassObject> instance;
    Check(type->SpawnInstance(0, instance.Put()), "IWbemClassObject::SpawnInstance");
    for (const WmiProperty& property : object.properties) {
        Variant value;
        VARIANT& v = *value.Put();
        if (property.kind == 'b') {
            v.vt = VT_BOOL;
            v.boolVal = property.value == "1" ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (property.kind == 'i') {
            const long long number = std::stoll(property.value);
            if (property.cimType == CIM_UINT8) {
                v.vt = VT_UI1;
                v.bVal = static_cast<BYTE>(number);
            } else if (property.cimType == CIM_SINT8 || property.cimType == CIM_SINT16) {
                v.vt = VT_I2;
                v.iVal = static_cast<SHORT>(number);
            } else {
                v.vt = VT_I4;
                v.lVal = static_cast<LONG>(number);
            }
        } else {
            const std::wstring text = WideFromUtf8(property.value);
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!v.bstrVal) ThrowWin32Error("SysAllocStringLen", ERROR_NOT_ENOUGH_MEMORY);
        }
        Check(instance->Put(WideFromUtf8(property.name).c_str(), 0, &v, 0),
              "IWbemClassObject::Put(" + property.name + ")");
    }
    Check(services->PutInstance(instance.Get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr),
          "IWbemServices::PutInstance(" + object.path + ")");
}

}  // namespace sentrel::platform
