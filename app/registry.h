// The installer's configuration in the registry, under Software\Orvo\Kavlin.
#ifndef KAVLIN_APP_REGISTRY_H
#define KAVLIN_APP_REGISTRY_H

#include <windows.h>

// Registry value names and data: 50 bytes each.
const DWORD REGISTRY_TEXT_SIZE = 50;

// Opens the key Software\Orvo\Kavlin under `root`, creating it when missing; NULL on failure.
HKEY open_product_key(HKEY root);

// Searches the key's values by enumeration for one named exactly `name` (case-sensitive).
// Copies its data, NUL-terminated, into `data` (REGISTRY_TEXT_SIZE + 1 bytes) and returns true.
// Returns false when no value has that name, when its data does not fit 50 bytes, when the key
// is NULL, or when the enumeration fails other than at its end.
bool find_product_value(HKEY key, const char *name, char *data);

#endif
