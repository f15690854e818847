/* A log file that rolls over: the logger and its file handler come from
 * file_log.properties (given as the argument), 2000-byte files, the active
 * one and two backups. Writes 100 records, then says which files hold
 * them: the oldest records were dropped with the oldest backup.
 *
 *   ./file_log file_log.properties   (in a directory of its own) */
#include <stdio.h>

#include <kavel.h>

int main(int argc, char **argv) {
    if (argc != 2 || KvlOpenToolkit(argv[1]) != 1) {
        fprintf(stderr, "usage: file_log PROPERTIES (the toolkit must open with it)\n");
        return 1;
    }
    KvlObject *log = KvlGetObject("example", NULL); /* made as the file configures it */
    for (int n = 1; n <= 100; ++n)
        KVL_LOG_INFO(log, NULL, 0, 0, "record %d of %d", KVL_INT(n), KVL_INT(100));
    KvlReleaseObject(log);
    KvlCloseToolkit();

    const char *files[] = {"example2.log", "example1.log", "example.log"};
    for (int i = 0; i < 3; ++i) {
        FILE *file = fopen(files[i], "r");
        char line[256], first[256] = "", last[256] = "";
        int lines = 0;
        while (file != NULL && fgets(line, sizeof line, file) != NULL)
            snprintf(lines++ == 0 ? first : last, sizeof first, "%s", line);
        if (file != NULL) fclose(file);
        printf("%s: %d records\n  first: %s  last:  %s", files[i], lines, first, last);
    }
    return 0;
}
