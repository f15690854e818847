/* Uses each installed library once from C (and, compiled as C++ through
 * consumer.cpp, from C++ with the typed helpers), printing what it got:
 *   1. a Latin-1 text converted to UTF-8 through the ISO88591 table file;
 *   2. one message logged through a console handler with a formatter class
 *      written in C;
 *   3. KVLFF0064E read from the installed kffdcmsg catalog ("C" locale).
 * Exits 1 at the first step that fails, saying which. */
#include <stdio.h>
#include <string.h>

#include <OxsMemory.h>
#include <kavel.h>
#ifdef __cplusplus
#include <kavel.hpp>
#endif
#include <zil.h>

static char *lineFormat(KvlObject *formatter, KvlEvent *event) {
    KvlFBindMsg bind = KvlGetFormatterBindMsg(formatter);
    char *text = bind != NULL ? KvlBindEventMsg(event, bind) : NULL;
    size_t length = text != NULL ? strlen(text) : 0;
    char *line = (char *)OxsMemoryMalloc(length + 2);
    if (line != NULL) {
        if (length != 0) memcpy(line, text, length);
        strcpy(line + length, "\n");
    }
    OxsMemoryFree(text);
    return line;
}

static int convert(void) {
    static const char latin1[] = "Gr\xfc\xdf Gott, \xa9 caf\xe9";
    char utf8[64];
    uc_ch_t *latin = zil_cs_new("ISO88591");
    if (latin == NULL) {
        puts("codeset table ISO88591 not found");
        return 1;
    }
    int length = zil_to_utf8(latin, latin1, (int)strlen(latin1), utf8, (int)sizeof utf8 - 1, NULL);
    zil_cs_free(latin);
    if (length < 0) {
        puts("conversion failed");
        return 1;
    }
    utf8[length] = '\0';
    printf("utf8: %s\n", utf8);
    return 0;
}

static int logOneMessage(void) {
    if (KvlOpenToolkit(NULL) != 1) {
        puts("toolkit did not open");
        return 1;
    }
    KvlAddFormatterClass("consumer_line", NULL, NULL, NULL, NULL, lineFormat, NULL, NULL, NULL);
    KvlObject *logger = KvlGetObject("consumer", "kvl_basiclogger");
    KvlObject *console = KvlGetObject("consumer.console", "kvl_consolehandler");
    KvlObject *line = KvlGetObject("consumer.line", "consumer_line");
    KvlHandlerSetFormatter(console, line);
    KvlAddListener(logger, console);
    fflush(stdout);
#ifdef __cplusplus
    kvl::logText(logger, "logged: %s %d", "from C++", 42);
#else
    KvlLogText(logger, "logged: %s %d", KVL_ARG_STRING, "from C", KVL_ARG_INT, 42, KVL_ARG_END);
#endif
    KvlReleaseObject(line);
    KvlReleaseObject(console);
    KvlReleaseObject(logger);
    KvlCloseToolkit();
    return 0;
}

static int readCatalog(void) {
    zil_catd catalog = zil_catopen("kffdcmsg", 0, "C");
    if (catalog == NULL) {
        puts("catalog kffdcmsg not found");
        return 1;
    }
    printf("catalog: %s\n", zil_catgets(catalog, 1, 64, "(missing)", NULL));
    zil_catclose(catalog);
    return 0;
}

int main(void) {
    if (convert() != 0 || logOneMessage() != 0 || readCatalog() != 0) return 1;
    return 0;
}
