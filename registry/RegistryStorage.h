#pragma once
// Typed access to one registry key addressed by a textual path such as "HKEY_LOCAL_MACHINE\Software\X\".
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueResource.h"
#include "registry/RegistryApi.h"

namespace Zento::Lithcore {

using PathList = std::vector<std::wstring>;

// A path split into its predefined root key, the root name as written and the key below it.
// `root` is null when the path is not valid.
struct RegistryPathParts {
    HKEY root = nullptr;
    std::wstring rootName;
    std::wstring subKey;
};

// Root names are matched case-sensitively; one trailing separator is dropped; empty components are invalid.
RegistryPathParts SplitRegistryPath(const std::wstring& path);

// The predefined key of a long or short root name ("HKEY_LOCAL_MACHINE", "HKLM", ...), or null.
HKEY RootKeyOf(const std::wstring& rootName);

// `base` and `name` joined by exactly one separator (no separator when either is empty).
std::wstring JoinKeyPath(const std::wstring& base, const std::wstring& name);

}  // namespace Zento::Lithcore

namespace Zento::Lithcore::Storage::IO {

enum class StorageType : std::int32_t {
    Empty = 0,
    Integer = 1,
    WString = 2,
    MultiString = 3,
    Bytes = 4,
};

using ByteArray = std::vector<unsigned char>;

// A typed value; the bytes are in the form the registry's Unicode value functions use (UTF-16LE text).
class StorageData {
public:
    StorageData() = default;
    explicit StorageData(std::int32_t value);
    explicit StorageData(const std::wstring& text);
    explicit StorageData(const std::vector<std::wstring>& strings);
    explicit StorageData(const ByteArray& bytes);
    StorageData(const StorageData&) = default;
    StorageData& operator=(const StorageData&) = default;
    virtual ~StorageData() = default;

    // Never fails: unsupported types give "ToString unsupported type: " and their number.
    virtual std::wstring ToString() const;

    // Throws Win32Exception when the value is not a WString.
    std::wstring GetWString() const;

    StorageType GetType() const noexcept { return type_; }
    const ByteArray& GetBytes() const noexcept { return bytes_; }
    // The strings of a MultiString value (empty for other types).
    std::vector<std::wstring> GetStrings() const;

private:
    StorageType type_ = StorageType::Empty;
    ByteArray bytes_;
};

// Read access to one key; nothing here writes, creates or deletes.
class IStorage {
public:
    virtual ~IStorage() = default;
    virtual bool ValueExists(const std::wstring& name) = 0;
    virtual bool KeyExists(const std::wstring& name) = 0;
    virtual PathList EnumValues(const std::wstring& subPath) = 0;
    virtual PathList EnumKeys(const std::wstring& subPath) = 0;
    virtual bool IsOpen() const = 0;
    virtual StorageData Read(const std::wstring& name, const StorageData& defaultValue) = 0;
    virtual std::wstring GetPath() const = 0;
    virtual bool Close() = 0;
};

}  // namespace Zento::Lithcore::Storage::IO

namespace Zento::Lithcore::System {

class RegistryStorageEx : public Storage::IO::IStorage {
public:
    using StorageData = Storage::IO::StorageData;

    // Opens an existing key read-only in `view`; a missing key stays closed and is never created.
    RegistryStorageEx(const std::wstring& path, RegistryView view);
    RegistryStorageEx(const RegistryStorageEx&) = delete;
    RegistryStorageEx& operator=(const RegistryStorageEx&) = delete;
    ~RegistryStorageEx() override = default;

    bool ValueExists(const std::wstring& name) override;
    bool KeyExists(const std::wstring& name) override;
    // Names in registry order; LastResult() is then ERROR_SUCCESS only when the listing ran to its end.
    PathList EnumValues(const std::wstring& subPath) override;
    PathList EnumKeys(const std::wstring& subPath) override;
    bool IsOpen() const override;
    StorageData Read(const std::wstring& name, const StorageData& defaultValue) override;
    std::wstring GetPath() const override;
    bool Close() override;

    // Result of the most recent registry call (0 = success).
    LONG LastResult() const noexcept { return lastResult_; }

private:
    enum class ListKind { Keys, Values };

    PathList List(const std::wstring& subPath, ListKind kind);
    PathList ListOpenKey(ListKind kind);
    [[noreturn]] void ThrowNotOpen() const;

    UniqueRegKey key_;
    LONG lastResult_ = ERROR_SUCCESS;
    std::wstring path_;
    RegistryView view_;
};

}  // namespace Zento::Lithcore::System
