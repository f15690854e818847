/* Translated messages: one message logged once reaches three consoles whose
 * formatters bind it for the C locale, for de_DE and for fr_FR. The texts
 * come from catalogs compiled by zil_mkcat from greetings.msg (the default
 * texts) and greetings.de_DE.msg (a translation, checked to take the same
 * arguments); there is no French catalog, so fr_FR reads the default.
 *
 *   ./catalog NLSDIR   (NLSDIR/C/greetings.cat, NLSDIR/de_DE/greetings.cat) */
#include <stdio.h>
#include <stdlib.h>

#include <kavel.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: catalog NLSDIR\n");
        return 1;
    }
    char nlspath[4096];
    snprintf(nlspath, sizeof nlspath, "%s/%%L/%%N.cat", argv[1]); /* NLSDIR/<locale>/<name>.cat */
    setenv("NLSPATH", nlspath, 1);
    if (KvlOpenToolkit(NULL) != 1) return 1;

    KvlObject *log = KvlGetObject("example.i18n", "kvl_basiclogger");
    const char *locales[] = {"C", "de_DE", "fr_FR"};
    for (int i = 0; i < 3; ++i) {
        char name[64];
        snprintf(name, sizeof name, "example.console.%s", locales[i]);
        KvlObject *console = KvlGetObject(name, "kvl_consolehandler");
        snprintf(name, sizeof name, "example.line.%s", locales[i]);
        KvlObject *line = KvlGetObject(name, "kvl_basicformatter");
        KvlSetObjProp(line, "locale", locales[i]);
        KvlHandlerSetFormatter(console, line);
        KvlAddListener(log, console);
        KvlReleaseObject(line);
        KvlReleaseObject(console);
    }
    /* The text given is the default, used when no catalog has the key. */
    KVL_LOG_INFO(log, "greetings", 1, 1, "EXA0001I Hello, %1$s: %2$d new messages.",
                 KVL_STR("Ann"), KVL_INT(3));
    KVL_LOG_WARN(log, "greetings", 1, 2, "EXA0002W The disk %s is %d%% full.", KVL_STR("/var"),
                 KVL_INT(93));
    KvlReleaseObject(log);
    KvlCloseToolkit();
    return 0;
}
