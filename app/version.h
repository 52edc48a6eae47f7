// The installer's version, in one place for the version resource and the about line.
#ifndef KAVLIN_APP_VERSION_H
#define KAVLIN_APP_VERSION_H

#define KAVLIN_VERSION_BINARY 1, 0, 0, 0
#define KAVLIN_VERSION_TEXT "1.0.0.0"
#define KAVLIN_VERSION_SHORT " v1.0"
#define KAVLIN_MAKER "Orvo"
#define KAVLIN_PRODUCT_NAME "Kavlin Install"
#define KAVLIN_NOTICE "\251 2001 Orvo. All rights reserved."

#endif
