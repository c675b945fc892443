#include "platform/DllLoader.h"

#include <stdexcept>

#include "platform/Win32Exception.h"

namespace Zento::Lithcore::File {

using Exception::Win32Exception;

DllLoader::DllLoader(const wchar_t* name) : module_(nullptr) {
    if (name == nullptr) throw std::invalid_argument("name must be not null");
    module_ = ::LoadLibraryW(name);
    if (module_ == nullptr) throw Win32Exception("LoadLibrary");
}

DllLoader::~DllLoader() {
    if (module_ != nullptr) ::FreeLibrary(module_);
}

FARPROC DllLoader::GetProc(const char* procName) const {
    if (procName == nullptr) throw std::invalid_argument("procName must be not null");
    FARPROC proc = ::GetProcAddress(module_, procName);
    if (proc == nullptr) throw Win32Exception("GetProcAddress");
    return proc;
}

FARPROC DllLoader::GetProcByOrdinal(WORD ordinal) const {
    FARPROC proc = ::GetProcAddress(module_, MAKEINTRESOURCEA(ordinal));
    if (proc == nullptr) throw Win32Exception("GetProcAddress");
    return proc;
}

}  // namespace Zento::Lithcore::File
