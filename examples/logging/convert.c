/* Codeset conversion: a UTF-8 text into ISO 8859-15 and into EBCDIC
 * (IBM1047) and back, with the bytes shown, and what a codeset cannot hold
 * replaced and counted. The tables are the package's (ZILDIR chooses
 * others).
 *
 *   ./convert */
#include <stdio.h>
#include <string.h>

#include <zil.h>

static void show(const char *name, const char *bytes, int length) {
    printf("%-9s", name);
    for (int i = 0; i < length; ++i)
        printf(" %02X", (unsigned char)bytes[i]);
    printf("\n");
}

int main(void) {
    const char *utf8 = "Caf\xC3\xA9 \xE2\x82\xAC" "5 \xE6\x97\xA5"; /* "Café €5 日" */
    const char *names[] = {"ISO885915", "IBM1047"};
    show("UTF-8", utf8, (int)strlen(utf8));
    for (int i = 0; i < 2; ++i) {
        uc_ch_t *codeset = zil_cs_new(names[i]);
        if (codeset == NULL) {
            fprintf(stderr, "no table for %s\n", names[i]);
            return 1;
        }
        char local[64], back[64];
        codeset->subst_count = 0;
        const int length = zil_from_utf8(codeset, utf8, (int)strlen(utf8), local, sizeof local, NULL);
        show(names[i], local, length);
        const int backLength = zil_to_utf8(codeset, local, length, back, sizeof back - 1, NULL);
        back[backLength] = '\0';
        printf("  back: %s (replaced: %d)\n", back, codeset->subst_count);
        zil_cs_free(codeset);
    }
    return 0;
}
