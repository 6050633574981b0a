/* Appending raw ANSI bytes to a JSON string literal.  Every byte outside
 * printable ASCII is written as \u00XX, so a reader that decodes the JSON and
 * encodes the result as Latin-1 gets the original bytes back exactly. */
#ifndef E2E_JSONBYTES_H
#define E2E_JSONBYTES_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    char *data;
    size_t len, cap;
} OutBuf;

static inline void outBytes(OutBuf *b, const char *s, size_t n)
{
    if (b->len + n + 1 > b->cap) {
        size_t cap = b->cap ? b->cap : 256;
        while (b->len + n + 1 > cap) cap *= 2;
        char *p = (char *)realloc(b->data, cap);
        if (!p) return;
        b->data = p;
        b->cap = cap;
    }
    memcpy(b->data + b->len, s, n);
    b->len += n;
    b->data[b->len] = '\0';
}

static inline void outText(OutBuf *b, const char *s) { outBytes(b, s, strlen(s)); }

static inline void outJsonBytes(OutBuf *b, const char *s, size_t n)
{
    outText(b, "\"");
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)s[i];
        char esc[8];
        if (c == '"' || c == '\\') {
            esc[0] = '\\'; esc[1] = (char)c;
            outBytes(b, esc, 2);
        } else if (c < 0x20 || c >= 0x7f) {
            sprintf(esc, "\\u%04x", c);
            outBytes(b, esc, 6);
        } else {
            outBytes(b, (const char *)&c, 1);
        }
    }
    outText(b, "\"");
}

static inline void outJsonText(OutBuf *b, const char *s) { outJsonBytes(b, s, strlen(s)); }

static inline void outJsonInt(OutBuf *b, long v)
{
    char num[32];
    sprintf(num, "%ld", v);
    outText(b, num);
}

#endif
