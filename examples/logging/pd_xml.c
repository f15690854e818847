/* Records for problem determination: a problem-determination logger stamps
 * every event with where it comes from (product, component, host, process,
 * thread, source place), and the XML formatter writes each as one XML
 * element. Logs one message and one trace to standard output.
 *
 *   ./pd_xml */
#include <stdio.h>

#include <kavel.h>

int main(void) {
    if (KvlOpenToolkit(NULL) != 1) return 1;
    KvlObject *log = KvlGetObject("example.pd", "kvl_pdlogger");
    KvlObject *console = KvlGetObject("example.console", "kvl_consolehandler");
    KvlObject *xml = KvlGetObject("example.xml", "kvl_xmlformatter");
    KvlSetObjProp(log, "level", "ALL");
    KvlSetObjProp(log, "product", "EXAMPLE");
    KvlSetObjProp(log, "component", "pd_xml");
    KvlSetObjProp(console, "formatterName", "example.xml");
    KvlAddListener(log, console);

    /* A message has an id, a severity and what a translator needs (catalog,
     * set, key, parameters); a trace has a level and the source place. */
    KVL_LOG_ERROR(log, "examplemsg", 1, 7, "EXA0007E The disk %s is full.", KVL_STR("/var"),
                  KVL_PROP("correlationId"), KVL_STR("job-42"));
    KVL_DEBUG_MIN(log, "cleaned %d files", KVL_INT(3));

    KvlReleaseObject(xml);
    KvlReleaseObject(console);
    KvlReleaseObject(log);
    KvlCloseToolkit();
    return 0;
}
