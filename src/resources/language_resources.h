/* The record that the language library CRVLRES hands out through its one export `r`:
 * the string tables and the menu templates, byte for byte as the program reads them.
 * Shared by the library (C) and the program (C++). All pointers are 8 bytes. */
#ifndef CRVL_RESOURCES_LANGUAGE_RESOURCES_H
#define CRVL_RESOURCES_LANGUAGE_RESOURCES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

/* One 10-byte record of a language table. Record 0 is the header: its id is the code
 * page + 1 of single-byte texts (0: the system ANSI code page), or negative for UTF-16
 * texts; its text is the language key. Record 1 (id 1) holds the display name. The
 * table ends with id 0 and a null text. */
typedef struct CrvlLanguageRecord {
  int16_t id;
  const void* text; /* const char* or, in UTF-16 tables, const char16_t* */
} CrvlLanguageRecord;

/* One 14-byte record of a menu template; a record of all zeros ends the template. */
typedef struct CrvlMenuRecord {
  uint16_t id;
  uint32_t flags;
  const struct CrvlMenuRecord* submenu;
} CrvlMenuRecord;

#pragma pack(pop)

/* Separator items of the menu templates. */
#define CRVL_MENU_SEPARATOR_ID 0xFFFFu
#define CRVL_MENU_SEPARATOR_FLAGS 0x0800u

/* What `r` returns. */
typedef struct CrvlLanguageResources {
  /* English ("US"), German ("DE"), key table ("-"), then a null pointer. */
  const CrvlLanguageRecord* const* tables;
  const void* reserved; /* always null */
  const CrvlMenuRecord* trayMenu;
  const CrvlMenuRecord* jobMenu;
  const CrvlMenuRecord* selectionMenu;
} CrvlLanguageResources;

#ifdef __cplusplus
static_assert(sizeof(CrvlLanguageRecord) == 10, "packed language record");
static_assert(sizeof(CrvlMenuRecord) == 14, "packed menu record");
static_assert(sizeof(CrvlLanguageResources) == 40, "five pointer slots");
#else
_Static_assert(sizeof(CrvlLanguageRecord) == 10, "packed language record");
_Static_assert(sizeof(CrvlMenuRecord) == 14, "packed menu record");
_Static_assert(sizeof(CrvlLanguageResources) == 40, "five pointer slots");
#endif

/* The export of CRVLRES. The argument (a language id) is ignored; the record and
 * everything it points to are constant for the life of the process. */
const CrvlLanguageResources* r(uint16_t languageId);

#ifdef __cplusplus
}
#endif

#endif
