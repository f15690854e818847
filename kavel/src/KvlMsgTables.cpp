// The toolkit's built-in message tables. The messages are listed sparsely,
// by key; the full tables, fillers included, are made from these lists the
// first time they are read, so a filler's number can never go out of step
// with the keys around it.

#include "KvlMsgTables.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Entry {
    int32_t key;
    const char *text;  // null: a key left empty on purpose, not a filler
};

constexpr Entry kKvlMessages[] = {
    {1, "KVLLG01E No listeners are registered with the logger %s."},
    {2, "KVLBC02E The message catalog file %s could not be opened."},
    {3,
     "KVLBC03E The message with set index %1$d and key index %2$d was not found in the "
     "message catalog %3$s."},
    {10, "KVLBC0010E The following OXS error occurred: %s"},
    {20, "KVLBC0020E Out of memory."},
    {30, "KVLBC0030E A value must be specified for the property '%s' ."},
    {31, "KVLBC0031E Property '%1$s' must be %2$d characters or less."},
    {32,
     "KVLFH0032E Property '%1$s' must be a valid file path for this platform, but value "
     "'%2$s' was given."},
    {33,
     "KVLBC0033E ANULLvalue for parameter %1$s was passed to the function %2$s. The "
     "function call will be ignored."},
    {34,
     "KVL0034E A negative value for parameter %1$s was passed to the function %2$s. The "
     "function call will be ignored."},
    {35,
     "KVLLG0035E A logger of class %s could not get the host name. The host name will not "
     "be logged."},
    {36,
     "KVLFH0036W Could not load codeset %s. Logged text will be stored in UTF-8 encoding "
     "instead."},
    {40, "KVLFH0040E Unable to get directory list for the file: %s"},
    {50, "KVLTK0050W Failed to initialize the Kavel toolkit."},
    {51, "KVL0051E The log manager could not read the properties file %s."},
    {52,
     "KVL0052E The value of property '%s' in the properties file could not be parsed, "
     "because it contains a backslash character that is not part of a valid escape "
     "sequence."},
    {60, "KVLBC0060W The object named '%s' is corrupt."},
    {61, "KVLBC0061W Object '%1$s' exists but is of class '%2$s' instead of '%3$s' ."},
    {62, "KVLBC0062W Class '%1$s' must be defined before object '%2$s' can be created."},
    {63, "KVLBC0063W A class must be specified before object '%1$s' can be created."},
    {70, "KVLBC0070W The logging method parameter list did not end with a NULL."},
    {71, "KVLBC0071W The logging method's parameter list is missing type markers."},
    {72, "KVLMP0072W Could not read the active log file %1s during log file rollover."},
    {73, "KVLMP0073W Could not write to the backup log file %1s during log file rollover."},
    {74,
     "KVLMP0074W The value %1s is not a valid file permission mask for file handler %2s. "
     "Please specify a four-digit octal value (with a leading zero)."},
    {75,
     "KVLMP0075W Could not set file %1s to permission mode %2o. The system error code is "
     "%3d."},
    {76,
     "KVLFF0020W The property 'mode' for message ID filter %1s was set to unknown value %2s. "
     "Expected values are 'BLOCK' or 'PASSTHRU'."},
    {90,
     "KVLWH0090E A message could not be sent to the Apexion Application Server. The error "
     "code is %1$d."},
    {91, "KVLWH0091E An IPC channel could not be opened. The error code is %1$d."},
    {93, "KVLWH0092E An IPC channel could not be closed. The error code is %1$d."},
    {94, "KVLWH0093E A packet could not be sent over an IPC channel. The error code is %1$d."},
    {95, "KVLWH0094W A message is discarded due to timeout."},
    {100, "Logger for basic messages"},
    {101, "Logger for messages with detailed problem data"},
    {110, "Filters messages by level"},
    {120, "Handles output to the console"},
    {121, "Handles output to local log files"},
    {130, "Formats a basic message summary."},
    {131, "Formats all message data as an XML record."},
};

constexpr Entry kFfdcMessages[] = {
    {10, "KVLFF0010E Out of memory."},
    {11,
     "KVLFF0011E No triggering filter has been specified for the First Failure Data Capture "
     "handler %s."},
    {12,
     "KVLFF0012E The First Failure Data Capture base directory has not been specified for "
     "the handler %s."},
    {13, "KVLFF0013E The directory %1$s needed by object %2$s could not be created."},
    {14,
     "KVLFF0014W Could not delete all the oldest files in the FFDC directory %1$s to reduce "
     "the disk space below the first warning limit, %2$.2f percent of the maxiumum disk "
     "space, %3$ld bytes, for handler, %4$s."},
    {15,
     "KVLFF0015I Attempting to delete the oldest files in the FFDC directory, %1$s, to "
     "reduce it below the first warning limit, %2$.2f, percent of the maximum disk space, "
     "%3$ld. This is approximately %4$ld bytes being deleted by handler, %5$s."},
    {20, "KVLFF0020E Windows error '%d' occurred starting winsock.dll."},
    {30, nullptr},
    {40, nullptr},
    {50, nullptr},
    {60,
     "KVLFF0060W The First Failure Data Capture (FFDC) disk space requested has exceeded "
     "%1$.2f percent of the maximum disk space, %2$ld bytes. The current space used is "
     "%3$ld bytes, and the estimated space needed to complete the FFDC action is %4$ld "
     "bytes for handler, %5$s."},
    {61,
     "KVLFF0061E First Failure Data Capture (FFDC) actions cannot be peformed since the "
     "maximum disk space allocated for FFDC will be exceeded and quota policy is "
     "QUOTA_SUSPEND. The disk space used by directory, %1$s is %2$ld bytes and the maximum "
     "disk space specified for FFDC for handler, %3$s, is %4$ld bytes."},
    {62, "KVLFF0062W Could not find the file %1s to be copied by the file copying handler %2s."},
    {63, "KVLFF0063W The file copying handler %1s could not copy the file %2s."},
    {64, "KVLFF0064E Could not create the zip file %s."},
    {65, "KVLFF0065E The specified zip command '%s'. does not exist or cannot be run."},
    {80, nullptr},
    {81, nullptr},
    {100, "Filters events based on their ZMS message ids"},
    {110, nullptr},
    {120,
     "Performs First Failure Data Capture (FFDC) actions based on the ZMS message ids of "
     "incoming events."},
    {130, nullptr},
    {140,
     "Copies local files to a problem determination directory, based on the ZMS message "
     "ids of incoming events."},
};

// The full table: entry 0 the name, messages at their keys, fillers between.
template <size_t N>
std::vector<std::string> makeTable(const char *name, const Entry (&messages)[N], int32_t entries) {
    std::vector<std::string> table(static_cast<size_t>(entries));
    std::vector<bool> placed(table.size(), false);
    table[0] = name;
    placed[0] = true;
    for (const Entry &entry : messages) {
        table[static_cast<size_t>(entry.key)] = entry.text != nullptr ? entry.text : "";
        placed[static_cast<size_t>(entry.key)] = true;
    }
    int fillers = 0;
    for (size_t key = 1; key < table.size(); ++key) {
        if (placed[key]) continue;
        char filler[24];
        std::snprintf(filler, sizeof filler, "unused%03d", fillers++);
        table[key] = filler;
    }
    return table;
}

const std::vector<std::string> *tableOf(const char *catalog) {
    static const std::vector<std::string> kvl = makeTable(KVL_MSG_CATALOG, kKvlMessages, 132);
    static const std::vector<std::string> ffdc = makeTable(KFFDC_MSG_CATALOG, kFfdcMessages, 141);
    if (catalog == nullptr) return nullptr;
    if (std::strcmp(catalog, KVL_MSG_CATALOG) == 0) return &kvl;
    if (std::strcmp(catalog, KFFDC_MSG_CATALOG) == 0) return &ffdc;
    return nullptr;
}

}  // namespace

extern "C" {

const char *kvlMsgTableText(const char *catalog, int32_t key) {
    const std::vector<std::string> *table = tableOf(catalog);
    if (table == nullptr || key < 0 || static_cast<size_t>(key) >= table->size()) return nullptr;
    return (*table)[static_cast<size_t>(key)].c_str();
}

int32_t kvlMsgTableEntries(const char *catalog) {
    const std::vector<std::string> *table = tableOf(catalog);
    return table != nullptr ? static_cast<int32_t>(table->size()) : 0;
}

}  // extern "C"
