#pragma once
// The XML archive form of Settings: one element per field, named by the first letter of its key,
// in record order. Shared by the loader and the writer so both use the same names.
#include <boost/archive/archive_exception.hpp>
#include <boost/serialization/map.hpp>
#include <boost/serialization/split_free.hpp>
#include <boost/serialization/nvp.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/utility.hpp>
#include <boost/serialization/version.hpp>

#include <string>

#include "settings/Settings.h"

namespace Zento::Lithcore {

inline constexpr char kRecordElementName[] = "Root";

// First character of a key name, as the narrow element name the archive wants.
template <const wchar_t* Key>
inline constexpr char kElementName[2] = {static_cast<char>(Key[0]), '\0'};

// The archive library no longer refuses class versions newer than the program's own (it has that
// check compiled out), and none of the record's classes has a version above 0.
inline void RejectNewerClassVersion(unsigned int version) {
    if (version > 0)
        throw boost::archive::archive_exception(boost::archive::archive_exception::unsupported_class_version);
}

template <class Archive>
void serialize(Archive& ar, Settings& s, const unsigned int version) {
    RejectNewerClassVersion(version);
    using boost::serialization::make_nvp;
#define QUELLOR_SETTINGS_NVP(type, name) ar & make_nvp(kElementName<SettingsKey::name>, s.name);
    QUELLOR_SETTINGS_FIELDS(QUELLOR_SETTINGS_NVP)
#undef QUELLOR_SETTINGS_NVP
}

// Reads the record from the archive text. True only when the whole record was read;
// on false the record may hold the fields read before the error.
bool ParseSettingsXml(const std::wstring& text, Settings& settings);

}  // namespace Zento::Lithcore

// More specialised than the library's own map and pair overloads, found through the version
// argument's namespace: the same archive form, with the version check added.
namespace boost::serialization {

template <class Archive>
void serialize(Archive& ar, Zento::Lithcore::WideMap& map, const unsigned int version) {
    Zento::Lithcore::RejectNewerClassVersion(version);
    split_free(ar, map, version);
}

template <class Archive>
void serialize(Archive& ar, std::pair<const std::wstring, std::wstring>& entry, const unsigned int version) {
    Zento::Lithcore::RejectNewerClassVersion(version);
    ar & make_nvp("first", const_cast<std::wstring&>(entry.first));
    ar & make_nvp("second", entry.second);
}

}  // namespace boost::serialization

BOOST_CLASS_VERSION(Zento::Lithcore::Settings, 0)
