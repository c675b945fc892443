#include "registry/RegistryExport.h"

#include <cstdio>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

namespace {

constexpr wchar_t kHeader[] = L"Windows Registry Editor Version 5.00\r\n\r\n";
constexpr int kMaxDepth = 512;  // registry trees are far shallower; a deeper one is a loop through links
constexpr size_t kWrapColumn = 76;

std::wstring Quoted(const std::wstring& text) {
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') quoted.push_back(L'\\');
        quoted.push_back(c);
    }
    return quoted + L"\"";
}

std::wstring NamePart(const std::wstring& name) { return name.empty() ? L"@" : Quoted(name); }

// REG_SZ data that regedit's quoted form gives back unchanged: whole UTF-16 characters, one
// terminating zero at the end, none before it, and no line breaks.
bool IsPlainText(const std::vector<BYTE>& data, std::wstring& text) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    size_t count = data.size() / 2 - 1;
    text.clear();
    for (size_t i = 0; i <= count; ++i) {
        wchar_t c = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (i == count) return c == L'\0';
        if (c == L'\0' || c == L'\r' || c == L'\n') return false;
        text.push_back(c);
    }
    return false;
}

std::wstring HexLine(const std::wstring& prefix, const std::vector<BYTE>& data) {
    std::wstring line = prefix;
    size_t column = line.size();
    for (size_t i = 0; i < data.size(); ++i) {
        wchar_t pair[4] = {};
        std::swprintf(pair, 4, L"%02x", data[i]);
        line += pair;
        column += 2;
        if (i + 1 == data.size()) break;
        line.push_back(L',');
        ++column;
        if (column > kWrapColumn) {
            line += L"\\\r\n  ";
            column = 2;
        }
    }
    return line + L"\r\n";
}

// Path without its trailing separator, as regedit writes it between brackets.
std::wstring SectionPath(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

}  // namespace

std::wstring RegFileValueLine(const RegistryValueData& value) {
    std::wstring head = NamePart(value.name) + L"=";
    std::wstring text;
    if (value.type == REG_SZ && IsPlainText(value.data, text)) return head + Quoted(text) + L"\r\n";
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | value.data[i];
        wchar_t digits[16] = {};
        std::swprintf(digits, 16, L"%08lx", static_cast<unsigned long>(number));
        return head + L"dword:" + digits + L"\r\n";
    }
    if (value.type == REG_BINARY) return HexLine(head + L"hex:", value.data);
    wchar_t type[16] = {};
    std::swprintf(type, 16, L"hex(%lx):", static_cast<unsigned long>(value.type));
    return HexLine(head + type, value.data);
}

LONG RegistryExport::AddKeyTree(const RegistryKeyAddress& address) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(address, KEY_READ, key);
    if (opened != ERROR_SUCCESS) return opened;
    return AddKey(key.Get(), SectionPath(address.path), address.view, 0);
}

LONG RegistryExport::AddKey(HKEY key, const std::wstring& path, RegistryView view, int depth) {
    if (depth > kMaxDepth) return ERROR_CANTREAD;
    if (keysWritten_.insert(path).second) {
        std::wstring section = L"[" + path + L"]\r\n";
        LONG listed = ERROR_SUCCESS;
        for (const std::wstring& name : System::ListValueNames(key, listed)) {
            LONG read = ERROR_SUCCESS;
            std::optional<RegistryValue> value = ReadRegistryValue(key, name, &read);
            if (read == ERROR_FILE_NOT_FOUND) continue;  // gone since the listing
            if (!value) return read;
            section += RegFileValueLine({name, value->type, std::move(value->data)});
        }
        if (listed != ERROR_SUCCESS) return listed;
        sections_.push_back(section + L"\r\n");
    }
    LONG listed = ERROR_SUCCESS;
    for (const std::wstring& name : System::ListSubkeyNames(key, listed)) {
        UniqueRegKey child;
        LONG opened = OpenExistingKey(path + L"\\" + name + L"\\", view, KEY_READ, child);
        if (opened != ERROR_SUCCESS) return opened;
        LONG added = AddKey(child.Get(), path + L"\\" + name, view, depth + 1);
        if (added != ERROR_SUCCESS) return added;
    }
    return listed;
}

LONG RegistryExport::AddValue(const RegistryKeyAddress& address, const std::wstring& valueName) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(address, KEY_READ, key);
    if (opened != ERROR_SUCCESS) return opened;
    LONG read = ERROR_SUCCESS;
    std::optional<RegistryValue> value = ReadRegistryValue(key.Get(), valueName, &read);
    if (!value) return read;
    const std::wstring line = RegFileValueLine({valueName, value->type, std::move(value->data)});
    sections_.push_back(L"[" + SectionPath(address.path) + L"]\r\n" + line + L"\r\n");
    return ERROR_SUCCESS;
}

std::wstring RegistryExport::Text() const {
    std::wstring text = kHeader;
    for (const std::wstring& section : sections_) text += section;
    return text;
}

}  // namespace Zento::Lithcore
