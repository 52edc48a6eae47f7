// Reading and writing the installer's configuration under Software\Orvo\Kavlin.
#include "app/registry.h"
#include "base/text.h"

HKEY open_product_key(HKEY root)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(root, "Software\\Orvo\\Kavlin", 0, (char *)"", 0, KEY_ALL_ACCESS, NULL,
                        &key, &disposition) != ERROR_SUCCESS)
        return NULL;
    return key;
}

bool find_product_value(HKEY key, const char *name, char *data)
{
    char value_name[REGISTRY_TEXT_SIZE + 1];

    if (!key)
        return false;
    for (DWORD index = 0;; index++) {
        DWORD name_length = REGISTRY_TEXT_SIZE;
        DWORD data_length = REGISTRY_TEXT_SIZE;
        DWORD type;
        LONG result = RegEnumValueA(key, index, value_name, &name_length, NULL, &type,
                                    (BYTE *)data, &data_length);
        if (result == ERROR_MORE_DATA) {
            // A name too long for its buffer cannot be the one searched; a matching name
            // whose data is too long is ignored, as if the value were not there.
            value_name[REGISTRY_TEXT_SIZE] = 0;
            if (name_length < REGISTRY_TEXT_SIZE && text_equal(value_name, name))
                return false;
            continue;
        }
        if (result != ERROR_SUCCESS)
            return false;  // the end of the values, or a failure: nothing found
        value_name[name_length < REGISTRY_TEXT_SIZE ? name_length : REGISTRY_TEXT_SIZE] = 0;
        if (text_equal(value_name, name)) {
            data[data_length < REGISTRY_TEXT_SIZE ? data_length : REGISTRY_TEXT_SIZE] = 0;
            return true;
        }
    }
}
