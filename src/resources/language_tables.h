/* The tables of the language library, defined in the generated language_tables.c. */
#ifndef CRVL_RESOURCES_LANGUAGE_TABLES_H
#define CRVL_RESOURCES_LANGUAGE_TABLES_H

#include "language_resources.h"

extern const CrvlLanguageRecord* const crvlLanguageTables[4];
extern const unsigned crvlStringCount;

#endif
