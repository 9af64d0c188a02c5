/* The product's web page: the address the program opens, and the shorter text
 * the About dialog shows as its link. */
#ifndef QUOTARION_UI_PRODUCT_H
#define QUOTARION_UI_PRODUCT_H

#define PRODUCT_WEB_URL "https://www.quotarion.org/"
#define PRODUCT_WEB_TEXT "www.quotarion.org"
#define PRODUCT_RIGHTS "(C) 2026 The Quotarion developers"

#endif
