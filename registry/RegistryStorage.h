#pragma once
// Typed access to one registry key addressed by a textual path such as "HKEY_LOCAL_MACHINE\Software\X\".
#include <windows.h>

#include <cstdint>
#include <map>
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

// A typed value; the bytes are in the form the registry's ANSI value functions use.
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

using StorageMap = std::map<std::wstring, StorageData>;

class IStorage {
public:
    virtual ~IStorage() = default;
    virtual bool DeleteValue(const std::wstring& name) = 0;
    virtual bool DeleteKey(const std::wstring& name, bool recursive) = 0;
    virtual bool ValueExists(const std::wstring& name) = 0;
    virtual bool KeyExists(const std::wstring& name) = 0;
    virtual PathList EnumValues(const std::wstring& subPath) = 0;
    virtual PathList EnumKeys(const std::wstring& subPath) = 0;
    virtual bool IsOpen() const = 0;
    virtual StorageData Read(const std::wstring& name, const StorageData& defaultValue) = 0;
    // Writes each entry in key order; the first exception ends the loop.
    virtual void WriteAll(const StorageMap& values);
    virtual void Write(const std::wstring& name, const StorageData& value) = 0;
    virtual std::wstring GetPath() const = 0;
    virtual bool Close() = 0;
};

}  // namespace Zento::Lithcore::Storage::IO

namespace Zento::Lithcore::System {

class RegistryStorageEx : public Storage::IO::IStorage {
public:
    using StorageData = Storage::IO::StorageData;

    // How a key is obtained: read-only, writable (created when missing) or writable but never created.
    enum class OpenMode { ReadOnly, ReadWrite, ReadWriteExisting };

    RegistryStorageEx(const std::wstring& path, RegistryView view, OpenMode mode);
    RegistryStorageEx(const RegistryStorageEx&) = delete;
    RegistryStorageEx& operator=(const RegistryStorageEx&) = delete;
    ~RegistryStorageEx() override = default;

    bool DeleteValue(const std::wstring& name) override;
    bool DeleteKey(const std::wstring& name, bool recursive) override;
    bool ValueExists(const std::wstring& name) override;
    bool KeyExists(const std::wstring& name) override;
    PathList EnumValues(const std::wstring& subPath) override;
    PathList EnumKeys(const std::wstring& subPath) override;
    bool IsOpen() const override;
    StorageData Read(const std::wstring& name, const StorageData& defaultValue) override;
    void Write(const std::wstring& name, const StorageData& value) override;
    std::wstring GetPath() const override;
    bool Close() override;

    virtual void WriteRaw(const std::wstring& name, const StorageData& value, DWORD registryType);

    // DeleteKey for a given platform id (2 NT family, 1 the 9x family); DeleteKey passes the running one.
    bool DeleteKeyOnPlatform(const std::wstring& name, bool recursive, DWORD platformId);

    // Result of the most recent registry call (0 = success).
    LONG LastResult() const noexcept { return lastResult_; }

private:
    enum class ListKind { Keys, Values };

    PathList List(const std::wstring& subPath, ListKind kind);
    PathList ListOpenKey(ListKind kind);
    bool DeleteKeyNt(const std::wstring& name, bool recursive);
    bool DeleteKey9x(const std::wstring& name, bool recursive);
    bool IsEmptyKey(const std::wstring& name);
    [[noreturn]] void ThrowNotOpen() const;

    UniqueRegKey key_;
    LONG lastResult_ = ERROR_SUCCESS;
    std::wstring path_;
    RegistryView view_;
    HKEY root_ = nullptr;
    std::wstring subKey_;
};

}  // namespace Zento::Lithcore::System
