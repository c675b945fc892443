#include "registry/RegistryDeletion.h"

namespace Zento::Lithcore {

LONG DeleteRegistryKey(const RegistryKeyAddress& address) {
    if (!address.Valid()) return ERROR_INVALID_PARAMETER;
    return System::DeleteTreeInView(address.root, address.subKey, address.view);
}

LONG DeleteRegistryKeyIfEmpty(const RegistryKeyAddress& address) {
    if (!address.Valid()) return ERROR_INVALID_PARAMETER;
    {
        UniqueRegKey key;
        LONG opened = OpenExistingKey(address, KEY_READ, key);
        if (opened != ERROR_SUCCESS) return opened;
        if (KeyHoldsAnything(key.Get())) return ERROR_DIR_NOT_EMPTY;
    }
    return System::DeleteKeyInView(address.root, address.subKey, address.view);
}

LONG DeleteRegistryValue(const RegistryKeyAddress& address, const std::wstring& valueName) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(address, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
    if (opened != ERROR_SUCCESS) return opened;
    return System::Registry().deleteValue(key.Get(), valueName.c_str());
}

}  // namespace Zento::Lithcore
