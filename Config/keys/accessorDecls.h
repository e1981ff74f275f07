// Declarations of the named accessors a row generates, by the row's kind.
// Each region's accessor header (<region>Keys.h) expands its row file
// through these macros; Config/keys/keyRows.cpp defines them.
//
//   KEY        get<Id>(), set<Id>(v), isValid<Id>(v), get<Id>Key(), dbUpdate<Id>()
//   KEY_HAND   the same without set<Id>: the region's hand-written setter, with
//              the uniform entry cfgHandSet_<Id>(i, v) that the XML code calls
//   IKEY       indexed: get<Id>(i), set<Id>(i, v), isValid<Id>(v), get<Id>Key(i), dbUpdate<Id>(i)
//   IKEY_HAND  IKEY without set<Id>(i, v): the region's hand-written setter, with
//              the uniform entry cfgHandSet_<Id>(i, v)
//   IKEY2      two-level: get<Id>(o, i), set<Id>(o, i, v), isValid<Id>(v), get<Id>Key(o, i),
//              dbUpdate<Id>(o, i)
//   STATUS     item without an XML element: get<Id>(), set<Id>(v), dbUpdate<Id>()
//   STATUS_GET get<Id>() only
//   ISTATUS    indexed status items: get<Id>(i), set<Id>(i, v), dbUpdate<Id>(i)
//   BSTATUS    byte string: get<Id>(out), set<Id>(bytes), dbUpdate<Id>()
//   TEXT       text reached by address: get<Id>() gives the field, get<Id>Key()
//   ROW        no accessors: the region writes them by hand on the row
// Every kind also declares the row's handle KEYROW(<Id>) for hand-written code.
// A float row's setter takes a float; every other setter a 32-bit word.
#pragma once

#include <cstdint>
#include <type_traits>

struct CfgKeyDesc;

// The argument type of a setter of a row whose getter gives C.
template <class C>
using CfgArg = std::conditional_t<std::is_same_v<C, float>, float, uint32_t>;

#define CFG_DECL_ROW(Id, CType) extern const CfgKeyDesc* const cfgRow_##Id;
#define CFG_DECL_KEY(Id, CType)                                                                    \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType get##Id();                                                                               \
    void set##Id(CfgArg<CType> v);                                                                 \
    int isValid##Id(uint32_t v);                                                                   \
    const char* get##Id##Key();                                                                    \
    void dbUpdate##Id();
#define CFG_DECL_KEY_HAND(Id, CType)                                                               \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType get##Id();                                                                               \
    int isValid##Id(uint32_t v);                                                                   \
    const char* get##Id##Key();                                                                    \
    void dbUpdate##Id();                                                                           \
    void cfgHandSet_##Id(uint32_t i, uint32_t v);
#define CFG_DECL_IKEY(Id, CType)                                                                   \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType get##Id(uint32_t i);                                                                     \
    void set##Id(uint32_t i, CfgArg<CType> v);                                                     \
    int isValid##Id(uint32_t v);                                                                   \
    const char* get##Id##Key(uint32_t i);                                                          \
    void dbUpdate##Id(uint8_t i);
#define CFG_DECL_IKEY_HAND(Id, CType)                                                              \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType get##Id(uint32_t i);                                                                     \
    int isValid##Id(uint32_t v);                                                                   \
    const char* get##Id##Key(uint32_t i);                                                          \
    void dbUpdate##Id(uint8_t i);                                                                  \
    void cfgHandSet_##Id(uint32_t i, uint32_t v);
#define CFG_DECL_IKEY2(Id, CType)                                                                  \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType get##Id(uint32_t o, uint32_t i);                                                         \
    void set##Id(uint32_t o, uint32_t i, CfgArg<CType> v);                                         \
    int isValid##Id(uint32_t v);                                                                   \
    const char* get##Id##Key(uint32_t o, uint32_t i);                                              \
    void dbUpdate##Id(uint8_t o, uint8_t i);
#define CFG_DECL_STATUS(Id, CType)                                                                 \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType get##Id();                                                                               \
    void set##Id(CfgArg<CType> v);                                                                 \
    void dbUpdate##Id();
#define CFG_DECL_STATUS_GET(Id, CType)                                                             \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType get##Id();
#define CFG_DECL_ISTATUS(Id, CType)                                                                \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType get##Id(uint32_t i);                                                                     \
    void set##Id(uint32_t i, CfgArg<CType> v);                                                     \
    void dbUpdate##Id(uint8_t i);
#define CFG_DECL_BSTATUS(Id, CType)                                                                \
    CFG_DECL_ROW(Id, CType)                                                                        \
    void get##Id(CType* out);                                                                      \
    void set##Id(const CType* bytes);                                                              \
    void dbUpdate##Id();
#define CFG_DECL_TEXT(Id, CType)                                                                   \
    CFG_DECL_ROW(Id, CType)                                                                        \
    CType* get##Id();                                                                              \
    const char* get##Id##Key();

// Other names for an accessor: CFG_ALIAS(otherName, ownerName).
#define CFG_DECL_ALIAS(alias, owner) inline constexpr auto alias = &owner;
