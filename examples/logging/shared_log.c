/* One log file set shared by several processes: each writer's records go
 * through the multi-process file handler, which takes a System V semaphore
 * around every write and rollover, so no record is lost, cut or mixed
 * with another. Starts three writers of 200 records each and counts what
 * the set holds afterwards.
 *
 *   ./shared_log shared_log.properties   (in a directory of its own)
 *
 * The semaphore set ("MPFileSemKey") outlives the processes, as a shared
 * lock must; remove it when the set is no longer used (ipcrm -S KEY). */
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <kavel.h>

enum { kWriters = 3, kRecords = 200 };

static int write_records(const char *properties, int writer) {
    if (KvlOpenToolkit(properties) != 1) return 1;
    KvlObject *log = KvlGetObject("shared", NULL);
    for (int n = 0; n < kRecords; ++n)
        KVL_LOG_INFO(log, NULL, 0, 0, "writer %d record %d", KVL_INT(writer), KVL_INT(n));
    KvlReleaseObject(log);
    KvlCloseToolkit();
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: shared_log PROPERTIES\n");
        return 1;
    }
    for (int w = 0; w < kWriters; ++w)
        if (fork() == 0) _exit(write_records(argv[1], w));
    int failed = 0, status = 0;
    while (wait(&status) > 0)
        failed += !WIFEXITED(status) || WEXITSTATUS(status) != 0;

    int records = 0, whole = 0;
    const char *files[] = {"shared.log", "shared1.log", "shared2.log", "shared3.log"};
    for (int i = 0; i < 4; ++i) {
        FILE *file = fopen(files[i], "r");
        char line[256];
        while (file != NULL && fgets(line, sizeof line, file) != NULL) {
            ++records;
            whole += strstr(line, "writer ") != NULL && line[strlen(line) - 1] == '\n';
        }
        if (file != NULL) fclose(file);
    }
    printf("%d writers failed; %d records in the set, %d whole\n", failed, records, whole);
    return failed == 0 && records == whole ? 0 : 1;
}
