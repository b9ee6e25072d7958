// Internal parts of the object-type table: the row helpers of the static
// data, the live records and their two indexes.
#ifndef KW_PFA_OBJTYPE_INTERNAL_H
#define KW_PFA_OBJTYPE_INTERNAL_H

#include <cstdint>
#include <string_view>

#include "keelwork/objtype.h"

namespace kw::pfa {

inline constexpr uint32_t kLowerCase = OBJ_TYPE_LOWER_CASE;
inline constexpr uint32_t kWeirdChars = OBJ_TYPE_WEIRD_CHARS;
inline constexpr uint32_t kImport = OBJ_TYPE_IMPORT;
inline constexpr uint32_t kDialogFiltering = OBJ_TYPE_DIALOG_FILTERING;
inline constexpr uint32_t kOwnedExtension = OBJ_TYPE_OWNED_EXTENSION;
inline constexpr uint32_t kUnmatchable = OBJ_TYPE_UNMATCHABLE_EXT;
inline constexpr uint32_t kNoExtInLabel = OBJ_TYPE_NO_EXT_IN_LABEL;
inline constexpr uint32_t kDontTranslate = OBJ_TYPE_DONT_TRANSLATE;
inline constexpr uint32_t kSubtypes = OBJ_TYPE_SUBTYPES;
inline constexpr uint32_t kFamilyNames = OBJ_TYPE_FAMILY_NAMES;
inline constexpr uint32_t kOwnedLabel = OBJ_TYPE_OWNED_LABEL;

inline constexpr int32_t kAuthorNone = OBJ_AUTHOR_NONE;
inline constexpr int32_t kAuthorVexe = OBJ_AUTHOR_VEXE;
inline constexpr int32_t kAuthorBasalt = OBJ_AUTHOR_BASALT;
inline constexpr int32_t kAuthorAcad = OBJ_AUTHOR_ACAD;
inline constexpr int32_t kAuthorCatiaV5 = OBJ_AUTHOR_CATIAV5;
inline constexpr int32_t kAuthorInventor = OBJ_AUTHOR_INVENTOR;
inline constexpr int32_t kAuthorSolidWorks = OBJ_AUTHOR_SOLIDWORKS;
inline constexpr int32_t kAuthorUg = OBJ_AUTHOR_UG;
inline constexpr int32_t kAuthorTarvo5 = OBJ_AUTHOR_TARVO5;
inline constexpr int32_t kAuthorMossDraft = OBJ_AUTHOR_MOSSDRAFT;
inline constexpr int32_t kAuthorMossMod = OBJ_AUTHOR_MOSSMOD;
inline constexpr int32_t kAuthorMStation = OBJ_AUTHOR_MSTATION;
inline constexpr int32_t kAuthorSEdge = OBJ_AUTHOR_SEDGE;

// One row of the static table. The defaults are those of a foreign format
// without categories.
struct ObjTypeRow {
  int32_t type = OBJ_TYPE_ALL_FILE;
  const char *extension = "";
  const char *label = "";
  int32_t name_length = 260;
  int32_t spg_mode = -1;
  int32_t name_list_type = -1;
  const char *icon = nullptr;
  int32_t ugc_type = 0;
  int32_t author = kAuthorNone;
  uint32_t flags = 0;

  constexpr ObjTypeRow by(int32_t application) const {
    ObjTypeRow row = *this;
    row.author = application;
    return row;
  }
  constexpr ObjTypeRow plus(uint32_t more_flags) const {
    ObjTypeRow row = *this;
    row.flags |= more_flags;
    return row;
  }
};

// The application's own types: short lower-case names.
constexpr ObjTypeRow own(int32_t type, const char *ext, const char *label) {
  return {.type = type,
          .extension = ext,
          .label = label,
          .name_length = 32,
          .author = kAuthorVexe,
          .flags = kLowerCase};
}
// Foreign formats: long names in any case, unusual characters allowed.
constexpr ObjTypeRow foreign(int32_t type, const char *ext, const char *label) {
  return {.type = type, .extension = ext, .label = label, .flags = kWeirdChars};
}
// Foreign formats that an import brings in.
constexpr ObjTypeRow imported(int32_t type, const char *ext, const char *label) {
  return {.type = type, .extension = ext, .label = label, .flags = kWeirdChars | kImport};
}
// The board-design interchange files, named like the "ECAD IDF" row.
constexpr ObjTypeRow ecad(int32_t type, const char *ext, const char *label) {
  return {.type = type, .extension = ext, .label = label, .name_length = 66, .flags = kImport};
}
// The application's mesh and results files, named like the "FEM Mesh Part" row.
constexpr ObjTypeRow mesh(int32_t type, const char *ext, const char *label) {
  return {.type = type,
          .extension = ext,
          .label = label,
          .name_length = 99,
          .author = kAuthorVexe,
          .flags = kWeirdChars};
}
// Formats of the maker's other products, known by code only.
constexpr ObjTypeRow code_only(int32_t type, const char *label) {
  return {.type = type, .extension = "", .label = label, .flags = kWeirdChars};
}

// A live record: a row of the static table or one registered at run time.
struct TypeRecord {
  int32_t type;
  const char *extension;  // owned (getmem) when kOwnedExtension is set
  const char *label;      // owned (getmem) when kOwnedLabel is set
  int32_t name_length;
  int32_t spg_mode;
  int32_t name_list_type;
  const char *icon;
  int32_t ugc_type;
  int32_t author;
  uint32_t flags;
  int32_t ext_match_type;
  char key[OBJ_TYPE_EXT_SIZE];  // the extension upper-cased: the index key
};

// The record of `type`; the "All File" record when the code is unknown.
const TypeRecord &record_of(int32_t type);
// The record of `type`, or null when the code is unknown.
const TypeRecord *exact_record(int32_t type);
// The type of an extension already upper-cased into `key`.
int32_t type_of_key(const char *key);
// The record of the type whose extension is `ext` in any ASCII case; null
// when no type has it (or it is too long to be an extension).
const TypeRecord *extension_record(std::string_view ext);
// Upper-cases an extension of ASCII case into `key` (OBJ_TYPE_EXT_SIZE
// bytes); false when it is too long to be any type's extension.
bool make_key(const char *ext, char *key);

}  // namespace kw::pfa

#endif  // KW_PFA_OBJTYPE_INTERNAL_H
